// qzgallery: the support library's classes on show, a page each.
//
//   qzgallery [--tray] [--tip TEXT] [--splash screen|bar] [--page N] [--tab serial|print]
//             [--tips] [--calculator] [--calendar] [--demo] [--quit-after MS]
//             [--report FILE]
//
// --page opens the page of that number (from 0) at start, --tab the serial
// or the printing page; --tips opens the tip of the day a second after
// start, as its first button would; --calculator and --calendar open the
// amount field's calculator or the date field's calendar a second after
// start, as their buttons would; --demo plays the serial and printing pages
// once (a pty opened, bytes both ways; a job printed to the page's FIFO).
// --tray shows the tray icon at start (--tip: with that tip); --splash shows a splash screen a
// second after start (as its button would); --quit-after ends the program
// after that many milliseconds (for screenshots and tests); --report FILE
// keeps FILE up to date with the texts on screen (report.h), for tests.
// Closing the window ends the program.
#include <QApplication>
#include <QCloseEvent>
#include <QCommandLineParser>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <string>

#include "appkit/processsettings.h"
#include "lib/controls/popupcalc.h"
#include "lib/controls/register.h"
#include "lib/system/serial.h"
#include "lib/system/velltrayobject.h"
#include "lib/widgets/mousetracking.h"
#include "platform/gui/app.h"
#include "platform/gui/cmdline.h"
#include "resources/resources.h"
#include "tools/qzgallery/controlspage.h"
#include "tools/qzgallery/printpage.h"
#include "tools/qzgallery/report.h"
#include "tools/qzgallery/serialpage.h"
#include "tools/qzgallery/timerspage.h"
#include "tools/qzgallery/widgetspages.h"

