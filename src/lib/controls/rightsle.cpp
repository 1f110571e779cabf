#include "lib/controls/rightsle.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QValidator>

#include "lib/controls/calendar.h"
#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/popupcalc.h"
#include "lib/controls/settingsscope.h"
#include "lib/controls/unformat.h"
#include "platform/gui/boundary.h"
#include "platform/gui/message.h"
#include "platform/gui/messages.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace lib {
namespace {

constexpr int kMenuToday = 7754;
constexpr int kMenuCalendar = 7755;

template <class T>
rt::MethodFn Call(void (T::*fn)()) {
    return [fn](rt::Object& o, rt::Args) {
        (static_cast<T&>(o).*fn)();
        return rt::Usual(o.Self());
    };
}

// What a person can put into a date field: digits, blanks and the date
// picture's separators, no longer than the picture; a text that names no
// date once every place is filled ("31/02/2024") is refused as well.
class DateTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const std::string t = input.toStdString(), picture = rt::SetDateFrmt();
        if (t.size() > picture.size()) return Invalid;
        bool blanks = t.size() < picture.size();
        for (char c : t) {
            if (c == ' ') blanks = true;
            else if ((c < '0' || c > '9') && picture.find(c) == std::string::npos) return Invalid;
            else if (c >= 'A' && c <= 'Z') return Invalid;  // the picture's own letters
        }
        if (rt::AllTrim(t).empty() || t == rt::DToC(rt::Date())) return Acceptable;
        if (!rt::CToD(t).IsEmpty()) return Acceptable;
        return blanks ? Intermediate : Invalid;
    }
};

// Holds a numeric field to texts its picture writes: the edit's own ways of
// changing its text (the middle button's paste, Ctrl+K, Ctrl+Backspace)
// end in other texts and are refused.
class WrittenNumberValidator : public QValidator {
public:
    WrittenNumberValidator(QLineEdit* e, const NumEntry& entry) : QValidator(e), entry_(entry) {}
    State validate(QString& input, int&) const override {
        return entry_.IsWritten(input.toStdString()) ? Acceptable : Invalid;
    }

private:
    const NumEntry& entry_;
};

}  // namespace

const rt::ClassDef& RightSle::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<RightSle>("RIGHTSLE", &gui::SingleLineEdit::StaticClass())
                                       .RawMethod("INIT", InitMethod<RightSle>())
                                       .IVar<&RightSle::LREMEMBERPOSITION>("LREMEMBERPOSITION")
                                       .IVar<&RightSle::LSENDFROMBUTTON>("LSENDFROMBUTTON")
                                       .IVar<&RightSle::SYMMETHOD>("SYMMETHOD")
                                       .IVar<&RightSle::NDIRECTION>("NDIRECTION")
                                       .IVar<&RightSle::FIRSTDAYOFTHEWEEK>("FIRSTDAYOFTHEWEEK")
                                       .IVar<&RightSle::LALIGNCALENDARLEFT>("LALIGNCALENDARLEFT")
                                       .Access<&RightSle::Value>("VALUE")
                                       .Access<&RightSle::FieldSpecValue>("FIELDSPEC")
                                       .Assign<&RightSle::SetFieldSpec>("FIELDSPEC")
                                       .Access<&RightSle::Picture>("PICTURE")
                                       .Assign<&RightSle::SetPicture>("PICTURE")
                                       .Access<&RightSle::ZeroPad>("ZEROPAD")
                                       .Method<&RightSle::SetOrigin>("SETORIGIN")
                                       .Access<&RightSle::ReadOnly>("READONLY")
                                       .Assign<&RightSle::SetReadOnly>("READONLY")
                                       .Method<&RightSle::SetField>("SETFIELD")
                                       .RawMethod("SHOWCALC", Call(&RightSle::ShowCalc))
                                       .RawMethod("SHOWCALENDAR", Call(&RightSle::ShowCalendar))
                                       .RawMethod("SHOWPB", Call(&RightSle::ShowPb))
                                       .RawMethod("PROCESSENTER", Call(&RightSle::ProcessEnter))
                                       .RawMethod("INVALIDACTION", Call(&RightSle::InvalidAction))
                                       .RawMethod("RSLEPASTE", Call(&RightSle::RslePaste))
                                       .Access<&RightSle::PbObject>("PB")
                                       .Method<&RightSle::PbObject>("PB")
                                       .Access<&RightSle::DoubleAsToday>("DOUBLEASTODAY")
                                       .Assign<&RightSle::SetDoubleAsToday>("DOUBLEASTODAY")
                                       .Access<&RightSle::ObeyFocus>("OBEYFOCUS")
                                       .Assign<&RightSle::SetObeyFocus>("OBEYFOCUS")
                                       .Access<&RightSle::ProcessEnterKey>("PROCESSENTERKEY")
                                       .Assign<&RightSle::SetProcessEnterKey>("PROCESSENTERKEY")
                                       .RawMethod("PROCESSNUM",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto* k = dynamic_cast<gui::KeyEvent*>(gui::EventArg(a));
                                                      return rt::Usual(k && static_cast<RightSle&>(o).ProcessNum(*k));
                                                  })
                                       .RawMethod("CALKEYDOWN",
                                                  [](rt::Object& o, rt::Args a) {
                                                      if (auto* k = dynamic_cast<gui::KeyEvent*>(gui::EventArg(a)))
                                                          static_cast<RightSle&>(o).CalKeyDown(k->KEYCODE());
                                                      return rt::Usual(o.Self());
                                                  })
                                       .Done();
    return c;
}

