#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "fs_fixture.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"

using namespace rt;
using qztest::FsTest;

namespace {

using PathResolve = FsTest;
using PathDrives = FsTest;

TEST_F(PathResolve, FindsMixedCaseNamesIgnoringCase) {
    Write("Data/QZSCAN.DBF", "table");
    const std::string want = P("Data/QZSCAN.DBF");
    EXPECT_EQ(ResolvePath(P("data/qzscan.dbf")), want);
    EXPECT_EQ(ResolvePath(root_ + "\\DATA\\QzScan.Dbf"), want);   // backslashes too
    EXPECT_EQ(ResolvePath(P("data/./sub/../qzscan.dbf")), want);  // "." and ".." lexically
    EXPECT_EQ(ResolvePath(P("data/qzscan.dbf   ")), want);        // padded name
    // Resolved as far as it exists, the rest as given.
    EXPECT_EQ(ResolvePath(P("data/Missing/x.dbf")), P("Data/Missing/x.dbf"));
    // A new file takes the directories' real case and its own given case;
    // an existing name in other case is the file a create replaces.
    EXPECT_EQ(ResolvePathForCreate(P("DATA/new.Txt")), P("Data/new.Txt"));
    EXPECT_EQ(ResolvePathForCreate(P("data/qzscan.dbf")), want);
}

TEST_F(PathResolve, NamesDifferingOnlyInCaseChooseExactThenFirstInByteOrder) {
    Write("Report.txt", "mixed");
    Write("REPORT.TXT", "upper");
    Write("sub/a", "");
    Write("SUB/b", "");
    EXPECT_EQ(ResolvePath(P("Report.txt")), P("Report.txt"));  // the exact name wins
    EXPECT_EQ(ResolvePath(P("report.txt")), P("REPORT.TXT"));  // "R","E" < "R","e"
    EXPECT_EQ(ResolvePath(P("Sub/b")), P("SUB/b"));
    EXPECT_EQ(ResolvePath(P("Sub/a")), P("SUB/a"));  // the directory is chosen first, not the file
}

TEST_F(PathResolve, UnusablePathsFailSafely) {
    NativePath np = MapPath(std::string("a\0b", 3));
    EXPECT_EQ(np.error, kOsInvalidName);
    EXPECT_EQ(MapPath("").error, kOsPathNotFound);
    EXPECT_EQ(MapPath("\\\\server\\share\\x").error, kOsPathNotFound);
    // What such a path maps to can be neither opened nor created.
    errno = 0;
    EXPECT_NE(::mkdir(np.path.c_str(), 0777), 0);
    EXPECT_EQ(OsErrorFromErrno(errno, np.path), kOsPathNotFound);
}

TEST_F(PathDrives, QzDrivesSandboxesDriveLettersAndRootedPaths) {
    std::filesystem::create_directories(P("c"));
    std::filesystem::create_directories(P("d/Work"));
    SetDrives("C=" + P("c") + "; d:=" + P("d") + "/;bogus");
    EXPECT_EQ(DriveRoot('c'), P("c"));
    EXPECT_EQ(DriveRoot('D'), P("d"));
    EXPECT_EQ(DriveRoot('E'), std::nullopt);

    EXPECT_EQ(DirMake("C:\\TEMP"), 0);
    EXPECT_EQ(DirMake("c:\\temp"), kOsAlreadyExists);
    EXPECT_EQ(DirMake("C:\\no\\deeper"), kOsPathNotFound);  // one level only
    EXPECT_EQ(DirMake("E:\\x"), kOsPathNotFound);
    EXPECT_EQ(ResolvePath("C:\\temp\\x.txt"), P("c/TEMP/x.txt"));
    EXPECT_EQ(ResolvePath("C:\\..\\..\\..\\etc\\passwd"), P("c/etc/passwd"));  // ".." stops at the root
    EXPECT_EQ(MapPath("E:\\x").error, kOsInvalidDrive);

    EXPECT_EQ(DirChange("E:"), kOsInvalidDrive);
    EXPECT_EQ(DirChange("C:\\nothere"), kOsPathNotFound);
    ASSERT_EQ(DirChange("c:\\temp"), 0);
    EXPECT_EQ(std::filesystem::current_path(), P("c/TEMP"));
    EXPECT_EQ(CurDrive(), "C");
    EXPECT_EQ(DiskName(), "C:");
    EXPECT_EQ(CurDir(), "TEMP");
    EXPECT_EQ(ResolvePath("\\TEMP\\y"), P("c/TEMP/y"));  // rooted: the current drive's root
    EXPECT_EQ(ResolvePath("y"), P("c/TEMP/y"));          // relative: the current directory
    EXPECT_EQ(ResolvePath("..\\..\\..\\y"), P("c/y"));
    EXPECT_EQ(ResolvePath(P("d/work")), P("d/Work"));  // a leading "/" is native

    // Each drive keeps its own current directory.
    ASSERT_EQ(DirChange("D:\\WORK"), 0);
    EXPECT_EQ(CurDrive(), "D");
    EXPECT_EQ(CurDir(), "Work");
    EXPECT_EQ(ResolvePath("C:x"), P("c/TEMP/x"));  // drive-relative
    ASSERT_EQ(DirChange("C:"), 0);
    EXPECT_EQ(CurDir(), "TEMP");
    ASSERT_EQ(DirChange("D:"), 0);
    EXPECT_EQ(CurDir(), "Work");
}

TEST_F(PathDrives, DefaultMapPutsEveryDriveOnRoot) {
    ::unsetenv("QZ_DRIVES");
    ReloadDriveMap();
    EXPECT_EQ(DriveRoot('Q'), "/");
    EXPECT_EQ(DriveRoot('1'), std::nullopt);
    Write("Dir/f.txt", "x");
    std::string winPath = "Q:" + root_ + "\\dir\\F.TXT";
    EXPECT_EQ(ResolvePath(winPath), P("Dir/f.txt"));
    ASSERT_EQ(DirChange(root_ + "/DIR"), 0);
    EXPECT_EQ(CurDrive(), "C");
    std::string expect = P("Dir").substr(1);
    for (char& c : expect)
        if (c == '/') c = '\\';
    EXPECT_EQ(CurDir(), expect);
    EXPECT_EQ(DirChange("f.txt"), kOsPathNotFound);  // a file is no directory
    // A drive left for another keeps its own directory.
    ASSERT_EQ(DirChange("D:\\"), 0);
    EXPECT_EQ(CurDrive(), "D");
    ASSERT_EQ(DirChange("C:"), 0);
    EXPECT_EQ(CurDir(), expect);
}

TEST(PathProgram, WorkDirAndExecName) {
    std::string dir = WorkDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(ExecName().rfind(dir, 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(ExecName()));
    EXPECT_EQ(ExecName().find('/', dir.size()), std::string::npos);
    // QZ_WORKDIR gives the working folder; empty or relative leaves the
    // executable's.
    for (auto [value, want] : {std::pair<const char*, std::string>{"/srv/qz", "/srv/qz/"},
                               {"/srv/qz/", "/srv/qz/"},
                               {"", dir},
                               {"rel/dir", dir}}) {
        setenv("QZ_WORKDIR", value, 1);
        EXPECT_EQ(WorkDir(), want) << value;
    }
    unsetenv("QZ_WORKDIR");
}

TEST(OsError, MissingFileIsToldFromMissingPath) {
    EXPECT_EQ(OsErrorFromErrno(ENOENT, "/tmp/surely-not-here.qz"), kOsFileNotFound);
    EXPECT_EQ(OsErrorFromErrno(ENOENT, "/tmp/surely-not-here.qz/x"), kOsPathNotFound);
    EXPECT_EQ(OsErrorFromErrno(ENOENT, "relative-name.qz"), kOsFileNotFound);  // the current directory exists
    EXPECT_EQ(DosErrString(2), "The system cannot find the file specified.");
    EXPECT_EQ(DosErrString(4242), "Operating system error 4242.");
}

}  // namespace
