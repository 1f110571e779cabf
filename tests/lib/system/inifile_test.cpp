// IniFile's typed members and its edge cases, late-bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "lib/system/library.h"
#include "os_fixture.h"
#include "platform/runtime/object.h"

namespace {

using rt::Usual;

class IniFileTest : public ostest::StoreDir {
protected:
    void SetUp() override {
        StoreDir::SetUp();
        lib::RegisterSystemClasses();
        path_ = dir_ + "/t.ini";
        ini_ = rt::CreateInstance(rt::Symbol("INIFILE"), std::vector<Usual>{Usual(path_)});
    }
    Usual Call(const char* m, std::initializer_list<Usual> args = {}) { return rt::Send(ini_, m, args); }
    std::string Text() {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string path_;
    Usual ini_;
};

TEST_F(IniFileTest, TypedValuesRoundTrip) {
    EXPECT_EQ(Call("SETINT", {Usual("S"), Usual("n"), Usual(-5)}), Usual(true));
    EXPECT_EQ(Call("SETLOGIC", {Usual("S"), Usual("b"), Usual(true)}), Usual(true));
    EXPECT_EQ(Text(), "[S]\r\nn=-5\r\nb=TRUE\r\n");
    EXPECT_EQ(Call("GETINT", {Usual("S"), Usual("n")}), Usual(-5));
    EXPECT_EQ(Call("GETLOGIC", {Usual("S"), Usual("b")}), Usual(true));
    struct Case {
        const char* value;
        bool logic;
    } cases[] = {{"yEs", true}, {"on", true}, {"1", false}, {"Y", false}, {"TRUEISH", false}};
    for (const Case& c : cases) {
        Call("SETSTRING", {Usual("S"), Usual("v"), Usual(c.value)});
        EXPECT_EQ(Call("GETLOGIC", {Usual("S"), Usual("v")}), Usual(c.logic)) << c.value;
    }
    Call("SETSTRING", {Usual("S"), Usual("v"), Usual("   ")});
    EXPECT_EQ(Call("GETSTRING", {Usual("S"), Usual("v")}), Usual(""));
    Call("SETSTRING", {Usual("S"), Usual("v"), Usual("12ab")});
    EXPECT_EQ(Call("GETINT", {Usual("S"), Usual("v")}), Usual(12));
    EXPECT_EQ(Call("GETINT", {Usual("S"), Usual("missing")}), Usual(0));
    EXPECT_EQ(Call("GETSTRINGUPPER", {Usual("S"), Usual("v")}), Usual("12AB"));
}

TEST_F(IniFileTest, SectionsListDeleteAndCreate) {
    Call("SETSTRING", {Usual("S"), Usual("a"), Usual(" one ")});
    Call("SETSTRING", {Usual("S"), Usual("b"), Usual("two")});
    Usual sec = Call("GETSECTION", {Usual("s")});
    ASSERT_EQ(sec.ALen(), 2u);
    EXPECT_EQ(sec.At(1).At(1), Usual("a"));
    EXPECT_EQ(sec.At(1).At(2), Usual("one"));
    EXPECT_EQ(sec.At(2).At(2), Usual("two"));
    EXPECT_EQ(Call("DELETEENTRY", {Usual("S"), Usual("a")}), Usual(true));
    EXPECT_EQ(Call("GETSECTION", {Usual("S")}).ALen(), 1u);
    EXPECT_EQ(Call("DELETESECTION", {Usual("S")}), Usual(true));
    EXPECT_EQ(Call("GETSECTION", {Usual("S")}).ALen(), 0u);
    // CREATE empties an existing file; "win" is refused and nothing happens.
    Call("SETSTRING", {Usual("S"), Usual("a"), Usual("1")});
    EXPECT_EQ(Call("CREATE"), Usual(true));
    EXPECT_EQ(Text(), "");
    rt::IVarPut(ini_, rt::Symbol("FILENAME"), Usual(" win "));
    EXPECT_EQ(Call("CREATE"), Usual(false));
    EXPECT_EQ(rt::IVarGet(ini_, rt::Symbol("FILENAME")), Usual(" win "));
}

TEST_F(IniFileTest, SectionListsEveryEntryLineAndDeletesMakeNoFile) {
    EXPECT_EQ(Call("DELETEENTRY", {Usual("S"), Usual("a")}), Usual(true));
    EXPECT_EQ(Call("DELETESECTION", {Usual("S")}), Usual(true));
    EXPECT_FALSE(std::filesystem::exists(path_));
    // A repeated name is listed again and reads the first one's value.
    std::ofstream(path_, std::ios::binary) << "[S]\nk=1\nK=2\nj=3\n";
    Usual sec = Call("GETSECTION", {Usual("S")});
    const char* want[][2] = {{"k", "1"}, {"K", "1"}, {"j", "3"}};
    ASSERT_EQ(sec.ALen(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sec.At(i + 1).At(1), Usual(want[i][0]));
        EXPECT_EQ(sec.At(i + 1).At(2), Usual(want[i][1]));
    }
}

}  // namespace
