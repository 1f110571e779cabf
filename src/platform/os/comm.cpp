#include "platform/os/comm.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/os/commdevice.h"
#include "platform/os/commspeed.h"
#include "platform/os/portmap.h"
#include "platform/runtime/oserror.h"

namespace os {
namespace {

std::shared_ptr<EventObject> LookUpEvent(HANDLE h) { return LookUpKernelObjectAs<EventObject>(h); }

// The device of a handle that is a terminal; fails as Win32 does for a
// handle that is not a communications device.
std::shared_ptr<Device> LookUpTty(HANDLE h) {
    auto dev = LookUpDevice(h);
    if (!dev) return nullptr;
    if (!dev->isTty) {
        Fail(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    return dev;
}

}  // namespace

Device::~Device() {
    // Both lanes were joined when the handle closed; a thread that still
    // holds the device here is the one letting go of it, and ends now.
    for (Lane* lane : {&reads, &writes}) {
        if (!lane->thread.joinable()) continue;
        if (lane->thread.get_id() == std::this_thread::get_id()) lane->thread.detach();
        else lane->thread.join();
    }
    if (fd >= 0) ::close(fd);  // closing ends the exclusive lock
    if (wakeFd >= 0) ::close(wakeFd);
    if (epollFd >= 0) ::close(epollFd);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

DWORD ErrnoCode(int err) {
    switch (err) {
        case EBUSY:
        case EWOULDBLOCK: return ERROR_ACCESS_DENIED;
        case ENXIO:
        case ENODEV: return ERROR_FILE_NOT_FOUND;
        case EIO: return ERROR_DEVICE_NOT_CONNECTED;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOTTY: return ERROR_INVALID_FUNCTION;
        default: return static_cast<DWORD>(rt::OsErrorFromErrno(err));
    }
}

std::shared_ptr<Device> LookUpDevice(HANDLE h) { return LookUpKernelObjectAs<Device>(h); }

HANDLE CreateFileA(const std::string& name, DWORD access, DWORD share, void*, DWORD disposition, DWORD, HANDLE) {
    if (disposition != OPEN_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);  // devices are opened, never made
        return INVALID_HANDLE_VALUE;
    }
    const PortTarget target = ResolvePort(name);
    if (target.kind != PortTarget::Device) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool rd = access & GENERIC_READ, wr = access & GENERIC_WRITE;
    const int mode = rd && wr ? O_RDWR : wr ? O_WRONLY : O_RDONLY;
    const int fd = ::open(target.path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // EIO at open is a node without its port: a legacy /dev/ttySn with
        // no UART behind it, a pty not yet unlocked. Win32 has no such
        // port: ERROR_FILE_NOT_FOUND, not a device that went.
        Fail(errno == EIO ? DWORD{ERROR_FILE_NOT_FOUND} : ErrnoCode(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto dev = std::make_shared<Device>();
    dev->fd = fd;
    dev->path = target.path;
    dev->isTty = ::isatty(fd);
    struct stat st = {};
    // Unix 98 pty slaves have the majors 136 to 143.
    dev->isPty = dev->isTty && ::fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
    // Share mode 0: no other handle, in this process or another, may hold
    // the device meanwhile. flock binds every opener that asks (root too);
    // TIOCEXCL also turns away plain opens by other users.
    if (share == 0) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            Fail(errno == EWOULDBLOCK ? DWORD{ERROR_ACCESS_DENIED} : ErrnoCode(errno));
            return INVALID_HANDLE_VALUE;
        }
        if (dev->isTty) ::ioctl(fd, TIOCEXCL);
    }
    dev->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (dev->wakeFd < 0) {
        Fail(ErrnoCode(errno));
        return INVALID_HANDLE_VALUE;
    }
    return AddKernelObject(dev);
}

void Device::Closed() {
    {
        std::lock_guard lock(m);
        closed = true;
        ++maskGeneration;
    }
    if (isTty) ::ioctl(fd, TIOCNXCL);
    const uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    CancelPending(*this, true, true);
    // Idle lanes end now rather than after their idle time.
    reads.cv.notify_all();
    writes.cv.notify_all();
    // The descriptor itself goes with the last operation or lane that holds
    // the device (a number closed under a running poll could name another
    // file by then); the lock goes now, so the port opens again at once.
    ::flock(fd, LOCK_UN);
    JoinLanes();
}

void Device::JoinLanes() {
    std::thread lanes[2];
    {
        std::lock_guard lock(m);
        lanes[0] = std::move(reads.thread);
        lanes[1] = std::move(writes.thread);
    }
    // Bounded: every operation was cancelled (a running one wakes from its
    // poll on the cancel eventfd, a queued one ends unrun) and a closed
    // lane with nothing queued ends at once.
    for (std::thread& t : lanes)
        if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
    for (std::thread& t : lanes)
        if (t.joinable()) t.detach();  // a lane closing its own device: it is ending
}

std::string CommDevicePath(HANDLE h) {
    auto dev = std::dynamic_pointer_cast<Device>(LookUpKernelObject(h));
    return dev ? dev->path : std::string();
}

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) {
    // The kernel's tty buffers have a fixed size; the sizes are checked and
    // taken as a hint only.
    if (!LookUpTty(h)) return 0;
    if (inQueue == 0 || outQueue == 0) return Fail(ERROR_INVALID_PARAMETER);
    return 1;
}

BOOL PurgeComm(HANDLE h, DWORD flags) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    if (flags & ~0xFu) return Fail(ERROR_INVALID_PARAMETER);
    CancelPending(*dev, flags & PURGE_RXABORT, flags & PURGE_TXABORT);
    const bool rx = flags & PURGE_RXCLEAR;
    // The output queue holds only bytes no completed write has counted (a
    // write completes once its bytes have left). With nothing queued there is
    // nothing to clear, and tcflush is not called: on a pty, whose output
    // queue always reads empty, it would throw away the far side's unread
    // input, bytes that have left this port.
    int outQueue = 0;
    const bool tx = (flags & PURGE_TXCLEAR) && !dev->isPty && ::ioctl(dev->fd, TIOCOUTQ, &outQueue) == 0 &&
                    outQueue > 0;
    if ((rx || tx) && ::tcflush(dev->fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0)
        return Fail(ErrnoCode(errno));
    if (rx) {
        std::lock_guard lock(dev->m);
        dev->seenInQueue = 0;
    }
    return 1;
}

BOOL GetCommState(HANDLE h, DCB* dcb) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    if (!dcb) return Fail(ERROR_INVALID_PARAMETER);
    termios t{};
    if (::tcgetattr(dev->fd, &t) != 0) return Fail(ErrnoCode(errno));
    DCB d;
    d.BaudRate = detail::GetLineSpeed(dev->fd);
    switch (t.c_cflag & CSIZE) {
        case CS5: d.ByteSize = 5; break;
        case CS6: d.ByteSize = 6; break;
        case CS7: d.ByteSize = 7; break;
        default: d.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB)) d.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR) d.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else d.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    d.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    d.fFlags = DCB_BINARY | (1u << 4);  // binary, DTR on
    if (t.c_iflag & INPCK) d.fFlags |= DCB_PARITY;
    if (t.c_cflag & CRTSCTS) d.fFlags |= DCB_OUTXCTSFLOW | DCB_RTS_HANDSHAKE;
    else d.fFlags |= 1u << 12;  // RTS on
    if (t.c_iflag & IXON) d.fFlags |= DCB_OUTX;
    if (t.c_iflag & IXOFF) d.fFlags |= DCB_INX;
    d.XonChar = static_cast<char>(t.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    d.XonLim = 2048;
    d.XoffLim = 512;
    *dcb = d;
    return 1;
}

BOOL SetCommState(HANDLE h, const DCB* dcb) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    if (!dcb || dcb->BaudRate == 0 || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > SPACEPARITY ||
        dcb->StopBits > TWOSTOPBITS)
        return Fail(ERROR_INVALID_PARAMETER);
    termios old{};
    if (::tcgetattr(dev->fd, &old) != 0) return Fail(ErrnoCode(errno));
    termios t = old;
    // A communications port carries bytes unchanged: no line editing, echo,
    // signals or output processing.
    t.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[dcb->ByteSize - 5];
    switch (dcb->Parity) {
        case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
        case EVENPARITY: t.c_cflag |= PARENB; break;
        case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    if (dcb->Parity != NOPARITY && (dcb->fFlags & DCB_PARITY)) t.c_iflag |= INPCK;
    // 1.5 stop bits exist only with 5 data bits, where UARTs make them from
    // the two-stop-bit setting.
    if (dcb->StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    if ((dcb->fFlags & DCB_OUTXCTSFLOW) || ((dcb->fFlags >> 12) & 3) == 2) t.c_cflag |= CRTSCTS;
    if (dcb->fFlags & DCB_OUTX) t.c_iflag |= IXON;
    if (dcb->fFlags & DCB_INX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb->XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb->XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(dev->fd, TCSANOW, &t) != 0) return Fail(ErrnoCode(errno));
    // tcsetattr succeeds when any part was taken; a driver that cannot make
    // the frame (a pty is always 8 bits without parity) keeps its own, and
    // the call fails as SetCommState does for settings a port cannot make.
    termios back{};
    const tcflag_t frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if (::tcgetattr(dev->fd, &back) != 0 || (back.c_cflag & frame) != (t.c_cflag & frame)) {
        ::tcsetattr(dev->fd, TCSANOW, &old);
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!detail::SetLineSpeed(dev->fd, dcb->BaudRate)) {
        const DWORD code = ErrnoCode(errno);
        ::tcsetattr(dev->fd, TCSANOW, &old);
        return Fail(code);
    }
    return 1;
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    if (!t) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(dev->m);
    *t = dev->timeouts;
    return 1;
}

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    if (!t) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(dev->m);
    dev->timeouts = *t;
    return 1;
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    int in = 0, out = 0;
    if (::ioctl(dev->fd, FIONREAD, &in) != 0) return Fail(ErrnoCode(errno));
    if (::ioctl(dev->fd, TIOCOUTQ, &out) != 0) out = 0;
    // Line errors (framing, overrun, parity) are not counted by every
    // driver; none are reported.
    if (errors) *errors = 0;
    if (stat) {
        stat->fFlags = 0;
        stat->cbInQue = static_cast<DWORD>(in);
        stat->cbOutQue = static_cast<DWORD>(out);
    }
    return 1;
}

BOOL SetCommMask(HANDLE h, DWORD mask) {
    auto dev = LookUpTty(h);
    if (!dev) return 0;
    {
        std::lock_guard lock(dev->m);
        dev->mask = mask;
        ++dev->maskGeneration;
        // Bytes already waiting count as one arrival for the next wait, so
        // that bytes that came just before the mask was set are not missed.
        dev->seenInQueue = 0;
    }
    const uint64_t one = 1;
    (void)!::write(dev->wakeFd, &one, sizeof one);
    return 1;
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    auto e = std::make_shared<EventObject>();
    e->manualReset = manualReset;
    e->signalled = initialState;
    return AddKernelObject(std::move(e));
}

BOOL SetEvent(HANDLE h) {
    auto e = LookUpEvent(h);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    {
        std::lock_guard lock(e->m);
        e->signalled = true;
    }
    e->cv.notify_all();
    return 1;
}

BOOL ResetEvent(HANDLE h) {
    auto e = LookUpEvent(h);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    std::lock_guard lock(e->m);
    e->signalled = false;
    return 1;
}

DWORD EventObject::Wait(DWORD ms) {
    std::shared_ptr<PendingIo> pending;
    {
        std::lock_guard lock(m);
        pending = op.lock();
    }
    if (pending) RunOrKick(*pending, ms);
    std::unique_lock lock(m);
    auto ready = [&] { return signalled; };
    if (ms == INFINITE) cv.wait(lock, ready);
    else if (!cv.wait_for(lock, std::chrono::milliseconds(ms), ready)) return WAIT_TIMEOUT;
    if (!manualReset) signalled = false;
    return WAIT_OBJECT_0;
}

}  // namespace os
