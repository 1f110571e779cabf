// WinDllVersion: a library that is not loaded stays unloaded and reads 0;
// once loaded, its own DllGetVersion gives the numbers.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "lib/system/library.h"
#include "platform/os/module.h"
#include "platform/runtime/object.h"

namespace {

using rt::Usual;

Usual Version(const char* name) {
    lib::RegisterSystemClasses();
    return rt::CreateInstance(rt::Symbol("WINDLLVERSION"), std::vector<Usual>{Usual(name)});
}

TEST(WinDllVersion, ReadsOnlyLoadedModulesThroughTheirExport) {
    Usual before = Version("QZVERDLL.DLL");
    EXPECT_EQ(rt::IVarGet(before, rt::Symbol("MAJORVERSION")), Usual(0));
    EXPECT_EQ(rt::IVarGet(before, rt::Symbol("ISWINNT")), Usual(false));
    EXPECT_EQ(os::GetModuleHandleA("qzverdll.dll"), 0u);  // still not loaded
    void* lib = ::dlopen(QZ_VERDLL, RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    Usual v = Version("QZVERDLL.DLL");
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("DLL")), Usual("QZVERDLL.DLL"));
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("MAJORVERSION")), Usual(6));
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("MINORVERSION")), Usual(1));
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("BUILD")), Usual(7601));
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("ISWINNT")), Usual(true));
    // A loaded library without the export, and a failed probe, leave the numbers.
    rt::IVarPut(v, rt::Symbol("DLL"), Usual("libc.so.6"));
    EXPECT_NE(os::GetModuleHandleA("libc.so.6"), 0u);
    EXPECT_EQ(rt::IVarGet(v, rt::Symbol("MAJORVERSION")), Usual(6));
    ::dlclose(lib);
}

}  // namespace
