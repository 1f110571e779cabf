#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/memvar.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"

using namespace rt;

namespace {

// Collects the errors raised while it lives and answers them with NIL.
struct ErrorTrap {
    ErrorTrap() {
        old = ErrorBlock(Usual::Block([this](Args a) {
            errors.push_back(std::static_pointer_cast<Error>(a[0].AsObject()));
            return Usual();
        }));
    }
    ~ErrorTrap() { ErrorBlock(old); }
    Usual old;
    std::vector<ErrorRef> errors;
};

std::string Evaluated(const std::string& text) { return AsString(MacroEval(text)); }

class Macro : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        SetDateFrmt("DD/MM/YYYY");
        MemVarClearAll();
    }
    void TearDown() override {
        MemVarClearAll();
        ResetSettings();
    }
};

}  // namespace

TEST_F(Macro, EvaluatesTheLanguage) {
    struct Case {
        const char* text;
        const char* want;
    } cases[] = {
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"2 ** 3 ** 2", "512.00"},
        {"-2 ^ 2", "-4.00"},
        {"7 % 3", "1"},
        {"7 / 2", "3.50"},
        {"8 / 2", "4"},
        {"\"ab\" + 'cd' + [ef]", "abcdef"},
        {"\"ab  \" - \"cd\"", "abcd  "},
        {"0d20240315 + 1", "16/03/2024"},
        {"0d20240315 - 0d20240301", "14"},
        {"\"ABC\" = \"AB\"", ".T."},
        {"\"ABC\" == \"AB\"", ".F."},
        {"\"AB\" = \"ABC\"", ".F."},
        {"\"ABC\" != \"AB\"", ".F."},
        {"\"B\" $ \"ABC\"", ".T."},
        {"3 <= 3 .AND. 4 > 3", ".T."},
        {".F. .OR. .NOT. .F.", ".T."},
        {"!.T.", ".F."},
        {"NIL == NIL", ".T."},
        {"{1, {2, 3}, 'x'}", "{[3]}"},
        {"{1, {2, 3}}[2, 1]", "2"},
        {"Len({1, 2, 3})", "3"},
        {"Upper(SubStr('hello', 2, 3))", "ELL"},
        {"AllTrim(Str(42))", "42"},
        {"Val('12.5') * 2", "25.0"},
        {"DToS(CToD('15/03/2024'))", "20240315"},
        {"Year(SToD('20240315'))", "2024"},
        {"IIf(1 > 2, 1 / 0, 'lazy')", "lazy"},
        {"PadL('7', 3, '0')", "007"},
        {"ValType(#NAME)", "#"},
        {"Eval({|a, b| a * b}, 6, 7)", "42"},
        {"Eval({|a| {|b| a + b}}, 1):Eval(2)", "ERR"},
        {"Eval(Eval({|a| {|b| a + b}}, 1), 2)", "3"},
        {"Round(2.675, 2)", "2.68"},
        {"Max(3, 9)", "9"},
    };
    for (const Case& c : cases) {
        ErrorTrap trap;
        std::string got = Evaluated(c.text);
        if (std::string(c.want) == "ERR") EXPECT_FALSE(trap.errors.empty()) << c.text;
        else EXPECT_EQ(got, c.want) << c.text;
    }
}

TEST_F(Macro, ExactSettingDecidesPlainEquals) {
    SetExact(true);
    EXPECT_EQ(Evaluated("\"ABC\" = \"AB\""), ".F.");
    EXPECT_EQ(Evaluated("\"AB  \" = \"AB\""), ".T.");
    EXPECT_EQ(Evaluated("\"AB  \" == \"AB\""), ".F.");
}

TEST_F(Macro, AssignmentsKeepSessionVariablesAndParameters) {
    EXPECT_EQ(Evaluated("x := 5"), "5");
    EXPECT_EQ(Evaluated("x += 2, x * 10"), "70");
    EXPECT_EQ(Evaluated("M->x"), "7");
    EXPECT_EQ(Evaluated("Eval({|a| a := a + 1, a}, 1)"), "2");
    EXPECT_EQ(Evaluated("arr := {1, 2}, arr[2] := 9, arr[2]"), "9");
}

