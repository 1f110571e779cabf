// The serial watcher's wait for communications events (WaitCommEvent):
// an edge-triggered epoll on the device beside its wake-up eventfd, so
// that every arrival is reported once, also while reported bytes wait
// unread (docs/serial.md).
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "platform/os/comm.h"
#include "platform/os/commdevice.h"

namespace os {

namespace {

// The device's epoll set for WaitCommEvent, made at its first wait: the
// device edge-triggered, the wake-up eventfd. -1 with errno when it cannot
// be made.
int WatchEpoll(Device& dev) {
    std::lock_guard lock(dev.m);
    if (dev.epollFd >= 0) return dev.epollFd;
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) return -1;
    epoll_event tty{EPOLLIN | EPOLLET, {}}, wake{EPOLLIN, {}};
    tty.data.fd = dev.fd;
    wake.data.fd = dev.wakeFd;
    if (::epoll_ctl(ep, EPOLL_CTL_ADD, dev.fd, &tty) != 0 || ::epoll_ctl(ep, EPOLL_CTL_ADD, dev.wakeFd, &wake) != 0) {
        const int err = errno;
        ::close(ep);
        errno = err;
        return -1;
    }
    dev.epollFd = ep;
    return ep;
}

}  // namespace

BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED*) {
    // Always waits on the calling thread, with or without an OVERLAPPED:
    // its one caller, the serial watcher, is a thread of its own.
    auto dev = LookUpDevice(h);
    if (!dev) return 0;
    if (!dev->isTty) return Fail(ERROR_INVALID_FUNCTION);
    DWORD want;
    uint64_t generation;
    {
        std::lock_guard lock(dev->m);
        want = dev->mask;
        generation = dev->maskGeneration;
    }
    if (want == 0) return Fail(ERROR_INVALID_PARAMETER);
    const int epollFd = WatchEpoll(*dev);
    if (epollFd < 0) return Fail(ErrnoCode(errno));
    for (;;) {
        DWORD waiting;
        {
            // The queue is measured against the reported count in one step
            // with the reads (ReadSome), which take their bytes off it: more
            // bytes waiting than reported means new ones, even when the
            // queue holds as many as at the last report.
            std::lock_guard lock(dev->m);
            if (dev->closed) return Fail(ERROR_INVALID_HANDLE);
            if (dev->maskGeneration != generation) {
                if (mask) *mask = 0;  // the mask changed: the wait ends empty
                return 1;
            }
            waiting = InQueue(dev->fd);
            const bool arrived = waiting > dev->seenInQueue;
            // Bytes read past this layer (another opener) shrink the queue.
            dev->seenInQueue = std::min(dev->seenInQueue, waiting);
            if (arrived && (want & EV_RXCHAR)) {
                dev->seenInQueue = waiting;
                if (mask) *mask = EV_RXCHAR;
                return 1;
            }
        }
        // Edge-triggered, the device reports every arrival, also while
        // reported bytes wait unread (level-triggered poll would report
        // them again and again); an arrival between the look above and the
        // wait is kept by epoll until the wait.
        epoll_event ev[2];
        const int rc = ::epoll_wait(epollFd, ev, 2, -1);
        if (rc < 0 && errno != EINTR) return Fail(ErrnoCode(errno));
        for (int i = 0; i < rc; ++i)
            if (ev[i].data.fd == dev->wakeFd) {
                uint64_t v;
                (void)!::read(dev->wakeFd, &v, sizeof v);
            }
        // A hung-up terminal stays readable (and hung up) with nothing to
        // read for ever: with the queue empty, the device has gone. Its
        // state is looked at as it is now, not as an edge.
        pollfd now{dev->fd, POLLIN, 0};
        if (::poll(&now, 1, 0) > 0 && (now.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
            (!(now.revents & POLLIN) || InQueue(dev->fd) == 0))
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
}

}  // namespace os
