// ListBox: a list box control over QListWidget that answers the list box
// messages the library's classes send it (add, insert and delete an entry,
// empty, count, top index, item rectangle, item data, caret index), through
// SendMessageA or the C++ call LbMessage. Each entry holds an item data
// number; its text is what the list box shows when nobody draws it.
#pragma once

#include "platform/gui/control.h"

class QListWidget;

namespace lib {

enum ListBoxMessage : uint32_t {
    LB_ADDSTRING = 0x180,
    LB_INSERTSTRING = 0x181,
    LB_DELETESTRING = 0x182,
    LB_RESETCONTENT = 0x184,
    LB_GETCOUNT = 0x18B,
    LB_GETTOPINDEX = 0x18E,
    LB_GETITEMRECT = 0x198,
    LB_GETITEMDATA = 0x199,
    LB_SETITEMDATA = 0x19A,
    LB_SETCARETINDEX = 0x19E,
    LB_GETCARETINDEX = 0x19F,
};
inline constexpr int64_t LB_ERR = -1;

// The rectangle LB_GETITEMRECT fills (lParam points at one).
struct ListRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class ListBox : public gui::Control {
    QZ_OBJECT(ListBox)
public:
    ListBox() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    QListWidget* List() const;
    // The list box messages; for add and insert lParam is the item data
    // (the list box keeps no strings of its own), for item rectangles a
    // ListRect*. Unknown messages answer LB_ERR.
    int64_t LbMessage(uint32_t msg, uint64_t wParam, int64_t lParam);
};

}  // namespace lib
