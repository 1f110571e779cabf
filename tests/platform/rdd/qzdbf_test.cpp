// The qzdbf tool as a script uses it: exit codes, output, errors on stderr.
#include "rdd_test_util.h"

#include <sys/wait.h>

#include <cstdio>

namespace {

struct ToolRun {
    int code = -1;
    std::string out;
};

// Runs qzdbf with the arguments (a shell word list); stdout and stderr go
// to separate files so each can be checked.
ToolRun Qzdbf(const std::string& dir, const std::string& args, std::string* err = nullptr) {
    std::string outPath = dir + "/out.txt", errPath = dir + "/err.txt";
    std::string cmd = "cd " + dir + " && " + QZDBF_PATH + " " + args + " >" + outPath + " 2>" + errPath;
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
