// `qzdbf export` as scripts use it, and its output for tables written by
// other DBF code, compared with what python3-dbfread reads from them.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "export_fixture.h"
#include "platform/runtime/settings.h"

using namespace exporttest;
using rt::Usual;

namespace {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

ToolRun Shell(const std::string& dir, const std::string& command) {
    std::string cmd = "cd " + dir + " && " + command + " >" + dir + "/stdout.txt 2>" + dir + "/stderr.txt";
    int status = std::system(cmd.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(dir + "/stdout.txt");
    r.err = ReadFile(dir + "/stderr.txt");
    fs::remove(dir + "/stdout.txt");
    fs::remove(dir + "/stderr.txt");
    return r;
}

ToolRun Qzdbf(const std::string& dir, const std::string& args) {
    return Shell(dir, std::string(QZDBF_PATH) + " " + args);
}

// The export's rules applied to what dbfread reads: live records only,
// strings without , " | and with line breaks as blanks, then stripped of
// blanks; integers in 10 positions; decimals rounded half up in 12 positions
// with 2 decimals; dates DD/MM/YYYY (blank: the picture with blanks);
// logic Y, anything else N.
const char* const kExpectScript = R"PY(
import sys, dbfread
from decimal import Decimal, ROUND_HALF_UP
t = dbfread.DBF(sys.argv[1], load=True, char_decode_errors='strict')
types = {f.name: (f.type, f.decimal_count) for f in t.fields}
def text(name, v):
    kind, dec = types[name]
    if kind in 'CM':
        s = ''.join(c for c in (v or '') if c not in ',"|').replace('\r', ' ').replace('\n', ' ')
        return s.strip(' ')
    if kind == 'N' and dec == 0:
        return '%10d' % v
    if kind in 'NF':
        q = Decimal(repr(float(v))).quantize(Decimal('0.01'), rounding=ROUND_HALF_UP)
        return '%12s' % q
    if kind == 'D':
        return '  /  /    ' if v is None else v.strftime('%d/%m/%Y')
    if kind == 'L':
        return 'Y' if v is True else 'N'
    return '???'
out = ''.join(','.join(text(k, v) for k, v in r.items()) + '\r\n' for r in t.records)
sys.stdout.write(out)
)PY";

class QzdbfExportTest : public ExportTest {};

}  // namespace

TEST_F(QzdbfExportTest, WritesTheProgramsCsvForTheNamedFields) {
    Usual structure = Usual::Array({Field("CODE", "C", 10), Field("N", "N", 8, 2), Field("DAY", "D", 8)});
    MakeTable("t.dbf", structure,
              {{Usual("a,b\"c|d"), Usual(2.5), Usual(rt::MakeDate(2024, 1, 31))}, {Usual("gone"), Usual(1), Usual()}},
              {2});
    ToolRun all = Qzdbf(dir_, "export t.dbf out.csv");
    EXPECT_EQ(all.code, 0) << all.err;
    EXPECT_EQ(all.out, "");
    EXPECT_EQ(ReadFile(Path("out.csv")), "abcd,        2.50,31/01/2024\r\n");
    ToolRun some = Qzdbf(dir_, "export t.dbf some day 'code  '");
    EXPECT_EQ(some.code, 0) << some.err;
    EXPECT_EQ(ReadFile(Path("some")), "31/01/2024,abcd\r\n");  // the name is used as given
}

TEST_F(QzdbfExportTest, FailuresExitOneAndLeaveTheTargetAlone) {
    MakeTable("t.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    WriteFile(Path("out.csv"), "old\r\n");
    ToolRun field = Qzdbf(dir_, "export t.dbf out.csv PRICE");
    EXPECT_EQ(field.code, 1);
    EXPECT_EQ(field.err, "qzdbf: Unable to export t.dbf: it has no field named \"PRICE\". Nothing was exported.\n");
    ToolRun missing = Qzdbf(dir_, "export none.dbf out.csv");
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("none.dbf"), std::string::npos) << missing.err;
    ToolRun self = Qzdbf(dir_, "export t.dbf T.DBF");
    EXPECT_EQ(self.code, 1);
    EXPECT_NE(self.err.find("it is the table being exported"), std::string::npos) << self.err;
    EXPECT_EQ(Qzdbf(dir_, "export nowhere/t.dbf nowhere/x.csv").code, 1);
    EXPECT_EQ(Qzdbf(dir_, "export t.dbf").code, 2);  // no output name
    EXPECT_EQ(ReadFile(Path("out.csv")), "old\r\n");
}

