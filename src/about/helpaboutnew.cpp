#include "about/helpaboutnew.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "about/showreadme.h"
#include "appkit/settings_list.h"
#include "platform/gui/resource.h"
#include "scan/datafile.h"

namespace about {
namespace {

constexpr int kTextColour = 1;        // navy in the sixteen-colour order
constexpr int kBackgroundColour = 7;  // light grey
constexpr int kCentred = 3;

// Labels show LF line ends; the texts carry the CR and CR LF of their form.
QString Displayed(const std::string& text) {
    QString t = QString::fromStdString(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// A path that a word-wrapping label may break after each separator: a
// long path then shows whole on several lines instead of being cut off.
QString Breakable(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    return t;
}

// The desktop's stand-in for the 10-point face may be taller than the face
// the layout was drawn for: the font steps down until every line fits.
void FitLines(QLabel* label) {
    if (!label) return;
    const int lines = static_cast<int>(label->text().count(QLatin1Char('\n'))) + 1;
    const int room = label->contentsRect().height();
    QFont f = label->font();
    while (f.pointSize() > 6 && QFontMetrics(f).lineSpacing() * lines > room) f.setPointSize(f.pointSize() - 1);
    label->setFont(f);
}

void Name(gui::Control& control, const char* name) { control.SetName(rt::Symbol(name)); }

void StaticEdge(QWidget* w) {
    if (auto* frame = qobject_cast<QFrame*>(w)) frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

}  // namespace

std::string AboutText() {
    return std::string("\r") + "   " + kMakerName + "\r   " + kMakerLocation + "\r   " + kMakerTelephone + "   " +
           kMakerEmail;
}

std::string DataSourceText() { return "Program Data Source\r\n" + scan::DataFileOnDisk(); }

const rt::ClassDef& HelpAboutNew::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<HelpAboutNew>("HELPABOUTNEW", &gui::DialogWindow::StaticClass())
                                       .IVar<&HelpAboutNew::aboutText_>("ABOUTTEXT")
                                       .IVar<&HelpAboutNew::okButton_>("PBOKAY")
                                       .IVar<&HelpAboutNew::badge_>("FIXEDBITMAP1")
                                       .IVar<&HelpAboutNew::dataSource_>("FIXEDTEXT1")
                                       .Method<&HelpAboutNew::PBOKAY>("PBOKAY")
                                       .Method<&HelpAboutNew::PBREADME>("PBREADME")
                                       .Done();
    return c;
}

void HelpAboutNew::Build(rt::Args args) {
    // INIT(owner, extra value): the template is always HelpAboutNew, modal.
    const rt::Usual base[] = {args.empty() ? rt::Usual() : args[0], rt::Usual("HelpAboutNew"), rt::Usual(true)};
    gui::DialogWindow::Build(rt::Args(base, 3));

    gui::DialogTemplate fontOnly;
    fontOnly.fontFace = "Microsoft Sans Serif";
    fontOnly.fontPoints = 10;
    const QFont font = gui::DialogFont(fontOnly);

    aboutText_ = gui::MakeControl<gui::FixedText>(*this, 100);
    Name(*aboutText_, "ABOUTTEXT");
    aboutText_->SetTextColor(kTextColour);
    if (auto* label = qobject_cast<QLabel*>(aboutText_->Widget())) {
        QPalette p = label->palette();
        p.setColor(QPalette::Window, QColor::fromRgb(gui::ColorConstantRgb(kBackgroundColour)));
        label->setPalette(p);
        label->setAutoFillBackground(true);
        label->setFont(font);
        label->setWordWrap(false);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setIndent(0);  // the text carries its own indentation
        StaticEdge(label);
    }

    okButton_ = gui::MakeControl<gui::PushButton>(*this, 101);
    Name(*okButton_, "PBOKAY");
    okButton_->SetCaption("OK");
    if (QPushButton* b = okButton_->Button()) b->setDefault(true);

    badge_ = gui::MakeControl<gui::FixedBitmap>(*this, 102);
    Name(*badge_, "FIXEDBITMAP1");
    badge_->SetBitmap("BADGEBMP");
    StaticEdge(badge_->Widget());

    dataSource_ = gui::MakeControl<gui::FixedText>(*this, 103);
    Name(*dataSource_, "FIXEDTEXT1");
    dataSource_->SetCaption("Fixed Text");
    if (auto* label = qobject_cast<QLabel*>(dataSource_->Widget())) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);  // a long path breaks at its separators (see Displayed)
    }
    notesButton_ = gui::MakeControl<gui::PushButton>(*this, 104);
    Name(*notesButton_, "PBREADME");

    SetCaption("Business Software by Quorvex");
    Widget()->setObjectName(QStringLiteral("HELPABOUTNEW"));
}

void HelpAboutNew::PostInit(rt::Args) {
    aboutText_->SetCaption(Displayed(AboutText()).toStdString());
    FitLines(qobject_cast<QLabel*>(aboutText_->Widget()));
    SetCaption(appkit::ApplicationTitle());
    dataSource_->SetCaption(Breakable(Displayed(DataSourceText())).toStdString());
    Show(kCentred);
}

void HelpAboutNew::PBOKAY() { EndDialog(); }

void HelpAboutNew::PBREADME() {
    // Owned by the about box: a window of its own would be blocked by this
    // modal box, and would open wherever the desktop puts it.
    auto viewer = rt::New<ShowReadme>();
    viewer->Init({rt::Usual(Self())});
    viewer->Show(kCentred);
}

}  // namespace about
