// Shared pieces of the OS-service tests: a fresh registry store folder per
// test, and child processes.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/registry.h"

extern char** environ;

namespace ostest {

class StoreDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qzos_XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        SetDir(dir_ + "/reg");
    }
    void TearDown() override {
        os::RegCloseStores();
        ::unsetenv("QZ_REGISTRY_DIR");
        std::filesystem::remove_all(dir_);
    }
    void SetDir(const std::string& d) {
        os::RegCloseStores();
        ::setenv("QZ_REGISTRY_DIR", d.c_str(), 1);
    }
    std::string dir_;
};

// Starts a program; with ownGroup in a process group of its own (a server
// that signals its whole group on exit then reaches only itself).
inline pid_t Spawn(const std::vector<std::string>& args, bool ownGroup = false) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (ownGroup) {
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    }
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

inline int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a program to its end with no input: its exit code, and its output
// and errors in *output.
inline int RunCaptured(const std::vector<std::string>& args, std::string* output) {
    std::string cmd;
    for (const std::string& a : args) {
        cmd += " '";
        for (char c : a) cmd += c == '\'' ? std::string("'\\''") : std::string(1, c);
        cmd += "'";
    }
    FILE* p = ::popen((cmd + " </dev/null 2>&1").c_str(), "r");
    output->clear();
    for (int c; p != nullptr && (c = std::fgetc(p)) != EOF;) *output += static_cast<char>(c);
    int status = p != nullptr ? ::pclose(p) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ostest
