#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "support/process_locale.h"

using namespace rt;

TEST(Numbers, StrDefaultFields) {
    ResetSettings();
    EXPECT_EQ(Str(5), "         5");
    EXPECT_EQ(Str(-5), "        -5");
    EXPECT_EQ(Str(0), "         0");
    EXPECT_EQ(Str(12345678901LL), "12345678901");  // a long number widens the field
    EXPECT_EQ(Str(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(Str(1.5), "         1.50");  // 10 integer places, point, SetDecimal
    EXPECT_EQ(Str(Float{3.14159, -1, 4}), "         3.1416");
    EXPECT_EQ(Str(Float{1.5, 6, 2}), "  1.50");
    EXPECT_EQ(Str(Float{12345.5, 6, 2}), "12345.50");  // a stored width widens too
    SetDecimal(3);
    EXPECT_EQ(Str(1.0 / 3), "         0.333");
    SetFixed(true);
    EXPECT_EQ(Str(Float{1.5, 6, 1}), "   1.500");  // its 4 integer places kept
    EXPECT_EQ(Str(7), "         7");               // integers are not affected
    EXPECT_EQ(Str(1.5, 4), "   2");                // an asked width means 0 decimals
    EXPECT_EQ(Str(1e300).size(), 305u);
    ResetSettings();
}

TEST(Numbers, StrRoundsAndOverflows) {
    ResetSettings();
    EXPECT_EQ(Str(2.675, 5, 2), " 2.68");  // as written, although 2.67499... in binary
    EXPECT_EQ(Str(1.005, 6, 2), "  1.01");
    EXPECT_EQ(Str(-1.005, 6, 2), " -1.01");
    EXPECT_EQ(Str(2.5, 3), "  3");  // half away from zero
    EXPECT_EQ(Str(-2.5, 3), " -3");
    EXPECT_EQ(Str(0.1 + 0.2, 10, 2), "      0.30");
    EXPECT_EQ(Str(9.995, 5, 2), "10.00");  // the carry adds a digit
    EXPECT_EQ(Str(0.005, 4, 2), "0.01");
    EXPECT_EQ(Str(0.004, 4, 2), "0.00");
    EXPECT_EQ(Str(-0.001, 6, 2), "  0.00");  // no minus sign on zero
    EXPECT_EQ(Str(-0.0, 4, 1), " 0.0");
    EXPECT_EQ(Str(5, 6, 2), "  5.00");
    EXPECT_EQ(Str(1234, 4), "1234");
    EXPECT_EQ(Str(12345, 4), "****");
    EXPECT_EQ(Str(-1234, 4), "****");
    EXPECT_EQ(Str(99.5, 2), "**");  // fits only before rounding
    EXPECT_EQ(Str(1.5, 3, 2), "***");
    EXPECT_EQ(Str(std::numeric_limits<double>::infinity(), 5), "*****");
    EXPECT_EQ(Str(std::nan("")), "*************");
    EXPECT_EQ(Str(5, 0), "         5");  // no width asked
    EXPECT_EQ(Str(1, 100000).size(), static_cast<size_t>(kMaxNumWidth));

    SetScience(true);
    EXPECT_EQ(Str(1.234e15, 8), "1.23E+15");
    EXPECT_EQ(Str(-1.5e20, 9), "-1.50E+20");
    EXPECT_EQ(Str(123456, 5), "1E+05");
    EXPECT_EQ(Str(123456, 4), "****");  // not even the shortest form fits
    EXPECT_EQ(Str(12, 5), "   12");
    ResetSettings();
}

TEST(Numbers, StrOfNonNumberRaisesArgumentError) {
    ErrorRef seen;
    Usual old = ErrorBlock(Usual::Block([&](Args a) {
        seen = FromUsual<ErrorRef>(a[0]);
        return Usual(false);
    }));
    EXPECT_EQ(Str(Usual("12")), "");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->GenCode, kGenArg);
    EXPECT_EQ(seen->ArgType, kString);
    ErrorBlock(old);
}

TEST(Numbers, ValReadsTheLeadingNumber) {
    EXPECT_TRUE(Val("  12abc").IsLong());
    EXPECT_EQ(Val("  12abc").AsLong(), 12);
    EXPECT_EQ(Val("-42").AsLong(), -42);
    EXPECT_EQ(Val("+7").AsLong(), 7);
    EXPECT_EQ(Val("1,5").AsLong(), 1);
    EXPECT_EQ(Val("-9223372036854775808").AsLong(), INT64_MIN);
    for (const char* text : {"abc", "", "   ", "-", ".", "+.", "- 5", "\t5"}) {
        EXPECT_TRUE(Val(text).IsLong()) << text;
        EXPECT_EQ(Val(text).AsLong(), 0) << text;
    }

    Float f = Val("1.50").AsFloat();
    EXPECT_TRUE(Val("1.50").IsFloat());
    EXPECT_DOUBLE_EQ(f.value, 1.5);
    EXPECT_EQ(f.decimals, 2);
    EXPECT_EQ(Str(Val("1.50"), 5, 2), " 1.50");
    f = Val("-0.00").AsFloat();
    EXPECT_EQ(f.value, 0.0);
    EXPECT_FALSE(std::signbit(f.value));
    EXPECT_DOUBLE_EQ(Val(".5").AsDouble(), 0.5);
    EXPECT_EQ(Val("5.").AsFloat().decimals, 0);
    EXPECT_DOUBLE_EQ(Val("5.x").AsDouble(), 5.0);
    EXPECT_DOUBLE_EQ(Val("1.5e3").AsDouble(), 1500.0);
    EXPECT_EQ(Val("1.5e3").AsFloat().decimals, 0);
    EXPECT_EQ(Val("1e-2").AsFloat().decimals, 2);
    EXPECT_EQ(Val("2e").AsLong(), 2);  // no exponent digits: not an exponent
    EXPECT_TRUE(Val("2e").IsLong());
    EXPECT_DOUBLE_EQ(Val("99999999999999999999").AsDouble(), 1e20);  // past 64 bits
    EXPECT_TRUE(std::isinf(Val("1e999").AsDouble()));
    EXPECT_EQ(Val("1e-999").AsDouble(), 0.0);
}

TEST(Numbers, AsStringOfEveryType) {
    ResetSettings();
    EXPECT_EQ(AsString(Usual("x y ")), "x y ");
    EXPECT_EQ(AsString(Usual(-12)), "-12");
    EXPECT_EQ(AsString(Usual(2.5)), "2.50");
    EXPECT_EQ(AsString(Usual(Float{2.5, -1, 1})), "2.5");
    EXPECT_EQ(NTrim(Usual(-3)), "-3");
    EXPECT_EQ(AsString(Usual(true)), ".T.");
    EXPECT_EQ(AsString(Usual(false)), ".F.");
    EXPECT_EQ(AsString(Usual(MakeDate(2024, 3, 5))), "03/05/24");
    EXPECT_EQ(AsString(Usual()), "NIL");
    EXPECT_EQ(AsString(Usual(Symbol("abc"))), "ABC");
    EXPECT_EQ(AsString(Usual::Array({1, 2, 3})), "{[3]}");
    EXPECT_EQ(AsString(Usual(ObjectRef(MakeError(kGenArg)))), "{ERROR}");
    EXPECT_EQ(AsString(Usual(ObjectRef())), "NULL_OBJECT");
    EXPECT_EQ(AsString(Usual::Block([](Args) { return Usual(); })), "{|| ... }");
    std::string p = AsString(Usual(Pointer{reinterpret_cast<const void*>(uintptr_t{0xABC})}));
    EXPECT_EQ(p.size(), 2 + 2 * sizeof(void*));
    EXPECT_EQ(p.substr(0, 2), "0x");
    EXPECT_EQ(p.substr(p.size() - 4), "0ABC");
}

TEST(Numbers, TransformNumberPictures) {
    ResetSettings();
    EXPECT_EQ(Transform(1234.5, "999,999.99"), "  1,234.50");
    EXPECT_EQ(Transform(12, "999,999.99"), "     12.00");
    EXPECT_EQ(Transform(0.5, "999,999.99"), "      0.50");
    EXPECT_EQ(Transform(-1234.5, "999,999.99"), " -1,234.50");
    EXPECT_EQ(Transform(-123456.7, "999,999.99"), "*******.**");  // no room for the sign
    EXPECT_EQ(Transform(1234567, "999,999.99"), "*******.**");
    EXPECT_EQ(Transform(2.675, "9.99"), "2.68");
    EXPECT_EQ(Transform(0.5, ".99"), ".50");
    EXPECT_EQ(Transform(1234567, "9,999,999"), "1,234,567");
    EXPECT_EQ(Transform(42, "No: 9999"), "No:   42");  // other characters copied

    EXPECT_EQ(Transform(1234.5, "@E 999,999.99"), "  1.234,50");
    SetDecimalSep(',');
    SetThousandSep('.');
    EXPECT_EQ(Transform(1234.5, "999,999.99"), "  1.234,50");  // regional separators
    EXPECT_EQ(Transform(1234.5, "@E 999,999.99"), "  1.234,50");
    EXPECT_EQ(Transform(Float{1.5, -1, 2}, ""), "         1,50");
    EXPECT_EQ(Str(1.5, 4, 1), " 1.5");  // Str stays machine-readable
    ResetSettings();

    EXPECT_EQ(Transform(0, "@Z 999.99"), "      ");
    EXPECT_EQ(Transform(0.001, "@Z 9.99"), "    ");  // zero once rounded
    EXPECT_EQ(Transform(12, "@B 9999"), "12  ");
    EXPECT_EQ(Transform(-12, "@( 9999"), " (12)");
    EXPECT_EQ(Transform(12, "@( 9999"), "  12 ");
    EXPECT_EQ(Transform(5, "@C 999"), "  5 CR");
    EXPECT_EQ(Transform(-5, "@X 999"), "  5 DB");
    EXPECT_EQ(Transform(5, "@CX 999"), "  5 CR");
    EXPECT_EQ(Transform(5, "$999.99"), "$  5.00");
    EXPECT_EQ(Transform(5, "***,**9.99"), "******5.00");
    EXPECT_EQ(Transform(1234, "***,**9"), "**1,234");
    EXPECT_EQ(Transform(-5, "@("), "        (5)");
    EXPECT_EQ(Transform(7, ""), "         7");
}

TEST(Numbers, TransformStringDateAndLogicPictures) {
    ResetSettings();
    EXPECT_EQ(Transform("abc", "@!"), "ABC");
    EXPECT_EQ(Transform("abc", "!XX"), "Abc");
    EXPECT_EQ(Transform("abc", "@! XXXXX"), "ABC  ");  // padded to the template
    EXPECT_EQ(Transform("abcdef", "XXX"), "abc");
    EXPECT_EQ(Transform("1234567", "@R 999-9999"), "123-4567");
    EXPECT_EQ(Transform("1234567", "999-9999"), "123-567 ");  // without @R the literal replaces
    EXPECT_EQ(Transform("ab", ""), "ab");

    Date d = MakeDate(2024, 3, 5);
    EXPECT_EQ(Transform(d, "@D"), "03/05/24");
    EXPECT_EQ(Transform(d, "@E"), "05/03/24");
    SetCentury(true);
    EXPECT_EQ(Transform(d, "@E"), "05/03/2024");
    EXPECT_EQ(Transform(Date{}, "@E"), "  /  /    ");
    ResetSettings();

    EXPECT_EQ(Transform(true, "Y"), "Y");
    EXPECT_EQ(Transform(false, "Y"), "N");
    EXPECT_EQ(Transform(true, "L"), "T");
    EXPECT_EQ(Transform(false, ""), "F");
    EXPECT_EQ(Transform(Usual(), "999"), "NIL");
}

// A template takes and keeps whole UTF-8 characters, so the result has the
// template's length in characters and stays UTF-8.
TEST(Numbers, TransformKeepsWholeCharacters) {
    ResetSettings();
    EXPECT_EQ(Transform("\xC3\xA9t\xC3\xA9", "!XX"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Transform("ab\xE2\x82\xAC", "X-XX"), "a-\xE2\x82\xAC ");  // the literal replaces one character
    EXPECT_EQ(Transform(123456, "\xE2\x82\xAC 99.99"), "****.**");      // overflow: one "*" per character
    EXPECT_EQ(Transform(0, "@Z \xE2\x82\xAC 99"), "    ");
    SetDecimalSep(0xE9);  // no single byte of UTF-8 text: the point stays
    EXPECT_EQ(Transform(1.5, "9.99"), "1.50");
    ResetSettings();
}

// Str and Val stay machine-readable under a decimal-comma process locale;
// only Transform follows the runtime's own separators.
TEST(Numbers, StrAndValIgnoreTheProcessLocale) {
    for (const char* name : testsupport::kCommaLocales) {
        SCOPED_TRACE(name);
        ResetSettings();
        testsupport::ProcessLocale locale(name);
        if (!locale.CommaInForce()) GTEST_SKIP() << name << " is missing (setup/deps.sh generates it)";
        EXPECT_EQ(Str(Usual(12.5), 8, 2), "   12.50");
        EXPECT_EQ(NTrim(Usual(-0.125)), "-0.13");
        EXPECT_DOUBLE_EQ(Val("12.50").AsDouble(), 12.5);
        EXPECT_DOUBLE_EQ(Val("1.5e3").AsDouble(), 1500.0);
        EXPECT_EQ(Transform(1234.5, "999,999.99"), "  1,234.50");
        SetDecimalSep(',');
        SetThousandSep('.');
        EXPECT_EQ(Transform(1234.5, "999,999.99"), "  1.234,50");
    }
    ResetSettings();
}
