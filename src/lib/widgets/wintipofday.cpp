#include "lib/widgets/wintipofday.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

#include "lib/widgets/bitmap.h"
#include "platform/gui/resource.h"
#include "platform/rdd/dataserver.h"
#include "platform/runtime/text.h"

namespace lib {

// ---- CheckBox -------------------------------------------------------------

const rt::ClassDef& CheckBox::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<CheckBox>("CHECKBOX", &gui::Control::StaticClass())
                                       .Access<&CheckBox::Checked>("CHECKED")
                                       .Assign<&CheckBox::SetChecked>("CHECKED")
                                       .Done();
    return c;
}

QWidget* CheckBox::MakeWidget(QWidget* parent) { return new QCheckBox(parent); }
QCheckBox* CheckBox::Box() const { return qobject_cast<QCheckBox*>(Widget()); }
bool CheckBox::Checked() const { return Box() && Box()->isChecked(); }
bool CheckBox::SetChecked(bool on) {
    if (Box()) Box()->setChecked(on);
    return on;
}
std::string CheckBox::Caption() const { return Box() ? Box()->text().toStdString() : std::string(); }
std::string CheckBox::SetCaption(const std::string& text) {
    if (Box()) Box()->setText(QString::fromStdString(text));
    return text;
}

// ---- the template -----------------------------------------------------------

void RegisterTipOfDayTemplate() {
    gui::DialogTemplate t;
    t.name = "WinTipOfDay";
    t.caption = "Tip of the Day";
    t.cx = 241;
    t.cy = 175;
    using gui::kStyleTabStop;
    t.items = {
        {100, "static", "", 7, 8, 228, 128, 0},
        {101, "button", "&Previous", 36, 160, 53, 12, gui::kStylePushButton | kStyleTabStop},
        {102, "button", "&Next", 94, 160, 54, 12, gui::kStylePushButton | kStyleTabStop},
        {103, "button", "&Close", 152, 160, 54, 12, gui::kStyleDefPushButton | kStyleTabStop},
        {104, "button", "&More information", 84, 119, 73, 12, gui::kStylePushButton | kStyleTabStop},
        {105, "button", "Show Tips on startup", 8, 142, 84, 11, gui::kStyleCheckBox | kStyleTabStop},
        {106, "static", "Did you know...", 42, 18, 190, 20, 0},
        {107, "static", "", 10, 9, 32, 30, gui::kStyleBitmap},
        {108, "edit", "", 13, 43, 217, 74, gui::kStyleMultiLine | gui::kStyleReadOnly | gui::kStyleVScroll},
    };
    gui::RegisterDialog(std::move(t));
}

// ---- WinTipOfDay --------------------------------------------------------------

const rt::ClassDef& WinTipOfDay::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<WinTipOfDay>("WINTIPOFDAY", &gui::DialogWindow::StaticClass())
                                       .IVar<&WinTipOfDay::TIP>("TIP")
                                       .IVar<&WinTipOfDay::LASTTIP>("LASTTIP")
                                       .IVar<&WinTipOfDay::CLOSESERVER>("CLOSESERVER")
                                       .IVar<&WinTipOfDay::backdrop>("ODCBACKDROP")
                                       .IVar<&WinTipOfDay::pbPrevious>("OCCPBPREVIOUS")
                                       .IVar<&WinTipOfDay::pbNext>("OCCPBNEXT")
                                       .IVar<&WinTipOfDay::pbClose>("OCCPBCLOSE")
                                       .IVar<&WinTipOfDay::pbMore>("OCCPBMORE")
                                       .IVar<&WinTipOfDay::showOnStartup>("ODCSHOWONSTARTUP")
                                       .IVar<&WinTipOfDay::heading>("ODCTIPHEADING")
                                       .IVar<&WinTipOfDay::tipText>("ODCTIPTEXT")
                                       .Method<&WinTipOfDay::Show>("SHOW")
                                       .Method<&WinTipOfDay::NEXTTIP>("NEXTTIP")
                                       .Method<&WinTipOfDay::PREVIOUSTIP>("PREVIOUSTIP")
                                       .Method<&WinTipOfDay::LOADTIP>("LOADTIP")
                                       .Method<&WinTipOfDay::PBNEXT>("PBNEXT")
                                       .Method<&WinTipOfDay::PBPREVIOUS>("PBPREVIOUS")
                                       .Method<&WinTipOfDay::PBMORE>("PBMORE")
                                       .Method<&WinTipOfDay::MOREINFO>("MOREINFO")
                                       .Method<&WinTipOfDay::PBCLOSE>("PBCLOSE")
                                       .Access<&WinTipOfDay::ShowOnStartup>("SHOWONSTARTUP")
                                       .Assign<&WinTipOfDay::SetShowOnStartup>("SHOWONSTARTUP")
                                       .Done();
    return c;
}

