#include "platform/gui/errorbox.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>

#include "platform/gui/boundary.h"
#include "platform/gui/burstguard.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/testhooks.h"
#include "platform/runtime/errorservices.h"

namespace gui {
namespace {

uint32_t CloseValue(uint32_t defaultValue, uint32_t abortValue) {
    return defaultValue != 0 ? defaultValue : abortValue;
}

uint32_t RecordedType(const std::string& caption, uint32_t defaultValue, uint32_t retryValue, uint32_t abortValue) {
    uint32_t icon = caption == "ERROR" ? MB_ICONHAND : MB_ICONEXCLAMATION;
    uint32_t buttons = MB_OK;
    if (retryValue != 0) buttons = defaultValue != 0 ? MB_ABORTRETRYIGNORE : MB_RETRYCANCEL;
    else if (defaultValue != 0 && abortValue != 0) buttons = MB_OKCANCEL;
    return icon | buttons;
}

// The answer of a scripted Win32 button id, or false when the id names no
// button on offer.
bool ScriptedValue(int id, const std::vector<ErrorBoxButton>& offered, uint32_t& value) {
    int wanted = id == IDOK ? IDIGNORE : id == IDCANCEL ? IDABORT : id;
    for (const ErrorBoxButton& b : offered)
        if (b.id == wanted) {
            value = b.value;
            return true;
        }
    return false;
}

void DesktopBell(int, int) {
    auto* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) QApplication::beep();
}

}  // namespace

std::vector<ErrorBoxButton> ErrorBoxButtons(uint32_t defaultValue, uint32_t retryValue, uint32_t abortValue) {
    std::vector<ErrorBoxButton> out;
    bool alone = retryValue == 0 && abortValue == 0;
    if (defaultValue != 0) out.push_back({IDIGNORE, alone ? "OK" : "&Ignore", defaultValue});
    if (retryValue != 0) out.push_back({IDRETRY, "&Retry", retryValue});
    if (abortValue != 0) out.push_back({IDABORT, abortValue == rt::kErrorBoxBreak ? "&Abort" : "&Quit", abortValue});
    return out;
}

ErrorDialog::ErrorDialog(const std::string& text, const std::string& caption, uint32_t defaultValue,
                         uint32_t retryValue, uint32_t abortValue, QWidget* parent)
    : QDialog(parent), closeValue_(CloseValue(defaultValue, abortValue)) {
    choice_ = closeValue_;
    setWindowTitle(QString::fromStdString(caption));
    setWindowModality(Qt::ApplicationModal);

    message_ = QString::fromStdString(text);
    message_.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (message_.endsWith(QLatin1Char('\n'))) message_.chop(1);

    auto* icon = new QLabel(this);
    QStyle::StandardPixmap pixmap = caption == "ERROR" ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning;
    int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);

    // Plain text in the dialog's own font; selectable, so that the operator
    // can copy it for support.
    auto* label = new QLabel(message_, this);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    label->setMinimumWidth(420);
    label->setObjectName(QStringLiteral("message"));

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(label, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* focus = nullptr;
    for (const ErrorBoxButton& b : ErrorBoxButtons(defaultValue, retryValue, abortValue)) {
        auto* button = new QPushButton(QString::fromStdString(b.label), this);
        uint32_t value = b.value;
        connect(button, &QPushButton::clicked, this, [this, value] {
            choice_ = value;
            done(QDialog::Accepted);
        });
        row->addWidget(button);
        buttons_.emplace_back(b.id, button);
        if (!focus) focus = button;  // the default, else retry, else abort
    }
    if (focus) {
        focus->setDefault(true);
        focus->setFocus();
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(row);
}

void ErrorDialog::keyPressEvent(QKeyEvent* event) {
    // As in the question boxes, a button's underlined letter answers the
    // box without Alt.
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && !event->text().isEmpty()) {
        const QChar letter = event->text().at(0).toUpper();
        for (const auto& [id, button] : buttons_) {
            const QString t = button->text();
            const qsizetype amp = t.indexOf(QLatin1Char('&'));
            if (amp < 0 || amp + 1 >= t.size() || t.at(amp + 1).toUpper() != letter) continue;
            button->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

QPushButton* ErrorDialog::Button(int id) const {
    for (const auto& [bid, button] : buttons_)
        if (bid == id) return button;
    return nullptr;
}

QString ErrorDialog::Message() const { return message_; }

void ErrorDialog::reject() {
    choice_ = closeValue_;
    QDialog::reject();
}

uint32_t ShowErrorBox(const std::string& text, const std::string& caption, uint32_t defaultValue, uint32_t retryValue,
                      uint32_t abortValue) {
    if (TestHooks::On()) {
        ShownBox box{caption, text, RecordedType(caption, defaultValue, retryValue, abortValue), false};
        TestHooks::Boxes().push_back(box);
        TestHooks::NotifyBox(box);
        int id = 0;
        uint32_t value = 0;
        if (TestHooks::TakeBoxAnswer(id) &&
            ScriptedValue(id, ErrorBoxButtons(defaultValue, retryValue, abortValue), value))
            return value;
        std::fprintf(stderr, "error box \"%s\" answered as if closed\n", caption.c_str());
        return CloseValue(defaultValue, abortValue);
    }
    // Only the GUI thread may show a dialog; elsewhere the runtime's own
    // answer (stderr and the default) stands in.
    auto* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread())
        return rt::StderrErrorMessageBox(text, caption, defaultValue, retryValue, abortValue);
    // The box belongs to the active window, which may go while the box
    // waits (an event handled meanwhile closes it) and takes its children
    // with it: the box lives on the heap, watched, and a box gone that way
    // answers as if closed.
    FocusReturn focusReturn;
    QPointer<ErrorDialog> dialog =
        new ErrorDialog(text, caption, defaultValue, retryValue, abortValue, QApplication::activeWindow());
    burst::Protect(dialog);
    // A box left for an exception thrown on from its loop goes all the same.
    const auto drop = qScopeGuard([&dialog] { delete dialog.data(); });
    ExecModal(*dialog);
    if (!dialog) return CloseValue(defaultValue, abortValue);
    return dialog->Choice();
}

void InstallErrorBoxHooks() {
    rt::SetErrorMessageBoxHook(&ShowErrorBox);
    rt::SetToneHook(&DesktopBell);
}

}  // namespace gui
