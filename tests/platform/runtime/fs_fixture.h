// A scratch directory tree for path and file tests, restoring the current
// directory, QZ_DRIVES, the drive map and the default directory afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"

namespace qztest {

class FsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qzfs.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = std::filesystem::canonical(tmpl).string();
        cwd_ = std::filesystem::current_path().string();
        if (const char* d = std::getenv("QZ_DRIVES")) drives_ = d;
        defaultDir_ = rt::GetDefaultDir();
    }
    void TearDown() override {
        std::filesystem::current_path(cwd_);
        if (drives_) ::setenv("QZ_DRIVES", drives_->c_str(), 1);
        else ::unsetenv("QZ_DRIVES");
        rt::ReloadDriveMap();
        rt::SetDefaultDir(defaultDir_);
        std::error_code ec;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root_, ec);
    }

    // Native path below the scratch directory.
    std::string P(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }

    void Write(const std::string& rel, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(P(rel)).parent_path());
        std::ofstream(P(rel), std::ios::binary) << content;
    }
    std::string Read(const std::string& rel) const {
        std::ifstream in(P(rel), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void SetDrives(const std::string& map) const {
        ::setenv("QZ_DRIVES", map.c_str(), 1);
        rt::ReloadDriveMap();
    }

    std::string root_;

private:
    std::string cwd_;
    std::optional<std::string> drives_;
    std::optional<std::string> defaultDir_;
};

// Runs fn in a child process; its return value is the exit status (-1 when
// the child did not exit normally).
inline int InChild(const std::function<int()>& fn) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(fn());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The exit status of a child that could not set up what its test needs.
constexpr int kCannotSetUp = 99;

// In a child with its own mount namespace, a tmpfs mounted at dir with the
// given options; false when this process may not do that.
inline bool MountPrivateTmpfs(const std::string& dir, const char* options, unsigned long flags = 0) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
}

}  // namespace qztest
