// FixedTextHyperlink: a label that behaves like a web link: link colour,
// hand cursor over it, and a left click opens its target (LINK, or the
// caption when LINK is empty) with the desktop's "open" action.
#pragma once

#include <QUrl>

#include <QCursor>

#include <functional>
#include <string>

#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace lib {

class FixedTextHyperlink : public gui::FixedText {
    QZ_OBJECT(FixedTextHyperlink)
public:
    FixedTextHyperlink() = default;
    // INIT(owner, id [, point, dimension, caption]).
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }
    // The target a click opens.
    std::string Target() const;
    // Opens the target; false when the desktop could not (nothing is shown).
    bool Open();
    bool Dispatch(gui::Event& event) override;
    // The mouse notices of the mouse-tracking windows: entering saves the
    // label's cursor and shows the hand; leaving restores the saved cursor.
    void MOUSEENTER();
    void MOUSEEXIT();
    bool Hovered() const { return hovered_; }

    std::string LINK;

    // How a target is opened: QDesktopServices::openUrl by default; tests
    // put a recorder here.
    using Opener = std::function<bool(const std::string& target)>;
    static void SetOpener(Opener opener);
    // The URL the desktop is asked to open for a target: a mail address
    // becomes "mailto:", a text with a scheme is taken as it is written
    // (blanks in its path encoded), anything else as typed into a browser.
    // An invalid URL is an empty one, and nothing is opened.
    static QUrl TargetUrl(const std::string& target);

private:
    bool hovered_ = false;
    QCursor saved_;
};

}  // namespace lib
