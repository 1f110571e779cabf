// A pseudo-terminal standing for a port: the test holds the master side
// (the device end a scanner or printer would drive); the code under test
// opens the slave by path.
#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <string>

struct Pty {
    // raw: the slave without line discipline processing, as a port is;
    // else in a freshly opened tty's settings.
    explicit Pty(bool raw = true) {
        char name[256] = {};
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        if (!raw) return;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    void Send(const std::string& s) const { ASSERT_EQ(write(master, s.data(), s.size()), ssize_t(s.size())); }
    // n bytes from the master, or what came before it ended.
    std::string Take(size_t n) const {
        std::string out;
        while (out.size() < n) {
            char buf[4096];
            const ssize_t r = read(master, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.append(buf, size_t(r));
        }
        return out;
    }
    termios Settings() const {
        termios t{};
        tcgetattr(slave, &t);  // the device's settings, through another open of it
        return t;
    }
    int master = -1, slave = -1;
    std::string path;
};
