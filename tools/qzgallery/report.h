// The gallery's read-out for tests that drive it with real X input: with
// --report FILE it keeps FILE up to date with what a person would read off
// the screen, so a test can poll it instead of taking screenshots.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/window.h"

namespace gallery {

// Lines "key: value", rewritten (atomically) whenever they change:
//   window: <title> @ x y w h        every visible top-level window
//   active: <title>                  the active window
//   focus: <key>                     the control that has the keyboard focus
//   caret: <n> selected <m>          the caret and selection of a focused edit
//   <page>.<id>: <text>              each shown control's text (a list box: its
//                                    entries' values in order and the caret)
//   <page>.<id>@: x y w h            its place on the screen
// <page> is the page's short name, or the window title for dialogs.
void StartReport(const std::string& path, std::vector<std::pair<std::string, gui::Window*>> pages);

}  // namespace gallery
