// Start-up help: work the first window waits for, done on a second
// processor while the main thread does what only it can. Each starts a
// thread and hands it back; the caller keeps it while the work may run
// beside it, and it is joined when it goes. An empty thread is handed back
// when there is nothing to do or no thread can start: Qt then does the work
// itself when the window needs it, as it would without this.
#pragma once

#include <thread>

namespace gui {

// Fontconfig reads its configuration (a hundred small files on a desktop
// system) and its font caches the first time a widget asks for a font:
// 5 to 10 ms that the first window waits for. It needs nothing of Qt, so
// it can run beside the creation of the application object; the thread is
// to be joined before any widget is made (Qt then finds the configuration
// loaded and does not read it a second time). Only a fontconfig already
// loaded (Qt's own) is used: this never brings in a library of its own.
[[nodiscard]] std::jthread WarmUpFonts();

// Once the application object exists, while the first window is built:
// Qt's font database filled (every installed family registered), 2 to 3 ms
// that the first text otherwise waits for. This is safe beside the main
// thread (the font database takes a lock of its own); the window's own use
// of it waits for what is under way rather than doing it again.
[[nodiscard]] std::jthread WarmUpQt();

// A program's WarmUpQt, begun once its application object is made and its
// command line accepted (StartQtProgram), so that it runs while the first
// window is built. EndWarmUp waits for it; a quit waits for it too, so that
// the process never ends under it. Once per process; GUI thread only.
void BeginWarmUp();
void EndWarmUp();

// The session bus connected on a thread of its own, begun before the
// application object is made. Qt connects to it at the first widget with
// text (for the accessibility bridge) and at the first menu bar (to ask
// whether the desktop shows menus in a bar of its own), and the window
// waits for it: where no bus runs, libdbus forks and looks along PATH for
// dbus-launch before it gives up, 2 to 3 ms. Begun first, it is under way
// while the application object opens the display; Qt's own calls then find
// the connection made (or wait for the rest of it). Skipped on the
// offscreen and minimal platforms, which never ask for the bus. EndWarmUp
// waits for it too.
void BeginSessionBus();

}  // namespace gui
