// WILDMATCH against the recursive definition it must answer like, WILDPOS,
// WILDSEEK on an indexed table written by python3-dbf, and FilterBlock.
#include "lib/data/wildcard.h"

#include <cstdio>
#include <random>

#include "platform/runtime/macro.h"
#include "platform/runtime/text.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using lib::WildMatch;
using lib::WildPos;
using rddtest::ErrorRecorder;

namespace {

// The recursive definition, transcribed step by step (positions 1-based).
bool Recursive(const std::string& v, const std::string& p) {
    size_t i = p.find_first_of("*?");
    if (i == std::string::npos) return v == p;                                         // 2
    ++i;                                                                               // 1: i is 1-based
    if (v.size() < i - 1 || v.compare(0, i - 1, p, 0, i - 1) != 0) return false;       // 3
    if (p[i - 1] == '?') return v.size() >= i && Recursive(v.substr(i), p.substr(i));  // 4
    size_t s = i;                                                                      // 5
    while (i < p.size() && p[i] == '*') ++i;
    if (i == p.size()) return true;
    const std::string r = p.substr(i);
    for (size_t j = s; j <= v.size(); ++j)
        if (Recursive(v.substr(j - 1), r)) return true;
    return false;
}

TEST(WildMatch, WorkedCases) {
    struct Case {
        const char* value;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"ABC", "A*", true},   {"ABC", "*C", true},     {"ABC", "A?C", true},     {"ABC", "*", true},
        {"ABC", "A*C*", true}, {"ABC", "?B?", true},    {"ABC", "A?", false},     {"ABC", "a*", false},
        {"ABC", "AB", false},  {"ABC", "AB?C", false},  {"", "", true},           {"", "*", true},
        {"", "?", false},      {"ABC   ", "AB*", true}, {"ABC   ", "AB?", false}, {"AXB", "**X***", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WildMatch(c.value, c.pattern), c.match) << c.value << " ~ " << c.pattern;
        EXPECT_EQ(Recursive(c.value, c.pattern), c.match) << "the transcription: " << c.value << " ~ " << c.pattern;
    }
}

TEST(WildMatch, AgreesWithTheRecursiveDefinitionOnRandomInput) {
    std::mt19937 rng(7);
    const char alphabet[] = "ab*?";
    for (int n = 0; n < 200000; ++n) {
        std::string v, p;
        for (size_t k = rng() % 9; k > 0; --k) v += "abc"[rng() % 3];
        for (size_t k = rng() % 8; k > 0; --k) p += alphabet[rng() % 4];
        ASSERT_EQ(WildMatch(v, p), Recursive(v, p)) << v << " ~ " << p;
        // The same texts with b and c written as characters of two and three
        // bytes: "?" still takes one character.
        auto wide = [](const std::string& t) { return StrTran(StrTran(t, "b", "\xC3\xA9"), "c", "\xE2\x82\xAC"); };
        ASSERT_EQ(WildMatch(wide(v), wide(p)), Recursive(v, p)) << wide(v) << " ~ " << wide(p);
    }
    EXPECT_TRUE(WildMatch("\xC3\xA9", "?"));
    EXPECT_FALSE(WildMatch("\xC3\xA9", "??"));
    EXPECT_TRUE(
        WildMatch("a\xE9"
                  "b",
                  "a?b"));  // a byte of another code page is one character
}

TEST(WildMatch, LongTextsAreAConversionError) {
    ErrorRecorder errors;
    EXPECT_TRUE(WildMatch(std::string(65535, 'a'), "*a"));
    std::string wide;
    for (int i = 0; i < 65535; ++i) wide += "\xC3\xA9";  // lengths count characters
    EXPECT_TRUE(WildMatch(wide, "*?"));
    EXPECT_TRUE(errors.seen.empty());
    EXPECT_FALSE(WildMatch(std::string(65536, 'a'), "*"));
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenNumOverflow);
}

TEST(WildPos, PositionOfTheFirstWildcard) {
    const std::pair<const char*, int64_t> cases[] = {
        {"AB*", 3}, {"*AB", 1},  {"A?B*", 2}, {"A*B?", 2}, {"?*", 1},
        {"*?", 1},  {"AB?D", 0}, {"ABC", 0},  {"", 0},     {"AB*?*", 3},
    };
    for (const auto& [pattern, pos] : cases) EXPECT_EQ(WildPos(pattern), pos) << pattern;
}

// Records each notification a server sends.
class Listener : public Object {
    QZ_OBJECT(Listener)
public:
    Usual Notify(int64_t code, const Usual&) {
        codes.push_back(code);
        return Usual(true);
    }
    std::vector<int64_t> codes;
};
const ClassDef& Listener::StaticClass() {
    static const ClassDef& c = ClassBuilder<Listener>("WILDLISTENER").Method<&Listener::Notify>("NOTIFY").Done();
    return c;
}

