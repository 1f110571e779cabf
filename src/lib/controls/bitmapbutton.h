// WMBITMAPBUTTON: a button that shows one of two bitmaps (up, down),
// optionally staying down between clicks; SLEButton: the small button beside
// a numeric or date edit that makes the edit run its button action.
#pragma once

#include <QPixmap>

#include <memory>

#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace lib {

class WmBitmapButton : public gui::PushButton {
    QZ_OBJECT(WmBitmapButton)
public:
    WmBitmapButton() = default;
    // INIT(owner, id [, point, dimension]).
    virtual void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }
    // The up and down bitmaps by resource name (drawn artwork first, then
    // the bitmap resources); the button owns them.
    void LoadBitmaps(const std::string& up, const std::string& down);
    void SetBitmaps(QPixmap up, QPixmap down);
    const QPixmap& BitmapUp() const { return up_; }
    const QPixmap& BitmapDown() const { return down_; }
    // Pressed (true) or released: LDOWN follows, a two-state button flips
    // LINSTATE on each release and stays down while it is set.
    void SetPressedState(bool pressed);
    void Destroy() override;
    bool Dispatch(gui::Event& event) override;

    bool LDOWN = false;
    int64_t HBITMAPUP = 0;
    int64_t HBITMAPDOWN = 0;
    bool LTWOSTATE = false;
    bool LINSTATE = false;

protected:
    QWidget* MakeWidget(QWidget* parent) override;

private:
    QPixmap up_, down_;
};

class SleButton : public WmBitmapButton {
    QZ_OBJECT(SleButton)
public:
    SleButton() = default;
    // INIT(edit, owner, id [, point, dimension]): remembers the edit it
    // serves, then the bitmap button's creation.
    void Init(rt::Args args) override;
    void Serve(const rt::Usual& edit);
    bool Dispatch(gui::Event& event) override;
    int64_t NMESSAGE = 0x0203;

private:
    std::weak_ptr<rt::Object> edit_;
    bool mouseDown_ = false;
};

}  // namespace lib
