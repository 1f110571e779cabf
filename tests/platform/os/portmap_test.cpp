// The port map's text: entries read with any line end, broken ones left out.
#include <gtest/gtest.h>

#include <vector>

#include "platform/os/portmap.h"

namespace {

using os::PortMapping;
using os::PortTarget;

TEST(PortMap, EntriesReadWithAnyLineEndAndBrokenOnesAreLeftOut) {
    const char* text =
        "\xEF\xBB\xBF"
        "COM1=/dev/ttyS4\r\n"
        "lpt1: = cups:office,850\r"
        "COM2=/dev/tty\x01S1\n"
        "COM3=\n"
        "COM4=cups:\n"
        "COM5=,utf-8\n"
        "=/dev/ttyS0 # no name\n"
        "COM6 = /dev/ttyUSB0 # the scanner\n";
    const std::vector<PortMapping> want = {{"COM1", {PortTarget::Device, "/dev/ttyS4", 0}},
                                           {"LPT1", {PortTarget::Queue, "office", 850}},
                                           {"COM6", {PortTarget::Device, "/dev/ttyUSB0", 0}}};
    EXPECT_EQ(os::ParsePortMap(text, "\r\n"), want);
}

}  // namespace
