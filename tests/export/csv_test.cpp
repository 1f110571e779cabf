// The CSV conversion: value texts, the proposed name, whole tables, field
// lists, and the file written only when complete.
#include <sys/stat.h>
#include <unistd.h>

#include "export/csv.h"
#include "export_fixture.h"
#include "platform/rdd/dbffield.h"
#include "platform/runtime/files.h"
#include "support/process_locale.h"

using namespace exporttest;
using exportdata::CsvFault;
using exportdata::CsvValue;
using rt::Usual;

namespace {

Usual Day(int y, int m, int d) { return Usual(rt::MakeDate(y, m, d)); }

class CsvTest : public ExportTest {
protected:
    CsvFault Export(const std::string& table, const std::string& csv, Usual list = Usual::Array()) {
        return exportdata::TableToCsvFile(table, csv, list);
    }
};

}  // namespace

TEST(CsvValueTest, StringsLoseSeparatorsQuotesBarsAndOuterBlanks) {
    EXPECT_EQ(CsvValue(Usual("A,B")), "AB");
    EXPECT_EQ(CsvValue(Usual("  AB\"C|D  ")), "ABCD");
    EXPECT_EQ(CsvValue(Usual(", 12 ,")), "12");  // blanks trimmed after the commas go
    EXPECT_EQ(CsvValue(Usual("a\tb")), "a\tb");  // only blanks count as blanks
    EXPECT_EQ(CsvValue(Usual("line one\r\nline two\n")), "line one  line two");
    EXPECT_EQ(CsvValue(Usual("               ")), "");
}

TEST(CsvValueTest, NumbersDatesLogicAndOtherTypes) {
    rt::ResetSettings();
    rt::SetCentury(true);
    rt::SetDateFrmt("DD/MM/YYYY");
    EXPECT_EQ(CsvValue(Usual(42)), "        42");  // Str's 10 positions, untrimmed
    EXPECT_EQ(CsvValue(Usual(-7)), "        -7");
    EXPECT_EQ(CsvValue(Usual(int64_t{12345678901})), "12345678901");  // widened, never cut
    EXPECT_EQ(CsvValue(Usual(2.5)), "        2.50");
    EXPECT_EQ(CsvValue(Usual(rt::Float{2.675, 8, 3})), "        2.68");  // always 2 decimals, half up
    EXPECT_EQ(CsvValue(Usual(-0.001)), "        0.00");
    // Too large for 12 positions: the whole number, not twelve asterisks.
    EXPECT_EQ(CsvValue(Usual(123456789012.5)), "123456789012.50");
    EXPECT_EQ(CsvValue(Day(2024, 1, 31)), "31/01/2024");
    EXPECT_EQ(CsvValue(Usual(rt::Date{})), "  /  /    ");
    EXPECT_EQ(CsvValue(Usual(true)), "Y");
    EXPECT_EQ(CsvValue(Usual(false)), "N");
    EXPECT_EQ(CsvValue(Usual()), "???");
    EXPECT_EQ(CsvValue(Usual::Array()), "???");
    rt::ResetSettings();
}

TEST(CsvNameTest, CsvAppendedOnlyWhenNowhereInTheName) {
    EXPECT_EQ(exportdata::ProposedCsvName("QZScan.csv"), "QZScan.csv");
    EXPECT_EQ(exportdata::ProposedCsvName("STOCK"), "STOCK.csv");
    EXPECT_EQ(exportdata::ProposedCsvName("report.txt"), "report.txt.csv");
    EXPECT_EQ(exportdata::ProposedCsvName("count.CsV.old"), "count.CsV.old");  // in the middle, any case
    EXPECT_EQ(exportdata::ProposedCsvName("a.csvx"), "a.csvx");
    EXPECT_EQ(exportdata::ProposedCsvName(""), ".csv");
}