TEST_F(Macro, WholeBlockTextGivesThatBlock) {
    Usual b = CompileBlock("{|a, b| a + b}");
    ASSERT_TRUE(b.IsCodeBlock());
    EXPECT_EQ(b.Eval({Usual(2), Usual(3)}).AsLong(), 5);
    Usual e = CompileBlock("UPPER('x')");
    EXPECT_EQ(e.Eval().AsStr(), "X");
}

TEST_F(Macro, FieldsBindAtCompileTimeOrThroughTheCurrentArea) {
    Usual stored = Usual("abc");
    FieldLookup fields = [&](std::string_view alias, std::string_view name) -> std::optional<FieldBinding> {
        if (name != "NAME" || !(alias.empty() || alias == "T")) return std::nullopt;
        return FieldBinding{[&] { return stored; }, [&](const Usual& v) { return stored = v; }};
    };
    Usual b = CompileBlock("NAME := Upper(NAME) + T->NAME", fields);
    b.Eval();
    EXPECT_EQ(stored.AsStr(), "ABCabc");

    SetCurrentFieldLookup(fields);
    EXPECT_EQ(Evaluated("Left(NAME, 3)"), "ABC");
    SetCurrentFieldLookup({});
    ErrorTrap trap;
    Evaluated("NAME");
    ASSERT_EQ(trap.errors.size(), 1u);
    EXPECT_EQ(trap.errors[0]->GenCode, kGenNoVar);
}

TEST_F(Macro, FaultsNameTheirPosition) {
    static const std::string kDeep(300, '(');
    struct Case {
        const char* text;
        uint32_t gen;
        const char* where;
    } cases[] = {
        {"1 + ", kGenSyntax, "position 5"},
        {"(1 + 2", kGenSyntax, "position 7"},
        {"'abc", kGenSyntax, "position 1"},
        {"1 @ 2", kGenSyntax, "position 3"},
        {"3 := 4", kGenSyntax, "position 3"},
        {"1 + 'a'", kGenArg, "position 3"},
        {"10 / 0", kGenZeroDiv, "position 4"},
        {"NoSuchFn(1)", kGenNoFunc, "position 1"},
        {"Upper(1)", kGenArg, "position 1"},
        {"{1}[5]", kGenBound, "position 4"},
        {"5:Foo()", kGenNoMethod, "position 2"},
        {"NoSuchClass{}", kGenNoClass, "position 1"},
        {"x := {|| Eval(x)}, Eval(x)", kGenComplexity, "position"},
        {kDeep.c_str(), kGenComplexity, "nested too deeply"},
        {"1e400", kGenNumOverflow, "position 1"},
        {"1e300 * 1e300", kGenNumOverflow, "position 7"},
    };
    for (const Case& c : cases) {
        ErrorTrap trap;
        Usual v = MacroEval(c.text);
        ASSERT_FALSE(trap.errors.empty()) << c.text;
        EXPECT_EQ(trap.errors[0]->GenCode, c.gen) << c.text;
        EXPECT_NE(trap.errors[0]->Description.find(c.where), std::string::npos)
            << c.text << ": " << trap.errors[0]->Description;
    }
}

// Long runs of one operator are read and evaluated in a loop; what must
// nest (parentheses, unary operators, postfixes, blocks within blocks) is
// refused past its bound with an error, never by running the stack out.
TEST_F(Macro, LongExpressionsEvaluateAndDeepOnesAreRefused) {
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    struct Long {
        std::string text;
        const char* want;
    } longs[] = {
        {"1" + repeat("+1", 20000), "20001"},
        {".T." + repeat(" .AND. .T.", 60000), ".T."},
        {".F." + repeat(" .OR. .F.", 60000) + " .OR. 1 < 2", ".T."},
        {"1" + repeat("*1", 30000) + repeat("-1", 30000), "-29999"},
    };
    for (const Long& c : longs) {
        ErrorTrap trap;
        EXPECT_EQ(Evaluated(c.text), c.want) << c.text.substr(0, 40);
        EXPECT_TRUE(trap.errors.empty()) << trap.errors[0]->Description;
    }
    std::string deep[] = {
        repeat("(", 100000) + "1" + repeat(")", 100000),
        repeat("-", 100000) + "1",
        repeat(".NOT. ", 100000) + ".T.",
        "{1}" + repeat("[1]", 100000),
        "x" + repeat(":Y", 100000),
        repeat("{", 100000),
        "x := {|| " + repeat("-(", 20) + "Eval(x)" + repeat(")", 20) + "}, Eval(x)",
    };
    for (const std::string& text : deep) {
        ErrorTrap trap;
        MacroEval(text);
        ASSERT_FALSE(trap.errors.empty()) << text.substr(0, 40);
        EXPECT_EQ(trap.errors[0]->GenCode, kGenComplexity) << trap.errors[0]->Description;
    }
}

