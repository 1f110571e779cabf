// TKTask, late-bound: read-back rules, exit codes, a program that does not
// exist, quoted arguments as the child sees them, and the functions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "lib/system/library.h"
#include "lib/system/tktask.h"
#include "platform/os/process.h"
#include "platform/runtime/object.h"

namespace {

using rt::Usual;

class TKTaskTest : public ::testing::Test {
protected:
    void SetUp() override { lib::RegisterSystemClasses(); }
    static Usual New() { return rt::CreateInstance(rt::Symbol("TKTASK")); }
    static Usual Get(const Usual& t, const char* p) { return rt::IVarGet(t, rt::Symbol(p)); }
    static void Put(const Usual& t, const char* p, Usual v) { rt::IVarPut(t, rt::Symbol(p), v); }
    // Waits for the process of a task to end.
    static void WaitFor(const Usual& t) {
        os::HANDLE h = reinterpret_cast<os::HANDLE>(Get(t, "HANDLE").AsPtr().address);
        ASSERT_EQ(os::WaitForSingleObject(h, os::INFINITE), os::WAIT_OBJECT_0);
    }
};

TEST_F(TKTaskTest, NamesReadBackAsTheClassStoresThem) {
    Usual t = New();
    EXPECT_EQ(Get(t, "ISTASK"), Usual(false));
    EXPECT_EQ(Get(t, "RETURNCODE"), Usual(0));
    Put(t, "COMMANDLINE", Usual("/bin/sh -c \"exit 3\""));
    EXPECT_EQ(Get(t, "COMMANDLINE"), Usual("/BIN/SH -C \"EXIT 3\""));
    EXPECT_EQ(Get(t, "TASKNAME"), Usual("/BIN/SH -C \"EXIT 3\""));
    Put(t, "COMMANDLINE", Usual(""));
    Put(t, "COMMANDLINE", Usual());
    Put(t, "TASKNAME", Usual(""));
    EXPECT_EQ(Get(t, "COMMANDLINE"), Usual("/BIN/SH -C \"EXIT 3\""));
    Put(t, "TASKNAME", Usual("Mixed"));
    EXPECT_EQ(Get(t, "TASKNAME"), Usual("Mixed"));
}

TEST_F(TKTaskTest, ExitCodesAsTheClassReportsThem) {
    struct Case {
        const char* cmd;
        bool istask;
        int code;
    } cases[] = {{"/bin/sh -c \"exit 3\"", true, 3}, {"/bin/sh -c \"exit 0\"", false, 0}};
    for (const Case& c : cases) {
        Usual t = New();
        Put(t, "COMMANDLINE", Usual(c.cmd));
        rt::Send(t, "LAUNCH");
        EXPECT_NE(Get(t, "PROCESSID"), Usual(0));
        EXPECT_EQ(Get(t, "THREADID"), Get(t, "TASKID"));
        WaitFor(t);
        EXPECT_EQ(Get(t, "ISTASK"), Usual(c.istask)) << c.cmd;
        EXPECT_EQ(Get(t, "STILLRUNNING"), Usual(c.istask));
        EXPECT_EQ(Get(t, "RETURNCODE"), Usual(c.code));
    }
    Usual running = New();
    Put(running, "COMMANDLINE", Usual("sleep 30"));
    rt::Send(running, "CREATE");
    EXPECT_EQ(Get(running, "RETURNCODE"), Usual(259));
    EXPECT_EQ(Get(running, "RUNNING"), Usual(true));
    ASSERT_TRUE(os::TerminateProcess(reinterpret_cast<os::HANDLE>(Get(running, "HANDLE").AsPtr().address), 0));
    WaitFor(running);
    EXPECT_EQ(Get(running, "ISTASK"), Usual(false));
}

TEST_F(TKTaskTest, AMissingProgramLeavesTheIdsZeroAndKeepsTheText) {
    Usual t = New();
    Put(t, "COMMANDLINE", Usual("qz-no-such-program arg"));
    rt::Send(t, "LAUNCH");
    EXPECT_EQ(Get(t, "PROCESSID"), Usual(0));
    EXPECT_EQ(Get(t, "ISTASK"), Usual(false));
    auto* task = dynamic_cast<lib::TKTask*>(t.AsObject().get());
    EXPECT_EQ(task->ErrorText(), "The system cannot find the file specified.\r");
    // A folder is no program: refused as access denied, by either start.
    for (const char* start : {"LAUNCH", "LAUNCH1"}) {
        Put(t, "COMMANDLINE", Usual("/tmp"));
        rt::Send(t, start);
        EXPECT_EQ(task->ErrorText(), "Access is denied.\r") << start;
    }
    // LAUNCH1 starts the task name as the program, so after a COMMANDLINE
    // assign it looks for the whole line as one name.
    Put(t, "COMMANDLINE", Usual("/bin/true now"));
    rt::Send(t, "LAUNCH1");
    EXPECT_EQ(Get(t, "PROCESSID"), Usual(0));
    Put(t, "TASKNAME", Usual("/bin/true"));
    rt::Send(t, "LAUNCH1");
    EXPECT_NE(Get(t, "PROCESSID"), Usual(0));
    WaitFor(t);
    EXPECT_EQ(Get(t, "RETURNCODE"), Usual(0));
}

TEST_F(TKTaskTest, TheChildGetsItsQuotedArgumentsInTheirCase) {
    char tmpl[] = "/tmp/qzargs_XXXXXX";
    ::close(::mkstemp(tmpl));
    Usual t = New();
    Put(t, "COMMANDLINE", Usual(std::string(QZ_OS_CHILD) + " argv " + tmpl + R"( "Two Words" a\"b "C:\Dir\\" plain)"));
    rt::Send(t, "LAUNCH");
    WaitFor(t);
    EXPECT_EQ(Get(t, "RETURNCODE"), Usual(0));
    std::ifstream in(tmpl);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "Two Words\na\"b\nC:\\Dir\\\nplain\n");
    ::unlink(tmpl);
}

