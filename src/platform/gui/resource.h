// Resources: menus, accelerator tables, tool bars and dialog templates as
// declarative data compiled into the program. The data itself lives in
// resources/ and registers here by name (names compare case-insensitively).
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

// ---- Menus --------------------------------------------------------------

struct MenuItemResource {
    enum Kind { kItem, kSeparator, kPopupBegin, kPopupEnd };
    Kind kind = kItem;
    int id = 0;
    std::string caption;      // "&Open...\tCtrl+O": text, tab, shortcut text
    std::string command;      // the command symbol's name
    std::string description;  // status-bar prompt while highlighted
    std::string helpContext;
};

struct MenuResource {
    std::string name;
    std::vector<MenuItemResource> items;  // popups bracket their items
};

// ---- Accelerators -------------------------------------------------------

enum AccelFlags : uint32_t { kAccelShift = 0x04, kAccelControl = 0x08, kAccelAlt = 0x10 };

struct AcceleratorEntry {
    uint32_t virtualKey = 0;
    uint32_t modifiers = 0;  // AccelFlags
    int itemId = 0;
};

struct AcceleratorResource {
    std::string name;
    std::vector<AcceleratorEntry> entries;
};

// ---- Dialog templates ---------------------------------------------------

enum ItemStyle : uint32_t {
    kStyleBorder = 0x1,
    kStyleTabStop = 0x2,
    kStyleAutoHScroll = 0x4,
    kStyleClientEdge = 0x8,
    kStyleGroup = 0x10,
    kStyleGroupBox = 0x20,
    kStylePushButton = 0x40,
    kStyleDefPushButton = 0x80,
    kStyleLeft = 0x100,
    kStyleRight = 0x200,
    kStyleCenter = 0x400,
    kStyleMultiLine = 0x800,
    kStyleReadOnly = 0x1000,
    kStyleVScroll = 0x2000,
    kStyleCheckBox = 0x4000,
    kStyleRadio = 0x8000,
    kStyleBitmap = 0x10000,
    kStyleNumber = 0x20000,
    kStylePassword = 0x40000,
};

struct DialogItemResource {
    int id = 0;
    std::string windowClass;  // "edit", "button", "static", "listbox", "richedit", "custom"
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    uint32_t style = 0;                // ItemStyle
};

struct DialogTemplate {
    std::string name;
    std::string caption;
    int cx = 0, cy = 0;  // dialog units
    std::string fontFace = "MS Shell Dlg";
    int fontPoints = 8;
    bool childForm = false;  // laid out inside a data window rather than as its own window
    bool popup = false;      // no caption bar and no frame
    bool centred = false;    // placed in the middle of the screen
    std::vector<DialogItemResource> items;

    const DialogItemResource* Item(int id) const;
};

// ---- Tool bars ----------------------------------------------------------

struct ToolBarButtonResource {
    int image = 0;  // 0: separator
    int itemId = 0;
    std::string tip;
};

// ---- Registry -----------------------------------------------------------

void RegisterMenu(MenuResource menu);
void RegisterAccelerator(AcceleratorResource table);
void RegisterDialog(DialogTemplate dialog);
const MenuResource* FindMenu(const std::string& name);
const AcceleratorResource* FindAccelerator(const std::string& name);
const DialogTemplate* FindDialog(const std::string& name);

// The Qt font for a template's font: the face maps onto the desktop's sans
// font when it is a Windows face not present here.
QFont DialogFont(const DialogTemplate& dialog);
// Dialog units to pixels, through the dialog font's average character width
// and height (x * width / 4, y * height / 8).
QRect DialogUnitsToPixels(const DialogTemplate& dialog, int x, int y, int cx, int cy);

// The picture of a tool-bar image number (":/toolbar/<n>.svg" or ".png").
QString ToolBarImagePath(int image);

// The icon of these picture files, made once in the process: windows
// given the same icon share its pictures, so that each size is drawn once
// (a scalable picture is read again for every size drawn). A single SVG
// resource is served from its pictures drawn ahead (predrawn.h). GUI
// thread only.
QIcon SharedIcon(const QStringList& files);

// The icon as a window icon: one that only scales (SVG) becomes pictures
// of 16 to 64 pixels, drawn once per icon. Qt would otherwise draw it at
// four sizes up to 128 pixels when the window is made, and again when the
// window takes it, and the 128-pixel picture makes the window's icon
// property, which the window manager reads before it maps the window,
// more than twice as large. GUI thread only.
QIcon WindowIconOf(const QIcon& icon);

}  // namespace gui
