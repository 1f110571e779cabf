#include "export/writebehind.h"

#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

namespace exportdata {

WriteBehind::~WriteBehind() { Stop(true); }

void WriteBehind::Stop(bool drop) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (drop) waiting_.clear();
        done_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) writer_.join();
}

void WriteBehind::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return done_ || !waiting_.empty(); });
        if (waiting_.empty()) return;  // done, and everything written
        Chunk c = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        int err = 0;
        std::exception_ptr thrown;
        try {
            err = sink_(std::string_view(c.bytes.data(), c.n));
        } catch (...) {
            // Thrown again on the maker's thread, which would have seen it.
            thrown = std::current_exception();
            err = EIO;
        }
        lock.lock();
        if (thrown) thrown_ = thrown;
        if (err != 0) {
            err_ = err;
            waiting_.clear();  // nothing is written after a failure
        }
        free_.push_back(std::move(c.bytes));
        changed_.notify_all();
    }
}

int WriteBehind::Put(std::vector<char>& chunk, size_t n) {
    if (alone_) return sink_(std::string_view(chunk.data(), n));
    std::unique_lock<std::mutex> lock(mutex_);
    if (!writer_.joinable()) {
        try {
            writer_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the chunks are written here, in turn.
            alone_ = true;
            lock.unlock();
            return Put(chunk, n);
        }
    }
    changed_.wait(lock, [&] { return err_ != 0 || waiting_.size() < kWaiting; });
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
    if (err_ != 0) return err_;
    const size_t size = chunk.size();
    waiting_.push_back({std::move(chunk), n});
    if (!free_.empty()) {
        chunk = std::move(free_.back());
        free_.pop_back();
    }
    chunk.resize(size);
    lock.unlock();
    changed_.notify_all();
    return 0;
}

int WriteBehind::Finish(std::vector<char>& chunk, size_t n) {
    // Only this thread starts the writer: no lock needed to ask.
    if (!writer_.joinable()) return n > 0 ? sink_(std::string_view(chunk.data(), n)) : 0;
    if (n > 0)
        if (int err = Put(chunk, n)) {
            Stop(true);
            return err;
        }
    Stop(false);
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
    return err_;
}

}  // namespace exportdata
