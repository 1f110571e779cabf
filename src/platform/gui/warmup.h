// Start-up help: work the first window waits for, done on a second
// processor while the main thread does what only it can.
#pragma once

#include <thread>

namespace gui {

// Fontconfig reads its configuration (a hundred small files on a desktop
// system) and its font caches the first time a widget asks for a font:
// 5 to 10 ms that the first window waits for. It needs nothing of Qt, so
// it runs on a thread of its own beside the creation of the application
// object, and the destructor waits for it before any widget is made (Qt
// then finds the configuration loaded and does not read it a second time).
// When fontconfig is not loaded, or no thread can start, nothing happens
// and Qt reads the configuration itself, as it would without this.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

private:
    std::thread thread_;
};

// Once the application object exists, while the first window is built:
// Qt's font database filled (every installed family registered) and the
// image format plugins loaded and asked once, as Qt does at the first image
// read by a name whose format it must find out (a menu bar's own extension
// icon is one): 3 to 4 ms together. Both are safe beside the main thread
// (the font database and the plugin loader take locks of their own); the
// window's own use of them waits for what is under way rather than doing
// it again. The destructor waits for the thread; when none can start, Qt
// does both itself when the window needs them.
class QtWarmUp {
public:
    QtWarmUp();
    ~QtWarmUp();
    QtWarmUp(const QtWarmUp&) = delete;
    QtWarmUp& operator=(const QtWarmUp&) = delete;

private:
    std::thread thread_;
};

}  // namespace gui
