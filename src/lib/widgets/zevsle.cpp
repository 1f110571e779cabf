#include "lib/widgets/zevsle.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QValidator>

#include <algorithm>
#include <functional>

#include "platform/gui/messages.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/window.h"

namespace lib {
namespace {

// Holds the line edit to the texts its mode writes: a number grouped as
// the mode groups it, a date in its layout. The edit's own ways of
// changing its text (a paste or drop it would insert, Ctrl+K, undo) end in
// other texts and are refused. Silent: the edit asks the same of texts
// the program sets, and the keys a person presses beep in Dispatch.
class TextGate : public QValidator {
public:
    TextGate(QLineEdit* e, std::function<bool(const std::string&)> wellFormed)
        : QValidator(e), wellFormed_(std::move(wellFormed)) {}
    State validate(QString& input, int&) const override {
        return wellFormed_(input.toStdString()) ? Acceptable : Invalid;
    }

private:
    std::function<bool(const std::string&)> wellFormed_;
};

// The middle button's paste and a drop become the control's own paste.
class PasteFilter : public QObject {
public:
    PasteFilter(QLineEdit* e, ZevSle* owner) : QObject(e), owner_(owner) {}
    bool eventFilter(QObject*, QEvent* ev) override {
        if (ev->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(ev)->button() == Qt::MiddleButton) {
            owner_->Paste(QApplication::clipboard()->text(QClipboard::Selection).toStdString());
            return true;
        }
        if (ev->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(ev);
            owner_->Paste(drop->mimeData()->text().toStdString());
            drop->setDropAction(Qt::CopyAction);  // the source keeps its text
            drop->accept();
            return true;
        }
        return false;
    }

private:
    ZevSle* owner_;
};

}  // namespace

const rt::ClassDef& ZevSle::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<ZevSle>("ZEV_SLE", &gui::SingleLineEdit::StaticClass())
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<ZevSle&>(o).Init(a);
                           return rt::Usual(o.Self());
                       })
            .Assign<&ZevSle::SetSleType>("SLE_TYPE")
            .Access<&ZevSle::SleType>("SLE_TYPE")
            .RawMethod("SETLEN",
                       [](rt::Object& o, rt::Args a) {
                           const int64_t len = a.size() > 0 && a[0].IsNumeric() ? a[0].AsLong() : 10;
                           const int64_t dec = a.size() > 1 && a[1].IsNumeric() ? a[1].AsLong() : 0;
                           return rt::Usual(static_cast<ZevSle&>(o).SETLEN(len, dec));
                       })
            .Method<&ZevSle::SETBUFFER>("SETBUFFER")
            .RawMethod("SETPOS",
                       [](rt::Object& o, rt::Args a) {
                           auto n = [&](size_t i) { return i < a.size() ? a[i].AsLong() : 0; };
                           const bool raw = a.size() > 2 && a[2].AsLogic();
                           return rt::Usual(static_cast<ZevSle&>(o).SETPOS(n(0), n(1), raw));
                       })
            .RawMethod("NUMDISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           return rt::Usual(e ? static_cast<ZevSle&>(o).NUMDISPATCH(*e) : int64_t{0});
                       })
            .RawMethod("DATEDISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           return rt::Usual(e ? static_cast<ZevSle&>(o).DATEDISPATCH(*e) : int64_t{0});
                       })
            .Done();
    return c;
}

void ZevSle::Init(rt::Args args) {
    // The edit's own arguments come first; the edit type follows them.
    if (!gui::CreateFromArgs(*this, args.first(std::min<size_t>(args.size(), 4)))) return;
    SetSleType(args.size() > 4 && args[4].IsString() ? args[4].AsStr() : "N");
}

void ZevSle::Init(gui::Window& owner, int id, const std::string& type) {
    Create(owner, id);
    SetSleType(type);
}

