// FileObject and its FILESPEC base, late-bound: the error state, reads and
// writes with and without counts, line counts and the error texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lib/system/library.h"
#include "os_fixture.h"
#include "platform/runtime/files.h"
#include "platform/runtime/object.h"

namespace {

using rt::Usual;

class FileObjectTest : public ostest::StoreDir {
protected:
    void SetUp() override {
        StoreDir::SetUp();
        lib::RegisterSystemClasses();
    }
    Usual Make(const std::string& name) {
        return rt::CreateInstance(rt::Symbol("FILEOBJECT"), std::vector<Usual>{Usual(dir_ + "/" + name)});
    }
    static Usual Get(const Usual& o, const char* p) { return rt::IVarGet(o, rt::Symbol(p)); }
};

TEST_F(FileObjectTest, TheFileNameSplitsIntoDrivePathNameAndExtensionAndJoins) {
    Usual f = rt::CreateInstance(rt::Symbol("FILEOBJECT"), std::vector<Usual>{Usual("C:\\DATA\\Scan.Old.DBF")});
    EXPECT_EQ(Get(f, "DRIVE"), Usual("C:"));
    EXPECT_EQ(Get(f, "PATH"), Usual("\\DATA\\"));
    EXPECT_EQ(Get(f, "FILENAME"), Usual("Scan.Old"));
    EXPECT_EQ(Get(f, "EXTENSION"), Usual(".DBF"));
    rt::IVarPut(f, rt::Symbol("EXTENSION"), Usual("CSV"));
    EXPECT_EQ(Get(f, "FULLPATH"), Usual("C:\\DATA\\Scan.Old.CSV"));
    EXPECT_EQ(Get(f, "FILESPEC"), f);
    EXPECT_TRUE(rt::IsInstanceOf(f, rt::Symbol("FILESPEC")));
}

TEST_F(FileObjectTest, ErrorsAreKeptAndClearedByTheNextOperation) {
    Usual f = Make("missing.txt");
    EXPECT_EQ(Get(f, "ERROR"), Usual(false));
    EXPECT_EQ(Get(f, "ERRORCODE"), Usual(0));
    EXPECT_TRUE(Get(f, "FILEHANDLE").IsNil());
    EXPECT_EQ(rt::Send(f, "OPEN", {Usual(0)}), Usual(-1));
    EXPECT_EQ(Get(f, "ERROR"), Usual(true));
    EXPECT_EQ(Get(f, "ERRSTRING"), Usual("The system cannot find the file specified."));
    EXPECT_EQ(Get(f, "EXISTS"), Usual(false));
    rt::Send(f, "CREATE", {Usual(0)});
    EXPECT_EQ(Get(f, "ERROR"), Usual(false));
    EXPECT_EQ(Get(f, "EXISTS"), Usual(true));
    EXPECT_EQ(rt::Send(f, "CLOSE"), Usual(0));
    EXPECT_EQ(rt::Send(f, "DELETE"), Usual(true));
}

TEST_F(FileObjectTest, ReadsWritesAndLineCounts) {
    Usual f = Make("data.txt");
    rt::Send(f, "CREATE", {Usual(0)});
    EXPECT_EQ(Get(f, "LINECOUNT"), Usual(0));
    EXPECT_EQ(rt::Send(f, "WRITE", {Usual("abcdef")}), Usual(6));
    EXPECT_EQ(rt::Send(f, "WRITE", {Usual("ghij"), Usual(2)}), Usual(2));
    EXPECT_EQ(rt::Send(f, "WRITELINE", {Usual("")}), Usual(2));
    EXPECT_EQ(rt::Send(f, "PUTS", {Usual("two")}), Usual(5));
    rt::Send(f, "WRITETEXT", {Usual("three")});  // no line end after the last line
    EXPECT_EQ(Get(f, "LINECOUNT"), Usual(3));
    EXPECT_EQ(Get(f, "EOF"), Usual(true));
    EXPECT_EQ(rt::Send(f, "GOTOP"), Usual(0));
    Usual ref = Usual::Array({Usual(std::string(10, ' '))});
    EXPECT_EQ(rt::Send(f, "READ", {ref}), Usual(10));
    EXPECT_EQ(ref.At(1), Usual("abcdefgh\r\n"));
    EXPECT_EQ(rt::Send(f, "GETS"), Usual("two"));
    EXPECT_EQ(rt::Send(f, "READSTR", {Usual(3)}), Usual("thr"));
    EXPECT_EQ(Get(f, "POSITION"), Usual(18));
    EXPECT_EQ(rt::Send(f, "GOBOTTOM"), Usual(20));
    rt::Send(f, "CLOSE");
}

TEST_F(FileObjectTest, LongLinesAndPositionsPastTwoGiB) {
    std::ofstream(dir_ + "/long.txt") << std::string(5000, 'x') << "\r\nshort\n" << std::string(4097, 'y');
    std::ofstream(dir_ + "/big.bin").close();
    std::filesystem::resize_file(dir_ + "/big.bin", 3ull << 30);  // sparse
    Usual lines = Make("long.txt"), big = Make("big.bin");
    rt::Send(lines, "OPEN", {Usual(0)});
    EXPECT_EQ(Get(lines, "LINECOUNT"), Usual(3));
    rt::Send(lines, "GOTOP");  // a count far past the file reads what there is
    EXPECT_EQ(rt::Send(lines, "READ", {Usual::Array({Usual("")}), Usual(int64_t{1} << 50)}), Usual(9105));
    rt::Send(big, "OPEN", {Usual(0)});
    EXPECT_EQ(rt::Send(big, "GOBOTTOM"), Usual(-1));  // not wrapped
    EXPECT_EQ(Get(big, "ERRORCODE"), Usual(87));
    EXPECT_EQ(Get(big, "POSITION"), Usual(int64_t{3} << 30));
    rt::Send(lines, "CLOSE");
    rt::Send(big, "CLOSE");
}

TEST_F(FileObjectTest, ErrStringHasTheClassTexts) {
    struct Case {
        uint32_t code;
        const char* text;
    } cases[] = {{256, "Disk Full"},
                 {257, "EOF was already reached when a read was tried"},
                 {0, "The operation completed successfully."},
                 {5, "Access is denied."}};
    for (const Case& c : cases) {
        rt::FError(static_cast<int>(c.code));
        Usual f = Make("x");
        rt::Send(f, "UPDATEERR");
        EXPECT_EQ(Get(f, "ERRSTRING"), Usual(c.text));
    }
    rt::FError(0);
}

}  // namespace
