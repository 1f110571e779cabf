#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QDBusConnection>
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

// Made at the first BeginSessionBus and BeginWarmUp and never destroyed: a quit ends the
// process without unwinding.
std::jthread* gProgramWarmUp = nullptr;
std::jthread* gBusConnection = nullptr;

void JoinAtQuit() {
    static bool added = false;
    if (!std::exchange(added, true)) rt::AddQuitHandler(&EndWarmUp);
}

// The platforms that use no desktop service: nothing of theirs asks for
// the session bus.
bool PlatformWithoutDesktop() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return platform.startsWith("offscreen") || platform.startsWith("minimal");
}

}  // namespace

void BeginSessionBus() {
    if (gBusConnection || PlatformWithoutDesktop()) return;
    gBusConnection = new std::jthread(Start([] { QDBusConnection::sessionBus(); }));
    JoinAtQuit();
}

void BeginWarmUp() {
    if (gProgramWarmUp) return;
    gProgramWarmUp = new std::jthread(WarmUpQt());
    JoinAtQuit();
}

void EndWarmUp() {
    for (std::jthread* work : {gProgramWarmUp, gBusConnection})
        if (work && work->joinable()) work->join();
}

}  // namespace gui
