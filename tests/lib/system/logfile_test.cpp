// LogFile: where the log goes, fresh and continued logs, the backup, the
// web server's directory from the registry, and what is appended.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "lib/system/logfile.h"
#include "platform/os/registry.h"
#include "platform/runtime/error.h"
#include "platform/runtime/paths.h"
#include "tmpfs_mount.h"

namespace {

using rt::Usual;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qzlog_XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        std::filesystem::create_directories(dir_ + "/d/LOGS");
        ::setenv("QZ_DRIVES", ("C=/;D=" + dir_ + "/d").c_str(), 1);
        ::setenv("QZ_REGISTRY_DIR", (dir_ + "/reg").c_str(), 1);
        rt::ReloadDriveMap();
        os::RegCloseStores();
    }
    void TearDown() override {
        ::unsetenv("QZ_DRIVES");
        ::unsetenv("QZ_REGISTRY_DIR");
        ::unsetenv("SystemRoot");
        rt::ReloadDriveMap();
        os::RegCloseStores();
        std::filesystem::remove_all(dir_);
    }
    static std::shared_ptr<lib::LogFile> Make(Usual name, Usual web = Usual(), Usual append = Usual()) {
        auto log = rt::New<lib::LogFile>();
        log->INIT(name, web, append);
        return log;
    }
    std::string dir_;
};

TEST_F(LogFileTest, NamesAndPlaces) {
    auto log = Make(Usual("D:\\LOGS\\run"));
    EXPECT_EQ(log->FNAME(), "D:\\LOGS\\run.log");
    EXPECT_EQ(log->LOGPATH(), "D:\\LOGS");
    EXPECT_TRUE(log->APPEND());
    EXPECT_TRUE(log->LOG2FILE());
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/d/LOGS/run.log"));
    std::string exeDir = lib::DirectoryOf(lib::ExecutableWindowsPath());
    EXPECT_EQ(exeDir.back(), '\\');
    auto beside = Make(Usual("trace.txt"));
    EXPECT_EQ(beside->FNAME(), exeDir + "trace.log");
    EXPECT_EQ(beside->SERVERPATH(), exeDir);
    std::filesystem::remove(rt::ResolvePath(beside->FNAME()));
    // The extension is the last component's only; a native path is a path.
    EXPECT_EQ(Make(Usual("D:\\app.v2\\lf"))->FNAME(), "D:\\app.v2\\lf.log");
    EXPECT_EQ(Make(Usual("/tmp/tmp.Qz/lf"))->LOGPATH(), "/tmp/tmp.Qz");
    // Assigns ignore values of the wrong type.
    EXPECT_EQ(log->SetFName(Usual(5)), "D:\\LOGS\\run.log");
    EXPECT_TRUE(log->SetAppend(Usual("no")));
}

TEST_F(LogFileTest, AFreshLogKeepsTheOldOneAsBackup) {
    std::ofstream(dir_ + "/d/LOGS/scan.log", std::ios::binary) << "old\r\n";
    auto log = Make(Usual("D:\\LOGS\\scan.exe"), Usual(false), Usual(false));
    EXPECT_EQ(log->BACKUPNAME(), "D:\\LOGS\\scan.bak");
    EXPECT_EQ(Slurp(dir_ + "/d/LOGS/scan.bak"), "old\r\n");
    EXPECT_EQ(Slurp(dir_ + "/d/LOGS/scan.log"), "");
    EXPECT_TRUE(log->DEBUGMSG("one"));
    EXPECT_TRUE(log->DEBUGMSG(""));  // an empty line: its line end is written
    EXPECT_EQ(Slurp(dir_ + "/d/LOGS/scan.log"), "one\r\n\r\n");
    // A backup name set beforehand is used.
    auto again = rt::New<lib::LogFile>();
    again->SetBackupName(Usual("D:\\LOGS\\keep.old"));
    again->INIT(Usual("D:\\LOGS\\scan.log"), Usual(), Usual(false));
    EXPECT_EQ(Slurp(dir_ + "/d/LOGS/keep.old"), "one\r\n\r\n");
    // A backup that cannot be made leaves the log as it was.
    std::ofstream(dir_ + "/d/LOGS/scan.log", std::ios::binary) << "kept\r\n";
    auto kept = rt::New<lib::LogFile>();
    kept->SetBackupName(Usual("D:\\NONE\\x.bak"));
    kept->INIT(Usual("D:\\LOGS\\scan.log"), Usual(), Usual(false));
    EXPECT_EQ(Slurp(dir_ + "/d/LOGS/scan.log"), "kept\r\n");
    EXPECT_FALSE(kept->LOG2FILE());
    again->SetLog2File(Usual(false));
    EXPECT_FALSE(again->DEBUGMSG(""));
}

