// The POSIX file layer on real files: what a replace keeps of its target,
// what it refuses as an unprivileged user, a full disk, a failed folder
// sync, and appenders in two processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "fs_fixture.h"
#include "platform/runtime/posixfile.h"

using namespace rt;
using qztest::InChild;
using qztest::kCannotSetUp;
using qztest::MountPrivateTmpfs;
namespace fs = std::filesystem;

namespace {

using AtomicReplaceTest = qztest::FsTest;
using AppendTest = qztest::FsTest;

// Whether a temporary file of a replace (a name with a leading dot) is left.
bool TempLeft(const std::string& dir) {
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().front() == '.') return true;
    return false;
}

struct stat Stat(const std::string& path) {
    struct stat st = {};
    ::stat(path.c_str(), &st);
    return st;
}

TEST_F(AtomicReplaceTest, KeepsWhatTheTargetIs) {
    struct Case {
        const char* name;
        std::function<void()> setup;
        bool inPlace;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"a new file gets 0666 less the umask", [] {}, false,
         [&] { EXPECT_EQ(Stat(P("t")).st_mode & 0777, 0666 & ~ProcessUmask()); }},
        {"a file keeps its mode",
         [&] {
             Write("t", "old");
             ::chmod(P("t").c_str(), 0640);
         },
         false, [&] { EXPECT_EQ(Stat(P("t")).st_mode & 0777, 0640u); }},
        {"a link stays a link",
         [&] {
             Write("real/f", "old");
             fs::create_symlink("real/f", P("t"));
         },
         false,
         [&] {
             EXPECT_TRUE(fs::is_symlink(P("t")));
             EXPECT_EQ(Read("real/f"), "new");
         }},
        {"a link to nothing makes the file it names", [&] { fs::create_symlink("made", P("t")); }, false,
         [&] {
             EXPECT_TRUE(fs::is_symlink(P("t")));
             EXPECT_EQ(Read("made"), "new");
         }},
        {"hard links stay one file",
         [&] {
             Write("t", "old");
             fs::create_hard_link(P("t"), P("u"));
         },
         true,
         [&] {
             EXPECT_EQ(Read("u"), "new");
             EXPECT_EQ(fs::hard_link_count(P("t")), 2u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_);
        fs::create_directories(root_);
        c.setup();
        ReplaceResult r = AtomicReplace(P("t"), "new");
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.inPlace, c.inPlace);
        EXPECT_EQ(Read("t"), "new");
        c.check();
        EXPECT_FALSE(TempLeft(root_));
    }
}

// Permission bits bind only a user without privileges: each case runs as
// nobody on a file nobody owns (unless rootOwned) in folder d.
TEST_F(AtomicReplaceTest, AsNobodyRefusesWhatCannotBeWrittenInPlace) {
    struct Case {
        const char* name;
        mode_t folder, file;  // file 0: there is none
        bool rootOwned;
        int err;
        bool inPlace;
    };
    const Case cases[] = {
        {"a read-only file", 0777, 0444, false, EACCES, false},
        {"a read-only file in a read-only folder", 0555, 0444, false, EACCES, false},
        {"a new file in a read-only folder", 0555, 0, false, EACCES, false},
        {"a writable file in a read-only folder", 0555, 0666, false, 0, true},
        {"another user's writable file keeps its owner", 0777, 0666, true, 0, true},
    };
    if (::geteuid() != 0) GTEST_SKIP() << "cannot drop to an unprivileged user here";
    ::chmod(root_.c_str(), 0755);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(P("d"));
        fs::create_directories(P("d"));
        if (c.file != 0) {
            Write("d/t", "old");
            if (!c.rootOwned && ::chown(P("d/t").c_str(), 65534, 65534) != 0) FAIL() << "cannot give the file away";
            ::chmod(P("d/t").c_str(), c.file);
        }
        ::chmod(P("d").c_str(), c.folder);
        int r = InChild([&] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) return kCannotSetUp;
            ReplaceResult res = AtomicReplace(P("d/t"), "new");
            return res.err != c.err ? 1 : res.inPlace != c.inPlace ? 2 : 0;
        });
        ::chmod(P("d").c_str(), 0755);
        if (r == kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user here";
        EXPECT_EQ(r, 0);
        if (c.file != 0) {
            EXPECT_EQ(Read("d/t"), c.err ? "old" : "new");
            EXPECT_EQ(Stat(P("d/t")).st_uid, c.rootOwned ? 0u : 65534u);
        }
        EXPECT_FALSE(TempLeft(P("d")));
    }
}

