#include <gtest/gtest.h>

#include "platform/runtime/settings.h"
#include "platform/runtime/usual.h"

using namespace rt;

TEST(Usual, ArraysAreSharedBetweenHolders) {
    Usual a = Usual::Array({1, "x"});
    Usual b = a;
    b.At(1) = 42;
    b.AAdd(true);
    EXPECT_EQ(a.At(1).AsLong(), 42);
    EXPECT_EQ(a.ALen(), 3u);
    EXPECT_TRUE(a == b);                               // one array, two holders
    EXPECT_FALSE(a == Usual::Array({42, "x", true}));  // equal content, other array
}

TEST(Usual, TypeCodesAndNames) {
    EXPECT_EQ(Usual().Type(), kNil);
    EXPECT_EQ(Usual("s").Type(), kString);
    EXPECT_EQ(Usual(1.5).Type(), kFloat);
    EXPECT_EQ(Usual(7).Type(), kLong);
    EXPECT_EQ(Usual(Pointer{}).Type(), 18u);
    EXPECT_EQ(TypeString(18), "PTR");
    EXPECT_EQ(TypeString(kString), "STRING");
    EXPECT_EQ(TypeString(999), "UNKNOWN");
}

TEST(Usual, ExactAndNonExactComparison) {
    EXPECT_TRUE(NonExactEquals(Usual("ABCDEF"), Usual("ABC")));
    EXPECT_FALSE(NonExactEquals(Usual("ABC"), Usual("ABCDEF")));  // the left side must be longer
    EXPECT_TRUE(NonExactEquals(Usual("ABC"), Usual("")));         // empty right matches all
    EXPECT_FALSE(Usual("ABCDEF") == Usual("ABC"));
    EXPECT_FALSE(Usual("ABC ") == Usual("ABC"));  // exact keeps blanks
    EXPECT_TRUE(Usual(2) == Usual(2.0));
    EXPECT_FALSE(Usual(2) == Usual("2"));
}

TEST(Usual, FloatComparisonUsesTheDelta) {
    ResetSettings();
    EXPECT_FALSE(Usual(1.0) == Usual(1.005));
    SetFloatDelta(0.009);
    EXPECT_TRUE(Usual(1.0) == Usual(1.005));
    EXPECT_FALSE(Usual(1.0) == Usual(1.01));
    ResetSettings();
}

TEST(Usual, EmptyValuesPerType) {
    EXPECT_EQ(EmptyUsual(kString).AsStr(), "");
    EXPECT_TRUE(EmptyUsual(kString).IsString());
    EXPECT_TRUE(EmptyUsual(kLogic).IsLogic());
    EXPECT_TRUE(EmptyUsual(kDate).AsDate().IsEmpty());
    EXPECT_TRUE(EmptyUsual(kArray).IsArray());
    EXPECT_TRUE(EmptyUsual(kPtr).IsPtr());
    EXPECT_TRUE(EmptyUsual(12345).IsNil());
    EXPECT_TRUE(Empty(Usual("   ")));
    EXPECT_FALSE(Empty(Usual(" x ")));
}

TEST(Usual, WrongTypedReadsGiveEmptyValues) {
    Usual s("text");
    EXPECT_EQ(s.AsLong(), 0);
    EXPECT_FALSE(s.AsLogic());
    EXPECT_EQ(Usual(3.9).AsLong(), 3);
    EXPECT_EQ(Usual(-3.9).AsLong(), -3);
    EXPECT_EQ(Usual(5).AsStr(), "");
}

TEST(Usual, FloatsOutsideTheIntegerRangeSaturate) {
    // A float beyond 64 bits has no integer of its own: the nearest end of
    // the range stands for it, with its sign.
    EXPECT_EQ(Usual(1e30).AsLong(), INT64_MAX);
    EXPECT_EQ(Usual(-1e30).AsLong(), INT64_MIN);
    EXPECT_EQ(Usual(9223372036854775808.0).AsLong(), INT64_MAX);  // 2^63
    EXPECT_EQ(Usual(-9223372036854775808.0).AsLong(), INT64_MIN);
    EXPECT_EQ(Usual(9.2233720368547748e18).AsLong(), int64_t{9223372036854774784});
}
