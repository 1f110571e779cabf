// Reads, writes and event waits on communications devices, with the Win32
// time-out rules (docs/serial.md):
//
//  - ReadIntervalTimeout MAXDWORD with both read totals 0: a read returns at
//    once with what the input queue holds, perhaps nothing.
//  - ReadIntervalTimeout and ReadTotalTimeoutMultiplier MAXDWORD with a
//    constant between 0 and MAXDWORD: at once when bytes are waiting, else
//    at the first byte, else empty after the constant.
//  - otherwise a read ends when count bytes are in, when the total time-out
//    (multiplier * count + constant, none when both are 0) runs out, or when
//    the gap after a byte exceeds a ReadIntervalTimeout other than 0 and
//    MAXDWORD. A time-out is no failure: the read succeeds with fewer bytes.
//  - a write ends when every byte has left the port (the output queue has
//    drained) or the write total (multiplier * count + constant, none when
//    both are 0) runs out, also with success; its count is the bytes that
//    have left.
//  - a device that goes (the far side of a pty closed, a USB adapter pulled)
//    fails the operation with ERROR_DEVICE_NOT_CONNECTED.
//
// The event wait (WaitCommEvent) is in commwatch.cpp.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/os/comm.h"
#include "platform/os/commdevice.h"
#include "platform/os/commspeed.h"

namespace os {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uintptr_t kStatusPending = 0x103;

struct ReadRule {
    bool immediate = false;   // return what is there
    bool firstByte = false;   // return at the first byte
    int64_t totalMs = -1;     // -1: no total limit
    int64_t intervalMs = -1;  // -1: no gap limit
};

ReadRule RuleFor(const COMMTIMEOUTS& t, DWORD count) {
    ReadRule r;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
        r.immediate = true;
        return r;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        r.firstByte = true;
        r.totalMs = t.ReadTotalTimeoutConstant;
        return r;
    }
    const uint64_t total = uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
    if (total) r.totalMs = static_cast<int64_t>(std::min<uint64_t>(total, INT32_MAX));
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) r.intervalMs = t.ReadIntervalTimeout;
    return r;
}

int64_t WriteTotalMs(const COMMTIMEOUTS& t, DWORD count) {
    const uint64_t total = uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
    return total ? static_cast<int64_t>(std::min<uint64_t>(total, INT32_MAX)) : -1;
}

int64_t MsLeft(Clock::time_point until) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return std::max<int64_t>(ms, 0);
}

// Reads what is waiting, up to want bytes, without blocking; false when the
// device has gone. The bytes read are taken off the count of bytes that
// WaitCommEvent has reported (the queue is read from the front, reported
// bytes first), under the device's lock so that the watcher never compares
// the queue against a count the read has not yet settled. The watcher needs
// no wake-up for it: it sees every arrival as an edge. A read that finds
// the device gone wakes it, so that a wait that began while bytes were
// still queued ends too.
bool ReadSome(Device& dev, std::string& into, DWORD want, bool zeroIsEmpty = false) {
    const size_t have = into.size();
    into.resize(have + want);
    ssize_t n;
    {
        std::lock_guard lock(dev.m);
        n = ::read(dev.fd, into.data() + have, want);
        if (n > 0) dev.seenInQueue -= std::min(dev.seenInQueue, static_cast<DWORD>(n));
    }
    into.resize(have + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0 || (n == 0 && zeroIsEmpty)) return true;
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    const uint64_t one = 1;
    (void)!::write(dev.wakeFd, &one, sizeof one);
    return false;  // 0 (hang-up) or EIO
}

// At most this much a read(2): the bytes grow as they come, so a large
// count does not take its whole buffer before a byte is in.
constexpr DWORD kReadStep = 65536;

