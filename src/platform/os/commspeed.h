// Line speeds of a terminal device in bits per second, any rate the driver
// takes (termios2), for the communications layer.
#pragma once

#include <cstdint>

namespace os::detail {

// The output speed of the device, 0 when it cannot be read.
uint32_t GetLineSpeed(int fd);
// Sets input and output speed; false (errno set) when the driver refuses
// the rate or sets another one. A refused rate leaves the old one.
bool SetLineSpeed(int fd, uint32_t baud);

}  // namespace os::detail
