#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QFontDatabase>

#include <system_error>
#include <utility>

#include "platform/runtime/error.h"

namespace gui {
namespace {

template <class Work>
std::jthread Start(Work work) {
    try {
        return std::jthread(std::move(work));
    } catch (const std::system_error&) {
        return {};
    }
}

}  // namespace

std::jthread WarmUpFonts() {
    void* lib = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return {};
    auto init = reinterpret_cast<int (*)()>(::dlsym(lib, "FcInit"));
    ::dlclose(lib);  // loaded with the program, it stays loaded, and so does FcInit
    // FcInit loads the default configuration once; Qt's later call finds it
    // loaded.
    return init ? Start([init] { init(); }) : std::jthread();
}

std::jthread WarmUpQt() {
    return Start([] { QFontDatabase::families(); });
}

namespace {

// Made at the first BeginWarmUp and never destroyed: a quit ends the
// process without unwinding.
std::jthread* gProgramWarmUp = nullptr;

}  // namespace

void BeginWarmUp() {
    if (gProgramWarmUp) return;
    gProgramWarmUp = new std::jthread(WarmUpQt());
    rt::AddQuitHandler(&EndWarmUp);
}

void EndWarmUp() {
    if (gProgramWarmUp && gProgramWarmUp->joinable()) gProgramWarmUp->join();
}

}  // namespace gui
