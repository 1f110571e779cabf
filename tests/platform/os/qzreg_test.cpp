// qzreg as a real process: .reg files that bring back every byte, the
// answers people know from reg, and a damaged store reported as such.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

#include "os_fixture.h"
#include "platform/os/registry.h"

namespace {

using namespace os;

class Qzreg : public ostest::StoreDir {
protected:
    int Run(std::vector<std::string> args, std::string* output = nullptr) {
        std::string ignored;
        args.insert(args.begin(), QZREG_TOOL);
        return ostest::RunCaptured(args, dir_ + "/out.txt", output != nullptr ? output : &ignored);
    }
    static std::string Get(const char* path, const std::string& name, DWORD* type = nullptr) {
        HKEY k = 0;
        std::string data(4096, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        bool found = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) == 0 &&
                     RegQueryValueExA(k, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size) == 0;
        RegCloseKey(k);
        return found ? data.substr(0, size) : "(missing)";
    }
};

TEST_F(Qzreg, ExportThenImportBringsBackEveryByteOfEveryType) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string samples[] = {all,
                                   all + '\0',
                                   std::string("caf\xE9\0", 5),
                                   std::string("a\r\nb\0", 5),
                                   std::string("\"q\" \\\0", 6),
                                   std::string("\xF0\x9F\x98\x80\xED\xA0\x80\xC0\xAF\0", 10),
                                   std::string("\x01\x02\x03\x04", 4),
                                   ""};
    const DWORD types[] = {REG_NONE,     REG_SZ,    REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                           REG_MULTI_SZ, REG_QWORD, 0x1234};
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Bytes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    for (DWORD t : types)
        for (size_t i = 0; i < std::size(samples); ++i)
            ASSERT_EQ(RegSetValueExA(k, (std::to_string(t) + "-" + std::to_string(i)).c_str(), 0, t,
                                     reinterpret_cast<const BYTE*>(samples[i].data()),
                                     static_cast<DWORD>(samples[i].size())),
                      ERROR_SUCCESS);
    RegCloseKey(k);
    ASSERT_EQ(Run({"export", "HKCU\\Software\\Bytes", dir_ + "/a.reg", "/y"}), 0);
    ASSERT_EQ(Run({"delete", "HKCU\\Software\\Bytes", "/f"}), 0);
    std::string out;
    ASSERT_EQ(Run({"import", dir_ + "/a.reg"}, &out), 0) << out;
    for (DWORD t : types) {
        for (size_t i = 0; i < std::size(samples); ++i) {
            DWORD type = 0;
            EXPECT_EQ(Get("Software\\Bytes", std::to_string(t) + "-" + std::to_string(i), &type), samples[i])
                << "type " << t << ", sample " << i;
            EXPECT_EQ(type, t);
        }
    }
}

TEST_F(Qzreg, AnswersAsRegDoes) {
    struct Add {
        const char* name;
        const char* type;
        const char* data;
        std::string stored;
    } adds[] = {{"dec", "REG_DWORD", "010", std::string("\x0A\0\0\0", 4)},
                {"hex", "REG_DWORD", "0x10", std::string("\x10\0\0\0", 4)},
                {"big", "REG_DWORD_BIG_ENDIAN", "0x01020304", "\x01\x02\x03\x04"},
                {"q", "REG_QWORD", "09", std::string("\x09\0\0\0\0\0\0\0", 8)}};
    for (const Add& a : adds) {
        ASSERT_EQ(Run({"add", "HKCU\\Software\\R", "/v", a.name, "/t", a.type, "/d", a.data}), 0) << a.name;
        EXPECT_EQ(Get("Software\\R", a.name), a.stored) << a.name;
    }
    EXPECT_EQ(Run({"add", "HKCU\\Software\\R", "/v", "bad", "/t", "REG_DWORD", "/d", "-1"}), 1);
    std::string out;
    EXPECT_EQ(Run({"query", "HKCU\\Software\\R", "/v", "big"}, &out), 0);
    EXPECT_NE(out.find("big    REG_DWORD_BIG_ENDIAN    0x1020304"), std::string::npos) << out;
    EXPECT_EQ(Run({"query", "HKCU\\Software\\R", "/ve"}, &out), 0);
    EXPECT_EQ(out, "\nHKEY_CURRENT_USER\\Software\\R\n    (Default)    REG_SZ    (value not set)\n\n");
}

TEST_F(Qzreg, ADamagedStoreIsReportedNotListedAsEmpty) {
    for (const char* table : {"keys", "vals"}) {
        SetDir(dir_ + "/" + table);
        HKEY k = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fifty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                  nullptr),
                  ERROR_SUCCESS);
        for (DWORD i = 0; i < 50; ++i)
            ASSERT_EQ(RegSetValueExA(k, ("v" + std::to_string(i)).c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&i), 4),
                      ERROR_SUCCESS);
        RegCloseKey(k);
        RegCloseStores();
        // Overwrite the table's first page with garbage.
        std::string db = dir_ + "/" + table + "/user.db";
        sqlite3* raw = nullptr;
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
        std::string sql = std::string("SELECT rootpage FROM sqlite_master WHERE name = '") + table + "'";
        ASSERT_EQ(sqlite3_prepare_v2(raw, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        const long page = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(raw);
        std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp((page - 1) * 4096);
        f << std::string(4096, '\xA5');
        f.close();
        for (std::vector<std::string> args : {std::vector<std::string>{"query", "HKCU", "/s"},
                                              std::vector<std::string>{"export", "HKCU", dir_ + "/x.reg", "/y"}}) {
            std::string out;
            EXPECT_EQ(Run(args, &out), 1) << table << " " << args[0];
            EXPECT_NE(out.find("ERROR: The configuration registry database is corrupt."), std::string::npos) << out;
        }
    }
}

}  // namespace
