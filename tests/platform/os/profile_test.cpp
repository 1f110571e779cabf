// The private-profile API: the read rules, the buffer-size rules, the
// Windows fixture byte for byte, UTF-16 files, bare names in the Windows
// directory, writes by a real user through links and into a full disk, and
// two processes writing one file at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "os_fixture.h"
#include "platform/os/profile.h"
#include "platform/runtime/paths.h"
#include "tmpfs_mount.h"

namespace {

using namespace os;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// UTF-16 bytes of BMP text, little- or big-endian.
std::string Wide(std::u16string_view text, bool bigEndian) {
    std::string out;
    for (char16_t u : text) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

class Profile : public ostest::StoreDir {
protected:
    void SetUp() override {
        StoreDir::SetUp();
        file_ = dir_ + "/in.ini";
        std::filesystem::copy_file(std::string(QZ_OS_DATA) + "/profile-windows-in.ini", file_);
    }
    std::string Get(const char* sec, const char* key, const char* def = "", DWORD size = 4096, DWORD* count = nullptr,
                    const std::string& file = {}) {
        std::string buf(size, '#');
        DWORD n = GetPrivateProfileStringA(sec, key, def, buf.data(), size, (file.empty() ? file_ : file).c_str());
        if (count) *count = n;
        return key == nullptr || sec == nullptr ? buf.substr(0, n + 1) : buf.substr(0, n);
    }
    std::string file_;
};

TEST_F(Profile, ValuesAreTrimmedUnquotedAndFoundIgnoringCase) {
    struct Case {
        const char *sec, *key, *want;
    } cases[] = {
        {"general", "NAME", "Quoted value"},
        {"General", "Path", "C:\\data"},
        {"General", "Mixed", "\"left'"},
        {"General", "Blank", ""},
        {"General", "DUP", "first"},
        {"General", "Other", "dflt"},  // only the first [General] counts
        {"spaced", "Key", "v1"},
        {"Last", "z", "26"},
        {"Nowhere", "x", "dflt"},
    };
    for (const Case& c : cases) EXPECT_EQ(Get(c.sec, c.key, "dflt  "), c.want) << c.sec << "/" << c.key;
    // A long value is cut to the buffer.
    DWORD n = 0;
    EXPECT_EQ(Get("Long", "Text", "", 1024, &n), std::string(1023, 'x'));
    EXPECT_EQ(n, 1023u);
    EXPECT_EQ(Get("Long", "Text").size(), 2000u);
}

TEST_F(Profile, NameListsFollowTheBufferRules) {
    DWORD n = 0;
    EXPECT_EQ(Get(nullptr, nullptr, "", 4096, &n), std::string("General\0Spaced\0Long\0Drop\0Last\0\0", 31));
    EXPECT_EQ(n, 30u);
    // Every entry line, a repeated name included, as Windows lists them.
    EXPECT_EQ(Get("GENERAL", nullptr), std::string("Name\0Path\0Mixed\0Blank\0Dup\0dup\0\0", 31));
    // Too small: cut to size - 2, two NULs, size - 2.
    EXPECT_EQ(Get(nullptr, nullptr, "", 9, &n) + '\0', std::string("General\0\0", 9));
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(Get(nullptr, nullptr, "", 12, &n) + '\0', std::string("General\0Sp\0\0", 12));
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(Get("Nowhere", nullptr, "", 16, &n).substr(0, 1), std::string("\0", 1));
    EXPECT_EQ(n, 0u);
}

TEST_F(Profile, IntegersTakeSignHexAndLeadingDigits) {
    const char* f = file_.c_str();
    struct Case {
        const char* text;
        UINT want;
    } cases[] = {{"42abc", 42}, {"-5", static_cast<UINT>(-5)}, {"0x1F", 31}, {"abc", 0}, {" 7 ", 7}};
    for (const Case& c : cases) {
        ASSERT_TRUE(WritePrivateProfileStringA("Num", "v", c.text, f));
        EXPECT_EQ(GetPrivateProfileIntA("Num", "v", 99, f), c.want) << c.text;
    }
    EXPECT_EQ(GetPrivateProfileIntA("Num", "missing", 99, f), 99u);
}

TEST_F(Profile, WritesMatchTheWindowsFixtureByteForByte) {
    const char* f = file_.c_str();
    EXPECT_TRUE(WritePrivateProfileStringA("General", "name", "new", f));
    EXPECT_TRUE(WritePrivateProfileStringA("General", "Added", "1", f));
    EXPECT_TRUE(WritePrivateProfileStringA("Drop", nullptr, nullptr, f));
    EXPECT_TRUE(WritePrivateProfileStringA("Spaced", "KEY", nullptr, f));
    EXPECT_TRUE(WritePrivateProfileStringA("Last", "Z", "27", f));
    EXPECT_TRUE(WritePrivateProfileStringA("New", "k", "v", f));
    EXPECT_EQ(Slurp(file_), Slurp(std::string(QZ_OS_DATA) + "/profile-windows-out.ini"));
}

TEST_F(Profile, LfFilesReadAlikeAndAddedLinesKeepTheirLineEnds) {
    std::string lf = dir_ + "/lf.ini";
    std::ofstream(lf, std::ios::binary) << "[A]\nx = 1\n";
    EXPECT_TRUE(WritePrivateProfileStringA("A", "y", "2", lf.c_str()));
    EXPECT_EQ(Slurp(lf), "[A]\nx = 1\ny=2\n");
    char buf[8];
    EXPECT_EQ(GetPrivateProfileStringA("a", "X", "", buf, sizeof buf, lf.c_str()), 1u);
}

TEST_F(Profile, NamesWithBlanksAroundThemFindTheirSectionAndKey) {
    const char* f = file_.c_str();
    ASSERT_TRUE(WritePrivateProfileStringA(" Roomy ", " k ", "1", f));
    ASSERT_TRUE(WritePrivateProfileStringA("\tRoomy", "k", "2", f));
    EXPECT_EQ(Get(" roomy ", " K "), "2");
    const std::string text = Slurp(file_);
    EXPECT_EQ(text.find("Roomy"), text.rfind("Roomy")) << "one section, not one a write";
}

TEST_F(Profile, Utf16FilesReadAsTextAndAreWrittenBackInTheirOwnEncoding) {
    for (bool be : {false, true}) {
        std::u16string nl = be ? u"\n" : u"\r\n";
        std::u16string odd = u"; caf\u00e9 ";
        odd += char16_t(0xD800);  // a lone surrogate, kept as it was
        std::string f = dir_ + "/wide.ini", bom = be ? "\xFE\xFF" : "\xFF\xFE";
        std::ofstream(f, std::ios::binary | std::ios::trunc)
            << bom + Wide(odd + nl + u"[S]" + nl + u" k = v\u00e9" + nl, be);
        EXPECT_EQ(Get("s", "K", "", 4096, nullptr, f), "v\xC3\xA9");
        EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "w\xE2\x82\xAC", f.c_str()));
        EXPECT_TRUE(WritePrivateProfileStringA("S", "n", "caf\xE9", f.c_str()));  // not UTF-8: Latin-1
        EXPECT_TRUE(WritePrivateProfileStringA("T", "x", "1", f.c_str()));
        EXPECT_EQ(Slurp(f), bom + Wide(odd + nl + u"[S]" + nl + u"k=w\u20ac" + nl + u"n=caf\u00e9" + nl + u"[T]" + nl +
                                           u"x=1" + nl,
                                       be))
            << (be ? "big-endian" : "little-endian");
    }
    // A file cut inside a character: the odd byte reads as U+FFFD, and
    // what follows it stays aligned.
    std::string f = dir_ + "/odd.ini";
    std::ofstream(f, std::ios::binary) << "\xFF\xFE" + Wide(u"[S]", false) + "A";
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "1", f.c_str()));
    EXPECT_EQ(Slurp(f), "\xFF\xFE" + Wide(u"[S]\uFFFD\r\nk=1\r\n", false));
}

