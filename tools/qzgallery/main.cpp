// qzgallery: the support library's classes on show, a page each.
//
//   qzgallery [--tray] [--splash screen|bar] [--page N] [--tips] [--calculator]
//             [--calendar] [--quit-after MS]
//
// --page opens the page of that number (from 0) at start; --tips opens the
// tip of the day a second after start, as its first button would.
// --tray shows the tray icon at start; --splash shows a splash screen a
// second after start (as its button would); --quit-after ends the program
// after that many milliseconds (for screenshots and tests); --calculator and --calendar open the
// amount field's calculator or the date field's calendar a second after
// start, as their buttons would.
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <cstring>
#include <string>

#include "lib/controls/popupcalc.h"
#include "lib/controls/register.h"
#include "lib/system/velltrayobject.h"
#include "platform/gui/app.h"
#include "platform/runtime/settings.h"
#include "resources/resources.h"
#include "lib/widgets/mousetracking.h"
#include "tools/qzgallery/controlspage.h"
#include "tools/qzgallery/timerspage.h"
#include "tools/qzgallery/widgetspages.h"

int main(int argc, char** argv) {
    bool tray = false, tips = false;
    int startPage = 0;
    int quitAfter = 0;
    std::string splash;
    bool calculator = false, calendar = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tray")) tray = true;
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--splash") && i + 1 < argc) splash = argv[++i];
        else if (!std::strcmp(argv[i], "--page") && i + 1 < argc) startPage = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--tips")) tips = true;
        else if (!std::strcmp(argv[i], "--calculator")) calculator = true;
        else if (!std::strcmp(argv[i], "--calendar")) calendar = true;
        else if (!std::strcmp(argv[i], "--help")) {
            std::printf("usage: qzgallery [--tray] [--splash screen|bar] [--page N] [--tips] [--calculator] [--calendar] [--quit-after MS]\n");
            return 0;
        }
    }
    QApplication& qt = gui::EnsureQtApplication(argc, argv);
    auto app = rt::New<gui::App>();
    resources::RegisterAll();
    lib::RegisterWindowSideClasses();
    gallery::RegisterTimersPage();
    gallery::RegisterWidgetsPages();
    lib::RegisterControlClasses();
    rt::SetCentury(true);

    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("QZScan library gallery"));
    auto page = rt::New<gallery::TimersPage>();
    page->Init({rt::Usual()});
    tabs.addTab(page->Widget(), QStringLiteral("Timers and tray"));
    auto controls = rt::New<gallery::ControlsPage>();
    controls->Init({rt::Usual()});
    tabs.addTab(controls->Widget(), QStringLiteral("Entry controls"));
    gui::KeepOpen(controls);
    auto masked = rt::New<gallery::MaskedEditPage>();
    auto tipPage = rt::New<gallery::TipPage>();
    auto listPage = rt::New<gallery::ListBoxPage>();
    auto extensions = rt::New<gallery::ExtensionsPage>();
    const std::pair<std::shared_ptr<gui::Window>, const char*> more[] = {
        {masked, "Masked edit"}, {tipPage, "Tip of the day"}, {listPage, "Bitmap list box"}, {extensions, "Small extensions"}};
    for (const auto& [w, title] : more) {
        w->Init({rt::Usual()});
        tabs.addTab(w->Widget(), QString::fromUtf8(title));
        gui::KeepOpen(w);
    }
    lib::MouseTracker::EnableMoves(*extensions);
    tabs.setCurrentIndex(startPage);
    if (tips) QTimer::singleShot(1000, &qt, [tipPage] { tipPage->PBTIPSARRAY(); });
    tabs.resize(tabs.minimumSizeHint().expandedTo(QSize(660, 330)));
    tabs.show();
    gui::KeepOpen(page);
    if (calculator)
        QTimer::singleShot(1000, &qt, [controls] {
            controls->Amount()->SetTextValue(controls->Amount()->SetField("1234.5", 1));
            controls->Amount()->ShowCalc();
        });
    if (calendar) QTimer::singleShot(1000, &qt, [controls] { controls->DateField()->ShowCalendar(); });
    if (tray) page->PBTRAYSHOW();
    if (!splash.empty())
        QTimer::singleShot(1000, &qt, [page, splash] { splash == "bar" ? page->PBQZSPLASH() : page->PBSPLASH(); });
    if (quitAfter > 0) QTimer::singleShot(quitAfter, &qt, [] { QCoreApplication::exit(0); });
    const int rc = static_cast<int>(app->Exec());
    page->Tray()->Destroy();
    return rc;
}
