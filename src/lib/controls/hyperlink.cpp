#include "lib/controls/hyperlink.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
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

QUrl FixedTextHyperlink::TargetUrl(const std::string& target) {
    const QString t = QString::fromStdString(target).trimmed();
    if (t.contains(QLatin1Char('@')) && !t.contains(QLatin1Char(':'))) return QUrl(QStringLiteral("mailto:") + t);
    // A scheme written out ("http://a b/c d") is no text to guess at: the
    // guess would take the whole text for a host name and put a second
    // scheme in front of it.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (scheme.match(t).hasMatch() && !QFileInfo::exists(t)) {
        const QUrl url(t, QUrl::TolerantMode);
        return url.isValid() ? url : QUrl();
    }
    return QUrl::fromUserInput(t);
}

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
    const QUrl url = TargetUrl(target);
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool FixedTextHyperlink::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_LBUTTONDOWN) Open();
    return gui::FixedText::Dispatch(event);
}

}  // namespace lib