TEST_F(Profile, WritesLeaveTheFileItsLinksOwnerAndModeAndFailWhereTheOsWould) {
    if (::geteuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0) GTEST_SKIP() << "acting as nobody needs root";
    const std::string before = "[Shared]\r\na0=old\r\n", after = "[Shared]\r\na0=0\r\n";
    enum Name { kFile, kSymlink, kHardLink };
    struct Case {
        const char* what;
        mode_t folder, file;
        Name name;
        int code;  // the child's exit: the Win32 error, 0 for success
    } cases[] = {
        {"read-only file", 0777, 0444, kFile, 5},
        {"writable file in a folder nobody may write", 0755, 0666, kFile, 0},
        {"root's file in an open folder", 0777, 0666, kFile, 0},
        {"symbolic link", 0777, 0666, kSymlink, 0},
        {"symbolic link to a read-only file", 0777, 0444, kSymlink, 5},
        {"hard link", 0777, 0666, kHardLink, 0},
    };
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    for (const Case& c : cases) {
        std::string d = dir_ + "/" + std::to_string(&c - cases), file = d + "/file.ini";
        std::string name = c.name == kFile ? file : d + "/name.ini";
        std::filesystem::create_directory(d);
        std::ofstream(file, std::ios::binary) << before;
        ASSERT_EQ(::chmod(file.c_str(), c.file), 0);
        if (c.name == kSymlink) std::filesystem::create_symlink("file.ini", name);
        if (c.name == kHardLink) std::filesystem::create_hard_link(file, name);
        ASSERT_EQ(::chmod(d.c_str(), c.folder), 0);
        EXPECT_EQ(ostest::Wait(ostest::Spawn(
                      {"/usr/sbin/runuser", "-u", "nobody", "--", QZ_OS_CHILD, "iniwrite", name, "a", "1"})),
                  c.code)
            << c.what;
        struct stat st = {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(Slurp(file), c.code == 0 ? after : before) << c.what;
        EXPECT_EQ(st.st_mode & 07777, c.file) << c.what;
        EXPECT_EQ(st.st_uid + st.st_gid, 0u) << c.what;
        EXPECT_EQ(st.st_nlink, c.name == kHardLink ? 2u : 1u) << c.what;
        EXPECT_EQ(std::filesystem::is_symlink(name), c.name == kSymlink) << c.what;
    }
}

TEST_F(Profile, AFullDiskFailsWith112AndLeavesTheFileAsItWas) {
    qztest::TmpfsMount disk;
    NEED_MOUNT(disk.Mount(dir_ + "/full", 64 * 1024));
    const std::string before = "[S]\r\nk=old\r\n", plain = disk.Dir() + "/p.ini", linked = disk.Dir() + "/h.ini";
    std::ofstream(plain, std::ios::binary) << before;
    std::ofstream(linked, std::ios::binary) << before;
    std::filesystem::create_hard_link(linked, disk.Dir() + "/h2.ini");  // rewritten in place
    disk.Fill();
    for (const std::string& f : {plain, linked}) {
        EXPECT_FALSE(WritePrivateProfileStringA("S", "k", std::string(8192, 'x').c_str(), f.c_str())) << f;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL)) << f;
        EXPECT_EQ(Slurp(f), before) << f;
    }
}

