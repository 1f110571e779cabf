// The qzdbf tool as a script uses it: exit codes, output, errors on stderr.
#include "rdd_test_util.h"

#include <sys/wait.h>

#include <cstdio>

namespace {

struct ToolRun {
    int code = -1;
    std::string out;
};

// Runs a shell command in dir; stdout and stderr go to separate files so
// each can be checked.
ToolRun Shell(const std::string& dir, const std::string& command, std::string* err = nullptr) {
    std::string outPath = dir + "/out.txt", errPath = dir + "/err.txt";
    std::string cmd = "cd " + dir + " && " + command + " >" + outPath + " 2>" + errPath;
    int status = std::system(cmd.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto read = [](const std::string& p) {
        std::vector<uint8_t> b = rddtest::ReadBytes(p);
        return std::string(b.begin(), b.end());
    };
    r.out = read(outPath);
    if (err) *err = read(errPath);
    return r;
}

// Runs qzdbf with the arguments (a shell word list).
ToolRun Qzdbf(const std::string& dir, const std::string& args, std::string* err = nullptr) {
    return Shell(dir, std::string(QZDBF_PATH) + " " + args, err);
}

class QzdbfTest : public rddtest::TableTest {};

}  // namespace

TEST_F(QzdbfTest, CreateAppendDeleteDumpRoundTrip) {
    ASSERT_EQ(Qzdbf(dir_, "create t.dbf CODE:C:6 N:N:6:2 DAY:D OK:L").code, 0);
    ToolRun a = Qzdbf(dir_, "append t.dbf A1 2.5 20240131 T");
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.out, "1\n");
    EXPECT_EQ(Qzdbf(dir_, "append t.dbf 'B 2'").out, "2\n");
    EXPECT_EQ(Qzdbf(dir_, "delete t.dbf 1").code, 0);
    ToolRun d = Qzdbf(dir_, "dump t.dbf");
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out,
              "#\tDEL\tCODE\tN\tDAY\tOK\n"
              "1\t*\tA1\t2.50\t20240131\tT\n"
              "2\t\tB 2\t0.00\t\tF\n");
    ToolRun i = Qzdbf(dir_, "info t.dbf");
    EXPECT_EQ(i.code, 0);
    EXPECT_NE(i.out.find("records:       2 (header says 2)"), std::string::npos) << i.out;
    EXPECT_NE(i.out.find("deleted:       1"), std::string::npos);
    EXPECT_NE(i.out.find("problems:      none"), std::string::npos);
}

TEST_F(QzdbfTest, FailuresExitNonZeroWithAMessageOnStderr) {
    std::string err;
    EXPECT_EQ(Qzdbf(dir_, "", &err).code, 2);
    EXPECT_NE(err.find("usage"), std::string::npos);
    ToolRun help = Qzdbf(dir_, "--help", &err);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("append FILE VALUE"), std::string::npos);
    EXPECT_EQ(Qzdbf(dir_, "create t.dbf CODE:X:6", &err).code, 1);
    EXPECT_NE(err.find("cannot be created"), std::string::npos) << err;
    EXPECT_EQ(Qzdbf(dir_, "create t.dbf CODE:C", &err).code, 2);

    ASSERT_EQ(Qzdbf(dir_, "create t.dbf N:N:3").code, 0);
    EXPECT_EQ(Qzdbf(dir_, "append t.dbf 12345", &err).code, 1);  // too wide: no record
    EXPECT_NE(err.find("does not fit"), std::string::npos) << err;
    EXPECT_EQ(Qzdbf(dir_, "append t.dbf abc", &err).code, 1);
    EXPECT_EQ(Qzdbf(dir_, "dump t.dbf").out, "#\tDEL\tN\n");
    EXPECT_EQ(Qzdbf(dir_, "delete t.dbf 3", &err).code, 1);
    EXPECT_EQ(Qzdbf(dir_, "delete t.dbf x", &err).code, 2);

    rddtest::WriteBytes(Path("junk.dbf"), {'h', 'e', 'l', 'l', 'o'});
    ToolRun bad = Qzdbf(dir_, "info junk.dbf", &err);
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(err.find("junk.dbf"), std::string::npos);
    EXPECT_NE(err.find("not a DBF table"), std::string::npos) << err;
    EXPECT_EQ(Qzdbf(dir_, "dump missing.dbf", &err).code, 1);
}

