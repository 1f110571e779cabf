#include "lib/controls/iconpushbutton.h"

#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>

#include "lib/controls/artwork.h"
#include "lib/controls/ownerref.h"
#include "lib/system/selfmethod.h"
#include "platform/gui/boundary.h"

namespace lib {
namespace {

// The button widget: every paint goes to the control's DRAWTHEBUTTON.
class IconButtonWidget : public QPushButton {
public:
    IconButtonWidget(IconPushButton* owner, QWidget* parent) : QPushButton(parent), owner_(owner) {
        connect(this, &QPushButton::pressed, this, [this] { Press(true); });
        connect(this, &QPushButton::released, this, [this] { Press(false); });
    }

private:
    void Press(bool down) {
        if (auto c = owner_.Get()) gui::FromQt([&] { c->SetPressed(down); });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (auto c = owner_.Get()) c->DrawTheButton(p);
    }

private:
    OwnerRef<IconPushButton> owner_;
};

std::shared_ptr<gui::Icon> AsIcon(const rt::Usual& v) { return std::dynamic_pointer_cast<gui::Icon>(v.AsObject()); }

}  // namespace

const rt::ClassDef& IconPushButton::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<IconPushButton>("ICONPUSHBUTTON", &gui::PushButton::StaticClass())
                                       .RawMethod("INIT", InitMethod<IconPushButton>())
                                       .Assign<&IconPushButton::SetIconUp>("ICONUP")
                                       .Assign<&IconPushButton::SetIconDown>("ICONDOWN")
                                       .Assign<&IconPushButton::SetIconDisabled>("ICONDISABLED")
                                       .Access<&IconPushButton::IconUp>("ICONUP")
                                       .Access<&IconPushButton::IconDown>("ICONDOWN")
                                       .Access<&IconPushButton::IconDisabled>("ICONDISABLED")
                                       .Assign<&IconPushButton::SetButtonTextColor>("BUTTONTEXTCOLOR")
                                       .Assign<&IconPushButton::SetLeftIconBorder>("LEFTICONBORDER")
                                       .Access<&IconPushButton::LeftIconBorder>("LEFTICONBORDER")
                                       .RawMethod("ENABLE", AnswerSelf<&IconPushButton::EnableButton>())
                                       .RawMethod("DISABLE", AnswerSelf<&IconPushButton::DisableButton>())
                                       .Done();
    return c;
}

#define QZ_ICON_BUTTON(Cls, Name, Up, Down, Disabled)                                                                \
    const rt::ClassDef& Cls::StaticClass() {                                                                         \
        static const rt::ClassDef& c =                                                                               \
            rt::ClassBuilder<Cls>(Name, &IconPushButton::StaticClass()).RawMethod("INIT", InitMethod<Cls>()).Done(); \
        return c;                                                                                                    \
    }                                                                                                                \
    void Cls::Init(rt::Args args) {                                                                                  \
        IconPushButton::Init(args);                                                                                  \
        LoadIcons(Up, Down, Disabled);                                                                               \
    }

QZ_ICON_BUTTON(OkPushButton, "OKPUSHBUTTON", "ICOOKUP", "ICOOKDOWN", "ICOOKDISABLED")
QZ_ICON_BUTTON(CancelPushButton, "CANCELPUSHBUTTON", "ICOCANCELUP", "ICOCANCELDOWN", "ICOCANCELDISABLED")
QZ_ICON_BUTTON(NoPushButton, "NOPUSHBUTTON", "ICONOUP", "ICONODOWN", "ICONODISABLED")
QZ_ICON_BUTTON(HelpPushButton, "HELPPUSHBUTTON", "ICOHELPUP", "ICOHELPDOWN", "ICOHELPDISABLED")
#undef QZ_ICON_BUTTON

void IconPushButton::Init(rt::Args args) {
    if (!CreateFromArgs(*this, args)) return;
    disabled_ = !IsEnabled();
}

QWidget* IconPushButton::MakeWidget(QWidget* parent) { return new IconButtonWidget(this, parent); }

