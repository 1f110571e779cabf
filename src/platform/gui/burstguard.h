// Keeps a burst of keys from answering a box.
//
// A keyboard-wedge barcode reader types a whole code and Enter in a few
// milliseconds. When a box comes up while an operator keeps scanning, the
// reader's Enter (or a space inside a code) would press the box's default
// button before anyone has read it. While the guard is armed (a window that
// takes reader input is open), every box shown is protected:
//   - it is raised above the other windows, activated, and sounds the bell;
//   - it takes a key press only when the keyboard has been quiet for
//     kQuietMs before it, and only once the box has been up that long; key
//     presses inside a burst, and their releases, are swallowed;
//   - a mouse click always answers it.
// The guard counts every key press the application sees, so the quiet time
// runs from the last key of a burst, wherever that key went.
#pragma once

#include <cstdint>

class QKeyEvent;
class QWidget;

namespace gui::burst {

inline constexpr int64_t kQuietMs = 400;

// Arming nests: the guard is on while at least one arm is not disarmed.
void Arm();
void Disarm();
bool Armed();

// Whether a key press (being delivered now) came within kQuietMs of the key
// press before it, modifier keys not counted: a key of a burst. Valid while
// the guard has been armed at least once.
bool FollowsClosely(const QKeyEvent* press);

// Whether a Qt key is a modifier (Shift, Control, Alt, AltGr, Meta, Super,
// Caps Lock): held for the next key, not a key press of its own.
bool IsModifier(int key);

// Protects a box (a top-level widget about to be shown) while the guard is
// armed; does nothing when it is not. The protection ends with the widget.
void Protect(QWidget* box);

}  // namespace gui::burst
