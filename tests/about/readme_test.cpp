// The read-me viewer: the notice for a missing file, the view at the end,
// and the save rules of the marker file on drive C.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "about/showreadme.h"
#include "platform/gui/testhooks.h"
#include "platform/runtime/files.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "support/tmpfs_mount.h"

namespace fs = std::filesystem;
using gui::TestHooks;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class Readme : public testing::Test {
protected:
    void SetUp() override {
        TestHooks::Clear();
        rt::ResetSettings();
        sandbox_ = fs::temp_directory_path() / ("qzreadme" + std::to_string(getpid()));
        fs::create_directories(sandbox_ / "c");
        fs::create_directories(sandbox_ / "work");
        // Drive C is a folder of the sandbox: the marker C:\QUORVEX.TXT is
        // found only through the drive map.
        setenv("QZ_DRIVES", ("C=" + (sandbox_ / "c").string() + ";D=" + sandbox_.string()).c_str(), 1);
        rt::ReloadDriveMap();
        ASSERT_EQ(rt::DirChange(Work()), 0);
    }
    void TearDown() override {
        for (const auto& w : gui::OpenWindows()) w->EndWindow();
        QApplication::processEvents();
        rt::DirChange(fs::temp_directory_path().string());
        mount_.Unmount();
        unsetenv("QZ_DRIVES");
        rt::ReloadDriveMap();
        fs::remove_all(sandbox_);
        TestHooks::Clear();
    }
    std::string Work() const { return (sandbox_ / "work").string(); }
    std::string ReadmePath() const { return (sandbox_ / "work" / "Ostrello.txt").string(); }
    void PlaceMarker() { WriteFile((sandbox_ / "c" / "quorvex.txt").string(), "any content"); }

    // Opens the viewer as the about box does, and lets its posted caret
    // move happen.
    std::shared_ptr<about::ShowReadme> Open() {
        auto viewer = rt::New<about::ShowReadme>();
        viewer->Init({rt::Usual()});
        viewer->Show();
        QApplication::processEvents();
        return viewer;
    }
    static QTextEdit* Editor(const std::shared_ptr<about::ShowReadme>& v) { return v->Editor()->Editor(); }
    static bool CaretAtEnd(const std::shared_ptr<about::ShowReadme>& v) { return Editor(v)->textCursor().atEnd(); }

    fs::path sandbox_;
    qztest::TmpfsMount mount_;
};

}  // namespace

TEST_F(Readme, MissingFileShowsTheNoticeReadOnlyAndOkCreatesNothing) {
    auto v = Open();
    EXPECT_EQ(v->Editor()->TextValue(),
              "\nThere are no additional notes for the version of Ostrello that you are using.");
    EXPECT_TRUE(v->Editor()->ReadOnly());
    EXPECT_FALSE(v->SaveAllowed());
    EXPECT_TRUE(CaretAtEnd(v));
    EXPECT_EQ(v->Editor()->NameSym().Name(), "RICHEDIT1");
    EXPECT_EQ(Editor(v)->font().pointSize(), 10);
    v->OkButton()->Button()->click();
    EXPECT_FALSE(v->IsOpen());
    EXPECT_FALSE(fs::exists(ReadmePath()));
}

TEST_F(Readme, WithoutTheMarkerTheTextCannotBeChanged) {
    WriteFile(ReadmePath(), "Version 1.02\r\nNew export.\r\n");
    auto v = Open();
    EXPECT_EQ(v->Editor()->TextValue(), "Version 1.02\nNew export.\n");
    EXPECT_TRUE(v->Editor()->ReadOnly());
    Editor(v)->setPlainText("changed");  // even a change made behind its back is not saved
    v->PBOKAY();
    EXPECT_EQ(ReadFile(ReadmePath()), "Version 1.02\r\nNew export.\r\n");
}