void IconPushButton::SetPressed(bool on) {
    if (pressed_ == on) return;
    pressed_ = on;
    Repaint();
}

void IconPushButton::LoadIcons(const char* up, const char* down, const char* disabled) {
    iconUp_ = rt::New<ArtworkIcon>(up);
    iconDown_ = rt::New<ArtworkIcon>(down);
    iconDisabled_ = rt::New<ArtworkIcon>(disabled);
    Repaint();
}

rt::Usual IconPushButton::Store(std::shared_ptr<gui::Icon>& slot, const rt::Usual& icon, const char* name) {
    if (!icon.IsNil() && !AsIcon(icon)) {
        rt::detail::RaiseArgError(rt::Symbol(name), 1, icon, rt::kObject);
        return rt::Usual(slot);
    }
    slot = AsIcon(icon);
    Repaint();
    return icon;
}

rt::Usual IconPushButton::SetButtonTextColor(const rt::Usual& color) {
    if (color.IsNumeric()) textColor_ = static_cast<uint32_t>(color.AsLong());
    else textColor_.reset();
    Repaint();
    return color;
}

void IconPushButton::EnableButton() {
    if (disabled_) {
        disabled_ = false;
        Repaint();
    }
    Enable();
}

void IconPushButton::DisableButton() {
    if (!disabled_) {
        disabled_ = true;
        Repaint();
    }
    Disable();
}

bool IconPushButton::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_SETFOCUS || event.uMsg == gui::WM_KILLFOCUS) {
        focused_ = event.uMsg == gui::WM_SETFOCUS;
        Repaint();
    }
    return gui::PushButton::Dispatch(event);
}

std::shared_ptr<gui::Icon> IconPushButton::ShownIcon() const {
    // Disabled by DISABLE, or with its window (a disabled parent).
    const bool disabled = disabled_ || (Widget() && !Widget()->isEnabled());
    if (disabled && iconDisabled_) return iconDisabled_;
    return pressed_ ? iconDown_ : iconUp_;
}

void IconPushButton::Repaint() {
    if (Widget()) Widget()->update();
}

void IconPushButton::DrawTheButton(QPainter& p) {
    QWidget* w = Widget();
    if (!w) return;
    QStyleOptionButton opt;
    opt.initFrom(w);
    QRect face = w->rect();
    const QColor buttonText = w->palette().color(QPalette::ButtonText);
    if (focused_ || pressed_) {
        p.setPen(buttonText);
        p.setBrush(Qt::NoBrush);
        p.drawRect(face.adjusted(0, 0, -1, -1));
        face.adjust(1, 1, -1, -1);
    }
    opt.rect = face;
    opt.state = (opt.state & ~(QStyle::State_Sunken | QStyle::State_HasFocus)) |
                (pressed_ ? QStyle::State_Sunken : QStyle::State_Raised);
    const bool disabled = disabled_ || !w->isEnabled();
    if (disabled) opt.state &= ~QStyle::State_Enabled;
    w->style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, &p, w);

    const int iconSize = qMin(16, face.height() - 4);
    int textLeft = static_cast<int>(leftBorder_);
    if (auto icon = ShownIcon(); icon && iconSize > 0) {
        const int y = (w->height() - iconSize) / 2;
        icon->Get().paint(&p, QRect(static_cast<int>(leftBorder_), y, iconSize, iconSize));
        textLeft += iconSize + 4;
    }
    QColor text = buttonText;
    if (textColor_) text = QColor(*textColor_ & 0xFF, (*textColor_ >> 8) & 0xFF, (*textColor_ >> 16) & 0xFF);
    if (disabled) text = w->palette().color(QPalette::Disabled, QPalette::ButtonText);
    p.setPen(text);
    p.setFont(w->font());
    const QRect textRect(textLeft, 0, w->width() - textLeft - 4, w->height());
    QString caption = static_cast<QPushButton*>(w)->text();
    caption.remove(QLatin1Char('&'));
    p.drawText(textRect.translated(pressed_ ? 1 : 0, pressed_ ? 1 : 0), Qt::AlignCenter, caption);
}

}  // namespace lib