TEST_F(CsvTest, ScanTableGivesTrimmedCleanLinesWithCrLfAndNoHeader) {
    std::string table = MakeTable("QZSCAN.DBF", ScanStruct(),
                                  {{Usual("5012345678900"), Usual("12")},
                                   {Usual("DELETED"), Usual("1")},
                                   {Usual("AB\"1|2"), Usual("1,5")},
                                   {Usual(""), Usual("3")},
                                   {Usual("  X  "), Usual("")}},
                                  {2});
    ASSERT_FALSE(Export(table, Path("out.csv")));
    EXPECT_EQ(ReadFile(Path("out.csv")), "5012345678900,12\r\nAB12,1.5\r\n,3\r\nX,\r\n");
}

// Counts stored before the count field took only numbers keep their value.
TEST_F(CsvTest, CountsKeepTheirValue) {
    std::vector<std::vector<Usual>> rows;
    for (const char* count : {" -1,25", "1.50", "5 boxes", "1e3", "2,5,1", "\"3\"|"})
        rows.push_back({Usual("C"), Usual(count)});
    ASSERT_FALSE(Export(MakeTable("old.dbf", ScanStruct(), rows), Path("old.csv")));
    EXPECT_EQ(ReadFile(Path("old.csv")), "C,-1.25\r\nC,1.50\r\nC,5 boxes\r\nC,1e3\r\nC,2 5 1\r\nC,3\r\n");
}

TEST_F(CsvTest, TablesWithoutLiveRecordsGiveAnEmptyFile) {
    std::string onlyDeleted =
        MakeTable("gone.dbf", ScanStruct(), {{Usual("A"), Usual("1")}, {Usual("B"), Usual("2")}}, {1, 2});
    std::string empty = MakeTable("empty.dbf", ScanStruct(), {});
    WriteFile(Path("a.csv"), "old content\r\n");
    ASSERT_FALSE(Export(onlyDeleted, Path("a.csv")));
    ASSERT_FALSE(Export(empty, Path("b.csv")));
    EXPECT_TRUE(fs::exists(Path("a.csv")));
    EXPECT_EQ(fs::file_size(Path("a.csv")), 0u);
    EXPECT_EQ(fs::file_size(Path("b.csv")), 0u);
    // Deleted records are left out even where the process shows them.
    rt::SetDeleted(false);
    ASSERT_FALSE(Export(onlyDeleted, Path("c.csv")));
    EXPECT_EQ(fs::file_size(Path("c.csv")), 0u);
}

TEST_F(CsvTest, NumericDateAndLogicFieldsByTheirTypes) {
    Usual structure = Usual::Array({Field("PRICE", "N", 8, 2), Field("COUNT", "N", 6), Field("BIG", "N", 16, 2),
                                    Field("DAY", "D", 8), Field("OK", "L", 1)});
    std::string table = MakeTable("mixed.dbf", structure,
                                  {{Usual(3.25), Usual(12), Usual(1234567890123.45), Day(2000, 2, 29), Usual(true)},
                                   {Usual(-12.75), Usual(-7), Usual(0.0), Usual(rt::Date{}), Usual(false)}});
    ASSERT_FALSE(Export(table, Path("m.csv")));
    EXPECT_EQ(ReadFile(Path("m.csv")),
              "        3.25,        12,1234567890123.45,29/02/2000,Y\r\n"
              "      -12.75,        -7,        0.00,  /  /    ,N\r\n");
}

TEST_F(CsvTest, FieldListIsFilledForTheCallerOrFollowedInItsOrder) {
    Usual structure = Usual::Array({Field("code", "C", 4), Field("QTY", "C", 4), Field("NOTE", "C", 8)});
    std::string table = MakeTable("t.dbf", structure, {{Usual("A1"), Usual("2"), Usual("n")}});
    Usual list = Usual::Array();
    ASSERT_FALSE(exportdata::TableToCsvFile(table, Path("all.csv"), list));
    ASSERT_EQ(list.ALen(), 3u);
    EXPECT_EQ(list.At(1).AsStr(), "CODE      ");
    EXPECT_EQ(list.At(3).AsStr(), "NOTE      ");
    EXPECT_EQ(ReadFile(Path("all.csv")), "A1,2,n\r\n");

    ASSERT_FALSE(Export(table, Path("some.csv"), Usual::Array({Usual("note  "), Usual("Code")})));
    EXPECT_EQ(ReadFile(Path("some.csv")), "n,A1\r\n");
}

