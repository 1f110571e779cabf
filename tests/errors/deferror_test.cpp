// The handler's steps: the quiet sharing path, the message lines, the call
// stack, tones, button values, the operator's choices, breaking to a
// recovery scope and ending the process.
#include <cfenv>
#include <cstdlib>

#include "errors/errorgen.h"
#include "errors_fixture.h"
#include "platform/rdd/rdd.h"

namespace errors_test {
namespace {

using errors::DefError;

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// --- the quiet path ---------------------------------------------------------

TEST_F(ErrorsTest, SharingOrLockConflictOnOpenIsAnsweredQuietly) {
    for (uint32_t os : {32u, 33u}) {
        rt::NetErr(false);
        rt::ErrorRef e = OpenError();
        e->OsCode = os;
        EXPECT_EQ(DefError(rt::Usual(e)), rt::Usual(false)) << os;
        EXPECT_TRUE(rt::NetErr()) << os;
    }
    EXPECT_TRUE(Rec().boxes.empty());
    EXPECT_FALSE(Exists(errors::ErrorLogPath()));
}

TEST_F(ErrorsTest, OtherOpenErrorsAndConflictsWithoutDefaultAreShown) {
    rt::ErrorRef denied = OpenError();
    denied->OsCode = 5;
    DefError(rt::Usual(denied));

    rt::ErrorRef noDefault = OpenError();
    noDefault->OsCode = 32;
    noDefault->CanDefault = false;
    Rec().answers.push_back(rt::kErrorBoxRetry);  // keep the process alive
    DefError(rt::Usual(noDefault));

    // An append lock failure is shown too: a scan lost quietly would go
    // unnoticed.
    rt::ErrorRef appendLock = OpenError();
    appendLock->GenCode = rt::kGenAppendLock;
    appendLock->OsCode = 33;
    DefError(rt::Usual(appendLock));

    EXPECT_EQ(Rec().boxes.size(), 3u);
    EXPECT_FALSE(rt::NetErr());
    EXPECT_EQ(Count(Log(), "***********************ERROR"), 3u);
}

// --- message text -----------------------------------------------------------

TEST_F(ErrorsTest, WarningCaptionAndFirstLine) {
    rt::ErrorRef e = OpenError();
    e->Severity = 1;
    DefError(rt::Usual(e));
    EXPECT_EQ(Rec().boxes.at(0).caption, "WARNING");
    EXPECT_EQ(FirstLine(Rec().boxes.at(0).text), "WARNING :  21 [ OPEN ERROR ]");
}

TEST_F(ErrorsTest, PointerSubstituteRaisesSeverityAfterTheCaptionIsFixed) {
    rt::ErrorRef e = OpenError();
    e->Severity = 1;
    e->SubstituteType = rt::kPtr;
    DefError(rt::Usual(e));
    EXPECT_EQ(Rec().boxes.at(0).caption, "WARNING");
    EXPECT_EQ(FirstLine(Rec().boxes.at(0).text), "Error Code:  21 [ OPEN ERROR ]");
    EXPECT_NE(Log().find("Severity        :3\r\n"), std::string::npos);
    EXPECT_NE(Log().find("SubstituteType  :PTR\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, GeneralCodeZeroLeadsWithTheDescription) {
    rt::ErrorRef e = OpenError();
    e->GenCode = 0;
    DefError(rt::Usual(e));
    const std::string& text = Rec().boxes.at(0).text;
    EXPECT_EQ(FirstLine(text), "Error Code:  cannot open");
    EXPECT_NE(text.find("\r\nDescription: cannot open\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, ArgumentTypeLinesFollowTheArgument) {
    rt::ErrorRef noArg = OpenError();
    noArg->ArgType = rt::kString;
    noArg->ArgTypeReq = rt::kString;
    noArg->ArgNum = 1;
    DefError(rt::Usual(noArg));
    const std::string& t1 = Rec().boxes.at(0).text;
    EXPECT_EQ(t1.find("Argument: "), std::string::npos);
    EXPECT_EQ(t1.find("Type: "), std::string::npos);
    EXPECT_EQ(t1.find("Requested type: "), std::string::npos) << "same type as the argument";
    EXPECT_NE(t1.find("Argument Number: 1\r\n"), std::string::npos);

    rt::ErrorRef withArg = OpenError();
    withArg->Arg = "abc";
    withArg->ArgType = rt::kString;
    withArg->ArgTypeReq = rt::kLong;
    withArg->ArgNum = 2;
    DefError(rt::Usual(withArg));
    const std::string& t2 = Rec().boxes.at(1).text;
    EXPECT_NE(t2.find("Argument: abc\r\nType: STRING\r\nArgument Number: 2\r\nRequested type: LONGINT\r\n"),
              std::string::npos);
}

TEST_F(ErrorsTest, ValueThatIsNoErrorBecomesAWrongClassError) {
    EXPECT_EQ(DefError(rt::Usual("oops")), rt::Usual(false));
    const std::string& text = Rec().boxes.at(0).text;
    EXPECT_EQ(FirstLine(text), "Error Code:  28 [ WRONG CLASS ]");
    EXPECT_NE(text.find("Function: DEFERROR\r\nArgument: oops\r\nArgument Number: 1\r\n"), std::string::npos);
    EXPECT_EQ(Rec().boxes.at(0).defaultValue, 1u);
    EXPECT_EQ(errors::SavedErrorInfo().GenCode, 28u);
    EXPECT_EQ(errors::SavedErrorInfo().Severity, 2u);
}

// --- call stack -------------------------------------------------------------

TEST_F(ErrorsTest, CallStackListsAtMostFiveCallersNearestFirst) {
    errors::SetStackReader([] {
        std::vector<rt::Activation> deep;
        for (int i = 1; i <= 8; ++i) deep.push_back({"f" + std::to_string(i), "", i * 10});
        return deep;
    });
    DefError(rt::Usual(OpenError()));
    const std::string& text = Rec().boxes.at(0).text;
    EXPECT_EQ(Count(text, " (Line: "), 5u);
    EXPECT_NE(text.find("CallStack: \r\nf1 (Line: 10)\r\nf2 (Line: 20)\r\nf3 (Line: 30)\r\n"
                        "f4 (Line: 40)\r\nf5 (Line: 50)\r\n"),
              std::string::npos);
}

TEST_F(ErrorsTest, NoCallersNoCallStackHeading) {
    errors::SetStackReader([] { return std::vector<rt::Activation>{}; });
    DefError(rt::Usual(OpenError()));
    EXPECT_EQ(Rec().boxes.at(0).text.find("CallStack"), std::string::npos);
}

[[gnu::noinline]] void RaiseFromDeepInside(int depth) {
    if (depth > 0) {
        RaiseFromDeepInside(depth - 1);
        asm volatile("");  // keeps the call from becoming a jump
        return;
    }
    rt::ErrorRef e = rt::MakeError(rt::kGenRead, "READ");
    e->CanDefault = true;
    rt::RaiseError(e);
}

TEST_F(ErrorsTest, RealCallStackStartsAtTheCodeThatRaised) {
    errors::SetStackReader({});
    UseDefError();
    RaiseFromDeepInside(7);
    const std::string& text = Rec().boxes.at(0).text;
    size_t at = text.find("CallStack: \r\n");
    ASSERT_NE(at, std::string::npos) << text;
    std::string lines = text.substr(at);
    EXPECT_EQ(Count(lines, " (Line: "), 5u) << lines;
    EXPECT_EQ(Count(lines, "RaiseFromDeepInside (Line: "), 5u) << lines;
    EXPECT_EQ(lines.find("rt::RaiseError"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("errors::"), std::string::npos) << lines;
}

// --- tones ------------------------------------------------------------------

TEST_F(ErrorsTest, ThreeTonesOnlyWhileBeepIsOn) {
    DefError(rt::Usual(OpenError()));
    EXPECT_TRUE(Rec().tones.empty());
    rt::SetBeep(true);
    DefError(rt::Usual(OpenError()));
    std::vector<std::pair<int, int>> expected = {{440, 1}, {494, 1}, {523, 1}};
    EXPECT_EQ(Rec().tones, expected);
}

// --- buttons and choices ----------------------------------------------------

TEST_F(ErrorsTest, ButtonValuesFollowTheFlags) {
    rt::ErrorRef bare = rt::MakeError(rt::kGenRead);
    Rec().answers.push_back(rt::kErrorBoxDefault);  // keep the process alive
    DefError(rt::Usual(bare));
    EXPECT_EQ(Rec().boxes.at(0).defaultValue, 0u);
    EXPECT_EQ(Rec().boxes.at(0).retryValue, 0u);

    rt::ErrorRef substitute = rt::MakeError(rt::kGenRead);
    substitute->CanSubstitute = true;
    DefError(rt::Usual(substitute));
    EXPECT_EQ(Rec().boxes.at(1).defaultValue, 1u);

    rt::ErrorRef noVar = rt::MakeError(rt::kGenNoVar);
    noVar->CanRetry = true;
    noVar->CanDefault = true;
    DefError(rt::Usual(noVar));
    EXPECT_EQ(Rec().boxes.at(2).retryValue, 0u);
    EXPECT_FALSE(noVar->CanRetry) << "the handler turns the retry off";
    EXPECT_NE(Log().find("CanRetry        :.F.\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, DefaultChoiceSubstitutesAnEmptyValueOrAnswersFalse) {
    rt::ErrorRef e = OpenError();
    e->CanSubstitute = true;
    e->SubstituteType = rt::kString;
    rt::Usual answer = DefError(rt::Usual(e));
    ASSERT_TRUE(answer.IsString());
    EXPECT_EQ(answer.AsStr(), "");

    e->SubstituteType = rt::kLong;
    answer = DefError(rt::Usual(e));
    EXPECT_TRUE(answer.IsLong());
    EXPECT_EQ(answer.AsLong(), 0);

    e->CanSubstitute = false;
    EXPECT_EQ(DefError(rt::Usual(e)), rt::Usual(false));
}

TEST_F(ErrorsTest, RetryChoiceMakesTheRaiserTryAgain) {
    UseDefError();
    Rec().answers = {rt::kErrorBoxRetry, rt::kErrorBoxRetry, rt::kErrorBoxDefault};
    int attempts = 0;
    rt::Usual answer;
    for (;;) {
        ++attempts;
        rt::ErrorRef e = OpenError();
        answer = rt::RaiseError(e);
        if (!rt::WantsRetry(*e, answer)) break;
    }
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(answer, rt::Usual(false));
}

TEST_F(ErrorsTest, AbortInsideARecoveryScopeBreaksToIt) {
    UseDefError();
    Rec().answers.push_back(rt::kErrorBoxBreak);
    rt::ErrorRef raised = OpenError();
    rt::Usual recovered;
    bool after = false;
    std::feraiseexcept(FE_DIVBYZERO);
    bool normal = rt::BeginSequence(
        [&] {
            rt::RaiseError(raised);
            after = true;
        },
        [&](const rt::Usual& v) { recovered = v; });
    EXPECT_FALSE(normal);
    EXPECT_FALSE(after);
    EXPECT_EQ(recovered.AsObject(), raised) << "the error object reaches the recovery scope";
    EXPECT_EQ(Rec().boxes.at(0).abortValue, 0x80000003u);
    EXPECT_FALSE(std::fetestexcept(FE_DIVBYZERO)) << "the floating-point state is reset";
}

// --- process end ------------------------------------------------------------

class MarkerTable : public rdd::OpenTable {
public:
    void CloseForQuit() override { std::fputs("table closed\n", stderr); }
};

[[noreturn]] void QuitOnError(uint32_t genCode) {
    errors::SetStackReader([] { return std::vector<rt::Activation>{}; });
    MarkerTable table;
    rdd::RegisterOpenTable(&table);
    rt::SetErrorLog(false);
    rt::SetErrorMessageBoxHook(nullptr);  // nobody to ask: abort, the only button
    rt::ErrorRef e = rt::MakeError(genCode, "OPEN");
    errors::DefError(rt::Usual(e));
    std::fputs("DefError returned\n", stderr);
    std::exit(99);
}

TEST_F(ErrorsTest, QuitEndsTheProcessWithTheGeneralCodeAfterClosingTables) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(QuitOnError(rt::kGenOpen), testing::ExitedWithCode(21), "table closed");
}

TEST_F(ErrorsTest, QuitOnAnErrorWithoutGeneralCodeDoesNotReportSuccess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(QuitOnError(0), testing::ExitedWithCode(1), "table closed");
}

// A table failing to close on the way out is not asked about again.
class FailingCloseTable : public rdd::OpenTable {
public:
    void CloseForQuit() override {
        rt::ErrorRef e = rt::MakeError(rt::kGenWrite, "CLOSE");
        e->CanDefault = 1;
        errors::DefError(rt::Usual(e));
        std::fputs("the close gave up\n", stderr);
        errors::DefError(rt::Usual(rt::MakeError(rt::kGenOpen, "CLOSE")));  // no default: quits on
    }
};

TEST_F(ErrorsTest, FailuresWhileQuittingAreNotAskedAgain) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto quit = [] {
        FailingCloseTable table;
        rdd::RegisterOpenTable(&table);
        rt::SetErrorLog(false);
        static int boxes = 0;
        rt::SetErrorMessageBoxHook([](const std::string&, const std::string&, uint32_t, uint32_t, uint32_t abort) {
            return ++boxes > 1 ? (std::_Exit(98), 0u) : abort;
        });
        errors::DefError(rt::Usual(rt::MakeError(rt::kGenWrite, "APPEND")));
    };
    EXPECT_EXIT(quit(), testing::ExitedWithCode(rt::kGenWrite), "the close gave up");
}

}  // namespace
}  // namespace errors_test
