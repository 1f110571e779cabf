#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QDBusConnection>
#include <QFontDatabase>

#include <chrono>
#include <latch>
#include <system_error>
#include <utility>

#include "platform/gui/busprobe.h"
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

// How long the session bus may take to answer before the program goes on
// without it. A bus at work answers in well under a millisecond; this
// leaves room for a machine under heavy load.
constexpr std::chrono::milliseconds kBusAnswerLimit{2000};

// Where Qt is sent instead of a bus that does not answer: a path that
// cannot exist, so that every connection fails at once.
constexpr char kNoBus[] = "unix:path=/dev/null/session-bus-did-not-answer";

bool SessionBusSilent() {
    return ProbeBus(qgetenv("DBUS_SESSION_BUS_ADDRESS").toStdString(), kBusAnswerLimit) == BusReply::kSilent;
}

// Each made at its first begin and never destroyed: a quit ends the
// process without unwinding.
std::latch* gFontsLoaded = nullptr;  // counted down once FcInit is done and the bus asked
bool gBusSilent = false;             // written before gFontsLoaded counts down
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
            // The bus is asked first with a time limit: libdbus waits for a
            // new connection's authentication without one.
            const bool silent = bus && SessionBusSilent();
            gBusSilent = silent;
            loaded->count_down();
            if (bus && !silent) QDBusConnection::sessionBus();
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
    if (!gFontsLoaded) return;
    gFontsLoaded->wait();
    if (!gBusSilent) return;
    // No session-bus connection has been asked for yet (the helper skipped
    // it, and no widget exists), so Qt and libdbus read the address first
    // from here on. The helper asks for nothing more and the display thread
    // reads no environment, so nothing reads it while it changes.
    qWarning(
        "The session bus at %s did not answer within %lld ms: going on without it "
        "(no accessibility bridge, no desktop menu bar, no desktop tray).",
        qgetenv("DBUS_SESSION_BUS_ADDRESS").constData(), static_cast<long long>(kBusAnswerLimit.count()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", kNoBus);
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
