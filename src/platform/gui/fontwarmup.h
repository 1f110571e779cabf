// Start-up help: the font configuration read on a second processor while
// Qt loads its platform plugin and connects to the display.
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

}  // namespace gui
