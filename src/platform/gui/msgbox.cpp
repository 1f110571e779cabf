#include "platform/gui/msgbox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

#include "platform/gui/boundary.h"
#include "platform/gui/burstguard.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/window.h"

namespace gui {
namespace {

struct ButtonSet {
    std::vector<int> ids;
};

std::vector<int> ButtonsOf(uint32_t type) {
    switch (type & 0xF) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}

int DefaultButton(uint32_t type) {
    std::vector<int> ids = ButtonsOf(type);
    size_t index = (type & MB_DEFBUTTON3) ? 2 : (type & MB_DEFBUTTON2) ? 1 : 0;
    return ids[index < ids.size() ? index : 0];
}

QMessageBox::StandardButton QtButton(int id) {
    switch (id) {
        case IDOK: return QMessageBox::Ok;
        case IDCANCEL: return QMessageBox::Cancel;
        case IDABORT: return QMessageBox::Abort;
        case IDRETRY: return QMessageBox::Retry;
        case IDIGNORE: return QMessageBox::Ignore;
        case IDYES: return QMessageBox::Yes;
        default: return QMessageBox::No;
    }
}

}  // namespace

FocusReturn::FocusReturn() : focus_(QApplication::focusWidget()) {}

FocusReturn::~FocusReturn() {
    QWidget* w = focus_.data();
    if (!w || !w->isVisible() || !w->isEnabled()) return;
    QWidget* window = w->window();
    if (window && window->isVisible() && !window->isMinimized()) window->activateWindow();
    w->setFocus(Qt::ActiveWindowFocusReason);
}

// Room a title bar takes beside its caption: the window icon, the three
// buttons and the margins.
constexpr int kTitleBarExtras = 140;

int ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text, uint32_t type, bool beep) {
    if (TestHooks::On()) {
        ShownBox box{caption, text, type, beep};
        TestHooks::Boxes().push_back(box);
        TestHooks::NotifyBox(box);
        int answer = 0;
        if (TestHooks::TakeBoxAnswer(answer)) return answer;
        std::fprintf(stderr, "message box \"%s\" answered with its default button\n", caption.c_str());
        return DefaultButton(type);
    }
    if (beep) QApplication::beep();
    FocusReturn focusReturn;
    // A box without an owner still belongs above the window in front, so
    // that it cannot open behind it.
    QMessageBox box(owner ? owner : QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(caption));
    // Win32 boxes take CR LF line ends; a lone CR would show as a box glyph.
    QString t = QString::fromStdString(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(t);
    switch (type & 0xF0) {
        case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
        default: break;
    }
    std::vector<int> ids = ButtonsOf(type);
    QMessageBox::StandardButtons buttons;
    for (int id : ids) buttons |= QtButton(id);
    box.setStandardButtons(buttons);
    box.setDefaultButton(QtButton(DefaultButton(type)));
    // The window manager writes the caption in its own, usually bold, title
    // font beside an icon and three buttons: the box is made wide enough
    // for the whole caption to show there.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont title = box.font();
        title.setBold(true);
        const int wanted = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    if (type & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (owner == nullptr || (type & MB_TASKMODAL)) box.setWindowModality(Qt::ApplicationModal);
    burst::Protect(&box);
    ExecModal(box);
    QAbstractButton* clicked = box.clickedButton();
    for (int id : ids)
        if (clicked && clicked == box.button(QtButton(id))) return id;
    // Closed without a button: Cancel where there is one, else the default.
    for (int id : ids)
        if (id == IDCANCEL) return IDCANCEL;
    return ids.size() == 1 ? ids[0] : DefaultButton(type);
}

const rt::ClassDef& TextBox::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<TextBox>("TEXTBOX")
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           auto& b = static_cast<TextBox&>(o);
                           rt::Usual none;
                           b.Init(a.size() > 0 ? a[0] : none, a.size() > 1 ? a[1].AsStr() : "",
                                  a.size() > 2 ? a[2].AsStr() : "", a.size() > 3 ? a[3] : none);
                           return rt::Usual(o.Self());
                       })
            .Method<&TextBox::Show>("SHOW")
            .Access<&TextBox::Beep>("BEEP")
            .Assign<&TextBox::SetBeep>("BEEP")
            .Access<&TextBox::Type>("TYPE")
            .Assign<&TextBox::SetType>("TYPE")
            .Done();
    return c;
}

const rt::ClassDef& WarningBox::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<WarningBox>("WARNINGBOX", &TextBox::StaticClass()).Done();
    return c;
}

void TextBox::Init(rt::Usual owner, std::string caption, std::string text, rt::Usual type) {
    owner_ = std::move(owner);
    caption_ = std::move(caption);
    text_ = std::move(text);
    type_ = type.IsNumeric() ? static_cast<uint32_t>(type.AsLong()) : MB_OK;
}

int TextBox::Show() {
    uint32_t type = type_;
    if ((type & 0xF0) == 0) type |= DefaultIcon();
    return ShowMessageBox(WidgetOf(owner_), caption_, text_, type, beep_);
}

}  // namespace gui
