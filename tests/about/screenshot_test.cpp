// Pictures of the about box and the read-me viewer for docs/, taken only
// when QZ_SCREENSHOT_DIR names a folder (run under Xvfb with the xcb
// platform: see docs/about.md). Otherwise skipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "about/helpaboutnew.h"
#include "about/showreadme.h"
#include "app/qzapp.h"
#include "platform/gui/window.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/paths.h"

namespace fs = std::filesystem;

TEST(Screenshots, AboutBoxAndReadmeViewer) {
    const char* out = std::getenv("QZ_SCREENSHOT_DIR");
    if (!out || !*out) GTEST_SKIP() << "QZ_SCREENSHOT_DIR is not set: no pictures wanted";
    fs::path sandbox = fs::temp_directory_path() / ("qzshots" + std::to_string(getpid()));
    fs::create_directories(sandbox / "work");
    setenv("QZ_WORKDIR", (sandbox / "work").c_str(), 1);
    auto app = rt::New<app::QZApp>();
    rt::Usual shell = app->Startup();
    auto* shellWindow = dynamic_cast<gui::Window*>(shell.AsObject().get());
    ASSERT_NE(shellWindow, nullptr);

    shellWindow->MenuCommand(rt::Symbol("HELPABOUTNEW"));
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    for (const auto& w : gui::OpenWindows()) {
        if (w->Class().name == rt::Symbol("HELPABOUTNEW")) {
            EXPECT_TRUE(w->Widget()->grab().save(QString::fromStdString(std::string(out) + "/about-box.png")));
        }
    }

    ASSERT_EQ(rt::DirChange(sandbox.string()), 0);
    std::ofstream(sandbox / "Ostrello.txt", std::ios::binary)
        << "Quorvex Stocktake Utility 1.02\r\n\r\n"
           "- Export to CSV writes the file whole or not at all.\r\n"
           "- Each export archives the scan file as YYYYMMDDHHMM.dbf in DATA;\r\n"
           "  a second export in the same minute adds _2, _3 ...\r\n"
           "- Restart Data refuses while the scanning screen is open.\r\n\r\n"
           "Call Quorvex Systems on 01632 960418 with any question.\r\n";
    auto viewer = rt::New<about::ShowReadme>();
    viewer->Init({rt::Usual()});
    viewer->Show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_TRUE(viewer->Widget()->grab().save(QString::fromStdString(std::string(out) + "/readme-viewer.png")));

    for (const auto& w : gui::OpenWindows()) w->EndWindow();
    rdd::RDDCloseAll();
    fs::remove_all(sandbox);
    unsetenv("QZ_WORKDIR");
}
