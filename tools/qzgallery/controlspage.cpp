#include "tools/qzgallery/controlspage.h"

#include <QWidget>

#include "lib/controls/blinking.h"
#include "lib/controls/hyperlink.h"
#include "lib/controls/iconpushbutton.h"
#include "platform/runtime/dates.h"

namespace gallery {
namespace {

void Label(gui::Window& w, int id, const char* text, int x, int y, int width) {
    auto l = rt::New<gui::FixedText>();
    l->Create(w, id);
    l->SetCaption(text);
    l->Widget()->setGeometry(x, y, width, 22);
}

template <class T>
std::shared_ptr<T> Place(gui::Window& w, int id, int x, int y, int width, int height, const char* caption = nullptr) {
    auto c = lib::MakeLibControl<T>(w, id);
    c->Widget()->setGeometry(x, y, width, height);
    if (caption) c->SetCaption(caption);
    return c;
}

}  // namespace

const rt::ClassDef& ControlsPage::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<ControlsPage>("GALLERYCONTROLSPAGE", &gui::Window::StaticClass()).Done();
    return c;
}

void ControlsPage::PostInit(rt::Args) {
    Widget()->resize(470, 300);
    Label(*this, 1, "Amount (two decimals):", 12, 14, 160);
    amount_ = Place<lib::RightSle>(*this, 2, 180, 12, 140, 22);
    amount_->SetFieldFormat({'N', 12, 2, "9,999,999.99"});
    amount_->SYMMETHOD = rt::Symbol("SHOWCALC");
    amount_->AddButton("POPUPCALCICO", "POPUPCALCICO");
    Label(*this, 3, "Date:", 12, 44, 160);
    date_ = Place<lib::DateSle>(*this, 4, 180, 42, 120, 22);
    date_->SetTextValue(rt::DToC(rt::Today()));
    Label(*this, 5, "Time (99:99):", 12, 74, 160);
    time_ = Place<lib::RightSle>(*this, 6, 180, 72, 60, 22);
    time_->SetFieldFormat({'C', 5, 0, "99:99"});

    const int y1 = 116, y2 = 150;
    Place<lib::OkPushButton>(*this, 10, 12, y1, 100, 26, "OK");
    Place<lib::CancelPushButton>(*this, 11, 124, y1, 100, 26, "Cancel");
    Place<lib::NoPushButton>(*this, 12, 236, y1, 100, 26, "No");
    Place<lib::HelpPushButton>(*this, 13, 348, y1, 100, 26, "Help");
    Place<lib::OkPushButton>(*this, 14, 12, y2, 100, 26, "OK")->DisableButton();
    Place<lib::CancelPushButton>(*this, 15, 124, y2, 100, 26, "Cancel")->DisableButton();
    Place<lib::NoPushButton>(*this, 16, 236, y2, 100, 26, "No")->DisableButton();
    Place<lib::HelpPushButton>(*this, 17, 348, y2, 100, 26, "Help")->DisableButton();

    Label(*this, 20, "Web site:", 12, 196, 160);
    Place<lib::FixedTextHyperlink>(*this, 21, 180, 196, 220, 22, "https://www.qt.io/");
    Place<lib::BlinkingFixedText>(*this, 22, 12, 232, 200, 22, "Counting in progress");
    auto fast = Place<lib::BlinkingSle>(*this, 23, 230, 230, 160, 24, "Scan the next shelf");
    fast->BLINKING(true, 600);
}

}  // namespace gallery
