// A shared library with a DllGetVersion export, for WinDllVersion's tests.
#include <cstdint>

namespace {
struct Info {
    uint32_t cbSize, major, minor, build, platform;
};
}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t DllGetVersion(Info* info) {
    if (info == nullptr || info->cbSize != sizeof(Info)) return -1;
    info->major = 6;
    info->minor = 1;
    info->build = 7601;
    info->platform = 2;
    return 0;
}
