#include <gtest/gtest.h>

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
        {kDeep.c_str(), kGenSyntax, "nested too deeply"},
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
