#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "rdd_test_util.h"

namespace {

struct Outcome {
    std::string out;
    int code;
};

// Runs the real qzeval with the given arguments and standard input, in
// the folder `dir` when one is given.
Outcome QzEval(const std::string& args, const std::string& input = "", const std::string& dir = "") {
    std::string cmd = (dir.empty() ? "" : "cd '" + dir + "' && ") + "printf '" + input + "' | " + QZEVAL_PATH + " " +
                      args + " 2>&1";
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

// A fresh folder for the files one test makes.
std::string TempDir() {
    char name[] = "/tmp/qzevalXXXXXX";
    return ::mkdtemp(name) ? std::string(name) : std::string("/tmp");
}

TEST(QzEval, FailuresThatBreakLeaveNotificationsBalanced) {
    // Each failing line breaks out of the operation; the next line finds
    // the suspension at zero (SUSPENDNOTIFICATION answers 1) and, for the
    // array server, the filter as it was.
    Outcome r = QzEval(
        "'s := ArrayServer{{{\"NAME\",\"C\",4,0},{\"QTY\",\"N\",3,0}}, {{\"ab\",1},{\"cd\",2}}}' "
        "'s:FILTER := \"QTY > 1\"' 's:FILTER := \"NAME > 5\"' 's:FILTER := \"NOPE > 1\"' "
        "'s:SUSPENDNOTIFICATION()' 's:RESETNOTIFICATION()' 's:FILTER' 's:RECNO' "
        "'s:COPYDB(\"t.dbf\")' 'd := DBServer{\"t.dbf\"}' 'd:WILDSEEK(\"A*\")' "
        "'d:CREATEORDER(\"NAME\", , \"NAME\")' 'd:WILDSEEK(5)' 'd:SUSPENDNOTIFICATION()'",
        "", TempDir());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("line 4: NOPE is neither a field of the server nor a variable"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 11: "), std::string::npos) << r.out;  // no order selected
    EXPECT_NE(r.out.find("line 13: "), std::string::npos) << r.out;  // a number for a text order
    EXPECT_NE(r.out.find("\n1\n0\nQTY > 1\n2\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 3), "\n1\n") << r.out;
}

TEST(QzEval, ArrayServerMovesAndWritesAtTheEnds) {
    // Each line and the value it must print.
    const std::pair<const char*, const char*> steps[] = {
        {"s := ArrayServer{{{\"NAME\",\"C\",4,0}}, {{\"a\"},{\"b\"},{\"c\"}}}", "{ARRAYSERVER}"},
        {"s:GOTO(5)", ".T."},
        {"s:SKIP(0)", ".T."},  // a refresh keeps the end
        {"{s:RECNO, s:EOF}", "{4, .T.}"},
        {"s:FIELDPUT(1, \"zz\")", ""},  // nothing stored past the end
        {"s:DELETE()", ".F."},
        {"s:GOTO(\"2\")", ".F."},  // no number: refused
        {"s:RECNO", "4"},
        {"s:GOTO(4294967297)", ".T."},  // past the end, not row 1
        {"{s:RECNO, s:EOF}", "{4, .T.}"},
        {"s:GOTO(3)", ".T."},
        {"s:SKIP(-9223372036854775808)", ".T."},  // to the top, not one row back
        {"{s:RECNO, s:BOF}", "{1, .T.}"},
        {"s:GOTO(2)", ".T."},
        {"s:DELETE()", ".T."},
        // From the end, far back: row 1 with BOF, deleted rows hidden or shown.
        {"s:GOBOTTOM() .AND. s:SKIP() .AND. s:SKIP(-10)", ".T."},
        {"{s:RECNO, s:BOF, s:EOF}", "{1, .T., .F.}"},
        {"s:SETDELETED := .F.", ".F."},
        {"s:GOBOTTOM() .AND. s:SKIP() .AND. s:SKIP(-10)", ".T."},
        {"{s:RECNO, s:BOF, s:EOF}", "{1, .T., .F.}"},
        {"s:DATA", "{{\"a\"}, {\"b\"}, {\"c\"}}"},
    };
    std::string input, expected;
    for (const auto& [line, value] : steps) {
        input += std::string(line) + "\\n";
        expected += std::string(value) + "\n";
    }
    Outcome r = QzEval("", input);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, expected);
}

TEST(QzEval, WildcardsTakeOneCharacter) {
    Outcome r = QzEval(
        "'WildMatch(\"\xC3\xA9\", \"?\")' "
        "'ArrayServer{{{\"NAME\",\"C\",8,0}}, {{\"ABC\"},{\"M\xC3\x9CLLER\"}}}:COPYDB(\"t.dbf\")' "
        "'d := DBServer{\"t.dbf\"}' 'd:CREATEORDER(\"NAME\", , \"NAME\")' '{d:WILDSEEK(\"M?LLER*\"), d:RECNO}'",
        "", TempDir());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, ".T.\n.T.\n{DBSERVER}\n.T.\n{.T., 2}\n");
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
