#include "platform/gui/control.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>
#include <QValidator>

#include "platform/gui/boundary.h"
#include "platform/gui/owneralign.h"
#include "platform/gui/resource.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/window.h"
#include "platform/runtime/text.h"

namespace gui {
namespace {

// Hands the events of a control's widget to the control object; events
// that arrive after the object has gone pass through untouched.
class ControlBridge : public QObject {
public:
    ControlBridge(Control* control, QWidget* widget) : QObject(widget), control_(control), alive_(control->Self()) {}
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (alive_.expired()) return false;
        return FromQt([&] { return !control_->DeliverEvent(receiver, event); }, true);
    }

private:
    Control* control_;
    std::weak_ptr<rt::Object> alive_;
};

template <class W>
W* As(const QPointer<QWidget>& w) {
    return qobject_cast<W*>(w.data());
}

// A text limit counts characters, as a table field counts the bytes of its
// single-byte code page: a letter outside ASCII takes one place, however
// many bytes of the runtime's UTF-8 it needs.
class CharLimit : public QValidator {
public:
    CharLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int&) const override {
        return input.toUcs4().size() > limit_ ? Invalid : Acceptable;
    }
    void fixup(QString& input) const override {
        QList<uint> chars = input.toUcs4();
        if (chars.size() > limit_)
            input = QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), limit_);
    }

private:
    int limit_;
};

}  // namespace

uint32_t ColorConstantRgb(int c) {
    static constexpr uint32_t kPalette[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                              0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                              0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return c >= 0 && c < 16 ? kPalette[c] : 0;
}

// ---- Control ------------------------------------------------------------

const rt::ClassDef& Control::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Control>("CONTROL")
            // INIT(owner, id [, point, dimension, caption]):
            // the widget on the owner's template item of that id.
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           CreateFromArgs(static_cast<Control&>(o), a);
                           return rt::Usual(o.Self());
                       })
            .Access<&Control::NameSym>("NAMESYM")
            .Access<&Control::GetHyperLabel>("HYPERLABEL")
            .Assign<&Control::SetHyperLabel>("HYPERLABEL")
            .Access<&Control::OwnerObject>("OWNER")
            .Access<&Control::Caption>("CAPTION")
            .Assign<&Control::SetCaption>("CAPTION")
            .Method<&Control::Show>("SHOW")
            .Method<&Control::Hide>("HIDE")
            .Method<&Control::Enable>("ENABLE")
            .Method<&Control::Disable>("DISABLE")
            .Assign<&Control::SetOwnerAlignment>("OWNERALIGNMENT")
            .Method<&Control::SetFocus>("SETFOCUS")
            .Method<&Control::SetTextColor>("SETTEXTCOLOR")
            .Access<&Control::Handle>("HANDLE")
            .Method<&Control::Destroy>("DESTROY")
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           auto e = a.empty() ? nullptr : std::dynamic_pointer_cast<Event>(a[0].AsObject());
                           return rt::Usual(e ? static_cast<Control&>(o).Dispatch(*e) : true);
                       })
            .Done();
    return c;
}

Control::~Control() {
    if (widget_) UnlinkHandle(widget_);
}

QWidget* Control::MakeWidget(QWidget* parent) { return new QWidget(parent); }

HWND Control::Handle() const { return widget_ ? HandleOf(widget_) : 0; }

void Control::Destroy() {
    if (!widget_) return;
    UnlinkHandle(widget_);
    widget_->hide();
    widget_->deleteLater();
    widget_ = nullptr;
}

void Control::Create(Window& owner, int id) {
    QWidget* w = MakeWidget(owner.Surface());
    Attach(owner, id, w);
    if (const DialogTemplate* t = owner.Template())
        if (const DialogItemResource* item = t->Item(id); item && !item->text.empty()) SetCaption(item->text);
}

