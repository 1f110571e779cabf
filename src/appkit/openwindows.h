// Finding the program's own open windows by their class.
#pragma once

namespace gui {
class Window;
}

namespace appkit {

// The first open window of the class named (or of a class derived from
// it), owned by `owner` when one is given; nullptr when there is none.
gui::Window* OpenWindowOf(const char* className, const gui::Window* owner = nullptr);

// The scanning screen while it is open (it holds the scan data file
// exclusively then); nullptr when it is not.
inline gui::Window* OpenScanningScreen(const gui::Window* owner = nullptr) { return OpenWindowOf("DATAREADER", owner); }

}  // namespace appkit