TEST_F(QzdbfExportTest, TablesMadeByPythonDbfExportAsDbfreadReadsThem) {
    if (::access("/usr/bin/python3", X_OK) != 0 || Shell(dir_, "/usr/bin/python3 -c 'import dbfread'").code != 0)
        GTEST_SKIP() << "python3-dbfread is not installed (setup/deps.sh installs it)";
    WriteFile(Path("expect.py"), kExpectScript);
    for (const char* base : {"pydbf_db3", "pydbf_fp"}) {
        SCOPED_TRACE(base);
        std::string name = base;
        fs::copy_file(std::string(QZ_TEST_DATA) + "/" + name + ".dbf", Path(name + ".dbf"));
        for (const char* memo : {".dbt", ".fpt"})
            if (fs::exists(std::string(QZ_TEST_DATA) + "/" + name + memo))
                fs::copy_file(std::string(QZ_TEST_DATA) + "/" + name + memo, Path(name + memo));
        ToolRun ours = Qzdbf(dir_, "export " + name + ".dbf " + name + ".csv");
        ASSERT_EQ(ours.code, 0) << ours.err;
        ToolRun theirs = Shell(dir_, "/usr/bin/python3 expect.py " + name + ".dbf");
        ASSERT_EQ(theirs.code, 0) << theirs.err;
        EXPECT_EQ(ReadFile(Path(name + ".csv")), theirs.out);
        // Four live records of five: the deleted one is left out.
        EXPECT_EQ(std::count(theirs.out.begin(), theirs.out.end(), '\n'), 4);
    }
}

// The export writes the table's characters as UTF-8, whatever code page the
// table stores them in: Python's csv module reads the barcodes back.
TEST_F(QzdbfExportTest, TextIsWrittenAsUtf8ForOtherTools) {
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
    const bool ansi = rt::SetAnsi(false);  // code page 437, as the scan data file is made
    MakeTable("t.dbf", ScanStruct(),
              {{Usual("M\xC3\x9CLLER-\xC3\x84"), Usual("5")},
               {Usual("Gr\xC3\xB6\xC3\x9F"
                      "e,|K\xC3\xB6ln"),
                Usual("1")}});
    rt::SetAnsi(ansi);
    ToolRun ours = Qzdbf(dir_, "export t.dbf out.csv");
    ASSERT_EQ(ours.code, 0) << ours.err;
    ToolRun theirs = Shell(dir_,
                           "PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"import csv; [print('|'.join(row)) for row in "
                           "csv.reader(open('out.csv', encoding='utf-8', newline=''))]\"");
    EXPECT_EQ(theirs.out,
              "M\xC3\x9CLLER-\xC3\x84|5\nGr\xC3\xB6\xC3\x9F"
              "eK\xC3\xB6ln|1\n")
        << theirs.err;
}

// Totals over three tables, one of them held open by a scanning screen's
// exclusive open all along, read back with Python's csv module.
TEST_F(QzdbfExportTest, TotalsAddUpLiveScansAndSetApartCountsThatAreNoNumbers) {
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
    MakeTable("a.dbf", ScanStruct(),
              {{Usual("X1"), Usual("1,5")},
               {Usual("X2"), Usual("2")},
               {Usual("X9"), Usual("7")},
               {Usual("X1"), Usual(" 2.25")}},
              {3});
    MakeTable("b.dbf", ScanStruct(),
              {{Usual("X1"), Usual("3")}, {Usual("X3"), Usual("abc")}, {Usual("X2"), Usual("-1")}}, {3});
    MakeTable("c.dbf", ScanStruct(), {{Usual("X3"), Usual("0.5")}, {Usual("X1"), Usual("0,25")}});
    rdd::DBServer screen(Usual(Path("b.dbf")), Usual(false), Usual(false));
    ASSERT_TRUE(screen.Used());
    ToolRun run = Qzdbf(dir_, "totals out.csv a.dbf b.dbf c.dbf");
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("1 counts are not numbers"), std::string::npos) << run.err;
    const std::string rows =
        "/usr/bin/python3 -c \"import csv,sys; [print('|'.join(r)) for r in csv.reader(open(sys.argv[1], "
        "encoding='utf-8', newline=''))]\" ";
    EXPECT_EQ(Shell(dir_, rows + "out.csv").out, "X1|7|4|3\nX2|2|1|1\nX3|0.5|1|1\n");
    EXPECT_EQ(Shell(dir_, rows + "out-rejects.csv").out, "b.dbf|2|X3|abc\n");
    EXPECT_EQ(ReadFile(Path("out.csv")).substr(0, 10), "X1,7,4,3\r\n");
}

TEST_F(QzdbfExportTest, TotalsFailuresExitOneAndLeaveTheOutputAlone) {
    MakeTable("a.dbf", ScanStruct(), {{Usual("A"), Usual("1")}});
    MakeTable("other.dbf", rt::Usual::Array({Field("CODE", "C", 15)}), {{Usual("A")}});
    WriteFile(Path("bad.dbf"), "not a table at all, and longer than a header is");
    WriteFile(Path("out.csv"), "old\r\n");
    for (const char* tables : {"a.dbf bad.dbf", "a.dbf none.dbf", "a.dbf other.dbf", "a.dbf ./A.DBF"}) {
        SCOPED_TRACE(tables);
        ToolRun run = Qzdbf(dir_, std::string("totals out.csv ") + tables);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("Nothing was written."), std::string::npos) << run.err;
    }
    EXPECT_EQ(Qzdbf(dir_, "totals a.dbf out.csv").code, 1);  // the output a table
    EXPECT_EQ(Qzdbf(dir_, "totals out.csv").code, 2);
    EXPECT_EQ(ReadFile(Path("out.csv")), "old\r\n");
    EXPECT_FALSE(fs::exists(Path("out-rejects.csv")));
}
