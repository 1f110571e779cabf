// The calculator-style numeric entry, key by key, under the default and a
// decimal-comma setting, and a property run over random fields and keys.
#include <gtest/gtest.h>

#include <random>

#include "lib/controls/numentry.h"
#include "lib/controls/unformat.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"

namespace {

using lib::FieldFormat;
using lib::NumEntry;

// A field with its text and selection, typed into as the edit would.
struct Field {
    explicit Field(FieldFormat format) : entry(format) {
        text = entry.SetField("0", 1);
        SelectAll();
    }
    void SelectAll() {
        s = 0;
        f = static_cast<int>(text.size());
        entry.entryStarted = true;
    }
    // Keys: characters as typed; '\b' Backspace, '\x7f' Delete.
    Field& Type(const std::string& keys) {
        for (char k : keys) {
            const uint32_t vk = k == '\b' ? 8 : k == '\x7f' ? 46 : 0;
            const uint32_t ch = vk ? 0 : static_cast<uint32_t>(k);
            auto r = entry.ProcessKey(vk, ch, text, s, f);
            beeps += r.beep;
            text = r.text;
            s = f = r.caret;
        }
        return *this;
    }
    NumEntry entry;
    std::string text;
    int s = 0, f = 0, beeps = 0;
};

FieldFormat Num(int len, int dec, std::string picture = {}) { return {'N', len, dec, std::move(picture)}; }

struct Separators {
    Separators(int dec, int ths) : oldDec(rt::SetDecimalSep()), oldThs(rt::SetThousandSep()) {
        rt::SetDecimalSep(dec);
        rt::SetThousandSep(ths);
    }
    ~Separators() {
        rt::SetDecimalSep(oldDec);
        rt::SetThousandSep(oldThs);
    }
    int oldDec, oldThs;
};

TEST(NumEntry, TypedSequencesFromAFreshlyFocusedField) {
    struct Case {
        FieldFormat format;
        const char* keys;
        const char* text;
        int caret;
        int beeps;
    } cases[] = {
        {Num(10, 2), "5", "      5.00", 7, 0},
        {Num(10, 2), "-5", "     -5.00", 7, 0},
        {Num(10, 2), "12.5", "     12.50", 9, 0},
        {Num(10, 2), "12.567", "     12.56", 10, 0},  // only two decimals: the last typed drops off
        {Num(10, 2), "1234567", "1234567.00", 7, 0},
        {Num(10, 2), "12345678", "1234567.00", 7, 1},  // longer than the field: beep, no change
        {Num(10, 2), "12a", "     12.00", 7, 0},       // a letter: nothing, no beep
        {Num(10, 2), "12\b", "      1.00", 7, 0},
        {Num(10, 2), "12-", "    -12.00", 7, 0},
        {Num(10, 2), "12-+", "     12.00", 7, 0},
        {Num(6, 0), "4711", "  4711", 6, 0},
        {Num(12, 2, "9,999,999.99"), "1234", "    1,234.00", 9, 0},
        {FieldFormat{'C', 5, 0, "99:99"}, "1230", "12:30", 5, 0},
        {FieldFormat{'C', 5, 0, "99:99"}, "12301", "12:30", 5, 1},
    };
    for (const auto& k : cases) {
        Field fld(k.format);
        fld.Type(k.keys);
        EXPECT_EQ(fld.text, k.text) << k.keys;
        EXPECT_EQ(fld.s, k.caret) << k.keys;
        EXPECT_EQ(fld.beeps, k.beeps) << k.keys;
    }
}

TEST(NumEntry, AZeroTimeFillsFromTheRightWhereverTheCaretIs) {
    Field fld(FieldFormat{'C', 5, 0, "99:99"});
    fld.s = fld.f = 1;  // a click into "00:00"
    fld.Type("1230");
    EXPECT_EQ(fld.text, "12:30");
    EXPECT_EQ(fld.beeps, 0);
}

TEST(NumEntry, BackspaceAfterAThousandsSeparatorTakesTheDigitBeforeIt) {
    Field fld(Num(12, 2, "9,999,999.99"));
    fld.Type("1234");
    fld.s = fld.f = 6;  // just right of ","
    fld.Type("\b");
    EXPECT_EQ(fld.text, "      234.00");
}

TEST(NumEntry, DecimalCommaLocaleUsesTheRuntimeSeparators) {
    Separators de(',', '.');
    Field fld(Num(12, 2, "9,999,999.99"));
    fld.Type("1234,5");
    EXPECT_EQ(fld.text, "    1.234,50");
    Field dot(Num(10, 2));
    dot.Type("7.25");  // "." types the separator too
    EXPECT_EQ(dot.text, "      7,25");
}

TEST(NumEntry, RandomKeysNeverBreakTheField) {
    std::mt19937 rng(1234);
    const std::string keys = "0123456789.,-+a \b\x7f";
    const char* pictures[] = {"", "", "9,999,999.99", "999.9", "99999"};
    for (int run = 0; run < 10000; ++run) {
        const int dec = static_cast<int>(rng() % 4);
        FieldFormat format = Num(4 + static_cast<int>(rng() % 10), dec);
        const char* pic = pictures[rng() % 5];
        if (*pic) {
            format.picture = pic;
            format.length = static_cast<int>(format.picture.size());
            const size_t dot = format.picture.find('.');
            format.decimals = dot == std::string::npos ? 0 : static_cast<int>(format.picture.size() - dot - 1);
        }
        if (format.decimals >= format.length - 1) format.decimals = 0;
        Field fld(format);
        for (int i = 0, count = 1 + static_cast<int>(rng() % 12); i < count; ++i) {
            if (rng() % 5 == 0) {
                const int a = static_cast<int>(rng() % (fld.text.size() + 1));
                const int b = static_cast<int>(rng() % (fld.text.size() + 1));
                fld.s = std::min(a, b);
                fld.f = std::max(a, b);
            }
            fld.Type(std::string(1, keys[rng() % keys.size()]));
            ASSERT_LE(static_cast<int>(fld.text.size()), format.length) << format.picture << " " << fld.text;
            ASSERT_EQ(fld.text.find('*'), std::string::npos) << fld.text;
            const size_t dot = fld.text.find('.');
            const int decimals = dot == std::string::npos ? 0 : static_cast<int>(fld.text.size() - dot - 1);
            ASSERT_LE(decimals, format.decimals) << fld.text;
            ASSERT_EQ(fld.text, fld.entry.SetField(fld.text, 1)) << "not a text of the picture";
            ASSERT_GE(fld.s, 0);
            ASSERT_LE(fld.s, static_cast<int>(fld.text.size()));
        }
    }
}

}  // namespace

namespace {

TEST(Unformat, ATextWrittenWithAPictureReadsBackAsItsNumber) {
    const char* pictures[] = {"9,999,999.99", "@X 9999.99", "@C 9999.99",  "@( 9999.99", "99999",
                              "@R 9,999.9",   "@x 9999.99", "@E 9,999.99", "@B 9,999.99"};
    const double values[] = {0, 5, -5, 1234.5, -1234.5, 7.25};
    for (const char* pic : pictures)
        for (double v : values) {
            const std::string text = rt::Transform(rt::Usual(v), pic);
            if (text.find('*') != std::string::npos) continue;
            const std::string shown = rt::Transform(rt::Usual(lib::UnformatNumber(text, pic)), pic);
            EXPECT_EQ(shown, text) << pic << " " << v;
        }
    Separators de(',', '.');
    EXPECT_DOUBLE_EQ(lib::UnformatNumber("1.234,50", "9,999.99"), 1234.5);
    const std::string fmt = rt::SetDateFrmt("DD.MM.YYYY");
    EXPECT_DOUBLE_EQ(lib::UnformatNumber("31.01.2024", "@D"), 20240131);
    rt::SetDateFrmt(fmt);
}

}  // namespace
