#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fs_fixture.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"

using namespace rt;
using qztest::FsTest;
using qztest::InChild;
using qztest::kCannotSetUp;
using qztest::MountPrivateTmpfs;

namespace {

using FileErrors = FsTest;
using FileShare = FsTest;
using FileHandles = FsTest;
using FileWhole = FsTest;

TEST_F(FileErrors, MissingFileMissingPathAndBadHandle) {
    EXPECT_EQ(FOpen(P("nope.txt")), -1);
    EXPECT_EQ(FError(), kOsFileNotFound);
    EXPECT_EQ(FOpen(P("nodir/nope.txt")), -1);
    EXPECT_EQ(FError(), kOsPathNotFound);
    EXPECT_EQ(FCreate(P("nodir/new.txt")), -1);
    EXPECT_EQ(FError(), kOsPathNotFound);
    EXPECT_FALSE(FClose(12345));
    EXPECT_EQ(FError(), kOsInvalidHandle);
    EXPECT_FALSE(FClose(0));  // not ours: stdin stays open
    EXPECT_EQ(FError(), kOsInvalidHandle);
    EXPECT_EQ(FOpen(P(""), kFoRead), -1);  // a directory is not a file
    EXPECT_EQ(FError(), kOsAccessDenied);
    EXPECT_EQ(FOpen(P("x"), 0x03), -1);
    EXPECT_EQ(FError(), kOsInvalidAccess);

    SetDrives("C=" + root_);
    EXPECT_EQ(FOpen("E:\\x.txt"), -1);  // a drive outside the map
    EXPECT_EQ(FError(), kOsPathNotFound);
    int h = FCreate("C:\\made.txt");
    ASSERT_GE(h, 0);
    EXPECT_EQ(FError(), 0);  // success clears the error
    EXPECT_TRUE(FClose(h));
    EXPECT_TRUE(std::filesystem::exists(P("made.txt")));
}

TEST_F(FileErrors, PermissionDeniedIsFive) {
    Write("secret.txt", "s");
    ::chmod(P("secret.txt").c_str(), 0600);
    ::chmod(root_.c_str(), 0755);
    std::filesystem::create_directories(P("locked"));
    ::chmod(P("locked").c_str(), 0700);
    int r = InChild([&] {
        // Permission bits bind only a user without privileges.
        const bool privileged = ::geteuid() == 0;
        if (privileged && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return kCannotSetUp;
        if (!privileged) {
            ::chmod(P("secret.txt").c_str(), 0);
            ::chmod(root_.c_str(), 0555);
        }
        if (FOpen(P("secret.txt")) != -1) return 1;
        if (FError() != kOsAccessDenied) return 2;
        if (FCreate(P("new.txt")) != -1 || FError() != kOsAccessDenied) return 3;
        if (!privileged && ::chmod(P("locked").c_str(), 0) != 0) return 4;
        if (DirChange(P("locked")) != kOsAccessDenied) return 5;
        return 0;
    });
    if (r == kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user here";
    EXPECT_EQ(r, 0);
}

TEST_F(FileErrors, ReadOnlyFileSystemIsAccessDenied) {
    std::filesystem::create_directories(P("ro"));
    int r = InChild([&] {
        if (!MountPrivateTmpfs(P("ro"), "size=64k", MS_RDONLY)) return kCannotSetUp;
        if (FCreate(P("ro/x.txt")) != -1) return 1;
        return FError() == kOsAccessDenied ? 0 : 2;
    });
    if (r == kCannotSetUp) GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(r, 0);
}

TEST_F(FileShare, ModesWithinOneProcess) {
    Write("t.dbf", "content");
    const std::string f = P("t.dbf");
    struct Case {
        int first, second;
        bool secondOk;
    };
    const Case cases[] = {
        {kFoRead | kFoDenyNone, kFoReadWrite | kFoDenyNone, true},
        {kFoRead | kFoCompat, kFoReadWrite | kFoCompat, true},  // compatibility = deny none
        {kFoReadWrite | kFoExclusive, kFoRead | kFoDenyNone, false},
        {kFoRead | kFoDenyNone, kFoRead | kFoExclusive, false},  // the newcomer's deny counts too
        {kFoRead | kFoDenyWrite, kFoRead | kFoDenyWrite, true},
        {kFoRead | kFoDenyWrite, kFoWrite, false},
        {kFoWrite, kFoRead | kFoDenyWrite, false},  // a write-only holder still counts
        {kFoWrite, kFoRead | kFoDenyRead, true},
        {kFoRead | kFoDenyRead, kFoWrite, true},
        {kFoRead | kFoDenyRead, kFoRead, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "first 0x" << c.first << " second 0x" << c.second);
        int a = FOpen(f, c.first);
        ASSERT_GE(a, 0);
        int b = FOpen(f, c.second);
        EXPECT_EQ(b >= 0, c.secondOk);
        if (b >= 0) FClose(b);
        else EXPECT_EQ(FError(), kOsSharingViolation);
        FClose(a);
    }

    // While a file is held exclusively, nothing may replace, delete or move it.
    int h = FOpen(f, kFoReadWrite | kFoExclusive);
    ASSERT_GE(h, 0);
    EXPECT_EQ(FCreate(P("T.DBF")), -1);
    EXPECT_EQ(FError(), kOsSharingViolation);
    EXPECT_FALSE(FErase(f));
    EXPECT_EQ(FError(), kOsSharingViolation);
    EXPECT_FALSE(FRename(f, P("u.dbf")));
    EXPECT_EQ(FError(), kOsSharingViolation);
    Write("other.txt", "other");
    EXPECT_FALSE(FCopy(P("other.txt"), f));
    EXPECT_EQ(FError(), kOsSharingViolation);
    EXPECT_EQ(Read("t.dbf"), "content");  // refused before anything was truncated
    FClose(h);
    int again = FOpen(f, kFoRead | kFoExclusive);  // closing released the locks
    EXPECT_GE(again, 0);
    FClose(again);
}

TEST_F(FileShare, ConflictsWithAnotherProcess) {
    Write("t.dbf", "x");
    const std::string f = P("t.dbf");
    int h = FOpen(f, kFoReadWrite | kFoExclusive);
    ASSERT_GE(h, 0);
    int r = InChild([&] { return FOpen(f, kFoRead | kFoDenyNone) == -1 ? FError() : 0; });
    EXPECT_EQ(r, kOsSharingViolation);
    FClose(h);

    // The child holds the file deny-write until told to let go.
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        int ch = FOpen(f, kFoRead | kFoDenyWrite);
        char b = ch >= 0 ? 'y' : 'n';
        (void)!::write(ready[1], &b, 1);
        (void)!::read(go[0], &b, 1);
        ::_exit(0);
    }
    char b = 0;
    ASSERT_EQ(::read(ready[0], &b, 1), 1);
    ASSERT_EQ(b, 'y');
    EXPECT_EQ(FOpen(f, kFoWrite), -1);
    EXPECT_EQ(FError(), kOsSharingViolation);
    int rd = FOpen(f, kFoRead);
    EXPECT_GE(rd, 0);
    FClose(rd);
    (void)!::write(go[1], "x", 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    int wr = FOpen(f, kFoWrite);  // the child's end released its locks
    EXPECT_GE(wr, 0);
    FClose(wr);
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
}

TEST_F(FileHandles, PutSGetSRoundTripWithCrLf) {
    int h = FCreate(P("lines.txt"));
    ASSERT_GE(h, 0);
    EXPECT_EQ(FPutS(h, "alpha"), 7u);
    FPutS(h, "");
    FPutS3(h, "beta gamma and more", 10);
    FWrite(h, "unix\nABCDEFGH\r\nABCDE\r\nlast");
    ASSERT_TRUE(FRewind(h));
    EXPECT_EQ(FGetS(h), "alpha");
    EXPECT_EQ(FGetS(h), "");
    EXPECT_EQ(FGetS(h), "beta gamma");
    EXPECT_EQ(FGetS(h), "unix");
    EXPECT_EQ(FGetS(h, 5), "ABCDE");  // a long line comes in pieces
    EXPECT_EQ(FGetS(h, 5), "FGH");
    EXPECT_EQ(FGetS(h, 5), "ABCDE");  // exactly max: its CR LF is consumed with it
    EXPECT_FALSE(FEof(h));
    EXPECT_EQ(FGetS(h, 5), "last");
    EXPECT_TRUE(FEof(h));
    EXPECT_EQ(FGetS(h), "");
    EXPECT_EQ(FError(), 0);
    FClose(h);
    EXPECT_EQ(Read("lines.txt"), "alpha\r\n\r\nbeta gamma\r\nunix\nABCDEFGH\r\nABCDE\r\nlast");
}

TEST_F(FileHandles, SeekReadAndWritePositions) {
    int h = FCreate(P("s.bin"));
    ASSERT_GE(h, 0);
    EXPECT_EQ(FWrite(h, std::string("0123456789"), 4), 4u);
    EXPECT_EQ(FSeek(h, 0, 2), 4);
    EXPECT_EQ(FSeek(h, -10, 1), -1);  // before the start: refused, position kept
    EXPECT_EQ(FError(), kOsNegativeSeek);
    EXPECT_EQ(FTell(h), 4);
    EXPECT_EQ(FSeek(h, 1, 0), 1);
    EXPECT_EQ(FReadStr(h, 1u << 30), "123");  // no more than the file holds
    char buf[4] = {};
    EXPECT_EQ(FRead(h, buf, sizeof buf), 0u);
    EXPECT_TRUE(FEof(h));
    EXPECT_TRUE(FCommit(h));
    FClose(h);
    EXPECT_EQ(FWrite(h, "x"), 0u);  // a closed handle
    EXPECT_EQ(FError(), kOsInvalidHandle);

    int ro = FOpen(P("s.bin"), kFoRead);
    EXPECT_EQ(FWrite(ro, "x"), 0u);
    EXPECT_EQ(FError(), kOsAccessDenied);  // not open for writing
    FClose(ro);

    // Reading a handle open for writing only is access denied, whichever
    // function reads; the handle itself is sound.
    int wo = FOpen(P("s.bin"), kFoWrite);
    ASSERT_GE(wo, 0);
    EXPECT_EQ(FRead(wo, buf, sizeof buf), 0u);
    EXPECT_EQ(FError(), kOsAccessDenied);
    EXPECT_EQ(FReadStr(wo, 4), "");
    EXPECT_EQ(FError(), kOsAccessDenied);
    EXPECT_EQ(FGetS(wo), "");
    EXPECT_EQ(FError(), kOsAccessDenied);
    EXPECT_EQ(FTell(wo), 0);
    FClose(wo);
}

TEST_F(FileWhole, CopyIsByteForByteAndNeverOntoItself) {
    std::string data;
    for (int i = 0; i < 300000; ++i) data += static_cast<char>(i * 7 % 256);
    Write("src.bin", data);
    EXPECT_TRUE(FCopy(P("SRC.BIN"), P("dst.bin")));
    EXPECT_EQ(Read("dst.bin"), data);
    EXPECT_TRUE(FCopy(P("src.bin"), P("dst.bin")));  // over an existing target
    EXPECT_EQ(Read("dst.bin"), data);

    EXPECT_FALSE(FCopy(P("src.bin"), P("Src.Bin")));  // onto itself
    EXPECT_EQ(FError(), kOsSharingViolation);
    EXPECT_EQ(Read("src.bin"), data);
    EXPECT_FALSE(FCopy(P("none.bin"), P("out.bin")));
    EXPECT_EQ(FError(), kOsFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(P("out.bin")));
}

TEST_F(FileWhole, CopyOntoAFullDiskLeavesNoPartialTarget) {
    Write("src.bin", std::string(300000, 'x'));
    std::filesystem::create_directories(P("small"));
    int r = InChild([&] {
        if (!MountPrivateTmpfs(P("small"), "size=64k")) return kCannotSetUp;
        if (FCopy(P("src.bin"), P("small/dst.bin"))) return 1;
        if (FError() != kOsDiskFull) return 2;
        return std::filesystem::exists(P("small/dst.bin")) ? 3 : 0;
    });
    if (r == kCannotSetUp) GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(r, 0);
}

TEST_F(FileWhole, ExistenceEraseRenameAndDefaultDirectory) {
    Write("Data/QZSCAN.DBF", "t");
    Write("Data/notes.txt", "n");
    EXPECT_TRUE(File(P("data/qzscan.dbf")));
    EXPECT_FALSE(File(P("data")));  // a directory is no file
    EXPECT_EQ(FError(), kOsFileNotFound);
    EXPECT_TRUE(File(P("DATA/*.dbf")));
    EXPECT_TRUE(File(P("data/q?scan.*")));
    EXPECT_FALSE(File(P("data/*.ntx")));
    EXPECT_FALSE(File(P("nodir/*.*")));
    EXPECT_EQ(FError(), kOsPathNotFound);

    EXPECT_TRUE(FRename(P("data/notes.txt"), P("data/NOTES.TXT")));  // case only
    EXPECT_EQ(Read("Data/NOTES.TXT"), "n");
    EXPECT_FALSE(FRename(P("data/notes.txt"), P("data/qzscan.dbf")));
    EXPECT_EQ(FError(), kOsAlreadyExists);
    EXPECT_TRUE(FErase(P("data/notes.txt")));
    EXPECT_FALSE(FErase(P("data/notes.txt")));
    EXPECT_EQ(FError(), kOsFileNotFound);
    EXPECT_FALSE(FErase(P("data")));
    EXPECT_EQ(FError(), kOsAccessDenied);

    // Names without a directory live in the default directory.
    SetDefaultDir(P("data"));
    EXPECT_TRUE(MemoWrit("bare.txt", "hello\r\n"));
    EXPECT_EQ(Read("Data/bare.txt"), "hello\r\n");
    EXPECT_EQ(MemoRead("BARE.TXT"), "hello\r\n");
    EXPECT_TRUE(File("*.txt"));
    EXPECT_EQ(MemoRead("gone.txt"), "");
    EXPECT_EQ(FError(), kOsFileNotFound);
}

}  // namespace