const rt::ClassDef& DateSle::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<DateSle>("DATESLE", &RightSle::StaticClass()).RawMethod("INIT", InitMethod<DateSle>()).Done();
    return c;
}

void RightSle::Init(rt::Args args) {
    if (!CreateFromArgs(*this, args)) return;
    Edit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Text the field refuses (a letter in a date, a date that does not
    // exist) sounds the field's beep.
    QObject::connect(Edit(), &QLineEdit::inputRejected, Edit(), [this] { InvalidAction(); });
    Edit()->setContextMenuPolicy(Qt::DefaultContextMenu);
    SetFieldFormat(format_);
}

void RightSle::SetFieldFormat(const FieldFormat& format) {
    format_ = format;
    entry_ = NumEntry(format);
    if (!Edit()) return;
    Edit()->setValidator(nullptr);  // the old format's, while the text changes to the new one
    if (IsNumeric()) {
        // No menu of the edit's own: its Paste would put any text in.
        Edit()->setContextMenuPolicy(Qt::NoContextMenu);
        // Room for the whole written text, should the picture be longer
        // than the field: a cut text would read as another number.
        Edit()->setMaxLength(std::max(format.length, static_cast<int>(format.Template().size())));
        SetTextValue(entry_.SetField("0", 1));
    } else if (IsDate()) {
        SetTextValue(rt::DToC(rt::Date()));
    }
    QValidator* validator = nullptr;
    if (IsDate()) validator = new DateTextValidator(Edit());
    else if (IsNumeric()) validator = new WrittenNumberValidator(Edit(), entry_);
    Edit()->setValidator(validator);
    Edit()->setAcceptDrops(!IsNumeric());  // a drop would put any text in
}

rt::Usual RightSle::FieldSpecValue() const {
    return rt::Usual::Array({rt::Usual(std::string(1, format_.type)), rt::Usual(int64_t{format_.length}),
                             rt::Usual(int64_t{format_.decimals}), rt::Usual(format_.picture)});
}

rt::Usual RightSle::SetFieldSpec(const rt::Usual& value) {
    rt::Usual type, length, decimals, picture(format_.picture);
    if (value.IsArray() && value.ALen() >= 3) {
        const rt::ArrayData& a = *value.AsArray();
        type = a[0], length = a[1], decimals = a[2];
        picture = a.size() > 3 ? a[3] : rt::Usual(std::string());
    } else if (value.IsObject() && rt::IsAccess(value, rt::Symbol("VALTYPE"))) {
        type = rt::Send(value, "VALTYPE"), length = rt::Send(value, "LENGTH"), decimals = rt::Send(value, "DECIMALS");
    }
    const bool known = type.IsString() && type.AsStr().size() == 1 &&
                       std::string("NCD").find(type.AsStr()[0]) != std::string::npos;
    if (!known || !length.IsNumeric() || !decimals.IsNumeric() || !picture.IsString() || length.AsLong() < 1 ||
        length.AsLong() > 64 || decimals.AsLong() < 0 || decimals.AsLong() >= length.AsLong()) {
        rt::detail::RaiseArgError(rt::Symbol("FIELDSPEC"), 1, value, rt::kObject);
        return FieldSpecValue();
    }
    SetFieldFormat(
        {type.AsStr()[0], static_cast<int>(length.AsLong()), static_cast<int>(decimals.AsLong()), picture.AsStr()});
    return value;
}

std::string RightSle::SetPicture(const std::string& picture) {
    FieldFormat f = format_;
    f.picture = picture;
    SetFieldFormat(f);
    return picture;
}

std::shared_ptr<SleButton> RightSle::AddButton(const std::string& up, const std::string& down) {
    gui::Window* owner = Owner();
    if (!owner || !Widget()) return nullptr;
    button_ = rt::New<SleButton>();
    button_->Serve(rt::Usual(Self()));
    const rt::Usual args[] = {rt::Usual(owner->Self()), rt::Usual(int64_t{Id() + 1000})};
    button_->WmBitmapButton::Init(rt::Args(args, 2));
    const QRect g = Widget()->geometry();
    const int w = g.height();
    Widget()->setGeometry(g.x(), g.y(), g.width() - w, g.height());
    button_->Widget()->setGeometry(g.right() - w + 1, g.y(), w, g.height());
    button_->LoadBitmaps(up, down);
    // The button stays beside the field wherever the field is moved or
    // sized later.
    class Follow : public QObject {
    public:
        Follow(QWidget* field, QWidget* button) : QObject(field), button_(button) {}
        bool eventFilter(QObject* o, QEvent* e) override {
            if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && button_) {
                const QRect g = static_cast<QWidget*>(o)->geometry();
                button_->setGeometry(g.right() + 1, g.y(), g.height(), g.height());
            }
            return false;
        }

    private:
        QPointer<QWidget> button_;
    };
    Widget()->installEventFilter(new Follow(Widget(), button_->Widget()));
    ShowPb();
    return button_;
}

