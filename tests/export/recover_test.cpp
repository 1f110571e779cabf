// `qzdbf recover` on damaged tables: the intact records go into a new table,
// the damage is reported, and the damaged file is never written.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "export_fixture.h"

using namespace exporttest;
using rt::Usual;

namespace {

struct ToolRun {
    int code = -1;
    std::string out;
};

ToolRun Qzdbf(const std::string& dir, const std::string& args) {
    std::string cmd = "cd " + dir + " && " + QZDBF_PATH + " " + args + " >out.txt 2>&1";
    int status = std::system(cmd.c_str());
    ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir + "/out.txt")};
    fs::remove(dir + "/out.txt");
    return r;
}

class RecoverTest : public ExportTest {
protected:
    void SetUp() override {
        ExportTest::SetUp();
        // Three records of 26 bytes after a 97-byte header; the second is
        // marked deleted.
        MakeTable("t.dbf", ScanStruct(),
                  {{Usual("111"), Usual("1")}, {Usual("222"), Usual("2")}, {Usual("333"), Usual("3")}}, {2});
        whole_ = ReadFile(Path("t.dbf"));
    }
    std::string whole_;
};

}  // namespace

TEST_F(RecoverTest, KeepsTheIntactRecordsAndSaysWhatWasDropped) {
    struct Case {
        size_t length;
        const char* dump;     // the records of the new table
        const char* reports;  // a line the report holds
    } cases[] = {
        {97 + 26 + 26 + 10, "1\t\t111\t1\n2\t*\t222\t2\n", "dropped: 1 records the header counted"},
        {97 + 26 + 5, "1\t\t111\t1\n", "dropped: 5 bytes of a record cut short"},
        {97 + 2, "", "recovered 0 records"},
        {whole_.size(), "1\t\t111\t1\n2\t*\t222\t2\n3\t\t333\t3\n", "recovered 3 records (1 of them marked deleted)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        WriteFile(Path("cut.dbf"), whole_.substr(0, c.length));
        fs::remove(Path("new.dbf"));
        ToolRun r = Qzdbf(dir_, "recover cut.dbf new.dbf");
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find(c.reports), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(Path("cut.dbf")), whole_.substr(0, c.length));  // only read
        ToolRun dump = Qzdbf(dir_, "dump new.dbf");
        EXPECT_EQ(dump.code, 0) << dump.out;
        EXPECT_EQ(dump.out, std::string("#\tDEL\tBARCODE\tQTY\n") + c.dump);
    }
}

TEST_F(RecoverTest, RefusesToWriteOverTheDamagedTableOrWithoutAHeader) {
    WriteFile(Path("cut.dbf"), whole_.substr(0, 140));
    ASSERT_EQ(::link(Path("cut.dbf").c_str(), Path("same.dbf").c_str()), 0);
    for (const char* out : {"cut.dbf", "CUT.DBF", "same.dbf"}) {
        ToolRun r = Qzdbf(dir_, std::string("recover cut.dbf ") + out);
        EXPECT_EQ(r.code, 1) << out << ": " << r.out;
        EXPECT_EQ(ReadFile(Path("cut.dbf")), whole_.substr(0, 140));
    }
    WriteFile(Path("header.dbf"), whole_.substr(0, 50));
    ToolRun r = Qzdbf(dir_, "recover header.dbf new.dbf");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("header is damaged"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(Path("new.dbf")));
}
