// The report in RTERROR.LOG: exact bytes of both variants, how reports
// follow each other, logging off, a log held by someone else, and the
// hexadecimal forms.
#include <cstdio>

#include "errors_fixture.h"
#include "platform/runtime/errordump.h"
#include "platform/runtime/files.h"
#include "platform/runtime/paths.h"

namespace errors_test {
namespace {

using errors::DefError;

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

std::string Head() {
    return "***********************ERROR********************************\r\n"
           "QZScan runtime 1.02\r\n"
           "03/05/24 14:07:09\r\n"
           "Application: " +
           rt::ExecName() +
           "\r\n"
           " \r\n"
           "Error message:\r\n"
           "--------------\r\n";
}

TEST_F(ErrorsTest, ReportOfAnOpenErrorHasEveryLineAndLabel) {
    rt::Usual answer = DefError(rt::Usual(OpenError()));
    EXPECT_EQ(answer, rt::Usual(false));

    std::string message =
        "Error Code:  21 [ OPEN ERROR ]\r\n"
        "Subsystem: DBFCDX\r\n"
        "Error Subcode: 1001\r\n"
        "Operation: DBSERVER:INIT\r\n"
        "Function: DBUSEAREA\r\n"
        "Filename: C:\\DATA\\QZSCAN.DBF\r\n"
        "Description: cannot open\r\n"
        "CallStack: \r\n"
        "app::DataReader::Open (Line: 42)\r\n"
        "app::Shell::ScanData (Line: 7)\r\n";
    std::string expected = Head() + message +
                           "\r\n"
                           "Error Object created:\r\n"
                           "--------------------\r\n"
                           "SubSystem       :DBFCDX\r\n"
                           "SubCode         :1001\r\n"
                           "GenCode         :Open error\r\n"
                           "OsCode          :2\r\n"
                           "ArgType         :NIL\r\n"
                           "FuncPtr         :0x0000000000000000\r\n"
                           "ArgNum          :0\r\n"
                           "FuncSym         :DBUSEAREA\r\n"
                           "Severity        :2\r\n"
                           "CanDefault      :.T.\r\n"
                           "CanRetry        :.T.\r\n"
                           "CanSubstitute   :.F.\r\n"
                           "Operation       :DBSERVER:INIT\r\n"
                           "Description     :cannot open\r\n"
                           "FileName        :C:\\DATA\\QZSCAN.DBF\r\n"
                           "Tries           :1\r\n"
                           "FileHandle      :0\r\n"
                           "SubCodeText     :\r\n"
                           "Arg             :\r\n"
                           "ArgTypeReq      :NIL\r\n"
                           "MaxSize         :0\r\n"
                           "SubstituteType  :NIL\r\n"
                           "CallFuncSym     :\r\n"
                           "--------------------\r\n";
    EXPECT_EQ(Log(), expected);

    ASSERT_EQ(Rec().boxes.size(), 1u);
    const BoxCall& box = Rec().boxes[0];
    EXPECT_EQ(box.text, message);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.defaultValue, 1u);
    EXPECT_EQ(box.retryValue, 2u);
    EXPECT_EQ(box.abortValue, 0x80000000u);
}

TEST_F(ErrorsTest, ExceptionReportReplacesFiveLinesWithHexForms) {
    rt::ErrorRef e = rt::MakeError(rt::kGenNumErr);
    e->SubSystem = "BASE";
    e->SubCode = rt::kExceptionSubCode;
    e->SubCodeText = "ACCESS VIOLATION";
    e->OsCode = 0xC0000005u;
    e->ArgType = 0;
    e->FuncPtr = rt::Pointer{reinterpret_cast<const void*>(uintptr_t{0x7F12A0401000})};
    e->ArgNum = 2;
    e->FuncSym = rt::Symbol("SEGV_INFO");
    e->Severity = 2;
    // Only quit is offered; the recorder answers 1 all the same so that the
    // test process goes on: the report is what is checked here.
    Rec().answers.push_back(rt::kErrorBoxDefault);
    DefError(rt::Usual(e));

    std::string expected = Head() +
                           "Error Code:  6 [ NUMERIC ERROR ]\r\n"
                           "Subsystem: BASE\r\n"
                           "Error Subcode: 5333 (ACCESS VIOLATION)\r\n"
                           "Function: SEGV_INFO\r\n"
                           "Argument Number: 2\r\n"
                           "CallStack: \r\n"
                           "app::DataReader::Open (Line: 42)\r\n"
                           "app::Shell::ScanData (Line: 7)\r\n"
                           "\r\n"
                           "Error Object created:\r\n"
                           "--------------------\r\n"
                           "SubSystem       :BASE\r\n"
                           "SubCode         :5333\r\n"
                           "GenCode         :Numeric error\r\n"
                           "ExceptionCode   :C0000005\r\n"
                           "ExceptionFlags  :00000000\r\n"
                           "ExceptionAddress:00007F12A0401000\r\n"
                           "ParamNumber     :2\r\n"
                           "ExceptionInfo   :" +
                           Hex8(rt::Symbol("SEGV_INFO").Id()) +
                           "\r\n"
                           "Severity        :2\r\n"
                           "CanDefault      :.F.\r\n"
                           "CanRetry        :.F.\r\n"
                           "CanSubstitute   :.F.\r\n"
                           "Operation       :\r\n"
                           "Description     :\r\n"
                           "FileName        :\r\n"
                           "Tries           :0\r\n"
                           "FileHandle      :0\r\n"
                           "SubCodeText     :ACCESS VIOLATION\r\n"
                           "Arg             :\r\n"
                           "ArgTypeReq      :NIL\r\n"
                           "MaxSize         :0\r\n"
                           "SubstituteType  :NIL\r\n"
                           "CallFuncSym     :\r\n"
                           "--------------------\r\n";
    EXPECT_EQ(Log(), expected);
}

TEST_F(ErrorsTest, ReportsInAnExistingLogAreSeparatedByOneEmptyLine) {
    DefError(rt::Usual(OpenError()));
    std::string first = Log();
    ASSERT_EQ(first.rfind("***********************ERROR", 0), 0u) << "a new log starts with the banner";

    DefError(rt::Usual(OpenError()));
    std::string both = Log();
    ASSERT_EQ(both.size(), first.size() * 2 + 2);
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_EQ(both.substr(first.size(), 2), "\r\n");
    EXPECT_EQ(both.substr(first.size() + 2), first);
}

TEST_F(ErrorsTest, LoggingOffWritesNoFileButStillShowsTheError) {
    rt::SetErrorLog(false);
    DefError(rt::Usual(OpenError()));
    EXPECT_FALSE(Exists(errors::ErrorLogPath()));
    EXPECT_EQ(Rec().boxes.size(), 1u);
}

TEST_F(ErrorsTest, LogHeldExclusivelyElsewhereIsNeitherTruncatedNorWritten) {
    ASSERT_TRUE(rt::MemoWrit(errors::ErrorLogPath(), "earlier report\r\n"));
    int holder = rt::FOpen(errors::ErrorLogPath(), rt::kFoReadWrite | rt::kFoExclusive);
    ASSERT_NE(holder, -1);
    DefError(rt::Usual(OpenError()));
    rt::FClose(holder);
    EXPECT_EQ(Log(), "earlier report\r\n");
    EXPECT_EQ(Rec().boxes.size(), 1u) << "the error is shown without its report";
}

TEST_F(ErrorsTest, FileNameIsCutTo40CharactersInTheMessageOnly) {
    rt::ErrorRef e = OpenError();
    e->FileName = std::string(20, 'A') + std::string(20, 'B') + std::string(20, 'C');
    DefError(rt::Usual(e));
    const std::string& text = Rec().boxes.at(0).text;
    EXPECT_NE(text.find("Filename: " + std::string(20, 'A') + std::string(20, 'B') + "\r\n"), std::string::npos);
    EXPECT_NE(Log().find("FileName        :" + e->FileName + "\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, FileNameCutKeepsWholeUtf8Characters) {
    rt::ErrorRef e = OpenError();
    std::string umlauts;
    for (int i = 0; i < 45; ++i) umlauts += "\xC3\xBC";  // u with diaeresis
    e->FileName = umlauts;
    DefError(rt::Usual(e));
    EXPECT_NE(Rec().boxes.at(0).text.find("Filename: " + umlauts.substr(0, 80) + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace errors_test