void Control::Attach(Window& owner, int id, QWidget* widget) {
    owner_ = &owner;
    ownerAlive_ = owner.Self();
    id_ = id;
    widget_ = widget;
    if (widget->parentWidget() != owner.Surface()) widget->setParent(owner.Surface());
    if (const DialogTemplate* t = owner.Template()) {
        if (const DialogItemResource* item = t->Item(id)) {
            widget->setGeometry(DialogUnitsToPixels(*t, item->x, item->y, item->cx, item->cy));
            widget->setFont(DialogFont(*t));
            widget->setFocusPolicy(item->style & kStyleTabStop ? Qt::StrongFocus : Qt::NoFocus);
            // The text alignment of a static or an edit (SS_RIGHT/ES_RIGHT,
            // SS_CENTER/ES_CENTER).
            const Qt::Alignment h = item->style & kStyleRight    ? Qt::AlignRight
                                    : item->style & kStyleCenter ? Qt::AlignHCenter
                                                                 : Qt::Alignment();
            if (h) {
                if (auto* l = qobject_cast<QLabel*>(widget)) l->setAlignment(h | Qt::AlignVCenter);
                if (auto* e = qobject_cast<QLineEdit*>(widget)) e->setAlignment(h | Qt::AlignVCenter);
            }
        }
    }
    LinkHandle(widget, Self());
    widget->installEventFilter(new ControlBridge(this, widget));
    owner.AddControl(std::static_pointer_cast<Control>(Self()));
    widget->show();
    Attached();
}

rt::Usual Control::SetHyperLabel(const rt::Usual& label) {
    hyperLabel_ = label;
    if (auto* h = dynamic_cast<HyperLabel*>(label.AsObject().get())) name_ = h->NameSym;
    return label;
}

rt::Usual Control::OwnerObject() const {
    auto owner = ownerAlive_.lock();
    return owner ? rt::Usual(owner) : rt::Usual();
}

std::string Control::Caption() const {
    if (auto* l = As<QLabel>(widget_)) return l->text().toStdString();
    if (auto* b = As<QPushButton>(widget_)) return b->text().toStdString();
    if (auto* g = As<QGroupBox>(widget_)) return g->title().toStdString();
    return {};
}

std::string Control::SetCaption(const std::string& text) {
    QString t = QString::fromStdString(text);
    if (auto* l = As<QLabel>(widget_)) l->setText(t);
    if (auto* b = As<QPushButton>(widget_)) b->setText(t);
    if (auto* g = As<QGroupBox>(widget_)) g->setTitle(t);
    return text;
}

void Control::Show() {
    if (widget_) widget_->show();
}
void Control::Hide() {
    if (widget_) widget_->hide();
}
void Control::Enable() {
    if (widget_) widget_->setEnabled(true);
}
void Control::Disable() {
    if (widget_) widget_->setEnabled(false);
}
int64_t Control::SetOwnerAlignment(int64_t alignment) {
    if (widget_) RegisterOwnerAlignment(widget_->parentWidget(), widget_, alignment);
    return alignment;
}
bool Control::IsEnabled() const { return widget_ && widget_->isEnabled(); }
void Control::SetFocus() {
    if (widget_) widget_->setFocus(Qt::OtherFocusReason);
}

void Control::SetTextColor(int colorConstant) {
    if (!widget_) return;
    QPalette p = widget_->palette();
    p.setColor(QPalette::WindowText, QColor::fromRgb(ColorConstantRgb(colorConstant)));
    p.setColor(QPalette::Text, QColor::fromRgb(ColorConstantRgb(colorConstant)));
    widget_->setPalette(p);
}

bool Control::Dispatch(Event& event) {
    // Edit focus changes are the operator's moves between controls; a box
    // or another window taking the activation for a while is not one.
    Window* owner = Owner();
    if (IsEdit() && owner && event.wParam == 0 && (event.uMsg == WM_SETFOCUS || event.uMsg == WM_KILLFOCUS)) {
        auto e = rt::New<EditFocusChangeEvent>();
        e->uMsg = event.uMsg;
        e->hWnd = event.hWnd;
        e->nameSym = name_;
        e->gotFocus = event.uMsg == WM_SETFOCUS;
        e->control = rt::Usual(Self());
        owner->EditFocusChange(*e);
    }
    return true;
}

