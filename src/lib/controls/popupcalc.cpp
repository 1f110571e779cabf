#include "lib/controls/popupcalc.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

#include "lib/controls/artwork.h"
#include "lib/controls/numbertext.h"
#include "platform/gui/boundary.h"
#include "platform/gui/message.h"
#include "platform/gui/messages.h"
#include "platform/gui/resource.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/settings.h"

namespace lib {
namespace {

constexpr int kDisplayId = 100;
constexpr int kMemTextId = 131;
constexpr int kCancel = 2;

struct ButtonDef {
    int id;
    const char* name;
    const char* caption;
    int x, y, cx, cy;
};

constexpr ButtonDef kButtons[] = {
    {101, "SAVEEXITBUTTON", "SAVE/EXIT", 80, 177, 53, 18},
    {102, "QUITBUTTON", "QUIT", 6, 177, 54, 18},
    {103, "B7", "7", 6, 80, 20, 18},
    {104, "B8", "8", 33, 80, 20, 18},
    {105, "B9", "9", 60, 80, 20, 18},
    {106, "B4", "4", 6, 104, 20, 19},
    {107, "B5", "5", 33, 104, 20, 19},
    {108, "B6", "6", 59, 104, 20, 19},
    {109, "B1", "1", 6, 129, 20, 18},
    {110, "B2", "2", 33, 129, 20, 18},
    {111, "B3", "3", 60, 129, 20, 18},
    {112, "B0", "0", 6, 153, 47, 19},
    {113, "BDOT", ".", 60, 153, 20, 19},
    {114, "BPOWER", "^", 6, 61, 20, 12},
    {115, "BPERCENT", "%", 33, 61, 20, 12},
    {116, "BPLUSMINUS", "+/-", 60, 61, 20, 12},
    {117, "BSQUAREROOT", "Sq", 86, 61, 20, 12},
    {118, "BINVERT", "1/x", 113, 61, 20, 12},
    {119, "BTIMES", "x", 86, 80, 20, 18},
    {120, "BDIVIDE", "/", 86, 104, 20, 19},
    {121, "BMINUS", "-", 86, 129, 20, 18},
    {122, "BPLUS", "+", 86, 153, 20, 19},
    {123, "BMEMRECALL", "MR", 6, 43, 20, 12},
    {124, "BMEMPLUS", "M+", 33, 43, 20, 12},
    {125, "BMEMMINUS", "M-", 60, 43, 20, 12},
    {126, "BMEMTIMES", "Mx", 86, 43, 20, 12},
    {127, "BMEMCLEAR", "MC", 113, 43, 20, 12},
    {128, "BCLEARENTRY", "CE", 113, 80, 20, 18},
    {129, "BCLEAR", "C", 113, 104, 20, 19},
    {130, "BEQUALS", "=", 113, 129, 20, 43},
};

gui::HWND DialogHandle(const gui::Control& c) {
    gui::Window* w = c.Owner();
    return w ? w->Handle() : 0;
}

template <auto Fn>
rt::MethodFn Button() {
    return [](rt::Object& o, rt::Args) {
        (static_cast<PopupCalc&>(o).*Fn)();
        return rt::Usual();
    };
}

rt::MethodFn Op(char c) {
    return [c](rt::Object& o, rt::Args) {
        static_cast<PopupCalc&>(o).DOOPERATION(c);
        return rt::Usual();
    };
}

}  // namespace

void RegisterPopupCalcTemplate() {
    gui::DialogTemplate t;
    t.name = "_POPUPCALC";
    t.caption = "Calculator";
    t.cx = 139;
    t.cy = 201;
    t.items.push_back({kDisplayId, "edit", "", 6, 6, 127, 18,
                       gui::kStyleBorder | gui::kStyleTabStop | gui::kStyleRight | gui::kStyleAutoHScroll});
    for (const ButtonDef& b : kButtons)
        t.items.push_back({b.id, "button", b.caption, b.x, b.y, b.cx, b.cy, gui::kStylePushButton});
    t.items.push_back({kMemTextId, "static", "Memory Contents", 40, 28, 94, 11, gui::kStyleRight});
    gui::RegisterDialog(std::move(t));
}

// ---- the display ----------------------------------------------------------

const rt::ClassDef& CalcSingleLineEdit::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<CalcSingleLineEdit>("CALCSINGLELINEEDIT", &gui::SingleLineEdit::StaticClass()).Done();
    return c;
}

