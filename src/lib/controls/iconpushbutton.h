// IconPushButton: a push button painted here, with an icon at its left for
// the up, pressed and disabled states, and its four ready-made kinds (OK,
// Cancel, No, Help) with their drawn icon triples.
#pragma once

#include <memory>
#include <optional>

#include "lib/controls/controlinit.h"
#include "platform/gui/control.h"
#include "platform/gui/window.h"

class QPainter;

namespace lib {

class IconPushButton : public gui::PushButton {
    QZ_OBJECT(IconPushButton)
public:
    IconPushButton() = default;

    // INIT(owner, id [, point, dimension, caption]): the button on the
    // owner's template item, painted here.
    virtual void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }

    // Icon assigns: an icon object, or nil to clear; anything else is
    // refused with an argument error and changes nothing.
    rt::Usual SetIconUp(const rt::Usual& icon) { return Store(iconUp_, icon, "ICONUP"); }
    rt::Usual SetIconDown(const rt::Usual& icon) { return Store(iconDown_, icon, "ICONDOWN"); }
    rt::Usual SetIconDisabled(const rt::Usual& icon) { return Store(iconDisabled_, icon, "ICONDISABLED"); }
    rt::Usual IconUp() const { return rt::Usual(iconUp_); }
    rt::Usual IconDown() const { return rt::Usual(iconDown_); }
    rt::Usual IconDisabled() const { return rt::Usual(iconDisabled_); }
    // Text colour as 0x00BBGGRR (a Win32 COLORREF); nil for the default.
    rt::Usual SetButtonTextColor(const rt::Usual& color);
    int64_t SetLeftIconBorder(int64_t px) { return leftBorder_ = px; }
    int64_t LeftIconBorder() const { return leftBorder_; }

    void EnableButton();
    void DisableButton();
    bool Pressed() const { return pressed_; }
    // The button-state change (pressed or released): repaints on a change.
    void SetPressed(bool on);
    bool Focused() const { return focused_; }
    bool DisabledFlag() const { return disabled_; }
    // The icon the button shows now (what DRAWTHEBUTTON paints).
    std::shared_ptr<gui::Icon> ShownIcon() const;

    bool Dispatch(gui::Event& event) override;
    // Paints the whole button.
    void DrawTheButton(QPainter& p);

protected:
    QWidget* MakeWidget(QWidget* parent) override;
    void LoadIcons(const char* up, const char* down, const char* disabled);

private:
    rt::Usual Store(std::shared_ptr<gui::Icon>& slot, const rt::Usual& icon, const char* name);
    void Repaint();
    std::shared_ptr<gui::Icon> iconUp_, iconDown_, iconDisabled_;
    bool pressed_ = false, focused_ = false, disabled_ = false;
    std::optional<uint32_t> textColor_;
    int64_t leftBorder_ = 4;
};

// The ready-made kinds: INIT loads the icon triple of their own.
class OkPushButton : public IconPushButton {
    QZ_OBJECT(OkPushButton)
public:
    void Init(rt::Args args) override;
};
class CancelPushButton : public IconPushButton {
    QZ_OBJECT(CancelPushButton)
public:
    void Init(rt::Args args) override;
};
class NoPushButton : public IconPushButton {
    QZ_OBJECT(NoPushButton)
public:
    void Init(rt::Args args) override;
};
class HelpPushButton : public IconPushButton {
    QZ_OBJECT(HelpPushButton)
public:
    void Init(rt::Args args) override;
};

}  // namespace lib
