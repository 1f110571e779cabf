// Exports and archives against real failing targets: a file system that is
// full, one that is read-only, a target another program holds, a missing
// directory. Nothing may be reported as done, and no half-written file may
// stand under the chosen name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/archive.h"
#include "export/csv.h"
#include "export/replacefile.h"
#include "export_fixture.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "support/tmpfs_mount.h"

using namespace exporttest;
using exportdata::CsvFault;
using rt::Usual;

namespace {

class FailureTest : public ExportTest {
protected:
    // A table whose CSV text is far larger than the small file systems below.
    std::string BigTable() {
        std::vector<std::vector<Usual>> rows;
        for (int i = 0; i < 6000; ++i) rows.push_back({Usual("BARCODE" + std::to_string(i)), Usual("1")});
        return MakeTable("big.dbf", ScanStruct(), rows);
    }
    CsvFault Export(const std::string& table, const std::string& csv) {
        Usual list = Usual::Array();
        return exportdata::TableToCsvFile(table, csv, list);
    }
    qztest::TmpfsMount mount_;
};

}  // namespace

TEST_F(FailureTest, FullFileSystemFailsTheExportAndKeepsTheOldFile) {
    std::string table = BigTable();
    std::string disk = Path("disk");
    NEED_MOUNT(mount_.Mount(disk, 64 * 1024));
    WriteFile(disk + "/count.csv", "yesterday,1\r\n");
    mount_.Fill();
    CsvFault f = Export(table, disk + "/count.csv");
    EXPECT_EQ(f.kind, CsvFault::kWriteFailed);
    EXPECT_EQ(f.osError, rt::kOsDiskFull);
    EXPECT_EQ(ReadFile(disk + "/count.csv"), "yesterday,1\r\n");
    EXPECT_EQ(Names(disk), (std::vector<std::string>{"count.csv", "filler"}));  // no temporary left
    EXPECT_EQ(exportdata::DescribeFault(f, table, "E:\\count.csv"),
              "Unable to write E:\\count.csv. There is not enough space on the disk. Nothing was exported.");
}

TEST_F(FailureTest, ExportLargerThanTheRoomLeftFailsPartWay) {
    // Room for part of the file: the write fails after some blocks went out.
    std::string table = BigTable();
    std::string disk = Path("disk");
    NEED_MOUNT(mount_.Mount(disk, 64 * 1024));
    CsvFault f = Export(table, disk + "/new.csv");
    EXPECT_EQ(f.osError, rt::kOsDiskFull);
    EXPECT_TRUE(Names(disk).empty());
}

TEST_F(FailureTest, ReadOnlyFileSystemFailsTheExport) {
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    std::string disk = Path("disk");
    NEED_MOUNT(mount_.Mount(disk, 64 * 1024));
    WriteFile(disk + "/count.csv", "old\r\n");
    NEED_MOUNT(mount_.MakeReadOnly());
    CsvFault f = Export(table, disk + "/count.csv");
    EXPECT_EQ(f.kind, CsvFault::kWriteFailed);
    EXPECT_EQ(f.osError, rt::kOsAccessDenied);
    EXPECT_EQ(ReadFile(disk + "/count.csv"), "old\r\n");
    EXPECT_EQ(Export(table, disk + "/other.csv").osError, rt::kOsAccessDenied);
}

TEST_F(FailureTest, ATargetHeldOrUnwritableIsNotReplaced) {
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    WriteFile(Path("held.csv"), "open in a spreadsheet\r\n");
    int h = rt::FOpen(Path("held.csv"), rt::kFoRead | rt::kFoDenyWrite);
    ASSERT_GE(h, 0);
    CsvFault held = Export(table, Path("held.csv"));
    rt::FClose(h);
    EXPECT_EQ(held.osError, rt::kOsSharingViolation);
    EXPECT_EQ(ReadFile(Path("held.csv")), "open in a spreadsheet\r\n");

    fs::create_directory(Path("adir.csv"));
    EXPECT_EQ(Export(table, Path("adir.csv")).osError, rt::kOsAccessDenied);
    EXPECT_EQ(Export(table, Path("nowhere/x.csv")).osError, rt::kOsPathNotFound);
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"adir.csv", "held.csv", "t.dbf"}));
}

TEST_F(FailureTest, APipeUnderTheNameIsRefusedNotReplaced) {
    // A name that is no file (a pipe, a device such as /dev/stdout) cannot
    // hold the old file or the whole new one: renaming over it would put a
    // plain file in place of the pipe or device node.
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    ASSERT_EQ(::mkfifo(Path("pipe.csv").c_str(), 0644), 0);
    int reader = ::open(Path("pipe.csv").c_str(), O_RDONLY | O_NONBLOCK);  // a writer never blocks
    ASSERT_GE(reader, 0);
    CsvFault f = Export(table, Path("pipe.csv"));
    ::close(reader);
    EXPECT_EQ(f.kind, CsvFault::kWriteFailed);
    EXPECT_EQ(f.osError, rt::kOsAccessDenied);
    struct stat st = {};
    ASSERT_EQ(::lstat(Path("pipe.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"pipe.csv", "t.dbf"}));
}

TEST_F(FailureTest, AnArchiveOnAFullFileSystemFailsAndLeavesNoPartialCopy) {
    std::string disk = Path("data");
    NEED_MOUNT(mount_.Mount(disk, 64 * 1024));
    appkit::ResetSettingsList();
    appkit::AddSetting(Usual(disk));
    std::vector<std::vector<Usual>> rows(600, {Usual("5012345678900"), Usual("1")});
    MakeTable("data/QZSCAN.DBF", ScanStruct(), rows);
    mount_.Fill();
    rt::SetClock([] { return rt::CivilTime{2024, 3, 2, 9, 5, 0}; });
    int err = 0;
    std::string archive = exportdata::CopyScannedDataFile(&err);
    EXPECT_EQ(err, rt::kOsDiskFull);
    EXPECT_EQ(archive, disk + "\\202403020905.dbf");
    EXPECT_EQ(Names(disk), (std::vector<std::string>{"QZSCAN.DBF", "filler"}));
}