namespace {

template <class T>
std::shared_ptr<T> Named(gui::Window& w, int id, const char* name, const char* tip = nullptr) {
    auto c = gui::MakeControl<T>(w, id);
    c->SetName(rt::Symbol(name));
    if (tip && c->Widget()) c->Widget()->setToolTip(QString::fromUtf8(tip));
    return c;
}

QFont SansSerif(bool bold, int points) {
    gui::DialogTemplate f;
    f.fontFace = "MS Sans Serif";
    f.fontPoints = points;
    QFont font = gui::DialogFont(f);
    font.setBold(bold);
    return font;
}

}  // namespace

void WinTipOfDay::Build(rt::Args args) {
    const rt::Usual base[] = {args.empty() ? rt::Usual() : args[0], rt::Usual("WinTipOfDay"),
                              args.size() > 1 && args[1].IsLogic() ? args[1] : rt::Usual(true)};
    gui::DialogWindow::Build(rt::Args(base, 3));
    if (!gui::FindDialog("WinTipOfDay")) return;
    Widget()->setFont(SansSerif(false, 8));

    backdrop = Named<gui::FixedText>(*this, 100, "ODCBACKDROP");
    if (QWidget* b = backdrop->Widget()) {
        // The backdrop's own brush: the white of a sheet of paper.
        QPalette p = b->palette();
        p.setColor(QPalette::Window, Qt::white);
        b->setPalette(p);
        b->setAutoFillBackground(true);
        if (auto* l = qobject_cast<QLabel*>(b)) l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    }
    pbPrevious = Named<gui::PushButton>(*this, 101, "PBPREVIOUS", "View the previous tip");
    pbNext = Named<gui::PushButton>(*this, 102, "PBNEXT", "View the next tip");
    pbClose = Named<gui::PushButton>(*this, 103, "PBCLOSE", "Close Tip of the Day");
    pbMore = Named<gui::PushButton>(*this, 104, "PBMORE", "More information about this tip");
    // Enter presses the button that has the focus (Next after Alt+P has
    // moved it there), and Close while the focus is elsewhere.
    for (const auto& b : {pbPrevious, pbNext, pbClose, pbMore})
        if (QPushButton* q = b->Button()) q->setAutoDefault(true);
    if (QPushButton* b = pbClose->Button()) b->setDefault(true);
    showOnStartup =
        Named<CheckBox>(*this, 105, "SHOWONSTARTUP", "Show this tip of the day window at application startup");
    heading = Named<gui::FixedText>(*this, 106, "TIPHEADING");
    if (QWidget* h = heading->Widget()) {
        h->setFont(SansSerif(true, 12));
        h->setAttribute(Qt::WA_TranslucentBackground);
    }
    bulb = Named<gui::FixedBitmap>(*this, 107, "LIGHTBULB");
    if (auto* l = qobject_cast<QLabel*>(bulb->Widget())) {
        auto pic = rt::New<LightBulb>();
        l->setPixmap(pic->Pixmap().scaled(l->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        l->setAlignment(Qt::AlignCenter);
    }
    tipText = Named<gui::RichEdit>(*this, 108, "TIPTEXT");
    tipText->SetReadOnly(true);
    if (QTextEdit* e = tipText->Editor()) {
        e->setFrameStyle(QFrame::NoFrame);
        e->setFont(SansSerif(false, 9));
        e->setAcceptRichText(false);
    }
    for (const auto& c : Controls())
        if (c != backdrop && c->Widget()) c->Widget()->raise();
    SetCaption("Tip of the Day");
}

bool WinTipOfDay::IsServer() const { return dynamic_cast<rdd::DataServer*>(TIP.AsObject().get()) != nullptr; }

int64_t WinTipOfDay::TipCount() const {
    if (TIP.IsArray()) return static_cast<int64_t>(TIP.ALen());
    if (IsServer()) return rt::Send(TIP, "RECCOUNT").AsLong();
    return 0;
}

void WinTipOfDay::NEXTTIP() {
    if (TIP.IsArray()) {
        LASTTIP = LASTTIP + 1 > TipCount() ? 1 : LASTTIP + 1;
    } else if (IsServer()) {
        if (LASTTIP > 0) {
            rt::Send(TIP, "GOTO", {rt::Usual(LASTTIP)});
            rt::Send(TIP, "SKIP", {rt::Usual(1)});
            if (rt::Send(TIP, "EOF").AsLogic()) rt::Send(TIP, "GOTOP");
        } else {
            rt::Send(TIP, "GOTOP");
        }
        LASTTIP = rt::Send(TIP, "RECNO").AsLong();
    }
    LOADTIP();
}

void WinTipOfDay::PREVIOUSTIP() {
    if (TIP.IsArray()) {
        LASTTIP = std::max<int64_t>(1, LASTTIP - 1);
    } else if (IsServer()) {
        rt::Send(TIP, "SKIP", {rt::Usual(-1)});
        LASTTIP = rt::Send(TIP, "RECNO").AsLong();
    }
    LOADTIP();
}

void WinTipOfDay::CurrentTip(std::string& head, std::string& text, bool& more) const {
    if (TIP.IsArray()) {
        if (LASTTIP < 1 || LASTTIP > TipCount()) return;
        const rt::Usual& t = TIP.At(static_cast<size_t>(LASTTIP));
        if (t.ALen() > 0) head = t.At(1).AsStr();
        if (t.ALen() > 1) text = t.At(2).AsStr();
        if (t.ALen() > 2) more = t.At(3).AsLogic();
    } else if (IsServer() && TipCount() > 0) {
        // Table fields come padded to their width; a field the tips lack
        // (often SHOWMORE) reads as empty or FALSE.
        const bool canAsk = rt::IsMethod(TIP, rt::Symbol("FIELDPOS"));
        auto field = [this, canAsk](const char* name) {
            if (canAsk && rt::Send(TIP, "FIELDPOS", {rt::Usual(name)}).AsLong() <= 0) return rt::Usual();
            return rt::Send(TIP, "FIELDGET", {rt::Usual(name)});
        };
        const rt::Usual h = field("HEADING"), t = field("TIPTEXT"), m = field("SHOWMORE");
        if (h.IsString()) head = rt::RTrim(h.AsStr());
        if (t.IsString()) text = rt::RTrim(t.AsStr());
        more = m.IsLogic() && m.AsLogic();
    }
}

void WinTipOfDay::LOADTIP() {
    if (!heading) return;
    std::string head, text;
    bool more = false;
    CurrentTip(head, text, more);
    heading->SetCaption(head);
    tipText->SetTextValue(text);
    more ? pbMore->Show() : pbMore->Hide();
    const int64_t count = TipCount();
    pbNext->Enable();
    pbPrevious->Enable();
    if (LASTTIP >= count) {
        pbNext->Disable();
        pbPrevious->SetFocus();
    }
    if (LASTTIP <= 1) {
        pbPrevious->Disable();
        pbNext->SetFocus();
    }
}

void WinTipOfDay::Show(int64_t mode) {
    NEXTTIP();
    if (pbClose) pbClose->SetFocus();
    gui::DialogWindow::Show(mode);
}

void WinTipOfDay::PBMORE() { rt::Send(rt::Usual(Self()), "MOREINFO"); }

void WinTipOfDay::Close() {
    if (CLOSESERVER && IsServer()) rt::Send(TIP, "CLOSE");
    gui::DialogWindow::Close();
}

bool WinTipOfDay::ShowOnStartup() const { return showOnStartup && showOnStartup->Checked(); }
bool WinTipOfDay::SetShowOnStartup(bool on) { return showOnStartup ? showOnStartup->SetChecked(on) : on; }

}  // namespace lib
