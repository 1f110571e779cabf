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
std::latch* gFontsLoaded = nullptr;  // counted down once FcInit is done
std::latch* gBesideDone = nullptr;   // counted down once all of it is done
std::jthread* gProgramWarmUp = nullptr;

void JoinAtQuit() {
    static bool added = false;
    if (!std::exchange(added, true)) rt::AddQuitHandler(&EndWarmUp);
}

}  // namespace

void BeginBesideApplication() {
    if (gBesideDone) return;
    const FcInitFunction init = FontconfigInit();
    const bool bus = !PlatformWithoutDesktop();
    if (!init && !bus) return;
    auto* loaded = new std::latch(1);
    auto* done = new std::latch(1);
    try {
        // Detached, with its end told by a latch: a quit waits for it, and
        // a program that ends without one (a test's main returning) has
        // long seen it finish, but need not join it.
        std::thread([init, bus, loaded, done] {
            // FcInit loads the default configuration once; Qt's later call
            // finds it loaded.
            if (init) init();
            loaded->count_down();
            if (bus) QDBusConnection::sessionBus();
            done->count_down();
        }).detach();
    } catch (const std::system_error&) {
        delete loaded;
        delete done;
        return;  // no thread: Qt does the work itself when the window needs it
    }
    gFontsLoaded = loaded;
    gBesideDone = done;
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
    if (gProgramWarmUp && gProgramWarmUp->joinable()) gProgramWarmUp->join();
    if (gBesideDone) gBesideDone->wait();
}

}  // namespace gui
