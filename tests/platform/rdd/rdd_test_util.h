// Helpers of the table tests: a scratch directory, file bytes, an error
// block that records what it is handed.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/rdd/dbftable.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/settings.h"

namespace rddtest {

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Forks a child that runs `child` with the write end of a pipe (it must not
// return), kills it with SIGKILL after `delay` and reaps it. Returns the
// read end of the pipe (the caller closes it); `killed` tells whether the
// child was still running when the signal came.
inline int RunAndKill(std::chrono::microseconds delay, const std::function<void(int)>& child, bool& killed) {
    int p[2];
    if (::pipe(p) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        child(p[1]);
        ::_exit(99);
    }
    ::close(p[1]);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    killed = WIFSIGNALED(status);
    return p[0];
}

// Records every error and answers with a fixed value (FALSE: use the default).
struct ErrorRecorder {
    std::vector<rt::ErrorRef> seen;
    rt::Usual answer = rt::Usual(false);
    rt::Usual previous;
    ErrorRecorder() {
        previous = rt::ErrorBlock(rt::Usual::Block([this](rt::Args a) {
            seen.push_back(std::dynamic_pointer_cast<rt::Error>(a[0].AsObject()));
            return answer;
        }));
    }
    ~ErrorRecorder() { rt::ErrorBlock(previous); }
    const rt::Error& Last() const { return *seen.back(); }
};

// A fresh directory per test, removed afterwards; settings reset.
class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::ResetSettings();
        char tmpl[] = "/tmp/qzrdd.XXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    void TearDown() override {
        rdd::RDDCloseAll();
        std::filesystem::remove_all(dir_);
        rt::ResetSettings();
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    static rt::Usual Field(const char* name, const char* type, int width, int dec = 0) {
        return rt::Usual::Array({rt::Usual(name), rt::Usual(type), rt::Usual(width), rt::Usual(dec)});
    }
    static rt::Usual ScanStruct() { return rt::Usual::Array({Field("BARCODE", "C", 15), Field("QTY", "C", 10)}); }
    static rt::Usual MixedStruct() {
        return rt::Usual::Array({Field("NAME", "C", 8), Field("PRICE", "N", 8, 2), Field("COUNT", "N", 5),
                                 Field("DAY", "D", 8), Field("OK", "L", 1)});
    }
    // Creates a table and fails the test when that does not work.
    void Create(const std::string& name, const rt::Usual& structure) {
        ErrorRecorder errors;
        ASSERT_TRUE(rdd::DBCreate(Path(name), structure).AsLogic());
        ASSERT_TRUE(errors.seen.empty());
    }
    // Another program, one that knows nothing of index files, sets byte `at`
    // of record `recno` (opening the table shared, beside any open of ours).
    void EditBehindTheIndex(const std::string& name, uint32_t recno, size_t at, uint8_t byte) {
        rdd::dbf::Fault f;
        auto t = rdd::dbf::Table::Open(Path(name), rdd::dbf::OpenMode{}, f);
        ASSERT_TRUE(t);
        std::vector<uint8_t> rec(t->RecordLen());
        ASSERT_FALSE(t->Read(recno, rec.data()));
        rec[at] = byte;
        ASSERT_FALSE(t->Write(recno, rec.data()));
    }
    std::shared_ptr<rdd::DBServer> Open(const std::string& name, bool shared = false, bool readOnly = false) {
        return rt::New<rdd::DBServer>(rt::Usual(Path(name)), rt::Usual(shared), rt::Usual(readOnly));
    }

    std::string dir_;
};

}  // namespace rddtest
