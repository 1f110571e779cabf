// Writes the chunks of a streamed content through a sink (rt::ReplaceSink)
// on a thread of its own, so that making the next chunk and writing the last
// one go side by side. No Qt.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runtime/posixfile.h"

namespace exportdata {

// The chunks are written in the order they are put, by one thread, so the
// sink sees what it would see called in turn. At most kWaiting chunks wait
// for the writer: a maker faster than the disk waits, memory stays bounded.
// The sink's first failure ends the writing: nothing is written after it,
// waiting chunks are dropped, and the failure (the sink's code) is answered
// by every later Put and by Finish; an exception the sink throws is thrown
// again there. A WriteBehind given back without Finish (the maker gave up)
// drops what waits and stops its thread.
class WriteBehind {
public:
    explicit WriteBehind(const rt::ReplaceSink& sink) : sink_(sink) {}
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Hands over the first n bytes of chunk for writing and gives chunk back
    // as a buffer of the same size to fill next. 0, or the code of a failed
    // write (then the chunk is not written). The thread starts with the first
    // chunk.
    int Put(std::vector<char>& chunk, size_t n);

    // The first n bytes of chunk are the last: the sink's code for the whole
    // content once every chunk has been written. A content that was one
    // chunk only is written on the calling thread, which no thread is
    // started for.
    int Finish(std::vector<char>& chunk, size_t n);

private:
    static constexpr size_t kWaiting = 2;
    struct Chunk {
        std::vector<char> bytes;
        size_t n;
    };
    void Run();
    void Stop(bool drop);

    const rt::ReplaceSink& sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> waiting_;            // in the order of writing
    std::vector<std::vector<char>> free_;  // written, to be filled again
    bool done_ = false;
    int err_ = 0;
    std::exception_ptr thrown_;  // what the sink threw, for the maker's thread
    bool alone_ = false;         // no thread could be started: written in turn
    std::thread writer_;
};

}  // namespace exportdata
