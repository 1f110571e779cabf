// Shared set-up of the error-handling tests: a fixed clock, a fixed call
// stack, a recording error box and tone, and a clean RTERROR.LOG in the
// test program's folder (the work directory).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "errors/deferror.h"
#include "errors/errorreport.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/errorservices.h"
#include "platform/runtime/settings.h"

namespace errors_test {

struct BoxCall {
    std::string text, caption;
    uint32_t defaultValue, retryValue, abortValue;
};

struct PlainBoxCall {
    std::string text, caption;
    uint32_t style;
};

struct Recorder {
    std::vector<BoxCall> boxes;
    std::vector<PlainBoxCall> plainBoxes;  // MessageBoxA
    std::deque<uint32_t> answers;          // empty: answer the default value
    std::vector<std::pair<int, int>> tones;
};

inline Recorder& Rec() {
    static Recorder r;
    return r;
}

inline uint32_t RecordBox(const std::string& text, const std::string& caption, uint32_t d, uint32_t r, uint32_t a) {
    Rec().boxes.push_back({text, caption, d, r, a});
    if (Rec().answers.empty()) return d;
    uint32_t answer = Rec().answers.front();
    Rec().answers.pop_front();
    return answer;
}

inline int RecordPlainBox(const std::string& text, const std::string& caption, uint32_t style) {
    Rec().plainBoxes.push_back({text, caption, style});
    return 1;
}

inline void RecordTone(int frequency, int duration) { Rec().tones.emplace_back(frequency, duration); }

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline bool Exists(const std::string& path) { return std::ifstream(path).good(); }

class ErrorsTest : public testing::Test {
protected:
    void SetUp() override {
        rt::ResetSettings();
        Rec() = Recorder{};
        rt::SetErrorMessageBoxHook(&RecordBox);
        rt::SetMessageBoxHook(&RecordPlainBox);
        rt::SetToneHook(&RecordTone);
        rt::SetClock([] { return rt::CivilTime{2024, 3, 5, 14, 7, 9}; });
        errors::SetStackReader([] {
            return std::vector<rt::Activation>{{"app::DataReader::Open", "", 42}, {"app::Shell::ScanData", "", 7}};
        });
        savedBlock_ = rt::ErrorBlock(rt::Usual());
        rt::NetErr(false);
        std::remove(errors::ErrorLogPath().c_str());
    }
    void TearDown() override {
        std::remove(errors::ErrorLogPath().c_str());
        rt::ErrorBlock(savedBlock_);
        errors::SetStackReader({});
        rt::SetClock(nullptr);
        rt::SetToneHook(nullptr);
        rt::SetErrorMessageBoxHook(nullptr);
        rt::SetMessageBoxHook(nullptr);
        rt::ResetSettings();
    }

    // Makes DefError the error block.
    static void UseDefError() {
        rt::ErrorBlock(rt::Usual::Block([](rt::Args a) { return errors::DefError(a.empty() ? rt::Usual() : a[0]); }));
    }

    static std::string Log() { return ReadFile(errors::ErrorLogPath()); }

    // An open error on the scan data file, as the table layer raises it.
    static rt::ErrorRef OpenError() {
        rt::ErrorRef e = rt::MakeError(rt::kGenOpen, "DBSERVER:INIT");
        e->SubSystem = "DBFCDX";
        e->SubCode = 1001;
        e->OsCode = 2;
        e->CanDefault = true;
        e->CanRetry = true;
        e->Description = "cannot open";
        e->FileName = "C:\\DATA\\QZSCAN.DBF";
        e->Tries = 1;
        e->FuncSym = rt::Symbol("DBUSEAREA");
        return e;
    }

private:
    rt::Usual savedBlock_;
};

}  // namespace errors_test