TEST_F(CsvTest, AFieldTheTableLacksFailsBeforeAnythingIsWritten) {
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    WriteFile(Path("out.csv"), "kept\r\n");
    CsvFault f = Export(table, Path("out.csv"), Usual::Array({Usual("BARCODE"), Usual("PRICE  ")}));
    EXPECT_EQ(f.kind, CsvFault::kNoSuchField);
    EXPECT_EQ(f.detail, "PRICE");
    EXPECT_EQ(ReadFile(Path("out.csv")), "kept\r\n");
    EXPECT_EQ(exportdata::DescribeFault(f, "t.dbf", "out.csv"),
              "Unable to export t.dbf: it has no field named \"PRICE\". Nothing was exported.");
}

TEST_F(CsvTest, ATableThatDoesNotOpenWritesNothing) {
    WriteFile(Path("junk.dbf"), "not a table");
    int errors = 0;
    rt::Usual old = rt::ErrorBlock(Usual::Block([&](rt::Args) {
        ++errors;
        return Usual(false);
    }));
    CsvFault missing = Export(Path("missing.dbf"), Path("a.csv"));
    CsvFault junk = Export(Path("junk.dbf"), Path("b.csv"));
    rt::ErrorBlock(old);
    EXPECT_EQ(missing.kind, CsvFault::kTableNotOpened);
    EXPECT_EQ(junk.kind, CsvFault::kTableNotOpened);
    EXPECT_EQ(errors, 2);  // each open error went to the error block
    EXPECT_FALSE(fs::exists(Path("a.csv")));
    EXPECT_FALSE(fs::exists(Path("b.csv")));
}

TEST_F(CsvTest, TheTableItselfIsNeverTheTarget) {
    std::string table = MakeTable("STOCK.DBF", ScanStruct(), {{Usual("A"), Usual("1")}});
    std::string before = ReadFile(table);
    CsvFault f = Export(table, Path("stock.dbf"));  // another case, the same file
    EXPECT_EQ(f.kind, CsvFault::kSameFile);
    EXPECT_EQ(ReadFile(table), before);
}

TEST_F(CsvTest, ReplacingKeepsPermissionsAndLeavesNoTemporaryFile) {
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    WriteFile(Path("out.csv"), "old\r\n");
    ASSERT_EQ(::chmod(Path("out.csv").c_str(), 0640), 0);
    ASSERT_FALSE(Export(table, Path("out.csv")));
    EXPECT_EQ(ReadFile(Path("out.csv")), "A,1\r\n");
    struct stat st = {};
    ASSERT_EQ(::stat(Path("out.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"out.csv", "t.dbf"}));
}

TEST_F(CsvTest, ReplacingKeepsTheOwnerOfTheFile) {
    // Run by an administrator, the export must not take a user's file from
    // them: the new file has the old one's owner and group.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file another owner";
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    WriteFile(Path("theirs.csv"), "old\r\n");
    ASSERT_EQ(::chmod(Path("theirs.csv").c_str(), 0640), 0);
    ASSERT_EQ(::chown(Path("theirs.csv").c_str(), 65534, 65534), 0);
    ASSERT_FALSE(Export(table, Path("theirs.csv")));
    struct stat st = {};
    ASSERT_EQ(::stat(Path("theirs.csv").c_str(), &st), 0);
    EXPECT_EQ(ReadFile(Path("theirs.csv")), "A,1\r\n");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(CsvTest, ANameAsLongAsTheFileSystemAllowsCanBeWritten) {
    // The temporary file beside it carries the name too; it must not make
    // a name the file system takes into one it refuses.
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    std::string name = std::string(251, 'c') + ".csv";  // 255 bytes, the longest name
    ASSERT_FALSE(Export(table, Path(name)));
    EXPECT_EQ(ReadFile(Path(name)), "A,1\r\n");
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{name, "t.dbf"}));
}

TEST_F(CsvTest, AnExportThroughALinkWritesTheFileItNames) {
    // The chosen name is a link to a file in another folder (a share the
    // counts are collected from): that file gets the new content and the
    // link stays.
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    fs::create_directory(Path("share"));
    WriteFile(Path("share/count.csv"), "yesterday,1\r\n");
    fs::create_symlink("share/count.csv", Path("count.csv"));
    ASSERT_FALSE(Export(table, Path("count.csv")));
    EXPECT_EQ(ReadFile(Path("share/count.csv")), "A,1\r\n");
    EXPECT_TRUE(fs::is_symlink(Path("count.csv")));
    EXPECT_EQ(Names(Path("share")), (std::vector<std::string>{"count.csv"}));
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"count.csv", "share", "t.dbf"}));
}