rt::Usual RightSle::Value() const {
    if (IsNumeric() && format_.type == 'N') return rt::Usual(entry_.ValueOf(TextValue()));
    if (IsDate()) return rt::Usual(rt::CToD(TextValue()));
    return rt::Usual(TextValue());
}

std::string RightSle::ZeroPad() const {
    const rt::Usual v = Value();
    double n = v.IsNumeric() ? v.AsDouble() : entry_.ValueOf(v.IsString() ? v.AsStr() : TextValue());
    const int len = std::max(1, format_.length), dec = std::max(0, format_.decimals);
    std::string text = rt::Str(rt::Usual(n), len, dec);
    // Str right-aligns with blanks; the blanks become zeros, the sign first.
    const size_t digits = text.find_first_not_of(' ');
    if (digits == std::string::npos) return std::string(static_cast<size_t>(len), '0');
    const bool negative = text[digits] == '-';
    std::string body = text.substr(digits + (negative ? 1 : 0));
    const size_t width = static_cast<size_t>(len) - (negative ? 1 : 0);
    if (body.size() < width) body.insert(0, width - body.size(), '0');
    return negative ? "-" + body : body;
}

void RightSle::SetOrigin(const rt::Usual& point) {
    auto* p = dynamic_cast<gui::Point*>(point.AsObject().get());
    QWidget* w = Widget();
    if (!p || !w) return;
    QWidget* surface = w->parentWidget();
    const int buttonWidth = button_ && button_->Widget() ? button_->Widget()->width() : 0;
    int x = static_cast<int>(p->X), y = static_cast<int>(p->Y);
    if (surface) {
        // Keep the field and its button whole on the surface.
        x = std::min(x, surface->width() - w->width() - buttonWidth);
        y = std::min(y, surface->height() - w->height());
    }
    w->move(std::max(0, x), std::max(0, y));  // the button follows (AddButton)
}