// Runs one read to its end on the calling thread; the status. The bytes
// op.data holds already (taken when the read was started) count.
//
// It reads before every wait: a terminal's line discipline holds at most
// 4095 bytes, and a read that emptied it finds the next ones moved in by
// the time it reads again (an empty read(2) waits for the kernel's move
// under way), so a read of more than that goes on without a poll(2) a step.
// Only a read that found nothing waits in poll(2), which also sees a cancel
// and a hang-up (an empty read cannot tell a hung-up terminal from an idle
// one).
DWORD RunRead(Device& dev, PendingIo& op, const ReadRule& rule) {
    if (rule.immediate) {  // queued behind other reads: what is there once they are done
        const DWORD want = std::min(InQueue(dev.fd), op.count);
        return want == 0 || ReadSome(dev, op.data, want) ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_DEVICE_NOT_CONNECTED};
    }
    const auto start = Clock::now();
    auto lastByte = start;
    const auto step = [&] { return std::min<DWORD>(op.count - static_cast<DWORD>(op.data.size()), kReadStep); };
    for (;;) {
        if (op.data.size() >= op.count) return ERROR_SUCCESS;
        if (rule.firstByte && !op.data.empty()) return ERROR_SUCCESS;
        int64_t wait = -1;
        if (rule.totalMs >= 0) {
            wait = MsLeft(start + std::chrono::milliseconds(rule.totalMs));
            if (wait == 0) return ERROR_SUCCESS;
        }
        if (rule.intervalMs >= 0 && !op.data.empty()) {
            const int64_t gap = MsLeft(lastByte + std::chrono::milliseconds(rule.intervalMs));
            if (gap == 0) return ERROR_SUCCESS;
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        // Bytes that keep coming must not hide a cancel from a large read.
        if (op.cancelled.load()) return ERROR_OPERATION_ABORTED;
        const size_t had = op.data.size();
        if (!ReadSome(dev, op.data, step(), true)) return ERROR_DEVICE_NOT_CONNECTED;
        if (op.data.size() > had) {
            lastByte = Clock::now();
            continue;
        }
        pollfd fds[2] = {{dev.fd, POLLIN, 0}, {op.cancelFd, POLLIN, 0}};
        const int rc = ::poll(fds, 2, static_cast<int>(wait));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return ErrnoCode(errno);
        if (fds[1].revents) return ERROR_OPERATION_ABORTED;
        if (fds[0].revents & POLLIN) {
            const size_t before = op.data.size();
            if (!ReadSome(dev, op.data, step())) return ERROR_DEVICE_NOT_CONNECTED;
            if (op.data.size() > before) lastByte = Clock::now();
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
    }
}

// The bytes in the device's output queue. A pty has none (what its slave
// writes is in the far side's input at once), and is not asked.
DWORD OutQueue(const Device& dev) {
    int n = 0;
    if (!dev.isTty || dev.isPty) return 0;
    return ::ioctl(dev.fd, TIOCOUTQ, &n) == 0 && n > 0 ? static_cast<DWORD>(n) : 0;
}

// Waits until the device has sent what its output queue holds, up to until
// (none when hasLimit is false) or a cancel; the bytes still queued then. A
// write counts its bytes once they have left the port, as on Win32, so a
// purge or close after it finds nothing of them. No poll event tells when
// the queue runs empty: the wait looks again after about the time the
// queued bytes take on the line (1 to 20 ms).
DWORD Drain(Device& dev, int cancelFd, bool hasLimit, Clock::time_point until) {
    DWORD queued = OutQueue(dev);
    if (queued == 0) return 0;
    const uint32_t baud = std::max<uint32_t>(detail::GetLineSpeed(dev.fd), 50);
    while (queued > 0) {
        int64_t step = std::clamp<int64_t>(int64_t{queued} * 10000 / baud, 1, 20);
        if (hasLimit) {
            const int64_t left = MsLeft(until);
            if (left == 0) return queued;
            step = std::min(step, left);
        }
        pollfd cancel{cancelFd, POLLIN, 0};
        if (::poll(&cancel, 1, static_cast<int>(step)) > 0) return queued;
        queued = OutQueue(dev);
    }
    return 0;
}

// Writes data from written on until every byte is in the output queue,
// the time-out (until, when totalMs is not -1) runs out or cancelFd is
// written to (-1: nothing cancels). full: the queue was found full just
// before, so the first step is to wait for room rather than a write that
// would only find it full again.
DWORD WriteQueued(Device& dev, std::string_view data, int cancelFd, size_t& written, int64_t totalMs,
                  Clock::time_point until, bool full = false) {
    while (written < data.size()) {
        if (!full) {
            const ssize_t n = ::write(dev.fd, data.data() + written, data.size() - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return errno == EIO ? DWORD{ERROR_DEVICE_NOT_CONNECTED} : ErrnoCode(errno);
        }
        full = false;
        int64_t wait = -1;
        if (totalMs >= 0) {
            wait = MsLeft(until);
            if (wait == 0) return ERROR_SUCCESS;
        }
        pollfd fds[2] = {{dev.fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        const int rc = ::poll(fds, 2, static_cast<int>(wait));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return ErrnoCode(errno);
        if (fds[1].revents) return ERROR_OPERATION_ABORTED;
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[0].revents & POLLOUT))
            return ERROR_DEVICE_NOT_CONNECTED;
    }
    return ERROR_SUCCESS;
}

// Runs a write to its end: the bytes from written on go into the output
// queue, then the write waits for them to leave the port (Drain), within
// the one time-out. written ends as the bytes that have left; a time-out is
// no failure, the write succeeds with fewer bytes.
DWORD RunWrite(Device& dev, PendingIo& op, size_t& written, int64_t totalMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(totalMs < 0 ? 0 : totalMs);
    // A write that is to go on found the queue full at its first try.
    const DWORD status = WriteQueued(dev, op.data, op.cancelFd, written, totalMs, until, written < op.data.size());
    const DWORD left = Drain(dev, op.cancelFd, totalMs >= 0, until);
    written -= std::min<size_t>(written, left);
    if (status == ERROR_SUCCESS && op.cancelled.load()) return ERROR_OPERATION_ABORTED;
    return status;
}

void Complete(PendingIo& op, DWORD status) {
    {
        std::lock_guard lock(op.m);
        op.status = status;
        op.done = true;
    }
    op.cv.notify_all();
    // The caller may have closed its event already; the status is in op.
    if (op.event) (void)SetEvent(op.event);
}

std::shared_ptr<PendingIo> NewOp(const std::shared_ptr<Device>& dev, bool write, DWORD count, OVERLAPPED* ov) {
    auto op = std::make_shared<PendingIo>();
    op->dev = dev;
    op->write = write;
    op->count = count;
    op->event = ov ? ov->hEvent : 0;
    return op;
}

// Runs op to its end; one cancelled while it was queued ends at once, before
// it has moved a byte.
void Run(PendingIo& op) { Complete(op, op.cancelled.load() ? DWORD{ERROR_OPERATION_ABORTED} : op.run(op)); }

// Runs the lane's operations until kLaneIdleMs have passed since the last
// one was queued, or the device is closed with nothing queued. Operations
// are queued without waking the lane (StartPending): it looks at its queue
// every kLaneLookMs, and at once when something wakes it (Kick, a cancel, a
// close). The thread holds the device (and so its descriptor) while it
// runs. It never exits with operations queued, and waits while a caller
// runs one (RunOnCaller).
void RunLane(std::shared_ptr<Device> dev, Lane& lane) {
    ::pthread_setname_np(::pthread_self(), "qz-lane");
    std::unique_lock lock(dev->m);
    const auto ready = [&] { return !lane.queue.empty() && !lane.busy; };
    for (;;) {
        if (!ready()) {
            const bool idle = Clock::now() - lane.lastQueued >= std::chrono::milliseconds(kLaneIdleMs);
            if (lane.queue.empty() && (idle || dev->closed)) {
                lane.running = false;
                return;
            }
            lane.cv.wait_for(lock, std::chrono::milliseconds(kLaneLookMs),
                             [&] { return ready() || (dev->closed && lane.queue.empty()); });
            continue;
        }
        auto op = std::move(lane.queue.front());
        lane.queue.pop_front();
        lane.busy = true;
        lock.unlock();
        Run(*op);
        op.reset();
        lock.lock();
        lane.busy = false;
    }
}

// The devices whose lanes have run, so that those still open when the
// program ends are closed there and their lanes joined: no lane outlives
// main. Locked after a device's lock, never before it.
class LaneOwners {
public:
    static void Enter(const std::shared_ptr<Device>& dev) {
        LaneOwners& o = The();
        std::lock_guard lock(o.m_);
        std::erase_if(o.devices_, [&](const std::weak_ptr<Device>& w) { return w.expired(); });
        for (const auto& w : o.devices_)
            if (!w.owner_before(dev) && !dev.owner_before(w)) return;  // no lock(): never the last holder here
        o.devices_.push_back(dev);
    }
    ~LaneOwners() {
        if (::getpid() != pid_) return;  // a forked copy: the lanes are not its threads
        std::vector<std::shared_ptr<Device>> open;
        {
            std::lock_guard lock(m_);
            for (const auto& w : devices_)
                if (auto d = w.lock()) open.push_back(std::move(d));
            devices_.clear();
        }
        for (const auto& d : open) d->Closed();
    }

private:
    static LaneOwners& The() {
        static LaneOwners owners;
        return owners;
    }
    std::mutex m_;
    std::vector<std::weak_ptr<Device>> devices_;
    const pid_t pid_ = ::getpid();
};

// A caller about to wait for op runs it on its own thread when op is next
// on an idle lane: the caller would only sleep meanwhile, and two thread
// switches per operation are saved. The lane's order holds: nothing else
// of the lane runs meanwhile. Whether it ran op.
bool RunOnCaller(PendingIo& op) {
    Device& dev = *op.dev;
    Lane& lane = op.write ? dev.writes : dev.reads;
    std::unique_lock lock(dev.m);
    if (lane.busy || lane.queue.empty() || lane.queue.front().get() != &op) return false;
    const auto mine = std::move(lane.queue.front());
    lane.queue.pop_front();
    lane.busy = true;
    lock.unlock();
    Run(op);
    lock.lock();
    lane.busy = false;
    if (!lane.queue.empty()) lane.cv.notify_one();
    return true;
}

// The cancel eventfds of ended operations, kept for the next ones: two
// system calls fewer for each pending operation. One that was written to
// (a cancel) is read back to 0 first.
class CancelFds {
public:
    static int Take() {
        CancelFds& p = The();
        {
            std::lock_guard lock(p.m_);
            if (!p.free_.empty()) {
                const int fd = p.free_.back();
                p.free_.pop_back();
                return fd;
            }
        }
        return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    static void Give(int fd, bool written) {
        if (fd < 0) return;
        uint64_t v;
        if (written) (void)!::read(fd, &v, sizeof v);
        CancelFds& p = The();
        {
            std::lock_guard lock(p.m_);
            if (p.free_.size() < 16) {
                p.free_.push_back(fd);
                return;
            }
        }
        ::close(fd);
    }

private:
    // Never destroyed: an operation let go during the program's end still
    // finds it (the descriptors go with the process).
    static CancelFds& The() {
        static CancelFds* pool = new CancelFds;
        return *pool;
    }
    std::mutex m_;
    std::vector<int> free_;
};

// Queues op on its device's lane (starting the lane's thread when it is
// not running) and marks ov pending.
BOOL StartPending(std::shared_ptr<PendingIo> op, OVERLAPPED* ov, std::function<DWORD(PendingIo&)> run) {
    // Before the operation can complete: a reset after it would lose it.
    if (op->event) (void)ResetEvent(op->event);  // a closed event is the caller's own doing
    // Only an operation that can be cancelled needs its eventfd: one that
    // completes at once or runs without an OVERLAPPED makes none.
    op->cancelFd = CancelFds::Take();
    if (op->event)
        if (auto e = LookUpKernelObjectAs<EventObject>(op->event)) {
            std::lock_guard lock(e->m);
            e->op = op;
        }
    op->run = std::move(run);
    ov->io = op;
    ov->Internal = kStatusPending;
    ov->InternalHigh = 0;
    const std::shared_ptr<Device> dev = op->dev;
    Lane& lane = op->write ? dev->writes : dev->reads;
    std::lock_guard lock(dev->m);
    if (dev->closed) {
        ov->io.reset();
        ov->Internal = ERROR_INVALID_HANDLE;
        return Fail(ERROR_INVALID_HANDLE);
    }
    std::erase_if(dev->pending, [](const std::weak_ptr<PendingIo>& w) { return w.expired(); });
    dev->pending.push_back(op);
    lane.queue.push_back(std::move(op));
    lane.lastQueued = Clock::now();
    if (!lane.running) {
        // A thread that ended idle has left the lock for good: joining it
        // waits only for its return.
        if (lane.thread.joinable()) lane.thread.join();
        try {
            LaneOwners::Enter(dev);
            lane.thread = std::thread(RunLane, dev, std::ref(lane));
        } catch (const std::system_error&) {
            lane.queue.pop_back();
            ov->io.reset();
            ov->Internal = ERROR_NOT_ENOUGH_MEMORY;
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        }
        lane.running = true;
    }
    return Fail(ERROR_IO_PENDING);
}

BOOL Finish(OVERLAPPED* ov, DWORD* done, DWORD bytes) {
    if (done) *done = bytes;
    if (ov) {
        ov->io.reset();
        ov->Internal = 0;
        ov->InternalHigh = bytes;
        if (ov->hEvent) (void)SetEvent(ov->hEvent);  // the result is returned here as well
    }
    return 1;
}

}  // namespace

PendingIo::~PendingIo() { CancelFds::Give(cancelFd, cancelled.load()); }

void PendingIo::Cancel() {
    cancelled.store(true);
    const uint64_t one = 1;
    (void)!::write(cancelFd, &one, sizeof one);
}

void CancelPending(Device& dev, bool reads, bool writes) {
    std::vector<std::shared_ptr<PendingIo>> ops;
    {
        std::lock_guard lock(dev.m);
        for (auto& w : dev.pending)
            if (auto op = w.lock(); op && (op->write ? writes : reads)) ops.push_back(op);
    }
    for (auto& op : ops) op->Cancel();
    // A cancelled read still queued ends when its lane comes to it: now.
    std::lock_guard lock(dev.m);
    dev.reads.cv.notify_one();
    dev.writes.cv.notify_one();
}

void Kick(PendingIo& op) {
    Device& dev = *op.dev;
    std::lock_guard lock(dev.m);
    (op.write ? dev.writes : dev.reads).cv.notify_one();
}

void RunOrKick(PendingIo& op, DWORD ms) {
    // Run here only what ends within the caller's wait by its own time-out.
    const bool fits = op.limitMs >= 0 && (ms == INFINITE || op.limitMs <= int64_t{ms});
    if (!(fits && RunOnCaller(op))) Kick(op);
}

namespace {

// What ReadFile and WriteFile check first: the handle, the count and the
// buffer; then the time-outs in force. Null when the call ends here, with
// its answer in `answer`.
std::shared_ptr<Device> StartTransfer(HANDLE h, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov,
                                      COMMTIMEOUTS& t, BOOL& answer) {
    answer = 0;
    auto dev = LookUpDevice(h);
    if (!dev) return nullptr;
    if (done) *done = 0;
    if (count == 0) {
        answer = Finish(ov, done, 0);
        return nullptr;
    }
    if (!buffer) {
        answer = Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(dev->m);
    t = dev->timeouts;
    return dev;
}

}  // namespace

BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov) {
    COMMTIMEOUTS t;
    BOOL answer = 0;
    auto dev = StartTransfer(h, buffer, count, done, ov, t, answer);
    if (!dev) return answer;
    const ReadRule rule = RuleFor(t, count);
    // Not past reads still pending: they take the bytes first.
    bool laneFree;
    {
        std::lock_guard lock(dev->m);
        laneFree = dev->reads.queue.empty() && !dev->reads.busy;
    }
    // First in line, the read takes what is waiting at once (up to count,
    // at most kReadStep), without asking the queue's size first (a system
    // call a read less), reading until a read finds nothing: a terminal's
    // line discipline holds at most 4095 bytes, and one emptied is refilled
    // from the driver's buffer by the next read. When that answers it (all
    // of count, or what its rule returns at once) it completes at once, as
    // Win32 completes an overlapped read at once when it can; else it goes
    // on with those bytes in (and a device gone meanwhile fails it there,
    // the bytes kept).
    std::string got;
    if (laneFree) {
        const size_t want = std::min(count, kReadStep);
        for (size_t had = want; got.size() < want && got.size() != had;) {
            had = got.size();
            if (!ReadSome(*dev, got, static_cast<DWORD>(want - had), true)) {
                if (got.empty()) return Fail(ERROR_DEVICE_NOT_CONNECTED);
                break;
            }
        }
        if (got.size() == count || rule.immediate || (rule.firstByte && !got.empty())) {
            std::memcpy(buffer, got.data(), got.size());
            return Finish(ov, done, static_cast<DWORD>(got.size()));
        }
    }
    auto op = NewOp(dev, false, count, ov);
    op->target = buffer;
    op->data = std::move(got);
    if (!ov) {
        const DWORD status = RunRead(*dev, *op, rule);
        std::memcpy(buffer, op->data.data(), op->data.size());
        if (done) *done = static_cast<DWORD>(op->data.size());
        return status == ERROR_SUCCESS ? 1 : Fail(status);
    }
    op->limitMs = rule.totalMs;
    return StartPending(op, ov, [rule](PendingIo& o) { return RunRead(*o.dev, o, rule); });
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov) {
    COMMTIMEOUTS t;
    BOOL answer = 0;
    auto dev = StartTransfer(h, buffer, count, done, ov, t, answer);
    if (!dev) return answer;
    // As much as the output queue takes now, from the caller's buffer; the
    // rest waits (pending) on a copy of its own.
    const std::string_view bytes(static_cast<const char*>(buffer), count);
    size_t written = 0;
    const DWORD first = WriteQueued(*dev, bytes, -1, written, 0, Clock::now());
    if (first != ERROR_SUCCESS) return Fail(first);
    // Done at once only when the bytes have left the port too (a pty, a
    // queue that was empty and sent them); else the rest of the write, or
    // its drain, is pending.
    if (written == count && OutQueue(*dev) == 0) return Finish(ov, done, count);
    auto op = NewOp(dev, true, count, ov);
    op->data.assign(bytes);
    const int64_t totalMs = WriteTotalMs(t, count);
    if (!ov) {
        const DWORD status = RunWrite(*dev, *op, written, totalMs);
        if (done) *done = static_cast<DWORD>(written);
        return status == ERROR_SUCCESS ? 1 : Fail(status);
    }
    op->count = static_cast<DWORD>(written);  // bytes out so far
    op->limitMs = totalMs;
    return StartPending(op, ov, [totalMs](PendingIo& o) {
        size_t w = o.count;
        const DWORD status = RunWrite(*o.dev, o, w, totalMs);
        o.count = static_cast<DWORD>(w);
        return status;
    });
}

BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) {
    if (!LookUpKernelObject(h) && !(ov && ov->io)) return Fail(ERROR_INVALID_HANDLE);
    if (!ov) return Fail(ERROR_INVALID_PARAMETER);
    auto op = ov->io;
    if (!op) {  // completed at once
        if (done) *done = static_cast<DWORD>(ov->InternalHigh);
        return ov->Internal == 0 ? 1 : Fail(static_cast<DWORD>(ov->Internal));
    }
    if (wait) RunOnCaller(*op);
    std::unique_lock lock(op->m);
    if (!op->done) {
        lock.unlock();
        Kick(*op);  // not run here: its lane is to run it
        lock.lock();
    }
    if (!op->done) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        op->cv.wait(lock, [&] { return op->done; });
    }
    const DWORD bytes = op->write ? op->count : static_cast<DWORD>(op->data.size());
    if (!op->write && bytes) std::memcpy(op->target, op->data.data(), bytes);
    const DWORD status = op->status;
    lock.unlock();
    ov->io.reset();
    ov->Internal = status;
    ov->InternalHigh = bytes;
    if (done) *done = bytes;
    return status == ERROR_SUCCESS ? 1 : Fail(status);
}

BOOL FlushFileBuffers(HANDLE h) {
    auto dev = LookUpDevice(h);
    if (!dev) return 0;
    if (!dev->isTty) return 1;
    COMMTIMEOUTS t;
    {
        std::lock_guard lock(dev->m);
        t = dev->timeouts;
    }
    const int64_t totalMs = WriteTotalMs(t, OutQueue(*dev));
    // No cancel descriptor (poll skips -1): only the time-out ends the wait.
    const auto until = Clock::now() + std::chrono::milliseconds(totalMs < 0 ? 5000 : totalMs);
    return Drain(*dev, -1, true, until) ? Fail(ERROR_SEM_TIMEOUT) : 1;
}

BOOL CancelIoEx(HANDLE h, OVERLAPPED* ov) {
    auto dev = LookUpDevice(h);
    if (!dev) return 0;
    if (!ov) {
        CancelPending(*dev, true, true);
        return 1;
    }
    if (!ov->io) return Fail(ERROR_NOT_FOUND);
    ov->io->Cancel();
    Kick(*ov->io);  // a read still queued ends now, not when someone waits for it
    return 1;
}

DWORD InQueue(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? static_cast<DWORD>(n) : 0;
}

}  // namespace os
