#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/runtime/codepage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

using namespace rt;

TEST(Text, TrimsRemoveSpacesOnly) {
    EXPECT_EQ(RTrim("  a b  "), "  a b");
    EXPECT_EQ(Trim("  a b  "), "  a b");
    EXPECT_EQ(LTrim("  a b  "), "a b  ");
    EXPECT_EQ(AllTrim("  a b  "), "a b");
    EXPECT_EQ(AllTrim("     "), "");
    EXPECT_EQ(LTrim(""), "");
    EXPECT_EQ(AllTrim("\ta\t"), "\ta\t");  // tabs are not blanks
    EXPECT_EQ(RTrim("a\r\n "), "a\r\n");
    EXPECT_EQ(Upper("aé-z"), "Aé-Z");  // only ASCII letters fold
    EXPECT_EQ(Lower("ÄBC"), "Äbc");
}

TEST(Text, SubStringsCountFromOneAndClamp) {
    EXPECT_EQ(Left("abcdef", 2), "ab");
    EXPECT_EQ(Left("abc", 10), "abc");
    EXPECT_EQ(Left("abc", -1), "");
    EXPECT_EQ(Right("abcdef", 2), "ef");
    EXPECT_EQ(Right("abc", 10), "abc");
    EXPECT_EQ(Right("abc", 0), "");

    EXPECT_EQ(SubStr("abcdef", 2, 3), "bcd");
    EXPECT_EQ(SubStr("abcdef", 4), "def");
    EXPECT_EQ(SubStr("abcdef", 0, 2), "ab");
    EXPECT_EQ(SubStr("abcdef", -2), "ef");
    EXPECT_EQ(SubStr("abcdef", -3, 2), "de");
    EXPECT_EQ(SubStr("abcdef", -10, 2), "ab");
    EXPECT_EQ(SubStr("abcdef", 7), "");
    EXPECT_EQ(SubStr("abcdef", 6, INT64_MAX), "f");
    EXPECT_EQ(SubStr("abcdef", 2, -1), "");
    EXPECT_EQ(SubStr("", 1, 1), "");

    EXPECT_EQ(At("cd", "abcdcd"), 3);
    EXPECT_EQ(RAt("cd", "abcdcd"), 5);
    EXPECT_EQ(At("x", "abc"), 0);
    EXPECT_EQ(RAt("x", "abc"), 0);
    EXPECT_EQ(At("", "abc"), 0);
    EXPECT_EQ(At("abcd", "abc"), 0);
    EXPECT_EQ(SLen("ab\0c"), 2);
    EXPECT_EQ(SLen(std::string_view("ab\0c", 4)), 4);
}

TEST(Text, StrTranStartAndCount) {
    EXPECT_EQ(StrTran("a-b-c-d", "-"), "abcd");
    EXPECT_EQ(StrTran("a-b-c-d", "-", "+"), "a+b+c+d");
    EXPECT_EQ(StrTran("a-b-c-d", "-", "+", 2), "a-b+c+d");
    EXPECT_EQ(StrTran("a-b-c-d", "-", "+", 2, 1), "a-b+c-d");
    EXPECT_EQ(StrTran("a-b-c-d", "-", "+", 1, 0), "a-b-c-d");
    EXPECT_EQ(StrTran("a-b", "-", "+", 0), "a+b");
    EXPECT_EQ(StrTran("abc", "", "x"), "abc");
    EXPECT_EQ(StrTran("aaa", "aa", "b"), "ba");   // no overlapping matches
    EXPECT_EQ(StrTran("aa", "a", "aa"), "aaaa");  // the replacement is not searched again
}

TEST(Text, StuffAndPadding) {
    EXPECT_EQ(Stuff("abcdef", 2, 3, "XY"), "aXYef");
    EXPECT_EQ(Stuff("abc", 2, 0, "-"), "a-bc");
    EXPECT_EQ(Stuff("abc", 10, 5, "!"), "abc!");
    EXPECT_EQ(Stuff("abc", -4, 1, "Z"), "Zbc");
    EXPECT_EQ(Stuff("abc", 2, 100, ""), "a");

    EXPECT_EQ(PadR("ab", 5), "ab   ");
    EXPECT_EQ(PadL("ab", 5, '0'), "000ab");
    EXPECT_EQ(PadC("ab", 5, '*'), "*ab**");
    EXPECT_EQ(PadC("ab", 6), "  ab  ");
    EXPECT_EQ(PadR("abcdef", 3), "abc");
    EXPECT_EQ(PadL("abcdef", 3), "abc");  // all pads keep the first bytes
    EXPECT_EQ(PadC("abcdef", 3), "abc");
    EXPECT_EQ(PadL("ab", 0), "");
    EXPECT_EQ(Space(3), "   ");
    EXPECT_EQ(Space(-3), "");
    EXPECT_EQ(Replicate("ab", 3), "ababab");
    EXPECT_EQ(Replicate("ab", -1), "");
}

TEST(Text, OversizedResultsRaiseStringOverflow) {
    uint32_t raised = 0;
    Usual old = ErrorBlock(Usual::Block([&](Args a) {
        raised = FromUsual<std::shared_ptr<Error>>(a[0])->GenCode;
        return Usual(false);
    }));
    EXPECT_EQ(Replicate("abc", INT64_MAX), "");  // the product would overflow
    EXPECT_EQ(raised, kGenStrOverflow);
    raised = 0;
    EXPECT_EQ(Space(kMaxTextLen + 1), "");
    EXPECT_EQ(raised, kGenStrOverflow);
    raised = 0;
    EXPECT_EQ(PadR("x", INT64_MAX), "");
    EXPECT_EQ(raised, kGenStrOverflow);
    ErrorBlock(old);
}

// Every length a field can have around the word sizes, with one high byte
// at every place in it (and one just past its end, which must not count).
TEST(IsAsciiTest, FindsAHighByteAtEveryPlaceAndNoneBeyondTheEnd) {
    for (size_t n = 0; n <= 40; ++n) {
        std::vector<uint8_t> bytes(n + 1, 'a');
        bytes[n] = 0xC4;  // past the end
        EXPECT_TRUE(rt::IsAscii(bytes.data(), n)) << n;
        for (size_t at = 0; at < n; ++at) {
            bytes[at] = 0x80;
            EXPECT_FALSE(rt::IsAscii(bytes.data(), n)) << n << " " << at;
            bytes[at] = 'a';
        }
    }
}
