// "&Export Data" and "&Restart Data" from the shell window as the operator
// meets them: the question, the save dialog, the boxes, the CSV file, the
// archive, and every failure shown as a failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/qzapp.h"
#include "app/shellwindow.h"
#include "appkit/settings_list.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/testhooks.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"
#include "scan/datafile.h"
#include "support/tmpfs_mount.h"

namespace fs = std::filesystem;
using gui::TestHooks;
using rt::Usual;

namespace {

constexpr uint32_t kQuestion = 0x24;
constexpr uint32_t kWarning = 0x30;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Commands : public testing::Test {
protected:
    void SetUp() override {
        TestHooks::Clear();
        rt::ResetSettings();
        sandbox_ = fs::temp_directory_path() / ("qzexportcmd" + std::to_string(getpid()));
        fs::create_directories(sandbox_);
        setenv("QZ_DRIVES", ("C=/;D=" + sandbox_.string()).c_str(), 1);
        rt::ReloadDriveMap();
        rt::DirChange(sandbox_.string());
        // A working folder of this process's own: test programs run side by side.
        workDir_ = fs::temp_directory_path() / ("qzexportwork" + std::to_string(getpid()));
        fs::remove_all(workDir_);
        fs::create_directories(workDir_);
        setenv("QZ_WORKDIR", workDir_.c_str(), 1);
        app_ = rt::New<app::QZApp>();
        shell_ = app_->Startup();
        rt::SetClock([] { return rt::CivilTime{2024, 3, 2, 9, 5, 12}; });
    }
    void TearDown() override {
        if (auto* w = Window()) w->EndWindow();
        shell_ = Usual();
        app_.reset();
        rdd::RDDCloseAll();
        rt::SetClock(nullptr);
        mount_.Unmount();
        unsetenv("QZ_DRIVES");
        rt::ReloadDriveMap();
        fs::remove_all(sandbox_);
        fs::remove_all(workDir_);
        unsetenv("QZ_WORKDIR");
        TestHooks::Clear();
    }
    static std::string DataDir() { return rt::WorkDir() + "DATA"; }
    app::StandardSDIWindow* Window() { return dynamic_cast<app::StandardSDIWindow*>(shell_.AsObject().get()); }
    std::string Out(const std::string& name) const { return (sandbox_ / name).string(); }

    // Scans as the scanning screen stores them.
    void Scan(const std::vector<std::pair<std::string, std::string>>& rows) {
        rdd::DBServer db(Usual(scan::GetDataFileName()), Usual(false), Usual(false));
        ASSERT_TRUE(db.Used());
        for (const auto& [code, qty] : rows) {
            db.Append();
            db.FieldPut(Usual("BARCODE"), Usual(code));
            db.FieldPut(Usual("QTY"), Usual(qty));
        }
        ASSERT_TRUE(db.Close());
    }
    int64_t Records() {
        rdd::DBServer db(Usual(scan::GetDataFileName()), Usual(true), Usual(true));
        return db.LastRec();
    }
    std::vector<std::string> Captions() {
        std::vector<std::string> out;
        for (const auto& b : TestHooks::Boxes()) out.push_back(b.caption);
        return out;
    }
    const gui::ShownBox* Box(const std::string& caption) {
        for (const auto& b : TestHooks::Boxes())
            if (b.caption == caption) return &b;
        return nullptr;
    }
    std::vector<std::string> Archives() {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(DataDir()))
            if (e.path().filename() != "QZSCAN.DBF" && e.path().extension() == ".dbf")
                out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    void Export(const std::string& fileName) {
        TestHooks::AnswerBox(gui::IDYES);
        TestHooks::AnswerFile(fileName);
        Window()->MenuCommand(rt::Symbol("CSVEXPORT"));
    }

    fs::path sandbox_;
    fs::path workDir_;
    std::shared_ptr<app::QZApp> app_;
    Usual shell_;
    qztest::TmpfsMount mount_;
};

}  // namespace