TEST_F(TKTaskTest, HandlesAreClosedByANewStartAndByAxit) {
    Usual t = New();
    Put(t, "COMMANDLINE", Usual("/bin/true"));
    rt::Send(t, "LAUNCH");
    WaitFor(t);
    auto first = reinterpret_cast<os::HANDLE>(Get(t, "HANDLE").AsPtr().address);
    rt::Send(t, "LAUNCH");
    WaitFor(t);
    os::DWORD code = 0;
    EXPECT_FALSE(os::GetExitCodeProcess(first, &code));
    auto second = reinterpret_cast<os::HANDLE>(Get(t, "HANDLE").AsPtr().address);
    EXPECT_TRUE(os::GetExitCodeProcess(second, &code));
    // A failed start keeps the last process's handle and ids.
    Put(t, "COMMANDLINE", Usual("qz-no-such-program"));
    rt::Send(t, "LAUNCH");
    EXPECT_TRUE(os::GetExitCodeProcess(second, &code));
    rt::Send(t, "AXIT");
    EXPECT_FALSE(os::GetExitCodeProcess(second, &code));
}

TEST_F(TKTaskTest, FunctionsAreFoundBySymbol) {
    const auto* make = lib::FindSystemFunction("makelangid");
    ASSERT_NE(make, nullptr);
    std::vector<Usual> args{Usual(9), Usual(1)};
    EXPECT_EQ(make->call(args), Usual(0x409));
    os::SetLastError(2);
    EXPECT_EQ(lib::FindSystemFunction("LASTPROCERRORASTEXT")->call({}),
              Usual("The system cannot find the file specified.\r"));
    os::SetLastError(987654);
    EXPECT_EQ(lib::LASTPROCERRORASTEXT(), "");
}

}  // namespace