TEST_F(Readme, WithTheMarkerEditsAreSavedWithTheFilesLineEnds) {
    PlaceMarker();
    WriteFile(ReadmePath(), "Version 1.02\r\nNew export.\r\n");
    auto v = Open();
    EXPECT_TRUE(v->SaveAllowed());
    EXPECT_FALSE(v->Editor()->ReadOnly());
    QTextCursor c = Editor(v)->textCursor();
    c.insertText("Archive names.\n");  // the caret stands at the end
    Editor(v)->setTextCursor(c);
    v->PBOKAY();
    EXPECT_FALSE(v->IsOpen());
    EXPECT_EQ(ReadFile(ReadmePath()), "Version 1.02\r\nNew export.\r\nArchive names.\r\n");

    fs::remove(ReadmePath());
    auto notice = Open();
    notice->PBOKAY();  // a missing file is written with the notice
    EXPECT_EQ(ReadFile(ReadmePath()),
              "\r\nThere are no additional notes for the version of Ostrello that you are using.");
}

TEST_F(Readme, BytesThatAreNotUtf8AndLinuxLineEndsSurviveASave) {
    PlaceMarker();
    const std::string latin1 = "Caf\xE9 tills\nna\xEFve counts\n";
    WriteFile(ReadmePath(), latin1);
    auto v = Open();
    EXPECT_EQ(Editor(v)->toPlainText(), QStringLiteral("Caf\u00E9 tills\nna\u00EFve counts\n"));
    v->PBOKAY();
    EXPECT_EQ(ReadFile(ReadmePath()), latin1);
}

TEST_F(Readme, AByteOrderMarkSurvivesASave) {
    // Windows editors start UTF-8 text with a byte order mark; an unedited
    // save gives the same bytes back.
    PlaceMarker();
    const std::string marked = "\xEF\xBB\xBFVersion 1.02\r\nNew export.\r\n";
    WriteFile(ReadmePath(), marked);
    auto v = Open();
    v->PBOKAY();
    EXPECT_FALSE(v->IsOpen());
    EXPECT_EQ(ReadFile(ReadmePath()), marked);
}

TEST_F(Readme, AReadmeThatCannotBeReadIsNeverSavedOver) {
    // Another program holds the file and lets nobody read it: the viewer
    // has nothing of it, and OK must not write that nothing over the notes.
    PlaceMarker();
    WriteFile(ReadmePath(), "Version 1.02\r\nNew export.\r\n");
    int h = rt::FOpen(ReadmePath(), rt::kFoRead | rt::kFoDenyRead);
    ASSERT_GE(h, 0);
    auto v = Open();
    EXPECT_FALSE(v->SaveAllowed());
    EXPECT_TRUE(v->Editor()->ReadOnly());
    v->PBOKAY();
    rt::FClose(h);
    EXPECT_FALSE(v->IsOpen());
    EXPECT_EQ(ReadFile(ReadmePath()), "Version 1.02\r\nNew export.\r\n");
}

TEST_F(Readme, ALongReadmeOpensScrolledToItsEnd) {
    std::string text;
    for (int i = 1; i <= 400; ++i) text += "Line " + std::to_string(i) + " of the release notes\r\n";
    text += "The last line";
    WriteFile(ReadmePath(), text);
    auto v = Open();
    QScrollBar* bar = Editor(v)->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_GT(bar->value(), bar->maximum() - Editor(v)->fontMetrics().height());
    EXPECT_TRUE(CaretAtEnd(v));
    EXPECT_TRUE(Editor(v)->viewport()->rect().contains(Editor(v)->cursorRect()));
}

TEST_F(Readme, AFailedSaveIsShownAndKeepsTheWindowOpen) {
    PlaceMarker();
    std::string disk = (sandbox_ / "ro").string();
    std::string why = mount_.Mount(disk, 64 * 1024);
    if (!why.empty()) GTEST_SKIP() << why;
    WriteFile(disk + "/Ostrello.txt", "notes\r\n");
    why = mount_.MakeReadOnly();
    if (!why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(rt::DirChange(disk), 0);
    auto v = Open();
    Editor(v)->setPlainText("notes\nmore");
    v->PBOKAY();
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "README NOT SAVED");
    EXPECT_EQ(TestHooks::Boxes()[0].text,
              "Unable to save Ostrello.txt. Access is denied. Your changes are still in the window.");
    EXPECT_TRUE(v->IsOpen());
    EXPECT_EQ(ReadFile(disk + "/Ostrello.txt"), "notes\r\n");
    rt::DirChange(Work());
}