TEST_F(LogFileTest, AFullDiskKeepsTheLogAndFailsTheWrite) {
    qztest::TmpfsMount disk;
    NEED_MOUNT(disk.Mount(dir_ + "/d/full", 128 * 1024));
    const std::string old(80 * 1024, 'o');
    std::ofstream(dir_ + "/d/full/app.log") << old;
    auto log = Make(Usual("D:\\full\\app.exe"), Usual(false), Usual(false));
    EXPECT_FALSE(log->LOG2FILE());
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/d/full/app.bak"));
    log->SetLog2File(Usual(true));
    disk.Fill();
    EXPECT_FALSE(log->DEBUGMSG(std::string(8192, 'n')));
    EXPECT_EQ(Slurp(dir_ + "/d/full/app.log"), old);
}

TEST_F(LogFileTest, ProcessesLoggingAtOnceLoseNoLine) {
    // Three real qzeval processes, each making the log and adding its lines.
    std::vector<std::string> want;
    std::vector<FILE*> running;
    for (int p = 0; p < 3; ++p) {
        std::ofstream script(dir_ + "/s" + std::to_string(p));
        script << "l := LogFile{\"" << dir_ << "/shared.log\"}\n";
        for (int i = 0; i < 2000; ++i) {
            want.push_back("process " + std::to_string(p) + " line " + std::to_string(i) + std::string(60, '.'));
            script << "l:DEBUGMSG(\"" << want.back() << "\")\n";
        }
        script.close();
        running.push_back(::popen((QZEVAL_PATH " >/dev/null <" + dir_ + "/s" + std::to_string(p)).c_str(), "r"));
    }
    for (FILE* p : running) EXPECT_EQ(::pclose(p), 0);
    std::vector<std::string> got;
    std::istringstream text(Slurp(dir_ + "/shared.log"));
    for (std::string line; std::getline(text, line);) got.push_back(line.substr(0, line.size() - 1));  // CR
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_TRUE(got == want) << got.size() << " lines of " << want.size();
}

TEST_F(LogFileTest, ErrorReportsAreAppended) {
    auto log = Make(Usual("D:\\LOGS\\err"));
    auto e = rt::MakeError(21, "DBSERVER:INIT");
    log->DUMPERROR(Usual(rt::ObjectRef(e)));
    std::string text = Slurp(dir_ + "/d/LOGS/err.log");
    EXPECT_EQ(text.rfind("***********************ERROR********************************\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\n \r\nError Object created:\r\n--------------------\r\nSubSystem       :BASE\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Application: "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 22), "--------------------\r\n");
}

TEST_F(LogFileTest, WebServerDirectoryComesFromTheRegistry) {
    EXPECT_EQ(lib::WebServerLogDirectory(), "C:\\WINDOWS\\system32\\LogFiles");
    os::HKEY k = 0;
    ASSERT_EQ(os::RegCreateKeyExA(os::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters", 0,
                                  nullptr, 0, os::KEY_SET_VALUE, nullptr, &k, nullptr),
              0);
    std::string v = "x%systemroot%\\System32\\LogFiles";
    ASSERT_EQ(os::RegSetValueExA(k, "LogFileDirectory", 0, os::REG_EXPAND_SZ,
                                 reinterpret_cast<const os::BYTE*>(v.c_str()), static_cast<os::DWORD>(v.size() + 1)),
              0);
    os::RegCloseKey(k);
    EXPECT_EQ(lib::WebServerLogDirectory(), "c:\\\\winnt\\System32\\LogFiles");
    ::setenv("SystemRoot", "C:\\WINNT", 1);
    EXPECT_EQ(lib::WebServerLogDirectory(), "C:\\WINNT\\System32\\LogFiles");
    auto log = Make(Usual("D:\\LOGS\\SCAN.EXE"), Usual(true));
    EXPECT_EQ(log->FNAME(), "C:\\WINNT\\System32\\LogFiles\\SCAN.log");
}

}  // namespace
