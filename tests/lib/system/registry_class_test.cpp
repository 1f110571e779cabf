// _CLASS_REGISTRY and its subclasses, called late-bound as a script would.
#include <gtest/gtest.h>

#include <string>

#include "lib/system/library.h"
#include "lib/system/registry.h"
#include "os_fixture.h"
#include "platform/runtime/object.h"

namespace {

using rt::Usual;

class RegistryClass : public ostest::StoreDir {
protected:
    void SetUp() override {
        StoreDir::SetUp();
        lib::RegisterSystemClasses();
    }
    Usual Make(const char* cls) { return rt::CreateInstance(rt::Symbol(cls)); }
    Usual Call(const Usual& o, const char* m, std::initializer_list<Usual> args = {}) { return rt::Send(o, m, args); }
};

TEST_F(RegistryClass, PathsAreNormalisedAndJoined) {
    Usual r = Make("_CLASS_REGISTRY");
    struct Case {
        const char* working;
        const char* arg;
        const char* stored;
        const char* full;
    } cases[] = {
        {"  \\Software\\QZ\\\\ ", "Sub", "Software\\QZ", "Software\\QZ\\Sub"},
        {"\\", " \\Sub\\ ", "\\", "Sub"},  // a lone backslash stays but counts as empty
        {"\\", "", "\\", ""},
        {"Software", "", "Software", "Software"},
        {"Software", "\\", "Software", "Software"},
        {"", "  A\\B  ", "", "A\\B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::IVarPut(r, rt::Symbol("WORKING_SUBKEY"), Usual(c.working)), Usual(c.stored));
        EXPECT_EQ(rt::IVarGet(r, rt::Symbol("WORKING_SUBKEY")), Usual(c.stored));
        EXPECT_EQ(Call(r, "BUILD_FULL_SUBKEY", {Usual(c.arg)}), Usual(c.full)) << c.working << "|" << c.arg;
    }
}

TEST_F(RegistryClass, HkeyAcceptsOnlyPredefinedRootsAndSubclassesKeepTheirs) {
    Usual r = Make("_CLASS_REGISTRY");
    EXPECT_EQ(rt::IVarGet(r, rt::Symbol("HKEY")), Usual(0x80000002LL));
    struct Case {
        long long in, out;
    } cases[] = {{0x80000000LL, 0x80000000LL},
                 {0x80000003LL, 0x80000003LL},
                 {0x80000006LL, 0x80000006LL},
                 {0x80000004LL, 0x80000002LL},
                 {42, 0x80000002LL}};
    for (const Case& c : cases) EXPECT_EQ(rt::IVarPut(r, rt::Symbol("HKEY"), Usual(c.in)), Usual(c.out));
    Usual cu = Make("CLASS_HKCU");
    EXPECT_EQ(rt::IVarPut(cu, rt::Symbol("HKEY"), Usual(0x80000002LL)), Usual(0x80000001LL));
    EXPECT_EQ(rt::IVarGet(Make("CLASS_HKCR"), rt::Symbol("HKEY")), Usual(0x80000000LL));
    EXPECT_EQ(rt::IVarGet(Make("CLASS_HKLM"), rt::Symbol("HKEY")), Usual(0x80000002LL));
}

TEST_F(RegistryClass, ReadsWritesAndCodes) {
    Usual r = Make("CLASS_HKCU");
    rt::IVarPut(r, rt::Symbol("WORKING_SUBKEY"), Usual("Software\\QZTest"));
    EXPECT_EQ(Call(r, "WRITESTRING", {Usual("App"), Usual("Name"), Usual("scanner  ")}), Usual(0));
    EXPECT_EQ(Call(r, "GETSTRING", {Usual("App"), Usual("Name")}), Usual("scanner"));
    EXPECT_EQ(Call(r, "WRITEINT", {Usual("App"), Usual("Count"), Usual(-7)}), Usual(0));
    EXPECT_EQ(Call(r, "GETINT", {Usual("App"), Usual("Count")}), Usual(-7));
    // A DWORD read as text, and a missing value.
    EXPECT_EQ(Call(r, "GETSTRING", {Usual("App"), Usual("Count")}), Usual(""));
    EXPECT_EQ(Call(r, "GETSTRING", {Usual("App"), Usual("Missing")}), Usual(""));
    EXPECT_EQ(rt::IVarGet(r, rt::Symbol("LASTERROR")), Usual(2));
    EXPECT_EQ(Call(r, "GETINT", {Usual("Nowhere"), Usual("Count")}), Usual(0));
    EXPECT_EQ(rt::IVarGet(r, rt::Symbol("LASTERROR")), Usual(2));
    // Subkey names, not value names.
    EXPECT_EQ(Call(r, "CREATEKEY", {Usual("App\\Beta")}), Usual(0));
    EXPECT_EQ(Call(r, "CREATESUBKEY", {Usual("App\\alpha")}), Usual(0));
    Usual names = Call(r, "GET_SUBKEY_VALUENAMES", {Usual("App")});
    ASSERT_EQ(names.ALen(), 2u);
    EXPECT_EQ(names.At(1), Usual("alpha"));
    EXPECT_EQ(names.At(2), Usual("Beta"));
    EXPECT_EQ(Call(r, "GET_SUBKEY_VALUENAMES", {Usual("App\\Beta")}).ALen(), 0u);
    EXPECT_EQ(rt::IVarGet(r, rt::Symbol("LASTERROR")), Usual(0));
    EXPECT_EQ(Call(r, "DELETESUBKEY", {Usual("App")}), Usual(5));  // has subkeys
    EXPECT_EQ(Call(r, "DELETEVALUE", {Usual("App"), Usual("Name")}), Usual(0));
    EXPECT_EQ(Call(r, "DELETEVALUENAME", {Usual("App"), Usual("Name")}), Usual(2));
    EXPECT_EQ(Call(r, "FLUSH"), Usual(0));
}

TEST_F(RegistryClass, LongTextsAreCutOnWritingAndTooLongValuesReadEmpty) {
    Usual r = Make("CLASS_HKLM");
    std::string text(3000, 'x');
    EXPECT_EQ(Call(r, "WRITESTRING", {Usual("SOFTWARE\\QZ"), Usual("Long"), Usual(text)}), Usual(0));
    EXPECT_EQ(Call(r, "GETSTRING", {Usual("SOFTWARE\\QZ"), Usual("Long")}), Usual(std::string(2046, 'x')));
    // Written past the class, a value the 2048-byte buffer cannot hold.
    os::HKEY k = 0;
    ASSERT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE, "SOFTWARE\\QZ", 0, os::KEY_SET_VALUE, &k), 0);
    ASSERT_EQ(os::RegSetValueExA(k, "Huge", 0, os::REG_SZ, reinterpret_cast<const os::BYTE*>(text.c_str()), 3001), 0);
    os::RegCloseKey(k);
    EXPECT_EQ(Call(r, "GETSTRING", {Usual("SOFTWARE\\QZ"), Usual("Huge")}), Usual(""));
    EXPECT_EQ(rt::IVarGet(r, rt::Symbol("LASTERROR")), Usual(234));
}

}  // namespace