TEST_F(Commands, ExportWritesTheCsvArchivesTheFileAndReminds) {
    Scan({{"5012345678900", "12"}, {"ABC\"1|", "1,5"}});
    auto start = std::chrono::steady_clock::now();
    Export(Out("count.csv"));
    auto took = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(TestHooks::Dialogs().size(), 1u);
    EXPECT_EQ(TestHooks::Dialogs()[0].kind, "save");
    EXPECT_EQ(TestHooks::Dialogs()[0].proposed, "QZScan.csv");
    EXPECT_EQ(TestHooks::Dialogs()[0].flags, 8u);
    ASSERT_EQ(Captions(), (std::vector<std::string>{"Export to CSV", "RESTART REMINDER"}));
    EXPECT_EQ(TestHooks::Boxes()[0].text, "OK to export the scanned data?");
    EXPECT_EQ(TestHooks::Boxes()[0].type, kQuestion);
    std::string archive = rt::ResolvePath(appkit::DataDirectory() + "\\202403020905.dbf");  // as on disk
    EXPECT_EQ(TestHooks::Boxes()[1].text, "The active scanned data file has been archived as " + archive +
                                              "\r\n\r\nBefore you start scanning again, you may need to "
                                              "restart the scan file.");
    EXPECT_EQ(TestHooks::Boxes()[1].type, kWarning);
    EXPECT_GE(took, std::chrono::milliseconds(400));

    EXPECT_EQ(ReadFile(Out("count.csv")), "5012345678900,12\r\nABC1,1.5\r\n");
    EXPECT_EQ(ReadFile(DataDir() + "/202403020905.dbf"), ReadFile(DataDir() + "/QZSCAN.DBF"));
    EXPECT_EQ(Records(), 2);  // the export empties nothing
}

TEST_F(Commands, NoCancelOrAnEmptyNameDoNothing) {
    Scan({{"1", "1"}});
    TestHooks::AnswerBox(gui::IDNO);
    Window()->MenuCommand(rt::Symbol("CSVEXPORT"));
    EXPECT_TRUE(TestHooks::Dialogs().empty());
    Export("");  // the save dialog cancelled
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Export to CSV", "Export to CSV"}));
    EXPECT_TRUE(Archives().empty());
}

TEST_F(Commands, ANameTypedWithoutExtensionIsUsedAsTyped) {
    Scan({{"1", "1"}});
    Export(Out("stock"));
    EXPECT_EQ(ReadFile(Out("stock")), "1,1\r\n");
    EXPECT_FALSE(fs::exists(Out("stock.csv")));
}

