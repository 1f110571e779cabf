#include <gtest/gtest.h>

#include "platform/rdd/workarea.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/text.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;

class WorkArea : public rddtest::TableTest {};

TEST_F(WorkArea, BareNamesAndAliasesReachTheCurrentTable) {
    InstallWorkAreas();
    Create("stock.dbf", ScanStruct());
    auto db = Open("stock.dbf");
    db->Append();
    db->FieldPut(Usual("BARCODE"), Usual("abc"));
    AreaScope scope{Usual(db)};
    EXPECT_EQ(MacroEval("Upper(AllTrim(BARCODE)) + Str(RecNo(), 2)").AsStr(), "ABC 1");
    EXPECT_EQ(MacroEval("AllTrim(STOCK->BARCODE)").AsStr(), "abc");
    MacroEval("QTY := '7'");
    EXPECT_EQ(AllTrim(db->FieldGet(Usual("QTY")).AsStr()), "7");
    EXPECT_FALSE(MacroEval("Deleted()").AsLogic());
    db->Delete();
    EXPECT_TRUE(MacroEval("Deleted()").AsLogic());
    ErrorRecorder errors;
    MacroEval("OTHER->BARCODE");
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenNoVar);
}
