#include "lib/controls/bitmapbutton.h"

#include <QPainter>
#include <QPushButton>

#include "lib/controls/artwork.h"
#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/ownerref.h"
#include "platform/gui/boundary.h"
#include "platform/gui/message.h"
#include "platform/gui/messages.h"

namespace lib {
namespace {

class BitmapButtonWidget : public QPushButton {
public:
    BitmapButtonWidget(WmBitmapButton* owner, QWidget* parent) : QPushButton(parent), owner_(owner) {
        connect(this, &QPushButton::pressed, this, [this] { Press(true); });
        connect(this, &QPushButton::released, this, [this] { Press(false); });
    }

private:
    void Press(bool down) {
        if (auto c = owner_.Get()) gui::FromQt([&] { c->SetPressedState(down); });
    }

protected:
    // The up or down bitmap over the whole client area.
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        auto c = owner_.Get();
        if (!c) return;
        const QPixmap& pm = c->LDOWN ? c->BitmapDown() : c->BitmapUp();
        if (!pm.isNull()) p.drawPixmap(rect(), pm);
    }

private:
    OwnerRef<WmBitmapButton> owner_;
};

QPixmap LoadPicture(const std::string& name) {
    QPixmap pm = DrawArtwork(name, 16);
    if (pm.isNull()) pm.load(QStringLiteral(":/bitmaps/") + QString::fromStdString(name) + QStringLiteral(".png"));
    return pm;
}

}  // namespace

const rt::ClassDef& WmBitmapButton::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<WmBitmapButton>("WMBITMAPBUTTON", &gui::PushButton::StaticClass())
                                       .RawMethod("INIT", InitMethod<WmBitmapButton>())
                                       .IVar<&WmBitmapButton::LDOWN>("LDOWN")
                                       .IVar<&WmBitmapButton::HBITMAPUP>("HBITMAPUP")
                                       .IVar<&WmBitmapButton::HBITMAPDOWN>("HBITMAPDOWN")
                                       .IVar<&WmBitmapButton::LTWOSTATE>("LTWOSTATE")
                                       .IVar<&WmBitmapButton::LINSTATE>("LINSTATE")
                                       .Done();
    return c;
}

const rt::ClassDef& SleButton::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<SleButton>("SLEBUTTON", &WmBitmapButton::StaticClass())
                                       .RawMethod("INIT", InitMethod<SleButton>())
                                       .IVar<&SleButton::NMESSAGE>("NMESSAGE")
                                       .Done();
    return c;
}

void WmBitmapButton::Init(rt::Args args) {
    if (!CreateFromArgs(*this, args)) return;
    Widget()->setFocusPolicy(Qt::ClickFocus);
}

QWidget* WmBitmapButton::MakeWidget(QWidget* parent) { return new BitmapButtonWidget(this, parent); }

void WmBitmapButton::LoadBitmaps(const std::string& up, const std::string& down) {
    SetBitmaps(LoadPicture(up), LoadPicture(down));
}

void WmBitmapButton::SetBitmaps(QPixmap up, QPixmap down) {
    up_ = std::move(up);
    down_ = std::move(down);
    HBITMAPUP = up_.isNull() ? 0 : static_cast<int64_t>(up_.cacheKey());
    HBITMAPDOWN = down_.isNull() ? 0 : static_cast<int64_t>(down_.cacheKey());
    if (Widget()) Widget()->update();
}

void WmBitmapButton::SetPressedState(bool pressed) {
    if (LTWOSTATE) {
        if (!pressed) LINSTATE = !LINSTATE;
        LDOWN = pressed || LINSTATE;
    } else {
        LDOWN = pressed;
    }
    if (Widget()) Widget()->update();
}

bool WmBitmapButton::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_LBUTTONDOWN && Widget() && Widget()->isEnabled()) Widget()->setFocus();
    return gui::PushButton::Dispatch(event);
}

void WmBitmapButton::Destroy() {
    up_ = down_ = QPixmap();
    HBITMAPUP = HBITMAPDOWN = 0;
    gui::PushButton::Destroy();
}

void SleButton::Init(rt::Args args) {
    if (!args.empty()) Serve(args[0]);
    WmBitmapButton::Init(args.empty() ? args : args.subspan(1));
}

void SleButton::Serve(const rt::Usual& edit) { edit_ = edit.AsObject(); }

bool SleButton::Dispatch(gui::Event& event) {
    // A quick second click arrives as a double click: a button takes it as
    // another press (a button class has no double clicks of its own).
    if (event.uMsg == gui::WM_LBUTTONDOWN || event.uMsg == gui::WM_LBUTTONDBLCLK) mouseDown_ = true;
    if (event.uMsg == gui::WM_LBUTTONUP && mouseDown_) {
        mouseDown_ = false;
        if (auto edit = edit_.lock()) {
            static const rt::Symbol kFrom("LSENDFROMBUTTON");
            rt::IVarPut(rt::Usual(edit), kFrom, rt::Usual(true));
            if (auto* c = dynamic_cast<gui::Control*>(edit.get()))
                gui::PostMessageA(c->Handle(), static_cast<uint32_t>(NMESSAGE), 0, 0);
        }
    }
    return WmBitmapButton::Dispatch(event);
}

}  // namespace lib