// The error block itself may be compiled text: it runs when a depth fault
// is raised from the deepest point, and its own evaluation is not stopped.
TEST_F(Macro, CompiledErrorBlockHandlesDepthFault) {
    MemVarPut("SEEN", Usual(int64_t{0}));
    Usual old = ErrorBlock(CompileBlock("{|e| SEEN := SEEN + 1, -1}"));
    Usual v = MacroEval("x := {|n| IIf(n > 0, Eval(x, n - 1), 0)}, Eval(x, 100000)");
    ErrorBlock(old);
    EXPECT_EQ(MemVarGet("SEEN")->AsLong(), 1);
    EXPECT_EQ(v.AsLong(), -1);
}

// On a thread with a small stack the evaluation stops, with the same error,
// where the stack runs low rather than at the depth an ordinary stack allows.
TEST_F(Macro, SmallThreadStackGivesDepthError) {
    struct Run {
        static void* Body(void* arg) {
            ErrorTrap trap;
            MacroEval("x := {|| Upper(Upper(Upper(Upper(Eval(x)))))}, Eval(x)");
            *static_cast<uint32_t*>(arg) = trap.errors.empty() ? 0 : trap.errors[0]->GenCode;
            return nullptr;
        }
    };
    uint32_t gen = 0;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 512 << 10);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, &Run::Body, &gen), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(gen, kGenComplexity);
}

TEST_F(Macro, BudgetBoundsStepsAndBytes) {
    struct Case {
        const char* text;
        EvalLimits limits;
        uint32_t gen;  // 0: within the budget
    } cases[] = {
        {"1+1+1+1", {100, 0}, 0},
        {"Eval(x := {|n| IIf(n > 0, Eval(x, n - 1), 0)}, 300)", {1000, 0}, kGenComplexity},
        {"Len(Replicate('ab', 1000))", {0, 4000}, 0},
        {"Len(Replicate('ab', 1000) + Replicate('ab', 1000))", {0, 5000}, kGenMem},
        {"Len(Space(100000000))", {0, 1 << 20}, kGenMem},
        {"Len(Array(1000000))", {0, 1 << 20}, kGenMem},
    };
    for (const Case& c : cases) {
        ErrorTrap trap;
        EvalBudget budget(c.limits);
        Usual v = MacroEval(c.text);
        EXPECT_EQ(budget.Exceeded(), c.gen != 0) << c.text;
        if (c.gen == 0) continue;
        ASSERT_EQ(trap.errors.size(), 1u) << c.text;
        EXPECT_EQ(trap.errors[0]->GenCode, c.gen) << c.text;
        EXPECT_TRUE(v.IsNil()) << c.text;
    }
}

// An error block that answers every fault lets the evaluation go on; each
// fault is charged as many steps, so a recursion that fails at every level
// and branches twice still ends after a bounded number of raised errors.
TEST_F(Macro, FaultsAnsweredWithValuesStayWithinTheBudget) {
    for (const char* text : {"Eval(x := {|n| IIf(.T., Eval(x, n - 'a') + Eval(x, n - 'a'), 0)}, 1)",
                             "x := {|| Upper(Eval(w := {|| Upper(Eval(x))}, Eval(x)))}, Eval(x)"}) {
        ErrorTrap trap;
        EvalBudget budget({50000, 0});
        MacroEval(text);
        EXPECT_TRUE(budget.Exceeded()) << text;
        EXPECT_LE(trap.errors.size(), 50000 / kFaultSteps + 1) << text;
    }
}
