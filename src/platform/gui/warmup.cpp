#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QDBusConnection>
#include <QFontDatabase>

#include <latch>
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

// Fontconfig's FcInit, when the program has fontconfig loaded (Qt's own);
// null otherwise.
using FcInitFunction = int (*)();
FcInitFunction FontconfigInit() {
    void* lib = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    auto init = reinterpret_cast<FcInitFunction>(::dlsym(lib, "FcInit"));
    ::dlclose(lib);  // loaded with the program, it stays loaded, and so does FcInit
    return init;
}

// The platforms that use no desktop service: nothing of theirs asks for
// the session bus.
bool PlatformWithoutDesktop() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return platform.startsWith("offscreen") || platform.startsWith("minimal");
}

// Each made at its first begin and never destroyed: a quit ends the
// process without unwinding.
std::jthread* gBeside = nullptr;
std::latch* gFontsLoaded = nullptr;  // counted down by gBeside once FcInit is done
std::jthread* gProgramWarmUp = nullptr;

void JoinAtQuit() {
    static bool added = false;
    if (!std::exchange(added, true)) rt::AddQuitHandler(&EndWarmUp);
}

}  // namespace

void BeginBesideApplication() {
    if (gBeside) return;
    const FcInitFunction init = FontconfigInit();
    const bool bus = !PlatformWithoutDesktop();
    if (!init && !bus) return;
    auto* loaded = new std::latch(1);
    gBeside = new std::jthread(Start([init, bus, loaded] {
        // FcInit loads the default configuration once; Qt's later call
        // finds it loaded.
        if (init) init();
        loaded->count_down();
        if (bus) QDBusConnection::sessionBus();
    }));
    if (gBeside->joinable()) gFontsLoaded = loaded;
    JoinAtQuit();
}

void AwaitFonts() {
    if (gFontsLoaded) gFontsLoaded->wait();
}

std::jthread WarmUpQt() {
    return Start([] { QFontDatabase::families(); });
}

void BeginWarmUp() {
    if (gProgramWarmUp) return;
    gProgramWarmUp = new std::jthread(WarmUpQt());
    JoinAtQuit();
}

void EndWarmUp() {
    for (std::jthread* work : {gBeside, gProgramWarmUp})
        if (work && work->joinable()) work->join();
}

}  // namespace gui
