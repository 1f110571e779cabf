// Gallery pages of the list and window extensions: the masked edit, the
// tip of the day, the bitmap list box and the small extensions.
#pragma once

#include <memory>
#include <string>

#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/mousetracking.h"
#include "platform/gui/dialogwindow.h"
#include "platform/gui/window.h"

namespace gallery {

class MaskedEditPage : public gui::Window {
    QZ_OBJECT(MaskedEditPage)
public:
    void Build(rt::Args args) override;
};

class TipPage : public gui::Window {
    QZ_OBJECT(TipPage)
public:
    void Build(rt::Args args) override;
    // Shows the tip of the day over tips from an array, a DBF table or an
    // array server.
    void PBTIPSARRAY();
    void PBTIPSTABLE();
    void PBTIPSSERVER();

private:
    void ShowTips(const rt::Usual& tips, bool closeServer);
    // The settings file that keeps the last tip and the show-on-startup
    // state between runs of the gallery.
    static std::string SettingsPath();
    void ShowState();
    int64_t lastTip_ = 0;
    bool showOnStartup_ = true;
};

class ListBoxPage : public gui::Window {
    QZ_OBJECT(ListBoxPage)
public:
    void Build(rt::Args args) override;
    void PBADD();
    void PBREMOVE();
    std::shared_ptr<lib::BitmapListBox> list, multi;

private:
    std::string picturePath_;
};

class ExtensionsPage : public gui::Window {
    QZ_OBJECT(ExtensionsPage)
public:
    void Build(rt::Args args) override;
    bool Dispatch(gui::Event& event) override;
    void Show(int64_t mode = 0) override;
    void PBLOCK();
    // A modal dialog whose tab bar has a locked tab.
    void PBTABSDIALOG();
    lib::MouseTracker tracker;
};

// The modal dialog "Locked tabs": an xTabControl and a Close button.
class TabsDialog : public gui::DialogWindow {
    QZ_OBJECT(TabsDialog)
public:
    void Build(rt::Args args) override;
    void PBCLOSE() { EndDialog(0); }
};

void RegisterWidgetsPages();

}  // namespace gallery