bool Control::DeliverEvent(QObject* receiver, QEvent* event) {
    if (receiver != widget_) return true;
    // A disabled control takes no mouse or keyboard input, as a disabled
    // Win32 window does; Qt still shows these events to the event filter.
    if (!widget_->isEnabled()) switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::KeyPress:
            case QEvent::KeyRelease: return true;
            default: break;
        }
    auto keep = Self();
    rt::Usual e = TranslateEvent(receiver, event);
    auto* ev = dynamic_cast<Event*>(e.AsObject().get());
    if (!ev) return true;
    // The owner is held for the call; once it is gone the control's events
    // no longer reach it.
    auto ownerKeep = ownerAlive_.lock();
    if (!Dispatch(*ev)) return false;
    return ownerKeep && owner_ ? owner_->Dispatch(*ev) : true;
}

bool CreateFromArgs(Control& c, rt::Args args) {
    auto* owner = args.empty() ? nullptr : dynamic_cast<Window*>(args[0].AsObject().get());
    if (!owner || !owner->Widget()) return false;
    c.Create(*owner, args.size() > 1 ? static_cast<int>(args[1].AsLong()) : 0);
    PlaceFromArgs(c, args);
    return true;
}

void PlaceFromArgs(Control& c, rt::Args args) {
    if (!c.Widget()) return;
    if (args.size() > 2)
        if (auto* p = dynamic_cast<Point*>(args[2].AsObject().get()))
            c.Widget()->move(static_cast<int>(p->X), static_cast<int>(p->Y));
    if (args.size() > 3)
        if (auto* d = dynamic_cast<Dimension*>(args[3].AsObject().get()))
            c.Widget()->resize(static_cast<int>(d->Width), static_cast<int>(d->Height));
    if (args.size() > 4 && args[4].IsString()) c.SetCaption(args[4].AsStr());
}

// ---- SingleLineEdit -----------------------------------------------------

const rt::ClassDef& SingleLineEdit::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<SingleLineEdit>("SINGLELINEEDIT", &Control::StaticClass())
                                       .Access<&SingleLineEdit::TextValue>("TEXTVALUE")
                                       .Assign<&SingleLineEdit::SetTextValue>("TEXTVALUE")
                                       .Access<&SingleLineEdit::TextLimit>("TEXTLIMIT")
                                       .Assign<&SingleLineEdit::SetTextLimit>("TEXTLIMIT")
                                       .Done();
    return c;
}

QWidget* SingleLineEdit::MakeWidget(QWidget* parent) { return new QLineEdit(parent); }
QLineEdit* SingleLineEdit::Edit() const { return As<QLineEdit>(QPointer<QWidget>(Widget())); }

std::string SingleLineEdit::TextValue() const {
    QLineEdit* e = Edit();
    return e ? e->text().toStdString() : std::string();
}

std::string SingleLineEdit::SetTextValue(const std::string& text) {
    if (QLineEdit* e = Edit()) e->setText(QString::fromStdString(text));
    return text;
}

int64_t SingleLineEdit::TextLimit() const {
    QLineEdit* e = Edit();
    return e ? e->maxLength() : 0;
}

int64_t SingleLineEdit::SetTextLimit(int64_t limit) {
    if (QLineEdit* e = Edit()) {
        e->setMaxLength(static_cast<int>(limit));
        const QValidator* old = e->validator();
        if (!old || dynamic_cast<const CharLimit*>(old)) {
            e->setValidator(limit > 0 ? new CharLimit(static_cast<int>(limit), e) : nullptr);
            delete old;
        }
    }
    return limit;
}