TEST_F(Profile, UnsafeInputIsRefusedAndNothingIsWritten) {
    std::string before = Slurp(file_);
    const char* f = file_.c_str();
    EXPECT_FALSE(WritePrivateProfileStringA("A]", "k", "v", f));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k=j", "v", f));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "v\r\n[Evil]", f));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "v", (dir_ + "/no/such/dir/x.ini").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Slurp(file_), before);
}

TEST_F(Profile, ABareNameLivesInTheWindowsDirectory) {
    std::filesystem::create_directories(dir_ + "/c/WINDOWS");
    ::setenv("QZ_DRIVES", ("C=" + dir_ + "/c").c_str(), 1);
    rt::ReloadDriveMap();
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", "qz.ini"));
    ::unsetenv("QZ_DRIVES");
    rt::ReloadDriveMap();
    EXPECT_EQ(Slurp(dir_ + "/c/WINDOWS/qz.ini"), "[S]\r\nk=v\r\n");
}

TEST_F(Profile, TwoProcessesWritingOneFileLoseNoEntry) {
    constexpr int kEach = 300;
    std::string f = dir_ + "/shared.ini";
    pid_t a = ostest::Spawn({QZ_OS_CHILD, "iniwrite", f, "a", std::to_string(kEach)});
    pid_t b = ostest::Spawn({QZ_OS_CHILD, "iniwrite", f, "b", std::to_string(kEach)});
    EXPECT_EQ(ostest::Wait(a), 0);
    EXPECT_EQ(ostest::Wait(b), 0);
    int found = 0;
    for (const char* p : {"a", "b"})
        for (int i = 0; i < kEach; ++i)
            found += GetPrivateProfileIntA("Shared", (p + std::to_string(i)).c_str(), -1, f.c_str()) ==
                     static_cast<UINT>(i);
    EXPECT_EQ(found, 2 * kEach);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // in.ini, shared.ini
}

}  // namespace
