// Menus, accelerator tables and tool bars, built from resources. Items name
// their command by a symbol; choosing an item, its tool-bar button or its
// accelerator delivers the command to the window the menu is installed in.
#pragma once

#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

#include <map>
#include <string>
#include <vector>

#include "platform/gui/resource.h"
#include "platform/runtime/object.h"

class QAction;
class QMenuBar;
class QToolBar;
class QShortcut;
class QWidget;

namespace gui {

class Window;
class DataWindow;

class Accelerator : public rt::Object {
    QZ_OBJECT(Accelerator)
public:
    Accelerator() = default;
    // Loads the accelerator table resource of that name.
    explicit Accelerator(const std::string& resourceName);
    void Load(const std::string& resourceName);
    const std::vector<AcceleratorEntry>& Entries() const { return entries_; }

private:
    std::vector<AcceleratorEntry> entries_;
};

class ToolBar : public rt::Object {
    QZ_OBJECT(ToolBar)
public:
    ToolBar();
    ~ToolBar() override;
    // Adds a button with an image number for a menu item; image 0 with no
    // item adds a separator.
    void AppendItem(int64_t image, int64_t itemId = 0);
    void AddTipText(int64_t image, int64_t itemId, const std::string& text);
    void PressItem(int64_t itemId);
    void UnPressItem(int64_t itemId);
    bool IsPressed(int64_t itemId) const;
    int64_t ButtonStyle() const { return buttonStyle_; }
    int64_t SetButtonStyle(int64_t style);
    bool Flat() const { return flat_; }
    bool SetFlat(bool on);
    bool Bands() const { return bands_; }
    bool EnableBands(bool on);

    QToolBar* Bar() const { return bar_; }
    // The tip text of a button, "" when it has none.
    std::string TipText(int64_t itemId) const;
    // Item ids from left to right; 0 for a separator.
    std::vector<int64_t> Layout() const;
    // Delivers the buttons' commands to this window.
    void SetTarget(Window* window) { target_ = window; }
    // The command of an item id, looked up in the target's menu.
    void SetCommandLookup(std::function<rt::Symbol(int)> lookup) { lookup_ = std::move(lookup); }

private:
    QPointer<QToolBar> bar_;
    std::map<int64_t, QAction*> actions_;
    std::vector<int64_t> layout_;
    int64_t buttonStyle_ = 0;
    bool flat_ = false;
    bool bands_ = true;
    Window* target_ = nullptr;
    std::function<rt::Symbol(int)> lookup_;
};

class Menu : public rt::Object {
    QZ_OBJECT(Menu)
public:
    Menu();
    ~Menu() override;
    // Builds the menu from the menu resource of that name; every popup and
    // item is registered with its id and a HyperLabel.
    void Load(const std::string& resourceName);

    struct Item {
        int id = 0;
        rt::Usual hyperLabel;  // HyperLabel object
        bool popup = false;
        int position = -1;  // popups: 0, 1, 2 ...
        QAction* action = nullptr;
    };
    const std::vector<Item>& Items() const { return items_; }
    const Item* FindItem(int id) const;
    rt::Symbol CommandOf(int id) const;
    // The menu's tool bar and accelerator table (ToolBar and Accelerator objects).
    rt::Usual GetToolBar() const { return toolBar_; }
    rt::Usual SetToolBar(const rt::Usual& toolBar);
    rt::Usual GetAccelerator() const { return accelerator_; }
    rt::Usual SetAccelerator(const rt::Usual& accelerator);

    QMenuBar* Bar() const { return bar_; }
    // The window that receives the commands.
    void SetTarget(Window* window);
    Window* Target() const { return target_; }
    // Chooses an item as the operator would.
    void Choose(int id);

private:
    QPointer<QMenuBar> bar_;
    std::vector<Item> items_;
    rt::Usual toolBar_, accelerator_;
    Window* target_ = nullptr;
};

// The text of a menu caption as shown: the part before the tab.
std::string CaptionText(const std::string& caption);
// The shortcut text after the tab, "" when there is none.
std::string CaptionShortcut(const std::string& caption);

}  // namespace gui