bool CalcSingleLineEdit::Dispatch(gui::Event& event) {
    auto* key = dynamic_cast<gui::KeyEvent*>(&event);
    if (!key || event.uMsg != gui::WM_KEYDOWN || key->alt) return gui::SingleLineEdit::Dispatch(event);
    if (key->control && key->KEYCODE() != 'V') return gui::SingleLineEdit::Dispatch(event);
    const gui::HWND dlg = DialogHandle(*this);
    const uint32_t vk = key->KEYCODE();
    if (vk == gui::VK_RETURN) {
        gui::SendMessageA(dlg, gui::WM_CHAR, 13, 1);
        return false;
    }
    if (vk == gui::VK_ESCAPE) {
        gui::SendMessageA(dlg, gui::WM_COMMAND, kCancel, 0);
        return false;
    }
    const uint32_t ch = vk == gui::VK_BACK ? 8 : key->ASCIICHAR();
    if ((key->control && vk == 'V') || (key->shift && vk == gui::VK_INSERT)) {
        if (auto* calc = dynamic_cast<PopupCalc*>(Owner()))
            calc->Paste(QApplication::clipboard()->text().toStdString());
        return false;
    }
    if (ch == ',' && Edit()) {  // a decimal-comma keyboard's point, as the numeric field takes it
        gui::SendMessageA(dlg, gui::WM_CHAR, '.', 0);
        Edit()->insert(QStringLiteral("."));
        return false;
    }
    if (ch == 8 || (ch && std::strchr("0123456789.", static_cast<int>(ch)))) {
        gui::SendMessageA(dlg, gui::WM_CHAR, ch, 0);
        return true;  // the edit inserts it
    }
    if (ch && std::strchr("cC+*-/=", static_cast<int>(ch))) {
        gui::SendMessageA(dlg, gui::WM_CHAR, ch, 1);
        return false;
    }
    if (ch >= 32) return false;  // other characters are swallowed
    return gui::SingleLineEdit::Dispatch(event);
}

// ---- the layout -----------------------------------------------------------

const rt::ClassDef& PopupCalcLayout::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<PopupCalcLayout>("_POPUPCALC", &gui::DialogWindow::StaticClass()).Done();
    return c;
}

void PopupCalcLayout::Build(rt::Args args) {
    const rt::Usual dialogArgs[] = {args.empty() ? rt::Usual() : args[0], rt::Usual(), rt::Usual(true)};
    gui::DialogWindow::Build(rt::Args(dialogArgs, 3));
    if (!Template()) return;
    display_ = gui::MakeControl<CalcSingleLineEdit>(*this, kDisplayId);
    display_->SetName(rt::Symbol("DISPLAYZ"));
    QFont displayFont(QStringLiteral("MS Sans Serif"));
    displayFont.setPointSize(10);
    display_->Widget()->setFont(displayFont);
    display_->Edit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display_->SetTextColor(1);
    // Only a number's characters (and "Error") stand in the display: the
    // edit's own ways in (the middle button's paste, its menu, a drop) are
    // held to them; Ctrl+V pastes through the calculator.
    display_->Edit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral(" *-? *[0-9.]*|Error")), display_->Edit()));
    display_->Edit()->setContextMenuPolicy(Qt::NoContextMenu);
    display_->Edit()->setAcceptDrops(false);
    QObject::connect(display_->Edit(), &QLineEdit::inputRejected, display_->Edit(), [] { QApplication::beep(); });
    QFont buttonFont(QStringLiteral("Times New Roman"));
    buttonFont.setPointSize(10);
    buttonFont.setBold(true);
    for (const ButtonDef& b : kButtons) {
        auto pb = gui::MakeControl<gui::PushButton>(*this, b.id);
        pb->SetName(rt::Symbol(b.name));
        pb->Widget()->setFocusPolicy(Qt::NoFocus);
        if (b.id > 102) pb->Widget()->setFont(buttonFont);
    }
    memText_ = gui::MakeControl<gui::FixedText>(*this, kMemTextId);
    memText_->SetName(rt::Symbol("MEMTEXT"));
    Widget()->setWindowIcon(DrawnIcon("POPUPCALCICO"));
}

gui::PushButton* PopupCalcLayout::ButtonNamed(const char* name) const {
    return dynamic_cast<gui::PushButton*>(ControlByName(rt::Symbol(name)));
}

// ---- the calculator -------------------------------------------------------

