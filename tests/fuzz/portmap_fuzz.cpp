// libFuzzer target for the port map: any bytes as a port map file and as
// the environment's one-line form. Every entry read must name a port and a
// device or queue, neither holding a control character, and reading the
// same text again must give the same entries.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/os/portmap.h"

namespace {

bool Clean(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

void Check(std::string_view text, std::string_view separators) {
    const auto map = os::ParsePortMap(text, separators);
    for (const os::PortMapping& m : map) {
        if (!Clean(m.name) || !Clean(m.target.path) || m.target.kind == os::PortTarget::None) __builtin_trap();
        if (m.name.find_first_of(separators) != std::string_view::npos || m.name.find('=') != std::string_view::npos)
            __builtin_trap();
    }
    if (os::ParsePortMap(text, separators) != map) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text, "\r\n");
    Check(text, ";");
    return 0;
}
