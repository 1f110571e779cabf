// Kept apart from comm.cpp: <asm/termbits.h> (struct termios2) cannot be
// included together with <termios.h>.
#include "platform/os/commspeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace os::detail {
namespace {

// The rates with a speed code of their own; others go as BOTHER + number.
tcflag_t SpeedCode(uint32_t baud) {
    static const struct {
        uint32_t baud;
        tcflag_t code;
    } kCodes[] = {{50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
                  {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
                  {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
                  {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& c : kCodes)
        if (c.baud == baud) return c.code;
    return BOTHER;
}

}  // namespace

uint32_t GetLineSpeed(int fd) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

bool SetLineSpeed(int fd, uint32_t baud) {
    struct termios2 old {};
    if (::ioctl(fd, TCGETS2, &old) != 0) return false;
    struct termios2 t = old;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    const tcflag_t code = SpeedCode(baud);
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    if (::ioctl(fd, TCSETS2, &t) != 0) return false;
    struct termios2 back {};
    if (::ioctl(fd, TCGETS2, &back) != 0) return false;
    // A driver that cannot make the rate rounds it or keeps the old one; a
    // rate off by more than 2% is refused, as a UART would garble it.
    const uint64_t got = back.c_ospeed;
    const uint64_t diff = got > baud ? got - baud : baud - got;
    if (diff * 50 > baud) {
        ::ioctl(fd, TCSETS2, &old);
        errno = EINVAL;
        return false;
    }
    return true;
}

}  // namespace os::detail