rt::Usual ZevSle::SetSleType(const std::string& type) {
    type_ = type;
    // A date field starts on its layout, so the digits have places to go.
    if (IsType("D") && TextValue().empty()) SetTextValue(kDateMask);
    // In its own modes every character comes as a key press: an input
    // method would commit composed text into the edit past the mode.
    if (QLineEdit* e = Edit()) e->setAttribute(Qt::WA_InputMethodEnabled, !InMode());
    GuardText();
    return rt::Usual(Self());
}

void ZevSle::GuardText() {
    QLineEdit* e = Edit();
    if (!e) return;
    if (!guarded_) {
        guarded_ = true;
        e->installEventFilter(new PasteFilter(e, this));
    }
    QValidator* gate = nullptr;
    if (IsType("N"))
        gate = new TextGate(e, [this](const std::string& t) {
            return WellFormedNumber(t, {integerLength_, decimals_});
        });
    else if (IsType("D")) gate = new TextGate(e, WellFormedDate);
    e->setValidator(gate);
    // The edit's own menu would paste past the mode.
    e->setContextMenuPolicy(InMode() ? Qt::NoContextMenu : Qt::DefaultContextMenu);
}

void ZevSle::Beep() {
    ++beeps_;
    QApplication::beep();
}

void ZevSle::Paste(const std::string& text) {
    QLineEdit* e = Edit();
    if (!e || e->isReadOnly()) return;
    if (!InMode()) {
        e->insert(QString::fromStdString(text));
        return;
    }
    const MaskEdit r = IsType("N") ? NumberPaste(State(), text, {integerLength_, decimals_}) : DatePaste(State(), text);
    if (r.refused) {
        Beep();
        return;
    }
    if (IsType("N")) SETBUFFER(r.text);
    Apply(r);
}

bool ZevSle::IsType(const char* t) const {
    // The runtime's string comparison: the type begins with the letter.
    return rt::NonExactEquals(rt::Usual(type_), rt::Usual(std::string(t)));
}

bool ZevSle::SETLEN(int64_t length, int64_t decimals) {
    // A length with no room left for integer digits keeps none, rather than
    // wrapping round to the largest 16-bit number (no limit at all).
    auto field = [](int64_t v) { return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 0xFFFF)); };
    totalLength_ = field(length);
    decimals_ = field(decimals);
    integerLength_ = field(decimals != 0 ? length - (decimals + 1) : length);
    return true;
}

bool ZevSle::SETBUFFER(const std::string& text) {
    raw_.clear();
    for (char c : text)
        if (c != ',') raw_ += c;
    return true;
}

int64_t ZevSle::SETPOS(int64_t pos, int64_t ref, bool toRaw) const {
    return MaskSetPos(TextValue(), static_cast<int>(pos), static_cast<int>(ref), toRaw);
}

bool ZevSle::TakeKey(const gui::Event& event, MaskKey& key) const {
    if (event.uMsg == gui::WM_CHAR) {
        key = {static_cast<int>(event.wParam), false};
        return true;
    }
    if (event.uMsg != gui::WM_KEYDOWN) return false;
    if (event.wParam == gui::VK_DELETE) {
        key = {46, true};
        return true;
    }
    // A key press from the keyboard stands for its character message.
    auto* k = dynamic_cast<const gui::KeyEvent*>(&event);
    if (!k || k->control || k->alt) return false;
    if (event.wParam == gui::VK_BACK) {
        key = {8, false};
        return true;
    }
    if (k->asciiChar >= 32 && k->asciiChar < 127) {
        key = {static_cast<int>(k->asciiChar), false};
        return true;
    }
    // A letter beyond ASCII (a dead key's é, a Cyrillic letter): an
    // unaccepted character, swallowed.
    if (k->asciiChar >= 127) {
        key = {0, false};
        return true;
    }
    // A key without a virtual-key code of its own types a letter beyond
    // Latin-1 (Cyrillic, the euro sign): an unaccepted character, so the
    // mode swallows it instead of the edit inserting it.
    if (k->asciiChar == 0 && event.wParam == 0) {
        key = {0, false};
        return true;
    }
    return false;
}