// Text meets other DBF readers in the table's code page: what qzdbf appends
// reads right in python3-dbfread, and tables whose bytes Python wrote in a
// code page read right in qzdbf dump.
TEST_F(QzdbfTest, TextTravelsInTheTablesCodePage) {
    if (std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-dbfread is not installed (setup/deps.sh installs it)";
    ASSERT_EQ(Qzdbf(dir_, "create t.dbf BARCODE:C:15 QTY:C:10").code, 0);
    ASSERT_EQ(Qzdbf(dir_, "append t.dbf 'M\xC3\x9CLLER-\xC3\x84' 5").code, 0);
    std::string err;
    EXPECT_EQ(Qzdbf(dir_, "append t.dbf '\xCE\xA9' 1", &err).code, 1);  // Greek omega: not in 1252
    EXPECT_NE(err.find("U+03A9"), std::string::npos) << err;
    ToolRun read = Shell(dir_,
                         "PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"import dbfread; "
                         "[print(r['BARCODE'], r['QTY'], sep='|') for r in "
                         "dbfread.DBF('t.dbf', char_decode_errors='strict')]\"");
    EXPECT_EQ(read.out, "M\xC3\x9CLLER-\xC3\x84|5\n");

    // A table as another program writes it: header, one C20 field, one record.
    const char* const script = R"PY(
import struct, sys
lang, enc, name, text = int(sys.argv[1], 16), sys.argv[2], sys.argv[3], sys.argv[4]
head = struct.pack('<BBBBIHH17xB2x', 3, 124, 1, 31, 1, 65, 21, lang)
field = struct.pack('<11sc4xBB14x', b'NAME', b'C', 20, 0)
record = b' ' + text.encode(enc).ljust(20, b' ')
open(name, 'wb').write(head + field + b'\r' + record + b'\x1a')
)PY";
    FILE* f = std::fopen(Path("make.py").c_str(), "w");
    std::fputs(script, f);
    std::fclose(f);
    const std::string koeln =
        "Gr\xC3\xB6\xC3\x9F"
        "e aus K\xC3\xB6ln";
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    struct Case {
        const char *lang, *encoding;
        std::string text;
    } cases[] = {{"03", "cp1252", koeln},
                 {"00", "cp1252", koeln},
                 {"01", "cp437", koeln},
                 {"65", "cp866", privet},
                 {"C9", "cp1251", privet}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        ASSERT_EQ(Shell(dir_, std::string("/usr/bin/python3 make.py ") + c.lang + " " + c.encoding + " p.dbf '" +
                                  c.text + "'")
                      .code,
                  0);
        EXPECT_EQ(Qzdbf(dir_, "dump p.dbf").out, "#\tDEL\tNAME\n1\t\t" + c.text + "\n");
    }

    // Earlier builds stored UTF-8 bytes under any code page: recode-utf8
    // rewrites them once and leaves code-page text alone.
    ASSERT_EQ(Shell(dir_, "/usr/bin/python3 make.py 01 utf-8 u.dbf '" + koeln + "'").code, 0);
    EXPECT_EQ(Qzdbf(dir_, "recode-utf8 u.dbf").out, "1 fields recoded, 0 left as they were\n");
    EXPECT_EQ(Qzdbf(dir_, "recode-utf8 u.dbf").out, "0 fields recoded, 0 left as they were\n");
    EXPECT_EQ(Qzdbf(dir_, "dump u.dbf").out, "#\tDEL\tNAME\n1\t\t" + koeln + "\n");
}