TEST_F(AtomicReplaceTest, FullDiskIsReportedAndTheOldFileKept) {
    fs::create_directories(P("small"));
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "rewritten in place" : "renamed over");
        int r = InChild([&] {
            if (!MountPrivateTmpfs(P("small"), "size=64k")) return kCannotSetUp;
            Write("small/t", "old");
            if (linked) fs::create_hard_link(P("small/t"), P("small/u"));
            std::ofstream fill(P("small/filler"), std::ios::binary);
            std::string block(4096, '\0');
            while (fill.write(block.data(), static_cast<std::streamsize>(block.size()))) fill.flush();
            ReplaceResult res = AtomicReplace(P("small/t"), std::string(100000, 'n'));
            if (res.err != ENOSPC || res.replaced) return 1;
            if (Read("small/t") != "old") return 2;
            return TempLeft(P("small")) ? 3 : 0;
        });
        if (r == kCannotSetUp) GTEST_SKIP() << "no private mount namespace here (needs root)";
        EXPECT_EQ(r, 0);
    }
}

TEST_F(AtomicReplaceTest, FolderSyncFailureIsReported) {
    Write("t", "old");
    testseam::FailNextFolderSync(EIO);
    ReplaceResult r = AtomicReplace(P("t"), "new");
    EXPECT_EQ(r.err, EIO);
    EXPECT_EQ(r.step, ReplaceStep::kFolderSync);
    EXPECT_TRUE(r.replaced);  // in place, only not known to be durable
    EXPECT_EQ(Read("t"), "new");
}

// A content made while it is written: every piece lands in order, past
// the few megabytes after which the disk is started on the file, in a new
// file and in a rewrite in place (two hard links); a producer that stops
// leaves the old content and no temporary file.
TEST_F(AtomicReplaceTest, StreamedContentLandsWholeOrNotAtAll) {
    const std::string piece(700 * 1024, 'x');
    auto fourPieces = [&](const ReplaceSink& sink) {
        for (char c : {'a', 'b', 'c', 'd'})
            if (int err = sink(std::string(1, c) + piece)) return err;
        return 0;
    };
    const std::string whole = "a" + piece + "b" + piece + "c" + piece + "d" + piece;
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "rewritten in place" : "renamed over");
        fs::remove_all(root_);
        fs::create_directories(root_);
        Write("t", "old");
        if (linked) fs::create_hard_link(P("t"), P("u"));
        ReplaceResult r = AtomicReplaceStreamed(P("t"), fourPieces);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.inPlace, linked);
        EXPECT_TRUE(Read("t") == whole);

        Write("t", "old");
        r = AtomicReplaceStreamed(P("t"), [](const ReplaceSink& sink) { return sink("part") ? 1 : 42; });
        EXPECT_EQ(r.step, ReplaceStep::kProduce);
        EXPECT_EQ(r.err, 42);
        EXPECT_EQ(Read("t"), "old");
        EXPECT_FALSE(TempLeft(root_));
    }
}

TEST_F(AppendTest, TwoProcessesLoseAndInterleaveNothing) {
    constexpr int kRecords = 2000;
    auto record = [](int who, int n) {
        return std::string(1, static_cast<char>('a' + who)) + std::to_string(n) +
               std::string(static_cast<size_t>(n % 300), static_cast<char>('a' + who));
    };
    pid_t pids[2];
    for (int who = 0; who < 2; ++who) {
        pids[who] = ::fork();
        if (pids[who] != 0) continue;
        Fd fd = OpenForAppend(P("log"));
        for (int n = 0; n < kRecords; ++n)
            if (!AppendRecord(fd.Get(), record(who, n) + "\n").Ok()) ::_exit(1);
        ::_exit(0);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream in(Read("log"));
    int next[2] = {0, 0};
    for (std::string line; std::getline(in, line);) {
        int who = line.empty() ? -1 : line[0] - 'a';
        ASSERT_TRUE(who == 0 || who == 1) << line;
        ASSERT_EQ(line, record(who, next[who]++));
    }
    EXPECT_EQ(next[0], kRecords);
    EXPECT_EQ(next[1], kRecords);
}

}  // namespace
