// qzeval: evaluates expressions on the program's runtime, one per argument
// or, without arguments, one per line of standard input as it arrives.
// Variables assigned on one line (x := 5) are kept for the next. Results go
// to standard output, errors to standard error; the exit code is 0 when
// every line succeeded and 1 otherwise.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "appkit/processsettings.h"
#include "lib/controls/register.h"
#include "lib/data/dataclasses.h"
#include "lib/system/library.h"
#include "lib/system/rytimer.h"
#include "lib/system/serial.h"
#include "lib/system/velltrayobject.h"
#include "lib/widgets/widgetclasses.h"
#include "platform/gui/app.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/cycles.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/numbers.h"
#include "resources/resources.h"

namespace {

constexpr const char* kUsage =
    "usage: qzeval [--gui] [EXPRESSION ...]\n"
    "\n"
    "Evaluates each EXPRESSION in order in one session and prints its value.\n"
    "Without arguments, evaluates each line of standard input as it arrives.\n"
    "Variables assigned with := are kept between expressions.\n"
    "\n"
    "  qzeval 'Upper(\"abc\") + Str(12, 4)'\n"
    "  qzeval 'd := FT_Date{}' 'd:YEAR(CToD(\"15/03/2024\"))'\n"
    "  qzeval 'DBServer{\"stock.dbf\"}:WILDSEEK(\"AB*\")'\n"
    "\n"
    "The language is that of code blocks (docs/blocks.md); every class of the\n"
    "library is created by name (CLASS{args}). Settings are the program's:\n"
    "date format DD/MM/YYYY, four-digit years, epoch 40 years back, deleted\n"
    "records hidden.\n"
    "\n"
    "With --gui the window, control and widget classes can be created too\n"
    "(on the X display, or offscreen when there is none); their windows are\n"
    "not shown unless SHOW is called, and no events run between lines.\n"
    "RUNEVENTS(ms) runs the message loop for that many milliseconds (timers,\n"
    "the timed dispatcher, splash screens), at most a minute at a time;\n"
    "RUNEVENTS(ms, {|| condition}) stops early once the condition holds and\n"
    "answers whether it did.\n"
    "\n"
    "  qzeval --gui 'w := Window{}' 'e := RightSLE{w, 1}' 'e:ZEROPAD'\n"
    "  qzeval --gui 's := SplashScreen{NIL}' 's:SHOW()' 'RUNEVENTS(9000, {|| s:HANDLE == 0})'\n"
    "\n"
    "Errors are printed to standard error with the line they came from.\n"
    "Exit code: 0 when every expression succeeded, 1 otherwise.\n"
    "\n"
    "  --help     shows this help\n"
    "  --version  shows the version\n";

// The text of a value: AsString, with arrays written out as {a, b, ...}.
std::string Show(const rt::Usual& v, int depth = 0) {
    if (!v.IsArray()) return rt::AsString(v);
    if (depth > 8) return "{...}";
    std::string out = "{";
    for (size_t i = 1; i <= v.ALen(); ++i) {
        if (i > 1) out += ", ";
        const rt::Usual& e = v.At(i);
        out += e.IsString() ? "\"" + e.AsStr() + "\"" : Show(e, depth + 1);
    }
    return out + "}";
}

// RUNEVENTS(ms, until): the message loop for ms milliseconds (0 to a
// minute), timers and posted messages included, or until the code block
// `until` answers true. Answers the milliseconds it ran, or with a block
// whether the block came true in time.
rt::Usual RunEvents(rt::Args a) {
    const int64_t ms = std::clamp<int64_t>(!a.empty() && a[0].IsNumeric() ? a[0].AsLong() : 0, 0, 60'000);
    const rt::Usual until = a.size() > 1 ? a[1] : rt::Usual();
    auto done = [&] {
        const rt::Usual v = until.Eval();
        return v.IsLogic() && v.AsLogic();
    };
    QElapsedTimer clock;
    clock.start();
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents,
                                        static_cast<int>(std::clamp<int64_t>(deadline.remainingTime(), 1, 50)));
    return until.IsCodeBlock() ? rt::Usual(done()) : rt::Usual(int64_t{clock.elapsed()});
}

// Evaluates one line; false after printing its error.
bool EvalLine(const std::string& line, size_t number) {
    // Between lines nothing is being evaluated: free what the last line
    // left in cycles (an array put into itself, a block in its own frame).
    struct Collect {
        ~Collect() { rt::CollectCycles(); }
    } collect;
    rt::ErrorRef failure;
    rt::Usual result;
    bool ok =
        rt::BeginSequence([&] { result = rt::MacroEval(line); },
                          [&](const rt::Usual& v) { failure = std::dynamic_pointer_cast<rt::Error>(v.AsObject()); });
    if (ok) {
        std::string text = Show(result) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return true;
    }
    std::string what = failure ? failure->Description : "the evaluation was abandoned";
    if (failure && what.empty()) what = std::string(rt::ErrString(failure->GenCode));
    std::fprintf(stderr, "qzeval: line %zu: %s\n  %s\n", number, what.c_str(), line.c_str());
    std::fflush(stderr);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    bool gui = false;
    std::vector<std::string> expressions;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("qzeval " QZ_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--gui") == 0) gui = true;
        else expressions.emplace_back(argv[i]);
    }
    if (gui) {
        // Windows need Qt's application object; without a display they are
        // made offscreen.
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        gui::EnsureQtApplication(argc, argv);
    }
    // The start-up of the program: regional settings, then its own.
    appkit::ApplyStartUpSettings();
    lib::RegisterDataClasses();
    lib::RegisterSystemClasses();
    for (const lib::NamedFunction& f : lib::SystemFunctions()) rt::RegisterFunction(f.name, f.call);
    for (const lib::NamedFunction& f : lib::TimerFunctions()) rt::RegisterFunction(f.name, f.call);
    lib::RegisterTimerClasses();
    lib::RegisterSerialClasses();
    if (gui) {
        resources::RegisterAll();  // the dialog templates and bitmaps (the splash screens')
        rt::RegisterFunction("RUNEVENTS", RunEvents);
        lib::RegisterWindowSideClasses();
        lib::RegisterControlClasses();
        lib::RegisterWidgetClasses();
    }
    // Every fault leaves the line it happened in.
    rt::ErrorBlock(rt::Usual::Block([](rt::Args a) -> rt::Usual { rt::LabelJump(a.empty() ? rt::Usual() : a[0]); }));

    bool allOk = true;
    size_t number = 0;
    if (!expressions.empty()) {
        for (const std::string& e : expressions) allOk = EvalLine(e, ++number) && allOk;
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            allOk = EvalLine(line, number) && allOk;
        }
    }
    rdd::RDDCloseAll();
    return allOk ? 0 : 1;
}