// ---- PushButton ---------------------------------------------------------

const rt::ClassDef& PushButton::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<PushButton>("PUSHBUTTON", &Control::StaticClass()).Method<&PushButton::Click>("CLICK").Done();
    return c;
}

QWidget* PushButton::MakeWidget(QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, b, [this] { FromQt([this] { Click(); }); });
    return b;
}

QPushButton* PushButton::Button() const { return As<QPushButton>(QPointer<QWidget>(Widget())); }

void PushButton::Click() {
    auto keep = Self();
    rt::Usual owner = OwnerObject();
    if (!NameSym().IsNull() && rt::IsMethod(owner, NameSym())) rt::Send(owner, NameSym());
}

// ---- Static controls ----------------------------------------------------

const rt::ClassDef& FixedText::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FixedText>("FIXEDTEXT", &Control::StaticClass()).Done();
    return c;
}

QWidget* FixedText::MakeWidget(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setWordWrap(true);
    return l;
}

const rt::ClassDef& GroupBox::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<GroupBox>("GROUPBOX", &Control::StaticClass()).Done();
    return c;
}

QWidget* GroupBox::MakeWidget(QWidget* parent) {
    auto* g = new QGroupBox(parent);
    g->setAttribute(Qt::WA_TransparentForMouseEvents);
    // A group box of a dialog template has its caption on the frame's top
    // line, inside the box's rectangle; the desktop style would draw the
    // caption above a frame that starts lower.
    g->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                       " margin-top: 0.5em; }"
                       "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                       " left: 6px; padding: 0 2px; }"));
    return g;
}

const rt::ClassDef& FixedBitmap::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FixedBitmap>("FIXEDBITMAP", &Control::StaticClass())
                                       .Method<&FixedBitmap::SetBitmap>("SETBITMAP")
                                       .Done();
    return c;
}

QWidget* FixedBitmap::MakeWidget(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

void FixedBitmap::SetBitmap(const std::string& resourceName) {
    auto* l = As<QLabel>(QPointer<QWidget>(Widget()));
    if (!l) return;
    QString base = QStringLiteral(":/bitmaps/") + QString::fromStdString(resourceName);
    QPixmap pix(base + QStringLiteral(".png"));
    if (pix.isNull()) pix.load(base + QStringLiteral(".svg"));
    l->setPixmap(pix.scaled(l->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// ---- RichEdit and custom controls ---------------------------------------

const rt::ClassDef& RichEdit::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<RichEdit>("RICHEDIT", &Control::StaticClass())
                                       .Access<&RichEdit::TextValue>("TEXTVALUE")
                                       .Assign<&RichEdit::SetTextValue>("TEXTVALUE")
                                       .Access<&RichEdit::ReadOnly>("READONLY")
                                       .Assign<&RichEdit::SetReadOnly>("READONLY")
                                       .Done();
    return c;
}

QWidget* RichEdit::MakeWidget(QWidget* parent) {
    auto* t = new QTextEdit(parent);
    t->setAcceptRichText(false);
    return t;
}

QTextEdit* RichEdit::Editor() const { return As<QTextEdit>(QPointer<QWidget>(Widget())); }

std::string RichEdit::TextValue() const {
    QTextEdit* t = Editor();
    return t ? t->toPlainText().toStdString() : std::string();
}

std::string RichEdit::SetTextValue(const std::string& text) {
    if (QTextEdit* t = Editor()) t->setPlainText(QString::fromStdString(text));
    return text;
}

bool RichEdit::ReadOnly() const { return Editor() && Editor()->isReadOnly(); }
bool RichEdit::SetReadOnly(bool on) {
    if (QTextEdit* t = Editor()) t->setReadOnly(on);
    return on;
}

const rt::ClassDef& CustomControl::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<CustomControl>("CUSTOMCONTROL", &Control::StaticClass()).Done();
    return c;
}

}  // namespace gui
