// A scratch directory that is also the current directory for the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "platform/rdd/rdd.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"

class ScanDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::ResetSettings();
        char cwd[PATH_MAX];
        old_ = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
        char tmpl[] = "/tmp/qzscan.XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        ASSERT_EQ(::chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        rdd::RDDCloseAll();
        if (::chdir(old_.c_str()) != 0) {
        }
        std::filesystem::remove_all(dir_);
        rt::ResetSettings();
    }
    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }
    bool IsDirectory(const std::string& rel) const { return std::filesystem::is_directory(Path(rel)); }
    std::string Cwd() const { return std::filesystem::current_path().string(); }

    std::string dir_, old_;
};
