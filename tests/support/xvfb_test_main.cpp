// Test entry for GUI tests that need the real window system path: starts an
// X server of its own on a free display (Xvfb -displayfd), runs the tests on
// the xcb platform with the program's resources and the dialog test hooks,
// and ends the server afterwards. Without Xvfb the tests run offscreen.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/app.h"
#include "platform/gui/testhooks.h"
#include "resources/resources.h"

namespace {

// The display number the server reports, or "" when it did not start.
std::string StartXvfb(pid_t& pid) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a crashed test
        ::close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string display;
    char c;
    while (pid > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    ::close(fds[0]);
    return display;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    pid_t server = -1;
    // Listing the tests needs no server.
    std::string display = GTEST_FLAG_GET(list_tests) ? std::string() : StartXvfb(server);
    if (!display.empty()) {
        setenv("DISPLAY", (":" + display).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else if (!GTEST_FLAG_GET(list_tests)) {
        std::fprintf(stderr, "Xvfb did not start (setup/deps.sh installs it): running offscreen\n");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int rc = 0;
    {
        gui::EnsureQtApplication(argc, argv);
        resources::RegisterAll();
        gui::TestHooks::SetOn(true);
        rc = RUN_ALL_TESTS();
    }
    if (server > 0) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    return rc;
}
