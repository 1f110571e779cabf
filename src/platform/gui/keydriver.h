// A keyboard driver for the running program, for end-to-end tests of the
// real executable (a barcode reader is a keyboard, so a test is too).
//
// With QZ_KEY_DRIVER=1 in the environment the program reads commands from
// its standard input, one a line, and answers each on standard output:
//   type TEXT        types the characters into the focused control
//   key NAME         presses a key: Return, Tab, Escape, Delete, Up, Down,
//                    PageUp, PageDown, or a Shift+/Ctrl+/Alt+ letter or F-key
//   command SYMBOL   chooses the menu command of the active window
//   call METHOD [T]  calls a method of the active window, with one text
//   state            prints "state" and the texts of the active window's
//                    one-line edits, tab-separated
// Each command is answered with "ok" (after "state ..." for state) once it
// has been carried out, so the driver knows what the program has done.
#pragma once

namespace gui {

// Starts reading commands when QZ_KEY_DRIVER is set; otherwise nothing.
void InstallKeyDriverFromEnvironment();

}  // namespace gui
