// Start-up help: work the first window waits for, done on a second
// processor while the main thread does what only it can. Where no thread
// can start, nothing is done ahead: Qt then does the work itself when the
// window needs it, as it would without this.
#pragma once

#include <thread>

namespace gui {

// Begun just before the application object is made, on one thread, one
// after the other, while the application object opens the display:
//  - fontconfig's configuration loaded: it reads a hundred small files and
//    its font caches the first time a widget asks for a font, 5 to 10 ms
//    the first window would wait for. It needs nothing of Qt. Only a
//    fontconfig already loaded (Qt's own) is used: this never brings in a
//    library of its own.
//  - then the session bus connected. Qt connects to it at the first widget
//    with text (for the accessibility bridge) and at the first menu bar (to
//    ask whether the desktop shows menus in a bar of its own), and the
//    window waits for it; where no bus runs, libdbus forks and looks along
//    PATH for dbus-launch before it gives up, 2 to 3 ms. Qt's own calls
//    then find the connection made, or wait for the rest of it. Skipped on
//    the offscreen and minimal platforms, which never ask for the bus.
//    Before it, the bus is asked with a time limit (ProbeBus): one that
//    does not answer would keep libdbus, and so the first menu bar,
//    waiting for ever. AwaitFonts then points Qt at no bus at all, and the
//    program goes on without the desktop's bus services.
// One thread, not two: beside the application object and the display
// server, a third busy thread slows all of them on two processors.
// AwaitFonts waits for the first part, to be called before any widget is
// made (Qt then finds the configuration loaded and does not read it a
// second time); EndWarmUp waits for all of it. Once per process.
void BeginBesideApplication();
void AwaitFonts();

// Once the application object exists, while the first window is built:
// Qt's font database filled (every installed family registered), 2 to 3 ms
// that the first text otherwise waits for. This is safe beside the main
// thread (the font database takes a lock of its own); the window's own use
// of it waits for what is under way rather than doing it again. The thread
// is handed back (empty when none can start) and joined when it goes.
[[nodiscard]] std::jthread WarmUpQt();

// A program's WarmUpQt, begun once its application object is made and its
// command line accepted (StartQtProgram), so that it runs while the first
// window is built. EndWarmUp waits for it and for BeginBesideApplication's
// work; a quit waits for them too, so that the process never ends under
// them. Once per process; GUI thread only.
void BeginWarmUp();
void EndWarmUp();

}  // namespace gui
