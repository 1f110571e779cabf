// The archive of the scan data file: its name from the clock, a byte-for-byte
// copy, and later archives of the same minute beside the first; and the
// erase of a restart, refused while the table is in use.
#include "export/archive.h"
#include "export/restart.h"
#include "export_fixture.h"

using namespace exporttest;
using rt::Usual;

namespace {

class ArchiveTest : public ExportTest {
protected:
    void SetUp() override {
        ExportTest::SetUp();
        MakeTable("QZSCAN.DBF", ScanStruct(), {{Usual("111"), Usual("1")}, {Usual("222"), Usual("2")}}, {2});
    }
    static void ClockAt(int y, int mo, int d, int h, int mi) {
        rt::SetClock([=] { return rt::CivilTime{y, mo, d, h, mi, 30}; });
    }
};

}  // namespace

TEST(ArchiveNameTest, StampKeepsLeadingZerosAndTheYear) {
    EXPECT_EQ(exportdata::ArchiveStamp({2024, 3, 2, 9, 5, 59}), "202403020905");
    EXPECT_EQ(exportdata::ArchiveStamp({2023, 12, 31, 15, 30, 0}), "202312311530");
    EXPECT_EQ(exportdata::ArchiveStamp({2025, 1, 1, 0, 0, 0}), "202501010000");
    EXPECT_EQ(exportdata::ArchiveFileName("202403020905", 1), "202403020905.dbf");
    EXPECT_EQ(exportdata::ArchiveFileName("202403020905", 2), "202403020905_2.dbf");
}

TEST_F(ArchiveTest, CopyIsByteForByteIncludingDeletedRecords) {
    ClockAt(2024, 3, 2, 9, 5);
    int err = -1;
    std::string archive = exportdata::CopyScannedDataFile(&err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(archive, dir_ + "\\202403020905.dbf");
    EXPECT_EQ(ReadFile(Path("202403020905.dbf")), ReadFile(Path("QZSCAN.DBF")));
}

TEST_F(ArchiveTest, ArchivesOfTheSameMinuteNeverReplaceEachOther) {
    ClockAt(2023, 12, 31, 15, 30);
    std::string first = ReadFile(Path("QZSCAN.DBF"));
    EXPECT_EQ(exportdata::CopyScannedDataFile(), dir_ + "\\202312311530.dbf");
    MakeTable("QZSCAN.DBF", ScanStruct(), {{Usual("333"), Usual("3")}});  // the next count
    std::string second = ReadFile(Path("QZSCAN.DBF"));
    ASSERT_NE(first, second);
    EXPECT_EQ(exportdata::CopyScannedDataFile(), dir_ + "\\202312311530_2.dbf");
    EXPECT_EQ(exportdata::CopyScannedDataFile(), dir_ + "\\202312311530_3.dbf");
    EXPECT_EQ(ReadFile(Path("202312311530.dbf")), first);
    EXPECT_EQ(ReadFile(Path("202312311530_2.dbf")), second);
    ClockAt(2023, 12, 31, 15, 31);
    EXPECT_EQ(exportdata::CopyScannedDataFile(), dir_ + "\\202312311531.dbf");
}

TEST_F(ArchiveTest, DateAndTimeComeFromOneReadingOfTheClock) {
    // The clock passes midnight between two readings: the name must not
    // take the new day's date with the old day's time.
    int calls = 0;
    rt::SetClock([&calls] {
        return calls++ == 0 ? rt::CivilTime{2024, 12, 31, 23, 59, 59} : rt::CivilTime{2025, 1, 1, 0, 0, 0};
    });
    EXPECT_EQ(exportdata::CopyScannedDataFile(), dir_ + "\\202412312359.dbf");
}

TEST_F(ArchiveTest, AMissingScanFileIsAFailedArchive) {
    fs::remove(Path("QZSCAN.DBF"));
    ClockAt(2024, 3, 2, 9, 5);
    int err = 0;
    exportdata::CopyScannedDataFile(&err);
    EXPECT_EQ(err, 2);
    EXPECT_FALSE(fs::exists(Path("202403020905.dbf")));
}

TEST_F(ArchiveTest, EraseRefusesATableInUseAndErasesItOtherwise) {
    for (bool shared : {true, false}) {
        rdd::DBServer screen(Usual(Path("QZSCAN.DBF")), Usual(shared), Usual(false));
        ASSERT_TRUE(screen.Used());
        EXPECT_EQ(exportdata::EraseTable(Path("qzscan.dbf")), 32);
        EXPECT_TRUE(fs::exists(Path("QZSCAN.DBF")));
    }
    EXPECT_EQ(exportdata::EraseTable(Path("qzscan.dbf")), 0);
    EXPECT_FALSE(fs::exists(Path("QZSCAN.DBF")));
    EXPECT_EQ(exportdata::EraseTable(Path("qzscan.dbf")), 2);
}
