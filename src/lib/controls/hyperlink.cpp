#include "lib/controls/hyperlink.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "platform/gui/messages.h"

namespace lib {
namespace {

FixedTextHyperlink::Opener& CurrentOpener() {
    static FixedTextHyperlink::Opener opener;
    return opener;
}

// A URL, a mail address or a local path as the desktop should open it.
QUrl TargetUrl(const std::string& target) {
    const QString t = QString::fromStdString(target).trimmed();
    if (t.contains(QLatin1Char('@')) && !t.contains(QLatin1Char(':'))) return QUrl(QStringLiteral("mailto:") + t);
    return QUrl::fromUserInput(t);
}

}  // namespace

const rt::ClassDef& FixedTextHyperlink::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<FixedTextHyperlink>("FIXEDTEXTHYPERLINK", &gui::FixedText::StaticClass())
            .RawMethod("INIT", InitMethod<FixedTextHyperlink>())
            .IVar<&FixedTextHyperlink::LINK>("LINK")
            .Method<&FixedTextHyperlink::MOUSEENTER>("MOUSEENTER")
            .Method<&FixedTextHyperlink::MOUSEEXIT>("MOUSEEXIT")
            .Done();
    return c;
}

void FixedTextHyperlink::SetOpener(Opener opener) { CurrentOpener() = std::move(opener); }

void FixedTextHyperlink::Init(rt::Args args) {
    if (!CreateFromArgs(*this, args)) return;
    SetTextColor(1);
    QWidget* w = Widget();
    QPalette p = w->palette();
    p.setColor(QPalette::Window, QColor::fromRgb(gui::ColorConstantRgb(7)));
    w->setPalette(p);
    w->setAutoFillBackground(true);
    QFont f = w->font();
    f.setUnderline(true);
    w->setFont(f);
    // The hand while the mouse is over the label, in any window: Qt shows a
    // widget's cursor only while the mouse is over it. The mouse-tracking
    // windows also send MOUSEENTER/MOUSEEXIT, which swap it explicitly.
    w->setCursor(Qt::PointingHandCursor);
}

void FixedTextHyperlink::MOUSEENTER() {
    QWidget* w = Widget();
    if (!w || hovered_) return;
    saved_ = w->cursor();
    w->setCursor(Qt::PointingHandCursor);
    hovered_ = true;
}

void FixedTextHyperlink::MOUSEEXIT() {
    QWidget* w = Widget();
    if (!w || !hovered_) return;
    w->setCursor(saved_);
    hovered_ = false;
}

std::string FixedTextHyperlink::Target() const { return LINK.empty() ? Caption() : LINK; }

bool FixedTextHyperlink::Open() {
    const std::string target = Target();
    if (target.empty()) return false;
    if (CurrentOpener()) return CurrentOpener()(target);
    return QDesktopServices::openUrl(TargetUrl(target));
}

bool FixedTextHyperlink::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_LBUTTONDOWN) Open();
    return gui::FixedText::Dispatch(event);
}

}  // namespace lib
