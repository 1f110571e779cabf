// Interoperability both ways with DBF code nobody here wrote: fixtures made
// by python3-dbf are read field by field, and python3-dbfread reads tables
// this engine wrote, deleted records included.
#include "rdd_test_util.h"

#include <cstdio>

#include "platform/rdd/dbffield.h"
#include "support/process_locale.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;
using rddtest::ReadBytes;

namespace {

class InteropTest : public rddtest::TableTest {
protected:
    // Copies a fixture (and its memo file) into the scratch directory.
    void CopyFixture(const std::string& name, const std::string& memoExt) {
        for (const std::string& ext : {std::string(".dbf"), memoExt})
            std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/" + name + ext, Path(name + ext));
    }
    static std::string Ymd(const Usual& v) {
        if (v.AsDate().IsEmpty()) return "";
        int y, m, d;
        dbf::CivilFromJulian(v.AsDate().julian, y, m, d);
        return std::to_string(y * 10000 + m * 100 + d);
    }
};

std::string RunCapture(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

}  // namespace

TEST_F(InteropTest, ReadsTablesWrittenByPythonDbf) {
    for (auto [name, memo] : {std::pair{"pydbf_db3", ".dbt"}, {"pydbf_fp", ".fpt"}}) {
        SCOPED_TRACE(name);
        CopyFixture(name, memo);
        ErrorRecorder errors;
        auto db = Open(std::string(name) + ".dbf", true, true);
        ASSERT_TRUE(db->Used());
        ASSERT_EQ(db->LastRec(), 5);
        EXPECT_EQ(db->FieldLen(Usual("NAME")), 12);
        EXPECT_EQ(db->FieldDec(Usual("PRICE")), 2);

        EXPECT_EQ(db->FieldGet(Usual("NAME")).AsStr(), "Widget      ");
        EXPECT_EQ(db->FieldGet(Usual("QTY")), Usual(12));
        EXPECT_DOUBLE_EQ(db->FieldGet(Usual("PRICE")).AsDouble(), 3.25);
        EXPECT_EQ(Ymd(db->FieldGet(Usual("DAY"))), "20240131");
        EXPECT_EQ(db->FieldGet(Usual("OK")), Usual(true));
        EXPECT_EQ(db->FieldGet(Usual("NOTE")).AsStr(), "first memo\nwith two lines");

        db->GoTo(2);
        EXPECT_EQ(Ymd(db->FieldGet(Usual("DAY"))), "");
        EXPECT_EQ(db->FieldGet(Usual("NOTE")).AsStr(), "");
        db->GoTo(3);
        EXPECT_TRUE(db->Deleted());
        EXPECT_EQ(db->FieldGet(Usual("NOTE")).AsStr(), "memo of a deleted record");
        db->GoTo(4);
        EXPECT_EQ(db->FieldGet(Usual("QTY")), Usual(-7));
        EXPECT_DOUBLE_EQ(db->FieldGet(Usual("PRICE")).AsDouble(), -12.75);
        EXPECT_EQ(Ymd(db->FieldGet(Usual("DAY"))), "20000229");
        EXPECT_EQ(db->FieldGet(Usual("NOTE")).AsStr(), std::string(700, 'x'));  // spans blocks
        db->GoTo(5);
        EXPECT_EQ(db->FieldGet(Usual("QTY")), Usual(99999));
        EXPECT_FALSE(db->FieldGet(Usual("OK")).AsLogic());  // '?' reads as false

        SetDeleted(true);
        std::vector<int64_t> visible;
        for (db->GoTop(); !db->Eof(); db->Skip(Usual(1))) visible.push_back(db->RecNo());
        EXPECT_EQ(visible, (std::vector<int64_t>{1, 2, 4, 5}));
        SetDeleted(false);
        EXPECT_TRUE(errors.seen.empty());
    }
}

TEST_F(InteropTest, PythonDbfreadReadsWhatThisEngineWrote) {
    if (::access("/usr/bin/python3", X_OK) != 0 ||
        RunCapture("/usr/bin/python3 -c 'import dbfread' 2>&1").find("Error") != std::string::npos)
        GTEST_SKIP() << "python3-dbfread is not installed (setup/deps.sh installs it)";
    Create("ours.dbf", MixedStruct());
    {
        auto db = Open("ours.dbf");
        struct Row {
            const char* name;
            double price;
            int count;
            int y, m, d;
            bool ok;
            bool del;
        };
        const Row rows[] = {{"alpha", 1.5, 10, 2024, 1, 31, true, false},
                            {"beta", -0.25, -3, 1999, 12, 31, false, true},
                            {"gamma", 99999.99, 0, 0, 0, 0, true, false},
                            {"delta", 0, 99999, 2000, 2, 29, false, true}};
        for (const Row& r : rows) {
            db->Append();
            db->FieldPut(Usual("NAME"), Usual(r.name));
            db->FieldPut(Usual("PRICE"), Usual(r.price));
            db->FieldPut(Usual("COUNT"), Usual(r.count));
            db->FieldPut(Usual("DAY"), Usual(Date{r.y ? dbf::JulianFromCivil(r.y, r.m, r.d) : 0}));
            db->FieldPut(Usual("OK"), Usual(r.ok));
            if (r.del) db->Delete();
        }
        ASSERT_TRUE(db->Close());
    }
    const std::string script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], load=True, char_decode_errors='strict')\n"
        "for kind, recs in (('L', t.records), ('D', t.deleted)):\n"
        "    for r in recs:\n"
        "        print(kind, '|'.join('' if v is None else str(v) for v in r.values()), sep='|')\n";
    std::string scriptPath = Path("read.py");
    std::FILE* f = std::fopen(scriptPath.c_str(), "w");
    std::fputs(script.c_str(), f);
    std::fclose(f);
    std::string out = RunCapture("/usr/bin/python3 " + scriptPath + " " + Path("ours.dbf") + " 2>&1");
    EXPECT_EQ(out,
              "L|alpha|1.5|10|2024-01-31|True\n"
              "L|gamma|99999.99|0||True\n"
              "D|beta|-0.25|-3|1999-12-31|False\n"
              "D|delta|0.0|99999|2000-02-29|False\n");
}

