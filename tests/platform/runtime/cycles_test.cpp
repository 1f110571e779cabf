// Values that hold each other are freed by a collection, and nothing that
// is still held from outside is touched.
#include "platform/runtime/cycles.h"

#include <gtest/gtest.h>

#include "platform/runtime/macro.h"
#include "platform/runtime/memvar.h"

using namespace rt;

TEST(Cycles, ValuesLeftHoldingEachOtherAreFreed) {
    MemVarClearAll();
    CollectCycles();
    const size_t before = TracedCount();
    const char* cycles[] = {
        "Eval({|a| a[1] := a}, {0})",                     // an array in itself
        "Eval({|a, b| a[1] := b, b[1] := a}, {0}, {0})",  // two arrays in each other
        "Eval({|e| e := {|| e}})",                        // a block in its own call's frame
        "Eval({|a| AAdd(a, {|x| a}), a}, {})",            // an array and a block in its frame
        "arr := {1, 2}, arr[2] := arr := {1, 2}",         // a session variable's array in itself
        "e := Error{}, e:Args := {e}",                    // an object and an array in its member
        "e := Error{}, e:Cargo := e",                     // an object in itself
    };
    for (const char* text : cycles) {
        SCOPED_TRACE(text);
        MacroEval(text);
        MemVarClearAll();
        EXPECT_GT(TracedCount(), before);
        EXPECT_GT(CollectCycles(), 0u);
        EXPECT_EQ(TracedCount(), before);
    }
}

TEST(Cycles, WhatIsHeldFromOutsideIsKeptWhole) {
    CollectCycles();
    const size_t before = TracedCount();
    Usual a = Usual::Array({Usual::Array({Usual("inner")})});
    a.AAdd(a);
    Usual block = MacroEval("{|x| {x, {|| x}}}");
    Usual made = block.Eval({Usual("kept")});  // an array holding a block whose frame holds the text
    EXPECT_EQ(CollectCycles(), 0u);
    ASSERT_EQ(a.ALen(), 2u);
    EXPECT_EQ(a.At(1).At(1).AsStr(), "inner");
    EXPECT_TRUE(a.At(2) == a);
    EXPECT_EQ(made.At(2).Eval().AsStr(), "kept");
    a = Usual();
    EXPECT_GT(CollectCycles(), 0u);
    block = made = Usual();
    EXPECT_EQ(TracedCount(), before);
}