const rt::ClassDef& PopupCalc::StaticClass() {
    static const rt::ClassDef& c = [] {
        rt::ClassBuilder<PopupCalc> b("POPUPCALC", &PopupCalcLayout::StaticClass());
        static const char* kDigits[] = {"B0", "B1", "B2", "B3", "B4", "B5", "B6", "B7", "B8", "B9"};
        for (int i = 0; i < 10; ++i)
            b.RawMethod(kDigits[i], [i](rt::Object& o, rt::Args) {
                static_cast<PopupCalc&>(o).Digit(static_cast<char>('0' + i));
                return rt::Usual();
            });
        b.RawMethod("BDOT", Button<&PopupCalc::BDOT>())
            .RawMethod("BPLUSMINUS", Button<&PopupCalc::BPLUSMINUS>())
            .RawMethod("BCLEAR", Button<&PopupCalc::BCLEAR>())
            .RawMethod("BCLEARENTRY", Button<&PopupCalc::BCLEARENTRY>())
            .RawMethod("BTIMES", Op('*'))
            .RawMethod("BDIVIDE", Op('/'))
            .RawMethod("BMINUS", Op('-'))
            .RawMethod("BPLUS", Op('+'))
            .RawMethod("BEQUALS", Op('='))
            .RawMethod("BPOWER", Op('^'))
            .RawMethod("BPERCENT", Op('%'))
            .RawMethod("BSQUAREROOT", Op('S'))
            .RawMethod("BINVERT", Op('I'))
            .RawMethod("BMEMCLEAR", Button<&PopupCalc::BMEMCLEAR>())
            .RawMethod("BMEMRECALL", Button<&PopupCalc::BMEMRECALL>())
            .RawMethod("SAVEEXITBUTTON", Button<&PopupCalc::SAVEEXITBUTTON>())
            .RawMethod("QUITBUTTON", Button<&PopupCalc::QUITBUTTON>())
            .RawMethod("AUTOCLEAR", Button<&PopupCalc::AUTOCLEAR>())
            .RawMethod("DOOPERATION",
                       [](rt::Object& o, rt::Args a) {
                           std::string s = a.empty() || !a[0].IsString() ? std::string() : a[0].AsStr();
                           static_cast<PopupCalc&>(o).DOOPERATION(s.empty() ? '\0' : s[0]);
                           return rt::Usual();
                       })
            .RawMethod("INITCALC", Button<&PopupCalc::INITCALC>())
            .RawMethod("EDITCHANGE", Button<&PopupCalc::EditChange>())
            .RawMethod("FLOATTOSTRING",
                       [](rt::Object& o, rt::Args a) {
                           const double f = a.empty() || !a[0].IsNumeric() ? 0 : a[0].AsDouble();
                           return rt::Usual(static_cast<PopupCalc&>(o).calc_.FloatToString(f));
                       })
            .RawMethod("STRINGTOFLOAT",
                       [](rt::Object& o, rt::Args a) {
                           const std::string s = a.empty() || !a[0].IsString() ? std::string() : a[0].AsStr();
                           return rt::Usual(static_cast<PopupCalc&>(o).calc_.StringToFloat(s));
                       })
            .RawMethod("MYDIV",
                       [](rt::Object& o, rt::Args a) {
                           auto num = [&](size_t i) {
                               return i < a.size() && a[i].IsNumeric() ? a[i].AsDouble() : 0.0;
                           };
                           return rt::Usual(static_cast<PopupCalc&>(o).calc_.MyDiv(num(0), num(1)));
                       })
            .IVar<&PopupCalc::SEXPORT>("SEXPORT");
        // The pair, not its parts: clang before 16 cannot capture a structured binding.
        for (const auto& memory :
             {std::pair{"BMEMPLUS", '+'}, std::pair{"BMEMMINUS", '-'}, std::pair{"BMEMTIMES", '*'}})
            b.RawMethod(memory.first, [op = memory.second](rt::Object& o, rt::Args) {
                static_cast<PopupCalc&>(o).BMEM(op);
                return rt::Usual();
            });
        return std::cref(b.Done());
    }();
    return c;
}