TEST_F(CsvTest, TablesOpenElsewhereAreReadAndExclusiveOnesRefused) {
    std::string table = MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    {
        rdd::DBServer shared(Usual(table), Usual(true), Usual(false));
        ASSERT_TRUE(shared.Used());
        ASSERT_FALSE(Export(table, Path("a.csv")));
        EXPECT_EQ(ReadFile(Path("a.csv")), "A,1\r\n");
    }
    rdd::DBServer exclusive(Usual(table), Usual(false), Usual(false));  // the scanning screen's open
    ASSERT_TRUE(exclusive.Used());
    rt::Usual old = rt::ErrorBlock(Usual::Block([](rt::Args) { return Usual(false); }));
    EXPECT_EQ(Export(table, Path("b.csv")).kind, CsvFault::kTableNotOpened);
    rt::ErrorBlock(old);
    EXPECT_FALSE(fs::exists(Path("b.csv")));
}

TEST_F(CsvTest, RecordsAcrossReadBlocksAndTextCleanedInPlace) {
    // More records than one read block holds, deleted ones on both sides
    // of the block boundary, and texts whose blanks show only once the
    // commas, quotes and bars are gone.
    std::vector<std::vector<Usual>> rows;
    for (int i = 1; i <= 9000; ++i) rows.push_back({Usual(std::to_string(i)), Usual("1")});
    rows[4999] = {Usual(" , X\"|"), Usual("\r\n2 ,")};
    std::string table = MakeTable("many.dbf", ScanStruct(), rows, {4096, 4097, 8192, 9000});
    ASSERT_FALSE(Export(table, Path("many.csv")));
    std::string csv = ReadFile(Path("many.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8996);
    EXPECT_EQ(csv.find("\r\n4096,"), std::string::npos);
    EXPECT_EQ(csv.find("\r\n4097,"), std::string::npos);
    EXPECT_NE(csv.find("\r\n4095,1\r\n4098,1\r\n"), std::string::npos);
    EXPECT_NE(csv.find("\r\n4999,1\r\nX,2\r\n5001,1\r\n"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 10), "\r\n8999,1\r\n");
}

TEST_F(CsvTest, NumbersKeepTheirPointUnderDecimalCommaLocales) {
    for (const char* name : testsupport::kCommaLocales) {
        SCOPED_TRACE(name);
        testsupport::ProcessLocale locale(name);
        if (!locale.CommaInForce()) GTEST_SKIP() << name << " is missing (setup/deps.sh generates it)";
        std::string table = MakeTable(std::string("n") + name[0] + ".dbf",
                                      Usual::Array({Field("PRICE", "N", 8, 2), Field("COUNT", "N", 6)}),
                                      {{Usual(3.25), Usual(12)}, {Usual(-1234.5), Usual(-7)}});
        ASSERT_FALSE(Export(table, Path("n.csv")));
        EXPECT_EQ(ReadFile(Path("n.csv")), "        3.25,        12\r\n    -1234.50,        -7\r\n");
    }
}
