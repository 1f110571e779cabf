// A scratch directory, current for the test, with the program's date and
// deleted-record settings, and helpers to make tables and read files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "appkit/settings_list.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"

namespace exporttest {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The names in a directory, sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

inline rt::Usual Field(const char* name, const char* type, int width, int decimals = 0) {
    return rt::Usual::Array({rt::Usual(name), rt::Usual(type), rt::Usual(width), rt::Usual(decimals)});
}

inline rt::Usual ScanStruct() { return rt::Usual::Array({Field("BARCODE", "C", 15), Field("QTY", "C", 10)}); }

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::ResetSettings();
        rt::SetDeleted(true);
        rt::SetCentury(true);
        rt::SetDateFrmt("DD/MM/YYYY");
        char cwd[PATH_MAX];
        old_ = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
        char tmpl[] = "/tmp/qzexport.XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        ASSERT_EQ(::chdir(dir_.c_str()), 0);
        appkit::ResetSettingsList();
        appkit::AddSetting(rt::Usual(dir_));
    }
    void TearDown() override {
        rdd::RDDCloseAll();
        rt::SetClock(nullptr);
        if (::chdir(old_.c_str()) != 0) {
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
        appkit::ResetSettingsList();
        rt::ResetSettings();
    }
    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }

    // A table with the given structure and rows (values in field order);
    // the rows whose number is in `deleted` (1-based) are marked deleted.
    std::string MakeTable(const std::string& name, const rt::Usual& structure,
                          const std::vector<std::vector<rt::Usual>>& rows, const std::vector<int>& deleted = {}) {
        std::string path = Path(name);
        EXPECT_TRUE(rdd::DBCreate(path, structure).AsLogic());
        rdd::DBServer db(rt::Usual(path), rt::Usual(false), rt::Usual(false));
        for (const auto& row : rows) {
            db.Append();
            for (size_t i = 0; i < row.size(); ++i) db.FieldPut(rt::Usual(static_cast<int64_t>(i + 1)), row[i]);
        }
        for (int recno : deleted) {
            db.GoTo(recno);
            db.Delete();
        }
        EXPECT_TRUE(db.Close());
        return path;
    }

    std::string dir_, old_;
};

}  // namespace exporttest
