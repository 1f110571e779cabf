#include "platform/gui/fontwarmup.h"

#include <dlfcn.h>

#include <system_error>

namespace gui {

FontWarmUp::FontWarmUp() {
    // Only the fontconfig Qt itself was linked with, and only when it is
    // already loaded: the warm-up must never bring in a library of its own.
    void* lib = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return;
    auto init = reinterpret_cast<int (*)()>(::dlsym(lib, "FcInit"));
    if (!init) {
        ::dlclose(lib);
        return;
    }
    try {
        // FcInit loads the default configuration once; Qt's later call
        // finds it loaded.
        thread_ = std::thread([lib, init] {
            init();
            ::dlclose(lib);
        });
    } catch (const std::system_error&) {
        ::dlclose(lib);
    }
}

FontWarmUp::~FontWarmUp() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace gui