class WildSeekTest : public rddtest::TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        lib::RegisterWildcard();
    }
    // A table written by python3-dbf; empty path when it is not installed.
    std::string PythonTable() {
        const std::string path = Path("pyitems.dbf");
        const std::string script = Path("make.py");
        FILE* f = std::fopen(script.c_str(), "w");
        std::fputs(
            "import sys, dbf\n"
            "t = dbf.Table(sys.argv[1], 'CODE C(8); QTY N(5,0)', dbf_type='db3')\n"
            "t.open(mode=dbf.READ_WRITE)\n"
            "for row in [('ABD', 1), ('XYZ', 2), ('ABC', 3), ('40063A', 4), ('B', 5), ('40063', 6),"
            " ('AB?D', 7), ('QXQ', 8)]:\n"
            "    t.append(row)\n"
            "t.close()\n",
            f);
        std::fclose(f);
        if (::access("/usr/bin/python3", X_OK) != 0) return {};
        if (std::system(("/usr/bin/python3 " + script + " " + path + " 2>/dev/null").c_str()) != 0) return {};
        return path;
    }
};

TEST_F(WildSeekTest, SeeksOnAnIndexedTableMadeByPythonDbf) {
    const std::string path = PythonTable();
    if (path.empty()) GTEST_SKIP() << "python3-dbf is not installed (setup/deps.sh installs it)";
    auto db = New<DBServer>(Usual(path), Usual(false), Usual(false));
    ASSERT_TRUE(db->CreateOrder(Usual("CODE"), Usual(), Usual("CODE"), Usual()));
    ASSERT_TRUE(db->CreateOrder(Usual("QTY"), Usual(), Usual("QTY"), Usual()));
    db->SetOrder(Usual("CODE"));
    struct Case {
        Usual key;
        bool found;
        int64_t recno;  // where the pointer stays; 0 at the end
    };
    const Case cases[] = {
        {Usual("AB*"), true, 7},    // AB?D sorts first ("?" before letters), blanks and all
        {Usual("A?C*"), true, 3},   // prefix A: AB?D does not match, ABC does
        {Usual("ABC?"), false, 0},  // no star: a plain seek of the text, not found
        {Usual("*X*"), true, 8},    // from the top: QXQ comes before XYZ
        {Usual("*Z"), false, 0},    // no key ends in Z: its blanks follow
        {Usual("*Z*"), true, 2},   {Usual("40063*"), true, 6},
        {Usual("AB?D"), true, 7},  // no star: a plain seek of the text
        {Usual("C*"), false, 0},   // the prefix seek fails
        {Usual("A?D*"), true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.AsStr());
        EXPECT_EQ(Send(Usual(db), "WILDSEEK", {c.key}), Usual(c.found));
        EXPECT_EQ(db->Eof(), c.recno == 0);
        if (c.recno) {
            EXPECT_EQ(db->RecNo(), c.recno);
        }
    }
    db->SetOrder(Usual("QTY"));
    EXPECT_EQ(Send(Usual(db), "WILDSEEK", {Usual(5)}), Usual(true));  // a number: the plain seek
    EXPECT_EQ(db->RecNo(), 5);
}

TEST_F(WildSeekTest, NotifiesOnceAndLeavesNotificationsBalanced) {
    Create("t.dbf", ScanStruct());
    auto db = Open("t.dbf");
    auto listener = New<Listener>();
    db->RegisterClient(Usual(listener));
    ASSERT_TRUE(db->CreateOrder(Usual("CODE"), Usual(), Usual("BARCODE"), Usual()));
    listener->codes.clear();
    EXPECT_FALSE(lib::WildSeek(*db, Usual("*")));  // an empty order holds no match
    EXPECT_TRUE(db->Eof());
    EXPECT_FALSE(db->NotificationsSuspended());
    EXPECT_EQ(listener->codes, (std::vector<int64_t>{2, 3}));  // intent, then the refresh
    db->SetOrder(Usual(0));
    ErrorRecorder errors;
    EXPECT_FALSE(lib::WildSeek(*db, Usual("A*")));  // no order: the table's error
    EXPECT_EQ(errors.seen.size(), 1u);
    EXPECT_FALSE(db->NotificationsSuspended());
}

TEST(WildMatch, ReachableFromCompiledBlocks) {
    lib::RegisterWildcard();
    EXPECT_EQ(MacroEval("WildMatch('ABC', 'A?C') .AND. WildPos('AB*') == 3"), Usual(true));
    Usual block = CompileBlock("{|s| WildMatch(s, '*B*')}");
    EXPECT_EQ(block.Eval({Usual("ABC")}), Usual(true));
    EXPECT_EQ(block.Eval({Usual("AC")}), Usual(false));
}

TEST(FilterBlock, EvaluatesTheConditionWithItsServer) {
    lib::RegisterWildcard();
    auto server = New<DataServer>();
    Usual block = Usual::Block([](Args a) { return Usual(a.size() == 1 && a[0].IsObject()); });
    Usual fb = CreateInstance(Symbol("FILTERBLOCK"), std::vector<Usual>{Usual(server), block});
    ASSERT_TRUE(fb.IsObject());
    EXPECT_EQ(Send(fb, "EVAL"), Usual(true));
    EXPECT_EQ(IVarGet(fb, Symbol("ODB")).AsObject(), server);
    Send(fb, "DESTROY");
    EXPECT_TRUE(IVarGet(fb, Symbol("BEXPR")).IsNil());
    EXPECT_TRUE(Send(fb, "EVAL").IsNil());
}

}  // namespace