namespace {

// The gallery's window: closing it ends the program, as closing the shell
// window ends the application (the tray icon and the pages go with it).
class GalleryWindow : public QTabWidget {
protected:
    void closeEvent(QCloseEvent* event) override {
        QTabWidget::closeEvent(event);
        if (event->isAccepted()) QCoreApplication::exit(0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    resources::RegisterAll();
    QCommandLineParser parser;
    const auto flag = [&parser](const char* name, const char* text) {
        QCommandLineOption o(QString::fromUtf8(name), QString::fromUtf8(text));
        parser.addOption(o);
        return o;
    };
    const auto valued = [&parser](const char* name, const char* text, const char* value) {
        QCommandLineOption o(QString::fromUtf8(name), QString::fromUtf8(text), QString::fromUtf8(value));
        parser.addOption(o);
        return o;
    };
    const QCommandLineOption trayOption = flag("tray", "Shows the tray icon at start.");
    const QCommandLineOption tipOption = valued("tip", "The tray icon's tip.", "TEXT");
    const QCommandLineOption splashOption =
        valued("splash", "Shows that splash screen a second after start (screen or bar).", "KIND");
    const QCommandLineOption pageOption = valued("page", "Opens page N (from 0) at start.", "N");
    const QCommandLineOption tabOption = valued("tab", "Opens the serial or the print page at start.", "NAME");
    const QCommandLineOption tipsOption = flag("tips", "Opens the tip of the day a second after start.");
    const QCommandLineOption calculatorOption = flag("calculator", "Opens the amount field's calculator.");
    const QCommandLineOption calendarOption = flag("calendar", "Opens the date field's calendar.");
    const QCommandLineOption demoOption =
        flag("demo", "Plays the serial and printing pages once (a pseudo-terminal, a printed job).");
    const QCommandLineOption quitOption =
        valued("quit-after", "Ends the program after MS milliseconds (for screenshots).", "MS");
    const QCommandLineOption reportOption =
        valued("report", "Keeps FILE up to date with the texts, places and focus on screen (for tests).", "FILE");
    QApplication& qt =
        gui::StartQtProgram(argc, argv, parser,
                            {"qzgallery", QZ_VERSION, "The QZScan support library's classes on show, a page each.",
                             "uk.co.quorvex.QZScan.Gallery", ":/icons/__AAAICON.svg"});
    const bool tray = parser.isSet(trayOption), tips = parser.isSet(tipsOption), demo = parser.isSet(demoOption);
    const bool calculator = parser.isSet(calculatorOption), calendar = parser.isSet(calendarOption);
    int startPage = parser.value(pageOption).toInt();
    const int quitAfter = parser.value(quitOption).toInt();
    const std::string splash = parser.value(splashOption).toStdString();
    const std::string startTab = parser.value(tabOption).toStdString();
    const std::string report = parser.value(reportOption).toStdString();
    const std::string tip = parser.value(tipOption).toStdString();
    auto app = rt::New<gui::App>();
    lib::RegisterWindowSideClasses();
    lib::RegisterControlClasses();
    lib::RegisterSerialClasses();
    gallery::RegisterTimersPage();
    gallery::RegisterWidgetsPages();
    gallery::RegisterSerialPage();
    gallery::RegisterPrintPage();
    // The settings a program of the library starts with: what the classes
    // show (dates, numbers, the century of two-digit years) is what its
    // users see under the same regional settings.
    appkit::ApplyStartUpSettings();

    GalleryWindow tabs;
    tabs.setWindowTitle(QStringLiteral("QZScan library gallery"));
    auto page = rt::New<gallery::TimersPage>();
    auto controls = rt::New<gallery::ControlsPage>();
    auto masked = rt::New<gallery::MaskedEditPage>();
    auto tipPage = rt::New<gallery::TipPage>();
    auto listPage = rt::New<gallery::ListBoxPage>();
    auto extensions = rt::New<gallery::ExtensionsPage>();
    auto serialPage = rt::New<gallery::SerialPage>();
    auto printPage = rt::New<gallery::PrintPage>();
    const std::pair<std::shared_ptr<gui::Window>, const char*> pages[] = {
        {page, "Timers and tray"},   {controls, "Entry controls"},  {masked, "Masked edit"},
        {tipPage, "Tip of the day"}, {listPage, "Bitmap list box"}, {extensions, "Small extensions"},
        {serialPage, "Serial port"}, {printPage, "Printing"}};
    for (const auto& [w, title] : pages) {
        w->Init({rt::Usual()});
        tabs.addTab(w->Widget(), QString::fromUtf8(title));
        gui::KeepOpen(w);
    }
    lib::MouseTracker::EnableMoves(*extensions);
    if (startTab == "serial") startPage = 6;
    else if (startTab == "print") startPage = 7;
    tabs.setCurrentIndex(startPage);
    // Wide enough that every page's tab shows without scrolling.
    tabs.resize(tabs.minimumSizeHint().expandedTo(QSize(tabs.tabBar()->sizeHint().width() + 8, 330)));
    tabs.show();
    if (!report.empty())
        gallery::StartReport(report, {{"timers", page.get()},
                                      {"controls", controls.get()},
                                      {"masked", masked.get()},
                                      {"tips", tipPage.get()},
                                      {"list", listPage.get()},
                                      {"extensions", extensions.get()}});
    if (tips) QTimer::singleShot(1000, &qt, [tipPage] { tipPage->PBTIPSARRAY(); });
    if (calculator)
        QTimer::singleShot(1000, &qt, [controls] {
            controls->Amount()->SetTextValue(controls->Amount()->SetField("1234.5", 1));
            controls->Amount()->ShowCalc();
        });
    if (calendar) QTimer::singleShot(1000, &qt, [controls] { controls->DateField()->ShowCalendar(); });
    if (!tip.empty()) page->SetTip(tip);
    if (tray) page->PBTRAYSHOW();
    if (!splash.empty())
        QTimer::singleShot(1000, &qt, [page, splash] { splash == "bar" ? page->PBQZSPLASH() : page->PBSPLASH(); });
    if (demo)
        QTimer::singleShot(500, &qt, [serialPage, printPage] {
            serialPage->PBMAKEPTY();
            serialPage->PBOPEN();
            serialPage->PBDEVICESEND();
            serialPage->PBSEND();
            printPage->PBPRINT();
        });
    if (quitAfter > 0) QTimer::singleShot(quitAfter, &qt, [] { QCoreApplication::exit(0); });
    const int rc = static_cast<int>(app->Exec());
    page->Tray()->Destroy();
    return rc;
}
