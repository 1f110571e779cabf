// qzgallery: the support library's classes on show, a page each.
//
//   qzgallery [--tray] [--splash screen|bar] [--page N] [--calculator]
//             [--calendar] [--quit-after MS]
//
// --tray shows the tray icon at start; --splash shows a splash screen a
// second after start (as its button would); --quit-after ends the program
// after that many milliseconds (for screenshots and tests); --page shows the
// page of that number (0 first); --calculator and --calendar open the
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
#include "tools/qzgallery/controlspage.h"
#include "tools/qzgallery/timerspage.h"

int main(int argc, char** argv) {
    bool tray = false;
    int quitAfter = 0;
    std::string splash;
    int pageIndex = 0;
    bool calculator = false, calendar = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tray")) tray = true;
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--splash") && i + 1 < argc) splash = argv[++i];
        else if (!std::strcmp(argv[i], "--page") && i + 1 < argc) pageIndex = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--calculator")) calculator = true;
        else if (!std::strcmp(argv[i], "--calendar")) calendar = true;
        else if (!std::strcmp(argv[i], "--help")) {
            std::printf("usage: qzgallery [--tray] [--splash screen|bar] [--page N] [--calculator] [--calendar] [--quit-after MS]\n");
            return 0;
        }
    }
    QApplication& qt = gui::EnsureQtApplication(argc, argv);
    auto app = rt::New<gui::App>();
    resources::RegisterAll();
    lib::RegisterWindowSideClasses();
    gallery::RegisterTimersPage();
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
    tabs.setCurrentIndex(pageIndex);
    tabs.resize(tabs.minimumSizeHint().expandedTo(QSize(480, 330)));
    tabs.show();
    gui::KeepOpen(page);
    gui::KeepOpen(controls);
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