MaskEdit ZevSle::State() const {
    MaskEdit e;
    QLineEdit* le = Edit();
    if (!le) {
        e.text = TextValue();
        return e;
    }
    int s = le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
    int f = le->hasSelectedText() ? le->selectionEnd() : s;
    // The mode works on characters: a character beyond ASCII (only the
    // program can have put one there) has no place in a number and stands
    // as a blank in a date, so positions count characters either way.
    const QString text = le->text();
    for (int i = 0, at = 0; i < text.size(); ++i, ++at) {
        const QChar c = text[i];
        if (c.unicode() < 128) {
            e.text += static_cast<char>(c.unicode());
        } else if (IsType("D")) {
            e.text += ' ';
        } else {
            if (at < s) --s;
            if (at < f) --f;
            --at;
        }
    }
    e.s = std::clamp(s, 0, static_cast<int>(e.text.size()));
    e.f = std::clamp(f, e.s, static_cast<int>(e.text.size()));
    return e;
}

void ZevSle::Apply(const MaskEdit& e) {
    QLineEdit* le = Edit();
    if (!le) return;
    if (le->text().toStdString() != e.text) le->setText(QString::fromStdString(e.text));
    if (e.s == e.f) {
        le->setCursorPosition(e.s);
    } else {
        le->setSelection(e.s, e.f - e.s);
    }
}

int64_t ZevSle::NUMDISPATCH(gui::Event& event) {
    MaskKey key;
    if (!TakeKey(event, key)) return SingleLineEdit::Dispatch(event) ? 1 : 0;
    MaskEdit e = NumberKey(State(), key, {integerLength_, decimals_});
    if (e.refused) Beep();
    SETBUFFER(e.text);
    Apply(e);
    return 1;
}

int64_t ZevSle::DATEDISPATCH(gui::Event& event) {
    MaskKey key;
    if (!TakeKey(event, key)) return SingleLineEdit::Dispatch(event) ? 1 : 0;
    const MaskEdit e = DateKey(State(), key);
    if (e.refused) Beep();
    Apply(e);
    return 1;
}

bool ZevSle::Dispatch(gui::Event& event) {
    // The clipboard's paste keys paste through the mode; the edit's other
    // editing keys would change the text past it and are refused. Moving,
    // selecting, copying and the window's own keys (Ctrl+Tab) stay.
    if (auto* k = dynamic_cast<gui::KeyEvent*>(&event); k && event.uMsg == gui::WM_KEYDOWN && InMode()) {
        const uint64_t vk = event.wParam;
        if ((k->control && !k->alt && vk == 'V') || (k->shift && !k->control && vk == gui::VK_INSERT)) {
            Paste(QApplication::clipboard()->text().toStdString());
            return false;
        }
        // The line edit's editing keys (X11 bindings): delete a word or to
        // the end or the start of the line, cut, undo and redo. (Delete with
        // any modifier is the mode's Delete.)
        const bool edits = k->control && !k->alt &&
                           (vk == 'K' || vk == 'U' || vk == 'X' || vk == 'Z' || vk == 'Y' || vk == gui::VK_BACK);
        if (edits) {
            Beep();
            return false;
        }
    }
    MaskKey key;
    if (IsType("N") && TakeKey(event, key)) return NUMDISPATCH(event) == 0;
    if (IsType("D") && TakeKey(event, key)) return DATEDISPATCH(event) == 0;
    return SingleLineEdit::Dispatch(event);
}

rt::Usual DATE_ADDMONTH(const rt::Usual& date, const rt::Usual& months) {
    return rt::Usual(DateAddMonth(date.AsDate(), static_cast<int>(months.AsLong())));
}

}  // namespace lib
