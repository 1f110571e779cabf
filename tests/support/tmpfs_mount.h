// A small tmpfs mounted for one test: a real full or read-only file system.
// Mounting needs root; a test that cannot have one skips with the reason.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace qztest {

class TmpfsMount {
public:
    TmpfsMount() = default;
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    ~TmpfsMount() { Unmount(); }

    // Mounts a tmpfs of `bytes` at dir (made when missing). "" on success,
    // else why it could not be had.
    std::string Mount(const std::string& dir, size_t bytes) {
        if (::geteuid() != 0) return "not running as root, so no file system can be mounted";
        std::filesystem::create_directories(dir);
        std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return std::string("mounting a tmpfs failed: ") + std::strerror(errno);
        dir_ = dir;
        options_ = options;
        return {};
    }

    // Makes the mounted file system read-only; "" on success.
    std::string MakeReadOnly() {
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, options_.c_str()) != 0)
            return std::string("remounting read-only failed: ") + std::strerror(errno);
        return {};
    }

    // Writes a file of zeros until the file system is full; returns its path.
    std::string Fill(const std::string& name = "filler") {
        std::string path = dir_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        std::string block(512, '\0');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) out.flush();
        return path;
    }

    void Unmount() {
        if (dir_.empty()) return;
        ::umount2(dir_.c_str(), MNT_DETACH);
        dir_.clear();
    }

    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    std::string options_;
};

}  // namespace qztest

// Skips the test, with the reason, when a mount (an expression giving ""
// on success, else why not) could not be made.
#define NEED_MOUNT(expr)                         \
    do {                                         \
        std::string why_ = (expr);               \
        if (!why_.empty()) GTEST_SKIP() << why_; \
    } while (0)