// A process under a decimal-comma locale (QApplication takes it from the
// environment) still writes and reads C-locale numbers in the table.
TEST_F(InteropTest, NumbersKeepTheirPointUnderDecimalCommaLocales) {
    bool havePython = ::access("/usr/bin/python3", X_OK) == 0 &&
                      RunCapture("/usr/bin/python3 -c 'import dbfread' 2>&1").find("Error") == std::string::npos;
    for (const char* name : testsupport::kCommaLocales) {
        SCOPED_TRACE(name);
        testsupport::ProcessLocale locale(name);
        if (!locale.CommaInForce()) GTEST_SKIP() << name << " is missing (setup/deps.sh generates it)";
        std::string file = std::string("comma_") + name[0] + ".dbf";
        Create(file, Usual::Array({Field("PRICE", "N", 8, 2), Field("WEIGHT", "F", 10, 3), Field("COUNT", "N", 5)}));
        {
            auto db = Open(file);
            db->Append();
            db->FieldPut(Usual("PRICE"), Usual(12.5));
            db->FieldPut(Usual("WEIGHT"), Usual(-1234.5678));
            db->FieldPut(Usual("COUNT"), Usual(42));
            ASSERT_TRUE(db->Close());
        }
        std::vector<uint8_t> bytes = ReadBytes(Path(file));
        std::string record(bytes.end() - 24, bytes.end() - 1);  // after the flag, before the end marker
        EXPECT_EQ(record, "   12.50 -1234.568   42");
        {
            auto db = Open(file);
            EXPECT_DOUBLE_EQ(db->FieldGet(Usual("PRICE")).AsDouble(), 12.5);
            EXPECT_DOUBLE_EQ(db->FieldGet(Usual("WEIGHT")).AsDouble(), -1234.568);
            EXPECT_EQ(db->FieldGet(Usual("COUNT")), Usual(42));
        }
        if (!havePython) continue;
        std::string out = RunCapture(
            "/usr/bin/python3 -c \"import sys, dbfread; "
            "print(*next(iter(dbfread.DBF(sys.argv[1]))).values())\" " +
            Path(file) + " 2>&1");
        EXPECT_EQ(out, "12.5 -1234.568 42\n");
    }
}
