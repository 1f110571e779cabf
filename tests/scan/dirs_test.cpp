// IsDir, MakeDir and CurPath on real directories.
#include "scan_fixture.h"

#include <sys/stat.h>

#include "platform/runtime/oserror.h"
#include "scan/dirs.h"

using scan::CurPath;
using scan::IsDir;
using scan::MakeDir;

TEST_F(ScanDirTest, CurPathIsDriveColonBackslashAndTheDirectory) {
    std::string p = CurPath();
    ASSERT_GE(p.size(), 3u);
    EXPECT_EQ(p.substr(1, 2), ":\\");
    EXPECT_EQ(p.substr(0, 1), rt::CurDrive());
    EXPECT_EQ(rt::ResolvePath(p), dir_);  // names the current directory
}

TEST_F(ScanDirTest, IsDirTellsWithoutMovingTheCurrentDirectory) {
    std::filesystem::create_directory(Path("Data"));
    std::string before = Cwd();
    EXPECT_TRUE(IsDir("Data"));
    EXPECT_TRUE(IsDir(Path("data")));  // letter case ignored
    EXPECT_FALSE(IsDir("Nothing"));
    EXPECT_FALSE(IsDir(Path("file.txt")));
    EXPECT_EQ(Cwd(), before);
}

TEST_F(ScanDirTest, MakeDirMakesEachMissingLevel) {
    std::filesystem::create_directory(Path("A"));
    std::string before = Cwd();
    EXPECT_EQ(MakeDir("A\\B"), 0);  // first level exists, second is made
    EXPECT_TRUE(IsDirectory("A/B"));
    EXPECT_EQ(MakeDir("A\\B\\"), 0);  // final backslash: same result
    EXPECT_EQ(MakeDir("X\\Y\\Z"), 0);
    EXPECT_TRUE(IsDirectory("X/Y/Z"));
    EXPECT_EQ(Cwd(), before);
}

TEST_F(ScanDirTest, MakeDirWithDriveAndRootAbsolutePath) {
    std::string drivePath = rt::CurDrive() + ":" + dir_ + "/One/Two";
    for (char& c : drivePath)
        if (c == '/') c = '\\';
    EXPECT_EQ(MakeDir(drivePath), 0);
    EXPECT_TRUE(IsDirectory("One/Two"));
    std::string rooted = dir_ + "\\Three";
    EXPECT_EQ(MakeDir(rooted), 0);
    EXPECT_TRUE(IsDirectory("Three"));
}

TEST_F(ScanDirTest, MakeDirStopsAtTheFirstLevelItCannotMake) {
    std::filesystem::create_directory(Path("Locked"));
    ::chmod(Path("Locked").c_str(), 0555);
    bool root = ::geteuid() == 0;  // root may write anyway
    std::string before = Cwd();
    int rc = MakeDir("Made\\..\\Locked\\Sub\\Deeper");
    EXPECT_TRUE(IsDirectory("Made"));  // levels made before the failure stay
    if (!root) {
        EXPECT_NE(rc, 0);
        EXPECT_FALSE(IsDirectory("Locked/Sub"));
    }
    EXPECT_EQ(Cwd(), before);
    ::chmod(Path("Locked").c_str(), 0755);

    // A file where a directory should be.
    std::FILE* f = std::fopen(Path("plain").c_str(), "w");
    std::fclose(f);
    EXPECT_NE(MakeDir("plain\\sub"), 0);
    EXPECT_EQ(Cwd(), before);
}

// A program started outside every mapped drive: the folders it makes by
// relative name are made where it runs, and it stays there.
TEST_F(ScanDirTest, OutsideTheDriveMapFoldersAreMadeWhereTheProgramRuns) {
    std::filesystem::create_directories(Path("drive"));
    std::filesystem::create_directories(Path("exe"));
    ::setenv("QZ_DRIVES", ("C=" + Path("drive")).c_str(), 1);
    rt::ReloadDriveMap();
    ASSERT_EQ(::chdir(Path("exe").c_str()), 0);
    EXPECT_FALSE(IsDir("DATA"));
    EXPECT_EQ(MakeDir("DATA"), 0);
    EXPECT_EQ(MakeDir("TEMP\\SUB"), 0);
    EXPECT_TRUE(IsDir("DATA"));
    EXPECT_EQ(Cwd(), Path("exe"));
    EXPECT_TRUE(IsDirectory("exe/DATA"));
    EXPECT_TRUE(IsDirectory("exe/TEMP/SUB"));
    EXPECT_FALSE(IsDirectory("drive/DATA"));
    ::unsetenv("QZ_DRIVES");
    rt::ReloadDriveMap();
}
