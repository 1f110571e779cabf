// qzgallery: the support library's classes on show, a page each.
//
//   qzgallery [--tray] [--splash screen|bar] [--quit-after MS]
//
// --tray shows the tray icon at start; --splash shows a splash screen a
// second after start (as its button would); --quit-after ends the program
// after that many milliseconds (for screenshots and tests).
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <cstring>
#include <string>

#include "lib/system/velltrayobject.h"
#include "platform/gui/app.h"
#include "resources/resources.h"
#include "tools/qzgallery/timerspage.h"

int main(int argc, char** argv) {
    bool tray = false;
    int quitAfter = 0;
    std::string splash;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tray")) tray = true;
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--splash") && i + 1 < argc) splash = argv[++i];
        else if (!std::strcmp(argv[i], "--help")) {
            std::printf("usage: qzgallery [--tray] [--splash screen|bar] [--quit-after MS]\n");
            return 0;
        }
    }
    QApplication& qt = gui::EnsureQtApplication(argc, argv);
    auto app = rt::New<gui::App>();
    resources::RegisterAll();
    lib::RegisterWindowSideClasses();
    gallery::RegisterTimersPage();

    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("QZScan library gallery"));
    auto page = rt::New<gallery::TimersPage>();
    page->Init({rt::Usual()});
    tabs.addTab(page->Widget(), QStringLiteral("Timers and tray"));
    tabs.resize(tabs.minimumSizeHint());
    tabs.show();
    gui::KeepOpen(page);
    if (tray) page->PBTRAYSHOW();
    if (!splash.empty())
        QTimer::singleShot(1000, &qt, [page, splash] { splash == "bar" ? page->PBQZSPLASH() : page->PBSPLASH(); });
    if (quitAfter > 0) QTimer::singleShot(quitAfter, &qt, [] { QCoreApplication::exit(0); });
    const int rc = static_cast<int>(app->Exec());
    page->Tray()->Destroy();
    return rc;
}
