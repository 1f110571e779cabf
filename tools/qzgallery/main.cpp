// qzgallery: the support library's classes on show, a page each.
//
//   qzgallery [--tray] [--splash screen|bar] [--quit-after MS] [--tab serial|print] [--demo]
//
// --demo plays each page once (a pty opened, bytes both ways; a job
// printed to the page's FIFO). --tray shows the tray icon at start; --splash shows a splash screen a
// second after start (as its button would); --quit-after ends the program
// after that many milliseconds (for screenshots and tests).
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <cstring>
#include <string>

#include "lib/system/serial.h"
#include "lib/system/velltrayobject.h"
#include "platform/gui/app.h"
#include "resources/resources.h"
#include "tools/qzgallery/printpage.h"
#include "tools/qzgallery/serialpage.h"
#include "tools/qzgallery/timerspage.h"

int main(int argc, char** argv) {
    bool tray = false, demo = false;
    int quitAfter = 0;
    std::string splash, startTab;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tray")) tray = true;
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--splash") && i + 1 < argc) splash = argv[++i];
        else if (!std::strcmp(argv[i], "--tab") && i + 1 < argc) startTab = argv[++i];
        else if (!std::strcmp(argv[i], "--demo")) demo = true;
        else if (!std::strcmp(argv[i], "--help")) {
            std::printf("usage: qzgallery [--tray] [--splash screen|bar] [--quit-after MS] [--tab serial|print] [--demo]\n");
            return 0;
        }
    }
    QApplication& qt = gui::EnsureQtApplication(argc, argv);
    auto app = rt::New<gui::App>();
    resources::RegisterAll();
    lib::RegisterWindowSideClasses();
    gallery::RegisterTimersPage();
    gallery::RegisterSerialPage();
    gallery::RegisterPrintPage();
    lib::RegisterSerialClasses();

    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("QZScan library gallery"));
    auto page = rt::New<gallery::TimersPage>();
    page->Init({rt::Usual()});
    tabs.addTab(page->Widget(), QStringLiteral("Timers and tray"));
    auto serialPage = rt::New<gallery::SerialPage>();
    serialPage->Init({rt::Usual()});
    tabs.addTab(serialPage->Widget(), QStringLiteral("Serial port"));
    auto printPage = rt::New<gallery::PrintPage>();
    printPage->Init({rt::Usual()});
    tabs.addTab(printPage->Widget(), QStringLiteral("Printing"));
    if (!startTab.empty()) tabs.setCurrentIndex(startTab == "serial" ? 1 : startTab == "print" ? 2 : 0);
    tabs.resize(tabs.minimumSizeHint());
    tabs.show();
    gui::KeepOpen(page);
    gui::KeepOpen(serialPage);
    gui::KeepOpen(printPage);
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
