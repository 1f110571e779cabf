// The program's resources: call once at start, before any window is built.
#pragma once

#include <vector>

#include "platform/gui/resource.h"

namespace resources {

// Registers the menus, accelerator tables and dialog templates, and makes the
// images available to the GUI layer.
void RegisterAll();

// The buttons of the tool bars that go with the two shell menus.
const std::vector<gui::ToolBarButtonResource>& EmptySDIToolBar();
const std::vector<gui::ToolBarButtonResource>& StandardSDIToolBar();

void RegisterMenus();
void RegisterDialogs();
// The two splash screens' templates (splashdialogs.cpp).
void RegisterSplashDialogs();

}  // namespace resources
