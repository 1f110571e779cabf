// Shared pieces of the OS-service tests: a fresh registry store folder per
// test, and child processes.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

inline pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

inline int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace ostest
