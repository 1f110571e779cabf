// Inside the communications layer: the objects behind its handles. Not for
// callers outside src/platform/os/comm*.cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/comm.h"

namespace os {

struct PendingIo;

struct EventObject : KernelObject {
    // Makes sure the pending operation that sets the event runs (Kick),
    // then waits.
    DWORD Wait(DWORD ms) override;
    std::mutex m;
    std::condition_variable cv;
    bool manualReset = true;
    bool signalled = false;
    std::weak_ptr<PendingIo> op;  // the pending operation that sets it, if any
};

// The worker of one direction of a device: it runs the device's pending
// reads (or writes) one after the other, in the order they were started, as
// a serial driver keeps one queue of each. It starts with the first pending
// operation and ends after kLaneIdleMs without one, or once the device is
// closed and its queue is empty. Guarded by Device::m.
//
// An operation queued on a lane whose thread is there does not wake it: the
// caller that waits for it next runs it itself (RunOnCaller, from
// GetOverlappedResult, or from a wait on its event when the operation's own
// time-out ends within the wait), which saves two thread switches an
// operation. Whatever else looks at it (a longer wait on its event,
// GetOverlappedResult without waiting or for one that is not next, a
// cancel) wakes the lane (Kick), and a lane looks at its queue every
// kLaneLookMs, so an operation nobody waits for starts within that.
//
// The device owns the thread: one that ended idle is joined when the next
// one starts, and CloseHandle joins the last (Device::JoinLanes); lanes of
// devices still open when the program ends are closed and joined then.
struct Lane {
    std::deque<std::shared_ptr<PendingIo>> queue;
    std::condition_variable cv;
    std::thread thread;
    bool running = false;  // the lane's thread is there
    bool busy = false;     // an operation of the lane runs (on it or on a caller)
    std::chrono::steady_clock::time_point lastQueued;
};
inline constexpr int kLaneIdleMs = 2000;
inline constexpr int kLaneLookMs = 5;

struct Device : KernelObject {
    ~Device() override;
    // CloseHandle: ends a waiting WaitCommEvent and the pending operations,
    // and joins the lanes' threads.
    void Closed() override;
    // Joins the lanes' threads; only once the device is closed, when they
    // end within one wake-up (their operations are cancelled).
    void JoinLanes();
    int fd = -1;
    int wakeFd = -1;   // eventfd: SetCommMask and CloseHandle end a WaitCommEvent
    int epollFd = -1;  // WaitCommEvent's: fd edge-triggered (every arrival), wakeFd
    bool isTty = false;
    bool isPty = false;  // a pseudo-terminal's slave: no output queue of its own
    std::string path;
    std::mutex m;
    COMMTIMEOUTS timeouts;
    DWORD mask = 0;
    uint64_t maskGeneration = 0;
    DWORD seenInQueue = 0;  // input bytes already reported by WaitCommEvent
    bool closed = false;
    std::vector<std::weak_ptr<PendingIo>> pending;
    Lane reads, writes;
};

// One overlapped read or write, run by its device's lane on its own buffer;
// a read's bytes reach the caller's buffer when GetOverlappedResult reaps
// the operation, so a caller that lets go of a pending operation leaves no
// thread writing into memory it has freed.
struct PendingIo {
    std::shared_ptr<Device> dev;
    bool write = false;
    std::string data;        // bytes to write, or the bytes read so far
    DWORD count = 0;         // bytes asked for
    void* target = nullptr;  // the caller's read buffer
    HANDLE event = 0;
    std::function<DWORD(PendingIo&)> run;  // the operation, run by the lane
    int cancelFd = -1;                     // eventfd: CancelIoEx, PurgeComm and CloseHandle
    int64_t limitMs = -1;                  // its own time-out (-1: none)
    std::atomic<bool> cancelled{false};
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    DWORD status = ERROR_SUCCESS;
    ~PendingIo();
    void Cancel();
};

std::shared_ptr<Device> LookUpDevice(HANDLE h);
BOOL Fail(DWORD code);
DWORD ErrnoCode(int err);
// The bytes waiting in a descriptor's input queue (0 when it cannot tell).
DWORD InQueue(int fd);
// Cancels the device's pending operations (reads, writes or both).
void CancelPending(Device& dev, bool reads, bool writes);
// Wakes the lane of op, so that it runs op in its turn.
void Kick(PendingIo& op);
// For a wait of ms on op's event: runs op on the caller when it is next on
// an idle lane and ends within ms by its own time-out, else Kick.
void RunOrKick(PendingIo& op, DWORD ms);

}  // namespace os
