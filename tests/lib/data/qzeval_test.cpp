#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "rdd_test_util.h"

namespace {

struct Outcome {
    std::string out;
    int code;
};

// Runs the real qzeval with the given arguments and standard input.
Outcome QzEval(const std::string& args, const std::string& input = "") {
    std::string cmd = "printf '" + input + "' | " + QZEVAL_PATH + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    Outcome r{{}, -1};
    if (!p) return r;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace

TEST(QzEval, ArgumentsKeepVariablesAndReachLibraryClasses) {
    Outcome r = QzEval(
        "'x := 20' 'x + 1' 'FT_Date{}:YEAR(CToD(\"15/03/2024\"))' "
        "'ArrayServer{{{\"N\",\"C\",3,0}}, {{\"ab\"}}}:FIELDGET(1)'");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "20\n21\n{\"2024\", 01/01/2024, 31/12/2024}\nab\n");
}

TEST(QzEval, StandardInputLinesAndErrors) {
    Outcome r = QzEval("", "y := 2\\n\\ny * 3 +\\nUpper(y)\\ny\\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("2\n"), std::string::npos);
    EXPECT_NE(r.out.find("line 3: Syntax error at position 8"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 4: Argument error at position 1"), std::string::npos) << r.out;
    EXPECT_EQ(QzEval("--help").code, 0);
}

TEST(QzEval, GuiReachesControlAndWidgetClassesOffscreen) {
    Outcome r = QzEval("--gui 'w := Window{}' 'RightSLE{w, 1}:ZEROPAD' 'ZEV_SLE{w, 2} != NIL' 'PrintQuick{} != NIL'");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("0000000.00\n.T.\n.T.\n"), std::string::npos) << r.out;
}

TEST(QzEval, GuiMakesWidgetClassesByNameAndEndsCleanly) {
    // Made by name, the controls get their widgets where the point and the
    // dimension put them; a list box still alive at the end ends cleanly.
    Outcome r = QzEval(
        "--gui 'w := Window{}' 'SmartSLE{w, 1}:HANDLE != 0' 'xTabControl{w, 2}:HANDLE != 0' "
        "'b := BitmapListBox{w, 3, Point{4, 5}, Dimension{60, 70}}' 'b:ADDNODE(\"a\", 1, 0, 1, \"\", 0)' "
        "'TREESEEK(b:ALISTBOX, 1)' 'ZEV_SLE{w, 4, Point{1, 2}, Dimension{90, 20}, \"D\"}:SLE_TYPE'");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find(".T.\n.T.\n{BITMAPLISTBOX}\n1\n1\nD\n"), std::string::npos) << r.out;
}

// Expressions far longer than any nesting bound evaluate: a run of 20,001
// terms, an index key of as many, a filter of 60,001 conditions. Deep
// parentheses and 1e400 are errors, never a crash.
class QzEvalLong : public rddtest::TableTest {};

TEST_F(QzEvalLong, LongRunsEvaluateAndDeepNestingIsAnError) {
    Create("big.dbf", rt::Usual::Array({Field("Q", "N", 8)}));
    std::string terms = "1";
    for (int i = 0; i < 20000; ++i) terms += "+1";
    Outcome r = QzEval("'" + terms + "' 's := DBServer{\"" + Path("big.dbf") +
                       "\"}' 's:APPEND(), s:FIELDPUT(\"Q\", 2)' "
                       "'s:CREATEORDER(\"BIG\", NIL, \"Q\"+Replicate(\"+1\", 20000))' 's:SEEK(20002)' "
                       "'a := ArrayServer{{{\"N\",\"N\",3,0}}, {{0}, {7}}}' "
                       "'a:FILTER := \"N > 0\" + Replicate(\" .AND. N > 0\", 60000), a:FIELDGET(1)' '" +
                       std::string(5000, '(') + "1" + std::string(5000, ')') + "' '1e400'");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.substr(0, 92),
              "20001\n{DBSERVER}\n2\n.T.\n.T.\n{ARRAYSERVER}\n7\n"
              "qzeval: line 8: Operation too complex at position")
        << r.out.substr(0, 300);
    EXPECT_NE(r.out.find("line 9: Numeric overflow at position 1"), std::string::npos) << r.out.substr(0, 300);
}