TEST_F(Commands, AFailedExportIsShownAndMakesNoArchiveNorReminder) {
    Scan({{"1", "1"}});
    Export(Out("missing/count.csv"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Export to CSV", "EXPORT FAILED"}));
    EXPECT_EQ(TestHooks::Boxes()[1].text, "Unable to write " + Out("missing/count.csv") +
                                              ". The system cannot find the path specified. Nothing was exported.");
    EXPECT_EQ(TestHooks::Boxes()[1].type, kWarning);
    EXPECT_TRUE(Archives().empty());
}

TEST_F(Commands, AnExportToAReadOnlyDiskFails) {
    Scan({{"1", "1"}});
    NEED_MOUNT(mount_.Mount(Out("usb"), 64 * 1024));
    NEED_MOUNT(mount_.MakeReadOnly());
    Export(Out("usb/count.csv"));
    ASSERT_NE(Box("EXPORT FAILED"), nullptr);
    EXPECT_EQ(Box("EXPORT FAILED")->text,
              "Unable to write " + Out("usb/count.csv") + ". Access is denied. Nothing was exported.");
    EXPECT_EQ(Box("RESTART REMINDER"), nullptr);
    EXPECT_TRUE(Archives().empty());
}

TEST_F(Commands, AScanFileHeldByTheScanningScreenCannotBeExported) {
    Scan({{"1", "1"}});
    rdd::DBServer screen(Usual(scan::GetDataFileName()), Usual(false), Usual(false));
    ASSERT_TRUE(screen.Used());
    Export(Out("count.csv"));
    ASSERT_NE(Box("EXPORT FAILED"), nullptr);
    EXPECT_EQ(Box("EXPORT FAILED")->text, "Unable to open " + scan::DataFileOnDisk() +
                                              ". Nothing was exported. It is in use by another program: close it "
                                              "there, then export again.");
    EXPECT_FALSE(fs::exists(Out("count.csv")));
    EXPECT_TRUE(Archives().empty());
}

TEST_F(Commands, AFailedArchiveIsShownInsteadOfTheReminder) {
    NEED_MOUNT(mount_.Mount(DataDir(), 64 * 1024));
    scan::MakeScannedDataFile();
    std::vector<std::pair<std::string, std::string>> rows(700, {"5012345678900", "1"});
    Scan(rows);
    mount_.Fill();
    Export(Out("count.csv"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Export to CSV", "ARCHIVE FAILED"}));
    EXPECT_EQ(TestHooks::Boxes()[1].text,
              "The scanned data was exported, but the scanned data file could not be archived as " +
                  rt::ResolvePath(appkit::DataDirectory()) +
                  "/202403020905.dbf. There is not enough space on the disk. Do not restart the scan file "
                  "before it has been copied.");
    EXPECT_EQ(fs::file_size(Out("count.csv")), 700u * 17);
    EXPECT_TRUE(Archives().empty());
}

TEST_F(Commands, TwoExportsInOneMinuteKeepBothArchives) {
    Scan({{"1", "1"}});
    Export(Out("a.csv"));
    Scan({{"2", "2"}});
    Export(Out("b.csv"));
    EXPECT_EQ(Archives(), (std::vector<std::string>{"202403020905.dbf", "202403020905_2.dbf"}));
    ASSERT_NE(TestHooks::Boxes().back().text.find("202403020905_2.dbf"), std::string::npos);
    EXPECT_EQ(ReadFile(DataDir() + "/202403020905_2.dbf"), ReadFile(DataDir() + "/QZSCAN.DBF"));
    EXPECT_NE(ReadFile(DataDir() + "/202403020905.dbf"), ReadFile(DataDir() + "/QZSCAN.DBF"));
}

TEST_F(Commands, RestartEmptiesTheScanFileOnlyAfterYes) {
    Scan({{"1", "1"}, {"2", "2"}});
    TestHooks::AnswerBox(gui::IDNO);
    Window()->MenuCommand(rt::Symbol("DATARESTART"));
    EXPECT_EQ(Records(), 2);
    TestHooks::AnswerBox(gui::IDYES);
    Window()->MenuCommand(rt::Symbol("DATARESTART"));
    EXPECT_EQ(Records(), 0);
    ASSERT_EQ(Captions(), (std::vector<std::string>{"DELETE ALL SCANNED RECORDS", "DELETE ALL SCANNED RECORDS",
                                                    "DATA FILE RESTARTED"}));
    EXPECT_EQ(TestHooks::Boxes()[0].text, "OK to restart the scanned data file?");
    EXPECT_EQ(TestHooks::Boxes()[0].type, kQuestion);
    EXPECT_EQ(TestHooks::Boxes()[2].text, "All scanned records have been removed.");
    EXPECT_EQ(TestHooks::Boxes()[2].type, 0u);
    EXPECT_TRUE(Archives().empty());  // a restart makes no archive
}

TEST_F(Commands, ARestartThatCannotEraseKeepsTheRecordsAndSaysSo) {
    Scan({{"1", "1"}});
    {
        rdd::DBServer screen(Usual(scan::GetDataFileName()), Usual(false), Usual(false));
        TestHooks::AnswerBox(gui::IDYES);
        Window()->MenuCommand(rt::Symbol("DATARESTART"));
    }
    EXPECT_EQ(Box("DATA FILE RESTARTED"), nullptr);
    ASSERT_NE(Box("RESTART FAILED"), nullptr);
    EXPECT_EQ(Box("RESTART FAILED")->text, "Unable to remove " + scan::DataFileOnDisk() +
                                               ". The process cannot access the file because it is being used "
                                               "by another process. It is in use: close the scanning screen "
                                               "first. The scanned records have been kept.");
    EXPECT_EQ(Records(), 1);
}

TEST_F(Commands, ARestartThatCannotRecreateTheFileSaysSo) {
    NEED_MOUNT(mount_.Mount(DataDir(), 64 * 1024));
    scan::MakeScannedDataFile();
    Scan({{"1", "1"}});
    const std::string path = scan::DataFileOnDisk();  // as it is on disk
    // A second name for the file keeps its space taken after the erase.
    ASSERT_EQ(::link((DataDir() + "/QZSCAN.DBF").c_str(), (DataDir() + "/copy.bak").c_str()), 0);
    mount_.Fill();
    TestHooks::AnswerBox(gui::IDYES);
    Window()->MenuCommand(rt::Symbol("DATARESTART"));
    EXPECT_EQ(Box("DATA FILE RESTARTED"), nullptr);
    ASSERT_NE(Box("RESTART FAILED"), nullptr);
    EXPECT_EQ(Box("RESTART FAILED")->text,
              "The scanned records have been removed, but a new empty scan data file could not be created as " + path +
                  ". Scanning cannot start until it can be created.");
}