void PopupCalc::PostInit(rt::Args args) {
    if (!Display()) return;
    if (args.size() > 1 && !args[1].IsString() && !args[1].IsNil()) {
        calc_.Open(nullptr);
    } else {
        const std::string start = args.size() > 1 && args[1].IsString() ? args[1].AsStr() : std::string();
        calc_.Open(&start);
    }
    QPalette p = Widget()->palette();
    p.setColor(QPalette::Window, QColor(190, 220, 190));
    Widget()->setPalette(p);
    Widget()->setAutoFillBackground(true);
    calc_.decimals = rt::SetDecimal();
    settings_ = std::make_unique<SettingsScope>();
    rt::SetFixed(false);
    rt::SetScience(false);
    // The tidying runs once the edit has finished its own keystroke: a text
    // replaced from inside the edit's change signal is lost by the edit.
    QObject::connect(
        Display()->Edit(), &QLineEdit::textEdited, Display()->Edit(), [this] { gui::FromQt([this] { EditChange(); }); },
        Qt::QueuedConnection);
    // The label keeps its caption "Memory Contents" until the memory is used.
    if (MemLabel()) calc_.memText = MemLabel()->Caption();
    Refresh();
    // Shown, the edit selects its whole text on getting the focus; the
    // caret belongs at the end with nothing selected.
    QLineEdit* e = Display()->Edit();
    QTimer::singleShot(0, e, [e] { e->deselect(), e->end(false); });
}

std::string PopupCalc::DisplayText() const { return Display() ? Display()->TextValue() : calc_.display; }

void PopupCalc::Refresh() {
    if (!Display()) return;
    inEditChange_ = true;
    if (Display()->TextValue() != calc_.display) Display()->SetTextValue(calc_.display);
    if (MemLabel()) MemLabel()->SetCaption(calc_.memText);
    inEditChange_ = false;
    Display()->SetFocus();
    Display()->Edit()->setCursorPosition(static_cast<int>(calc_.display.size()));
}

void PopupCalc::EditChange() {
    if (inEditChange_ || !Display()) return;
    calc_.display = Display()->TextValue();
    const int caret = calc_.EditChange();
    inEditChange_ = true;
    if (Display()->TextValue() != calc_.display) Display()->SetTextValue(calc_.display);
    inEditChange_ = false;
    if (caret == -2) Refresh();
    else if (caret >= 0) Display()->Edit()->setCursorPosition(caret);
}

void PopupCalc::AUTOCLEAR() {
    calc_.display = DisplayText();
    calc_.AutoClear();
    inEditChange_ = true;
    if (Display() && Display()->TextValue() != calc_.display) Display()->SetTextValue(calc_.display);
    inEditChange_ = false;
}

void PopupCalc::Digit(char d) {
    calc_.display = DisplayText();
    calc_.Digit(d);
    Refresh();
}

void PopupCalc::BDOT() {
    calc_.display = DisplayText();
    calc_.Dot();
    Refresh();
}

void PopupCalc::BPLUSMINUS() {
    calc_.display = DisplayText();
    calc_.PlusMinus();
    Refresh();
}

void PopupCalc::BCLEARENTRY() {
    calc_.ClearEntry();
    Refresh();
}

void PopupCalc::INITCALC() {
    calc_.InitCalc();
    Refresh();
}

void PopupCalc::BCLEAR() {
    calc_.Clear();
    Refresh();
}

void PopupCalc::DOOPERATION(char c) {
    calc_.display = DisplayText();
    calc_.DoOperation(c);
    Refresh();
}

void PopupCalc::BMEM(char op) {
    calc_.display = DisplayText();
    if (op == '+') calc_.MemPlus();
    else if (op == '-') calc_.MemMinus();
    else calc_.MemTimes();
    Refresh();
}

void PopupCalc::BMEMCLEAR() {
    calc_.MemClear();
    Refresh();
}

void PopupCalc::BMEMRECALL() {
    calc_.MemRecall();
    Refresh();
}

void PopupCalc::SAVEEXITBUTTON() {
    calc_.display = DisplayText();
    SEXPORT = calc_.SaveExit();
    Refresh();
    EndDialog(1);
}

void PopupCalc::QUITBUTTON() { EndDialog(0); }

bool PopupCalc::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_COMMAND && (event.wParam & 0xFFFF) == kCancel) {
        EndDialog(0);
        return false;
    }
    if (event.uMsg == gui::WM_CHAR) {
        if (event.lParam == 0) AUTOCLEAR();
        else DOOPERATION(event.wParam == 13 ? '=' : static_cast<char>(event.wParam));
        return false;
    }
    return PopupCalcLayout::Dispatch(event);
}

void PopupCalc::Close() {
    settings_.reset();
    PopupCalcLayout::Close();
}

void PopupCalc::Paste(const std::string& text) {
    const auto n = ReadNumberText(text, '.', '\0');
    if (!n) {
        QApplication::beep();
        return;
    }
    calc_.display = DisplayText();
    calc_.AutoClear();
    calc_.display = n->Plain();
    Refresh();
}

}  // namespace lib