void RightSle::Show() {
    gui::SingleLineEdit::Show();
    ShowPb();
}

void RightSle::Hide() {
    gui::SingleLineEdit::Hide();
    if (button_) button_->Hide();
}

void RightSle::Enable() {
    gui::SingleLineEdit::Enable();
    if (button_ && button_->Widget()) button_->Widget()->setEnabled(!ReadOnly());
}

void RightSle::Disable() {
    gui::SingleLineEdit::Disable();
    if (button_) button_->Disable();
}

bool RightSle::ReadOnly() const { return Edit() && Edit()->isReadOnly(); }

bool RightSle::SetReadOnly(bool on) {
    if (Edit()) Edit()->setReadOnly(on);
    // Only the button's state follows: a hidden field keeps it hidden.
    if (button_ && button_->Widget()) button_->Widget()->setEnabled(!on && IsEnabled());
    return on;
}

void RightSle::ShowPb() {
    if (!button_ || !button_->Widget()) return;
    button_->Widget()->show();
    button_->Widget()->setEnabled(!ReadOnly() && IsEnabled());
}

void RightSle::ProcessEnter() {
    if (!Widget() || (NDIRECTION != 1 && NDIRECTION != 2)) return;
    // The next or previous widget in the tab chain that takes the focus.
    QWidget* w = Widget();
    for (QWidget* c = NDIRECTION == 1 ? w->nextInFocusChain() : w->previousInFocusChain(); c && c != w;
         c = NDIRECTION == 1 ? c->nextInFocusChain() : c->previousInFocusChain()) {
        if (c->isEnabled() && c->isVisibleTo(w->window()) && (c->focusPolicy() & Qt::TabFocus)) {
            c->setFocus(NDIRECTION == 1 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void RightSle::InvalidAction() {
    ++beeps_;
    QApplication::beep();
}

void RightSle::CallButtonMethod() {
    if (rt::IsMethod(rt::Usual(Self()), SYMMETHOD)) rt::Send(rt::Usual(Self()), SYMMETHOD);
}

void RightSle::ShowCalc() {
    gui::Window* owner = Owner();
    const double v = UnformatNumber(TextValue(), format_.picture.empty() ? format_.Template() : format_.picture);
    std::string start = rt::Str(rt::Usual(v), format_.length, std::max(0, format_.decimals));
    start = start.substr(std::min(start.size(), start.find_first_not_of(' ')));
    auto calc = rt::New<PopupCalc>();
    calc->Init({owner ? rt::Usual(owner->Self()) : rt::Usual(), rt::Usual(start)});
    calc->Show();
    TakeCalcResult(*calc);
    SetFocus();
}

void RightSle::TakeCalcResult(const PopupCalc& calc) {
    // "Error" handed back is no number: the field keeps its value.
    if (calc.SEXPORT.empty() || calc.Engine().error) return;
    std::string text = calc.SEXPORT;
    for (char& c : text)
        if (c == '.') c = static_cast<char>(rt::SetDecimalSep());
    const std::string written = entry_.SetField(text, 1);
    if (written.find('*') != std::string::npos) {  // more than the picture holds
        InvalidAction();
        return;
    }
    SetTextValue(written);
    if (Edit()) Edit()->setModified(true);
}

void RightSle::ShowCalendar() {
    if (doubleAsToday && LSENDFROMBUTTON) {
        SetTextValue(rt::DToC(rt::Today()));
        if (Edit()) Edit()->setModified(true);
        return;
    }
    LSENDFROMBUTTON = false;
    if (FIRSTDAYOFTHEWEEK == 99) FIRSTDAYOFTHEWEEK = LocaleFirstDayOfWeek(1);
    gui::Window* owner = Owner();
    auto dlg = rt::New<DlgPeCalendar>();
    dlg->Init({owner ? rt::Usual(owner->Self()) : rt::Usual(), rt::Usual(Self())});
    lastCalendar_ = dlg;
    {
        const SettingsScope keep;  // the date picture as it was, whatever the dialog does
        dlg->Show();
    }
    TakeCalendarDate();
    // Back to the field, as after the calculator: the click on the button
    // gave the button the focus, and the next keys belong to the date.
    SetFocus();
}

void RightSle::TakeCalendarDate() {
    auto dlg = lastCalendar_.lock();
    if (!dlg || dlg->DSELECTED.IsEmpty()) return;
    SetTextValue(rt::DToC(dlg->DSELECTED));
    if (Edit()) Edit()->setModified(true);
}

rt::Usual RightSle::PbObject() const { return button_ ? rt::Usual(button_->Self()) : rt::Usual(); }

// The logic-only assigns: a value of another type is refused with an
// argument error and the setting is kept.
rt::Usual RightSle::StoreLogic(bool& slot, const rt::Usual& v, const char* name) {
    if (!v.IsLogic()) {
        rt::detail::RaiseArgError(rt::Symbol(name), 1, v, rt::kLogic);
        return rt::Usual(slot);
    }
    slot = v.AsLogic();
    return v;
}

void RightSle::CalKeyDown(uint32_t vk) {
    if (vk != gui::VK_ADD && vk != gui::VK_SUBTRACT) return;
    const rt::Date d = rt::CToD(TextValue());
    // No date, or a step past the calendar's first or last day.
    const rt::Date next = rt::AddDays(d, vk == gui::VK_ADD ? 1 : -1);
    if (d.IsEmpty() || next.IsEmpty()) {
        InvalidAction();
        return;
    }
    SetTextValue(rt::DToC(next));
    if (Edit()) Edit()->setModified(true);
}

void RightSle::RslePaste() {
    if (!Edit() || ReadOnly()) return;
    // The whole clipboard is the value, or nothing is: a text that is no
    // number (no time) the field can hold is refused, never read in part.
    const std::string written = entry_.Pasted(QApplication::clipboard()->text().toStdString());
    if (written.empty()) {
        InvalidAction();
        return;
    }
    SetTextValue(written);
    Edit()->setModified(true);
}

bool RightSle::ProcessNum(const gui::KeyEvent& key) {
    QLineEdit* e = Edit();
    if (!e) return false;
    int s = e->cursorPosition(), f = s;
    if (e->hasSelectedText()) {
        s = e->selectionStart();
        f = s + static_cast<int>(e->selectedText().size());
    }
    const auto r = entry_.ProcessKey(key.KEYCODE(), key.ASCIICHAR() >= 32 ? key.ASCIICHAR() : 0, TextValue(), s, f);
    if (!r.handled) {
        if (r.caret != s || f != s) e->setCursorPosition(r.caret);
        return false;
    }
    if (r.beep) InvalidAction();
    if (r.text != TextValue()) SetTextValue(r.text);
    if (r.modified) e->setModified(true);
    e->setCursorPosition(r.caret);
    return true;
}

bool RightSle::Dispatch(gui::Event& event) {
    switch (event.uMsg) {
        case gui::WM_KEYDOWN: {
            auto* key = dynamic_cast<gui::KeyEvent*>(&event);
            if (!key || key->alt) break;
            const uint32_t vk = key->KEYCODE();
            if ((vk == gui::VK_ADD || vk == gui::VK_SUBTRACT) && IsDate()) {
                if (!ReadOnly()) CalKeyDown(vk);
                return false;
            }
            if (vk == gui::VK_RETURN) {
                ProcessEnter();
                return false;
            }
            // The clipboard keys of a numeric field keep its text a number
            // of its picture: a paste goes through RSLEPASTE, a cut copies
            // and then removes the selection as Delete does.
            if (IsNumeric() && (key->control || key->shift)) {
                const bool paste = (key->control && vk == 'V') || (key->shift && vk == gui::VK_INSERT);
                const bool cut = (key->control && vk == 'X') || (key->shift && vk == gui::VK_DELETE);
                if (paste) {
                    RslePaste();
                    return false;
                }
                if (cut && Edit()) {
                    if (!Edit()->hasSelectedText()) return false;
                    Edit()->copy();
                    if (ReadOnly()) return false;
                    gui::KeyEvent del;
                    del.uMsg = gui::WM_KEYDOWN;
                    del.wParam = gui::VK_DELETE;
                    ProcessNum(del);
                    return false;
                }
            }
            if (key->control) break;
            if (IsNumeric() && !ReadOnly() && vk != gui::VK_TAB && vk != gui::VK_ESCAPE) {
                const bool mine = key->ASCIICHAR() >= 32 || vk == gui::VK_BACK || vk == gui::VK_DELETE ||
                                  vk == gui::VK_END || vk == gui::VK_HOME || vk == gui::VK_LEFT || vk == gui::VK_RIGHT;
                if (mine && ProcessNum(*key)) return false;
            }
            break;
        }
        case gui::WM_LBUTTONDBLCLK:
            // From the field's button, any field runs its button action; a
            // read-only field opens nothing that would change it.
            if (ReadOnly()) {
            } else if (IsDate() || LSENDFROMBUTTON) {
                CallButtonMethod();
            } else if (IsNumeric() && Edit()) {
                SetFocus();
                Edit()->selectAll();
                entry_.entryStarted = true;
            }
            LSENDFROMBUTTON = false;
            return false;
        case gui::WM_COMMAND:
            if (ReadOnly()) break;
            if (event.wParam == kMenuCalendar) CallButtonMethod();
            if (event.wParam == kMenuToday) {
                SetTextValue(rt::DToC(rt::Today()));
                if (Edit()) Edit()->setModified(true);
            }
            break;
        case gui::WM_SETFOCUS:
            entry_.entryStarted = true;
            enteredText_ = TextValue();
            // After the edit's own handling, which selects the whole text
            // when the focus comes by Tab.
            if (LREMEMBERPOSITION && rememberedCaret_ >= 0 && Edit())
                QMetaObject::invokeMethod(
                    Edit(), [e = Edit(), at = rememberedCaret_] { e->setCursorPosition(at); }, Qt::QueuedConnection);
            break;
        case gui::WM_KILLFOCUS:
            if (Edit()) rememberedCaret_ = Edit()->cursorPosition();
            // A time left out of range on the way to another (01:70 typed
            // as 1, 7, 0) is not kept: the field has its time back.
            if (format_.IsTime() && !entry_.TimeInRange(TextValue())) {
                InvalidAction();
                SetTextValue(entry_.TimeInRange(enteredText_) ? enteredText_ : entry_.SetField("0", 1));
            }
            break;
        default: break;
    }
    return gui::SingleLineEdit::Dispatch(event);
}

void RightSle::Destroy() {
    if (button_) button_->Destroy();
    button_.reset();
    gui::SingleLineEdit::Destroy();
}

void DateSle::Init(rt::Args args) {
    RightSle::Init(args);
    SetFieldFormat(FieldFormat{'D', 10, 0, {}});
    AddButton("IBM_CALUP", "IBM_CALDN");
    if (QLineEdit* e = Edit()) {
        // The right-click menu: its choice reaches the field as WM_COMMAND.
        e->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(e, &QWidget::customContextMenuRequested, e, [e, h = Handle()](const QPoint& at) {
            QMenu* menu = PeDateSleContextMenu::MakePopup(e);
            if (QAction* a = menu->exec(e->mapToGlobal(at)))
                gui::FromQt(
                    [&] { gui::SendMessageA(h, gui::WM_COMMAND, static_cast<uint64_t>(a->data().toInt()), 0); });
            menu->deleteLater();
        });
    }
}

}  // namespace lib
