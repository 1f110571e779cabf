// Processes and system messages: command-line splitting, the search for a
// program, exit codes, open files kept from the child, message texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os_fixture.h"
#include "platform/os/message.h"
#include "platform/os/process.h"
#include "thread_names.h"

namespace {

using namespace os;

TEST(CommandLine, SplitsByTheCRuntimeRules) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {R"(prog a b)", {"prog", "a", "b"}},
        {R"("C:\Program Files\x.exe" "two words" plain)", {R"(C:\Program Files\x.exe)", "two words", "plain"}},
        {R"(p a\\b \"q\" "a\\" x)", {"p", R"(a\\b)", R"("q")", R"(a\)", "x"}},
        {R"(p "a""b" \\\"c)", {"p", R"(a"b)", R"(\"c)"}},
        {"p   \t spaced  ", {"p", "spaced"}},
        {R"(p "")", {"p", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(CommandLineToArgs(c.line), c.args) << c.line;
}

// Starts a command line and returns at once: 0, or the failure code.
DWORD RunLineNoWait(const std::string& cmdLine, PROCESS_INFORMATION* pi) {
    std::vector<char> buf(cmdLine.begin(), cmdLine.end());
    buf.push_back('\0');
    STARTUPINFOA si;
    si.cb = sizeof si;
    return CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE_, 0, nullptr, nullptr, &si, pi) ? 0
                                                                                                       : GetLastError();
}

DWORD RunLine(const std::string& cmdLine, PROCESS_INFORMATION* pi = nullptr) {
    PROCESS_INFORMATION local;
    if (const DWORD failed = RunLineNoWait(cmdLine, &local)) return 1000 + failed;
    EXPECT_EQ(WaitForSingleObject(local.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(local.hProcess, &code));
    if (pi) *pi = local;
    else {
        CloseHandle(local.hProcess);
        CloseHandle(local.hThread);
    }
    return code;
}

TEST(Process, ExitCodesAndStartFailures) {
    EXPECT_EQ(RunLine("/bin/sh -c \"exit 3\""), 3u);
    EXPECT_EQ(RunLine("sh -c \"exit 0\""), 0u);  // found on PATH
    EXPECT_EQ(RunLine("qz-no-such-program --x"), 1000u + ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RunLine("/no/such/dir/prog"), 1000u + ERROR_PATH_NOT_FOUND);
    char tmpl[] = "/tmp/qzexe_XXXXXX";
    int fd = ::mkstemp(tmpl);
    ASSERT_EQ(::write(fd, "no program\n", 11), 11);
    ::close(fd);
    ::chmod(tmpl, 0644);
    EXPECT_EQ(RunLine(tmpl), 1000u + ERROR_ACCESS_DENIED);
    ::chmod(tmpl, 0755);
    EXPECT_EQ(RunLine(tmpl), 1000u + ERROR_BAD_EXE_FORMAT);
    ::unlink(tmpl);
    // While it runs: STILL_ACTIVE; terminated: the code asked for.
    std::vector<char> cmd{'s', 'l', 'e', 'e', 'p', ' ', '3', '0', '\0'};
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE_, 0, nullptr, nullptr, &si, &pi));
    EXPECT_NE(pi.dwProcessId, 0u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 7));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, &code));
}

TEST(Process, TheChildInheritsNoOpenFile) {
    char tmpl[] = "/tmp/qzfds_XXXXXX";
    int mine = ::mkstemp(tmpl);  // without close-on-exec, on purpose
    ASSERT_GE(mine, 0);
    std::string out = std::string(tmpl) + ".out";
    EXPECT_EQ(RunLine(std::string(QZ_OS_CHILD) + " fds " + out), 0u);
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "");
    ::close(mine);
    ::unlink(tmpl);
    ::unlink(out.c_str());
}

TEST(Message, SystemTextsAndFailures) {
    char buf[255];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, MakeLangId(LANG_NEUTRAL, SUBLANG_DEFAULT), buf,
                             sizeof buf, nullptr);
    EXPECT_EQ(std::string(buf, n), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(MakeLangId(0, 1), 0x400);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 987654, 0, buf, sizeof buf, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buf, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, MakeLangId(7, 1), buf, sizeof buf, nullptr), 0u);
}

TEST(Process, OneReaperCollectsEveryChildAndTheProgramEndsWithoutWaitingForThem) {
    EXPECT_EQ(RunLine("/bin/sh -c \"exit 4\""), 4u);
    EXPECT_EQ(RunLine("/bin/sh -c \"exit 5\""), 5u);
    EXPECT_EQ(ThreadsNamed("qz-reaper"), 1) << "not a thread per child";

    // A child still running at exit is left to run; the reaper is stopped
    // and joined at once rather than waiting for it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            PROCESS_INFORMATION pi;
            // Its output goes elsewhere: the test waits for the pipe it inherits to close.
            const DWORD started = RunLineNoWait("/bin/sh -c \"exec sleep 12 >/dev/null 2>&1\"", &pi);
            std::exit(started == 0 ? 0 : 2);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
}

}  // namespace
