// The shell window's menus: the scanning application's "&Options" menu and
// the standard File/Edit/View/Help menu for browsing a table. Each brings
// its tool bar and accelerator table.
#pragma once

#include "platform/gui/menu.h"

namespace app {

class EmptySDIMenu : public gui::Menu {
    QZ_OBJECT(EmptySDIMenu)
public:
    EmptySDIMenu() = default;
    void Init(const rt::Usual& owner);
};

class StandardSDIMenu : public gui::Menu {
    QZ_OBJECT(StandardSDIMenu)
public:
    StandardSDIMenu() = default;
    void Init(const rt::Usual& owner);
};

class EmptySDIMenu_Accelerator : public gui::Accelerator {
    QZ_OBJECT(EmptySDIMenu_Accelerator)
public:
    EmptySDIMenu_Accelerator() { Load("EmptySDIMenu"); }
};

class StandardSDIMenu_Accelerator : public gui::Accelerator {
    QZ_OBJECT(StandardSDIMenu_Accelerator)
public:
    StandardSDIMenu_Accelerator() { Load("StandardSDIMenu"); }
};

}  // namespace app
