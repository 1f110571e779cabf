#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fs_fixture.h"
#include "support/tmpfs_mount.h"

namespace {

namespace fs = std::filesystem;
using WorkFolder = qztest::FsTest;

// What the program at path prints (the probe prints its work folder).
std::string Output(const std::string& path) {
    std::string out;
    if (FILE* p = ::popen(path.c_str(), "r")) {
        char buf[512];
        while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A copy that can write beside itself keeps its data there; one in a
// read-only folder (a read-only mount as root, who may write anywhere
// else; a folder without write permission otherwise) uses
// $XDG_DATA_HOME/qzscan, made private with the parents it lacked.
TEST_F(WorkFolder, BesideAWritableCopyElseInTheUsersDataFolder) {
    const char* old = std::getenv("QZ_WORKDIR");
    const std::string saved = old ? old : "";
    ::unsetenv("QZ_WORKDIR");
    ::setenv("XDG_DATA_HOME", P("xdg/share").c_str(), 1);

    fs::create_directories(P("portable"));
    fs::copy_file(QZ_WORKDIR_PROBE, P("portable/probe"));
    EXPECT_EQ(Output(P("portable/probe")), P("portable/"));

    qztest::TmpfsMount mount;
    if (::geteuid() == 0) {
        ASSERT_EQ(mount.Mount(P("installed"), 64 << 20), "");
        fs::copy_file(QZ_WORKDIR_PROBE, P("installed/probe"));
        ASSERT_EQ(mount.MakeReadOnly(), "");
    } else {
        fs::create_directories(P("installed"));
        fs::copy_file(QZ_WORKDIR_PROBE, P("installed/probe"));
        fs::permissions(P("installed"), fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_EQ(Output(P("installed/probe")), P("xdg/share/qzscan/"));
    EXPECT_EQ(ModeOf(P("xdg")), 0700u);
    EXPECT_EQ(ModeOf(P("xdg/share/qzscan")), 0700u);

    mount.Unmount();
    std::error_code ec;
    fs::permissions(P("installed"), fs::perms::owner_all, fs::perm_options::add, ec);
    ::unsetenv("XDG_DATA_HOME");
    if (old) ::setenv("QZ_WORKDIR", saved.c_str(), 1);
}

}  // namespace
