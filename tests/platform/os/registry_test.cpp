// The registry functions: Win32 results and codes, case rules, store files
// that cannot be written, damaged or full, readers of another process's
// writes, two processes writing at once, and qzreg as a real process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "os_fixture.h"
#include "platform/os/registry.h"
#include "tmpfs_mount.h"

namespace {

using namespace os;
using namespace std::string_literals;

class Registry : public ostest::StoreDir {};

HKEY Create(HKEY root, const char* path, DWORD* how = nullptr) {
    HKEY k = 0;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, how), ERROR_SUCCESS);
    return k;
}

LONG SetSz(HKEY k, const char* name, const std::string& text) {
    return RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

TEST_F(Registry, CreateReportsDispositionAndPathsIgnoreCase) {
    DWORD how = 0;
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\QZ\\Case", &how);
    EXPECT_EQ(how, REG_CREATED_NEW_KEY);
    RegCloseKey(k);
    k = Create(HKEY_CURRENT_USER, "SOFTWARE\\qz\\CASE\\", &how);
    EXPECT_EQ(how, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetSz(k, "Value", "x"), ERROR_SUCCESS);
    RegCloseKey(k);
    // The case first given is kept.
    HKEY qz = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\QZ", 0, KEY_READ, &qz), ERROR_SUCCESS);
    char name[256];
    DWORD len = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(qz, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Case");
    EXPECT_EQ(len, 4u);
    len = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(qz, 1, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(qz);
}

TEST_F(Registry, QueryFollowsTheWin32BufferRules) {
    HKEY k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\QZ");
    ASSERT_EQ(SetSz(k, "Text", "hello"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(k, "TEXT", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    char small[4] = {'#', '#', '#', '#'};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(small[0], '#');
    char buf[16];
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(RegQueryValueExA(k, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST_F(Registry, EveryTypeComesBackAsStored) {
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\Types");
    struct Case {
        DWORD type;
        std::string data;
    } cases[] = {{REG_SZ, std::string("a\0", 2)},
                 {REG_EXPAND_SZ, std::string("%PATH%\0", 7)},
                 {REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
                 {REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
                 {REG_BINARY, std::string("\x00\xff\x10", 3)}};
    for (const Case& c : cases) {
        std::string name = "v" + std::to_string(c.type);
        ASSERT_EQ(RegSetValueExA(k, name.c_str(), 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                                 static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS);
        std::string back(64, '\0');
        DWORD type = 0, size = 64;
        ASSERT_EQ(RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(back.substr(0, size), c.data) << c.type;
    }
    RegCloseKey(k);
}

TEST_F(Registry, DeletionRulesAndCodes) {
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\Del\\Child");
    RegCloseKey(k);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), ERROR_ACCESS_DENIED);  // has a subkey
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);               // a root
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Nope"), ERROR_FILE_NOT_FOUND);
    HKEY child = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Del\\Child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
    EXPECT_EQ(SetSz(child, "v", "1"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(child, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(child, "V"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Child"), ERROR_SUCCESS);
    // A handle to a deleted key says so.
    EXPECT_EQ(SetSz(child, "v", "1"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), ERROR_SUCCESS);
    EXPECT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(Registry, HandlesKeepTheirAccessAndPathsTheirShape) {
    HKEY k = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_QUERY_VALUE, &k), ERROR_SUCCESS);
    EXPECT_EQ(SetSz(k, "v", "1"), ERROR_ACCESS_DENIED);
    char name[64];
    DWORD len = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(k);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &k), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(0x1234, "", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
    // HKEY_CLASSES_ROOT is the Classes key of the machine.
    HKEY cr = Create(HKEY_CLASSES_ROOT, ".qz");
    RegCloseKey(cr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.QZ", 0, KEY_READ, &k), ERROR_SUCCESS);
    RegCloseKey(k);
}

TEST_F(Registry, AStoreOnAReadOnlyFileSystemIsReadButNotWritten) {
    qztest::TmpfsMount fs;
    NEED_MOUNT(fs.Mount(dir_ + "/ro", 1 << 20));
    SetDir(dir_ + "/ro");
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\Before");
    ASSERT_EQ(SetSz(k, "v", "kept"), ERROR_SUCCESS);
    RegCloseKey(k);
    ASSERT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    RegCloseStores();
    ASSERT_EQ(fs.MakeReadOnly(), "");
    HKEY out = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out,
                              nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Before", 0, KEY_ALL_ACCESS, &out), ERROR_SUCCESS);
    char buf[16];
    DWORD size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(out, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "kept");
    EXPECT_EQ(SetSz(out, "v", "lost"), ERROR_ACCESS_DENIED);
    RegCloseKey(out);
    RegCloseStores();
}

TEST_F(Registry, AStoreThatCannotBeReadOrMadeSaysWhy) {
    // A file that is not a store: every call says so, and the file stays.
    std::filesystem::create_directories(dir_ + "/reg");
    const std::string junk(5000, 'j');
    std::ofstream(dir_ + "/reg/user.db", std::ios::binary) << junk;
    HKEY k = 0;
    char name[64];
    DWORD len = sizeof name;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &k), ERROR_BADDB);
    EXPECT_EQ(RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "S\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_BADDB);
    std::ifstream in(dir_ + "/reg/user.db", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), junk);
    // A full disk before the store's log exists.
    qztest::TmpfsMount fs;
    NEED_MOUNT(fs.Mount(dir_ + "/full", 64 << 10));
    std::filesystem::create_directories(dir_ + "/full/reg");
    fs.Fill();
    SetDir(dir_ + "/full/reg");
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "S\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_DISK_FULL);
    RegCloseStores();
}

TEST_F(Registry, AReaderThatMayNotWriteTheFolderSeesLaterWrites) {
    if (::geteuid() != 0 || std::system("id nobody >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs root and nobody";
    ::chmod(dir_.c_str(), 0755);
    const mode_t mask = ::umask(022);
    // With the log in place, with it gone (as a writer that removes it on
    // closing leaves the store), and with it begun but not its index (a
    // writer caught opening): the reader cannot read the store at first,
    // and reads it once the writer has made the index.
    for (const char* log : {"kept", "gone", "begun"}) {
        SetDir(dir_ + "/" + log);
        HKEY k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Watch");
        ASSERT_EQ(SetSz(k, "v", "one"), ERROR_SUCCESS);
        RegCloseStores();
        std::string db = dir_ + "/" + log + "/machine.db";
        if (log[0] != 'k') std::filesystem::remove(db + "-wal"), std::filesystem::remove(db + "-shm");
        if (log[0] == 'b') std::ofstream(db + "-wal", std::ios::binary);
        std::string cmd = "runuser -u nobody -- env QZ_REGISTRY_DIR=" + dir_ + "/" + log + " " + QZ_OS_CHILD;
        FILE* reader = ::popen((cmd + " regwatch").c_str(), "r");
        char first[64] = "";
        EXPECT_NE(std::fgets(first, sizeof first, reader), nullptr);
        EXPECT_STREQ(first, log[0] == 'b' ? "\n" : "one\n") << "log " << log;
        k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Watch");
        EXPECT_EQ(SetSz(k, "v", "two"), ERROR_SUCCESS);
        RegCloseKey(Create(k, "New"));
        RegCloseKey(k);
        EXPECT_EQ(::pclose(reader), 0) << "log " << log;
    }
    ::umask(mask);
}

TEST_F(Registry, EnumerationByIndexGivesWin32ResultsInAnyOrder) {
    HKEY k = Create(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char* n : {"a", "B", "c", "D", "e"}) {
        RegCloseKey(Create(k, n));
        ASSERT_EQ(SetSz(k, n, n), ERROR_SUCCESS);
    }
    auto list = [&](std::initializer_list<DWORD> indexes, bool values) {
        std::string out;
        for (DWORD i : indexes) {
            char name[16] = "";
            DWORD len = sizeof name;
            LONG e = values ? RegEnumValueA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr)
                            : RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            out += (e == 0 ? std::string(name) : std::to_string(e)) + " ";
        }
        return out;
    };
    EXPECT_EQ(list({0, 1, 2, 2, 1, 4, 3, 5, 0, 3}, false), "a B c c B e D 259 a D ");
    EXPECT_EQ(list({0, 1, 2, 2, 1, 4, 3, 5, 0, 3}, true), "a B c c B e D 259 a D ");
    // Changes between calls, here and in another process, count at once.
    ASSERT_EQ(RegDeleteKeyA(k, "B"), ERROR_SUCCESS);
    EXPECT_EQ(list({3}, false), "e ");
    std::string out;
    ASSERT_EQ(ostest::RunCaptured({QZREG_TOOL, "delete", "HKCU\\Software\\Enum\\c", "/f"}, &out), 0);
    EXPECT_EQ(list({3, 1}, false), "259 D ");
    RegCloseKey(k);
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kEach = 10000;
    pid_t a = ostest::Spawn({QZ_OS_CHILD, "regwrite", "a", std::to_string(kEach)});
    pid_t b = ostest::Spawn({QZ_OS_CHILD, "regwrite", "b", std::to_string(kEach)});
    EXPECT_EQ(ostest::Wait(a), 0);
    EXPECT_EQ(ostest::Wait(b), 0);
    HKEY k = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Concurrent", 0, KEY_READ, &k), ERROR_SUCCESS);
    int found = 0;
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kEach; ++i) {
            uint32_t v = 0;
            DWORD size = 4;
            std::string name = prefix + std::to_string(i);
            if (RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size) == 0 &&
                v == static_cast<uint32_t>(i))
                ++found;
        }
    }
    RegCloseKey(k);
    EXPECT_EQ(found, 2 * kEach);
}

TEST_F(Registry, AWriterKilledMidWayLeavesEveryValueWhole) {
    pid_t child = ostest::Spawn({QZ_OS_CHILD, "regwrite", "k", "1000000"});
    // Kill it once it is well under way (at most ten seconds).
    HKEY k = 0;
    for (int i = 0; i < 1000; ++i) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Concurrent", 0, KEY_READ, &k) == 0) {
            DWORD size = 0;
            bool far = RegQueryValueExA(k, "k500", nullptr, nullptr, nullptr, &size) == 0;
            RegCloseKey(k);
            if (far) break;
        }
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    EXPECT_EQ(ostest::Wait(child), 128 + SIGKILL);
    RegCloseStores();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Concurrent", 0, KEY_READ, &k), ERROR_SUCCESS);
    int whole = 0, count = 0;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD len = sizeof name, type = 0, size = 8;
        uint32_t v[2] = {0, 0};
        if (RegEnumValueA(k, i, name, &len, nullptr, &type, reinterpret_cast<BYTE*>(v), &size) != 0) break;
        ++count;
        whole += type == REG_DWORD && size == 4 && std::string(name) == "k" + std::to_string(v[0]);
    }
    RegCloseKey(k);
    EXPECT_GT(count, 500);
    EXPECT_EQ(whole, count);
}

TEST_F(Registry, QzregRoundTripsThroughExportAndImport) {
    auto run = [&](const std::string& args) {
        std::string cmd = std::string(QZREG_TOOL) + " " + args + " >" + dir_ + "/out.txt 2>&1";
        int rc = std::system(cmd.c_str());
        std::ifstream in(dir_ + "/out.txt");
        std::stringstream s;
        s << in.rdbuf();
        return std::make_pair(WEXITSTATUS(rc), s.str());
    };
    EXPECT_EQ(run("add HKCU\\\\Software\\\\RT /v Name /d \"two words\"").first, 0);
    EXPECT_EQ(run("add HKCU\\\\Software\\\\RT /v N /t REG_DWORD /d 42").first, 0);
    EXPECT_EQ(run("add HKCU\\\\Software\\\\RT\\\\Sub /ve /t REG_MULTI_SZ /d a\\\\0b").first, 0);
    EXPECT_EQ(run("add HKCU\\\\Software\\\\RT /v N /t REG_DWORD /d nonsense").first, 1);
    // As reg: a leading 0 is not octal, a missing default is "not set".
    EXPECT_EQ(run("add HKCU\\\\Software\\\\R /v d /t REG_DWORD /d 010").first, 0);
    EXPECT_EQ(run("add HKCU\\\\Software\\\\R /v b /t REG_DWORD_BIG_ENDIAN /d 0x01020304").first, 0);
    EXPECT_EQ(run("query HKCU\\\\Software\\\\R").second,
              "\nHKEY_CURRENT_USER\\Software\\R\n    d    REG_DWORD    0xa\n"
              "    b    REG_DWORD_BIG_ENDIAN    0x1020304\n\n");
    EXPECT_EQ(run("query HKCU\\\\Software\\\\R /ve"),
              std::make_pair(0, std::string("\nHKEY_CURRENT_USER\\Software\\R\n"
                                            "    (Default)    REG_SZ    (value not set)\n\n")));
    auto q = run("query hkcu\\\\software\\\\RT");
    EXPECT_EQ(q.second,
              "\nHKEY_CURRENT_USER\\software\\RT\n"
              "    Name    REG_SZ    two words\n"
              "    N    REG_DWORD    0x2a\n\n"
              "HKEY_CURRENT_USER\\software\\RT\\Sub\n");
    ASSERT_EQ(run("export HKCU\\\\Software\\\\RT " + dir_ + "/a.reg /y").first, 0);
    ASSERT_EQ(run("delete HKCU\\\\Software\\\\RT /f").first, 0);
    EXPECT_EQ(run("query HKCU\\\\Software\\\\RT").first, 1);
    ASSERT_EQ(run("import " + dir_ + "/a.reg").first, 0);
    ASSERT_EQ(run("export HKCU\\\\Software\\\\RT " + dir_ + "/b.reg /y").first, 0);
    auto read = [&](const char* f) {
        std::ifstream in(dir_ + "/" + f, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    std::string a = read("a.reg");
    EXPECT_EQ(a, read("b.reg"));
    EXPECT_EQ(a.substr(0, 4), std::string("\xFF\xFEW\0", 4));
}

int Qz(std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), QZREG_TOOL);
    return ostest::RunCaptured(args, output);
}

TEST_F(Registry, QzregExportThenImportBringsBackEveryByteOfEveryType) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string samples[] = {all,
                                   all + '\0',
                                   "caf\xE9\0"s,
                                   "a\r\nb\0"s,
                                   "\"q\" \\\0"s,
                                   "\xF0\x9F\x98\x80\xED\xA0\x80\xC0\0"s,
                                   "\x01\x02\x03\x04"s,
                                   ""};
    const DWORD types[] = {REG_NONE,     REG_SZ,    REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                           REG_MULTI_SZ, REG_QWORD, 0x1234};
    HKEY k = 0;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Bytes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    auto name = [](DWORD t, size_t i) { return std::to_string(t) + "-" + std::to_string(i); };
    for (DWORD t : types)
        for (size_t i = 0; i < std::size(samples); ++i)
            ASSERT_EQ(RegSetValueExA(k, name(t, i).c_str(), 0, t, reinterpret_cast<const BYTE*>(samples[i].data()),
                                     static_cast<DWORD>(samples[i].size())),
                      0);
    RegCloseKey(k);
    std::string out;
    ASSERT_EQ(Qz({"export", "HKCU\\Software\\Bytes", dir_ + "/a.reg", "/y"}, &out), 0);
    ASSERT_EQ(Qz({"delete", "HKCU\\Software\\Bytes", "/f"}, &out), 0);
    ASSERT_EQ(Qz({"import", dir_ + "/a.reg"}, &out), 0) << out;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Bytes", 0, KEY_READ, &k), 0);
    for (DWORD t : types) {
        for (size_t i = 0; i < std::size(samples); ++i) {
            std::string back(300, '\0');
            DWORD type = 0, size = 300;
            EXPECT_EQ(RegQueryValueExA(k, name(t, i).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(back.data()),
                                       &size),
                      0);
            EXPECT_EQ(back.substr(0, size), samples[i]) << name(t, i);
            EXPECT_EQ(type, t);
        }
    }
    RegCloseKey(k);
}

TEST_F(Registry, QzregImportKeepsTheFilesOrderAndNamesTheLineItRefuses) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n";
    const struct {
        std::string file;
        std::string says;  // "" for an import that succeeds
    } cases[] = {
        {"\xEF\xBB\xBF" + head + "\"a\"=\"1\"\r\n\"a\"=-\r\n\"a\"=\"2\"\r\n", ""},
        {head + "\"b\"=hex:01,\\\r\n  02\r\n\"c\"=dword:zz\r\n", "Line 6: the value's data cannot be read."},
        {head + "[-HKEY_CURRENT_USER]\r\n", "Line 4: a root key cannot be deleted."},
        {head + "\"n\0m\"=\"x\"\r\n"s, "Line 4: a value name holds a NUL character."},
    };
    for (const auto& c : cases) {
        std::ofstream(dir_ + "/i.reg", std::ios::binary) << c.file;
        std::string out;
        EXPECT_EQ(Qz({"import", dir_ + "/i.reg"}, &out), c.says.empty() ? 0 : 1) << out;
        EXPECT_NE(out.find(c.says.empty() ? "completed successfully" : c.says), std::string::npos) << out;
    }
    // The refused files changed nothing: the first file's last word stands.
    HKEY k = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Imp", 0, KEY_READ, &k), 0);
    char value[8] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(k, "a", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size), 0);
    EXPECT_STREQ(value, "2");
    RegCloseKey(k);
}

TEST_F(Registry, QzregADamagedStoreIsReportedNotListedAsEmpty) {
    for (const char* table : {"keys", "vals"}) {
        SetDir(dir_ + "/" + table);
        HKEY k = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fifty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                  nullptr),
                  0);
        for (DWORD i = 0; i < 50; ++i)
            ASSERT_EQ(RegSetValueExA(k, ("v" + std::to_string(i)).c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&i), 4),
                      0);
        RegCloseStores();
        // The table's first page overwritten with garbage.
        std::string db = dir_ + "/" + table + "/user.db";
        sqlite3* raw = nullptr;
        long page = 0;
        sqlite3_open(db.c_str(), &raw);
        sqlite3_exec(
            raw, ("SELECT rootpage FROM sqlite_master WHERE name = '" + std::string(table) + "'").c_str(),
            [](void* p, int, char** v, char**) { return *static_cast<long*>(p) = std::atol(v[0]), 0; }, &page, nullptr);
        sqlite3_close(raw);
        ASSERT_GT(page, 1);
        std::fstream(db, std::ios::in | std::ios::out | std::ios::binary).seekp((page - 1) * 4096)
            << std::string(4096, '\xA5');
        for (std::vector<std::string> args :
             {std::vector<std::string>{"query", "HKCU", "/s"}, {"export", "HKCU", dir_ + "/x.reg", "/y"}}) {
            std::string out;
            EXPECT_EQ(Qz(args, &out), 1) << table << " " << args[0];
            EXPECT_NE(out.find("ERROR: The configuration registry database is corrupt.\n"), std::string::npos) << out;
        }
    }
}

}  // namespace
