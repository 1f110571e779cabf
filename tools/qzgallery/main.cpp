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
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstring>
#include <string>

#include "appkit/processsettings.h"
#include "lib/controls/popupcalc.h"
#include "lib/controls/register.h"
#include "lib/system/serial.h"
#include "lib/system/velltrayobject.h"
#include "lib/widgets/mousetracking.h"
#include "platform/gui/app.h"
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

const char kUsage[] =
    "usage: qzgallery [--tray] [--tip TEXT] [--splash screen|bar] [--page N] [--tab serial|print] [--tips]\n"
    "                 [--calculator] [--calendar] [--demo] [--quit-after MS] [--report FILE]\n";

}  // namespace

int main(int argc, char** argv) {
    bool tray = false, tips = false, demo = false, calculator = false, calendar = false;
    int startPage = 0;
    int quitAfter = 0;
    std::string splash, startTab, report, tip;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tray")) tray = true;
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--splash") && i + 1 < argc) splash = argv[++i];
        else if (!std::strcmp(argv[i], "--page") && i + 1 < argc) startPage = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--tab") && i + 1 < argc) startTab = argv[++i];
        else if (!std::strcmp(argv[i], "--report") && i + 1 < argc) report = argv[++i];
        else if (!std::strcmp(argv[i], "--tip") && i + 1 < argc) tip = argv[++i];
        else if (!std::strcmp(argv[i], "--tips")) tips = true;
        else if (!std::strcmp(argv[i], "--calculator")) calculator = true;
        else if (!std::strcmp(argv[i], "--calendar")) calendar = true;
        else if (!std::strcmp(argv[i], "--demo")) demo = true;
        else if (!std::strcmp(argv[i], "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication& qt = gui::EnsureQtApplication(argc, argv);
    auto app = rt::New<gui::App>();
    resources::RegisterAll();
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
