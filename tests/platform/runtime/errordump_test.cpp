// The hexadecimal forms of values in the error object's text.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/runtime/errordump.h"

namespace {

TEST(HexText, ValuesByType) {
    EXPECT_EQ(rt::HexBytesText(""), "");
    EXPECT_EQ(rt::HexBytesText("AB\x01\xff"), "41 42 01 FF ");
    EXPECT_EQ(rt::HexValueText(rt::Usual("AB")), "41 42 ");
    EXPECT_EQ(rt::HexValueText(rt::Usual(int64_t{0xC0000005})), "C0000005");
    EXPECT_EQ(rt::HexValueText(rt::Usual(-1)), "FFFFFFFF");
    EXPECT_EQ(rt::HexValueText(rt::Usual(int64_t{0x123456789})), "0000000123456789");
    EXPECT_EQ(rt::HexValueText(rt::Usual(true)), "00000001");
    EXPECT_EQ(rt::HexValueText(rt::Usual()), "00000000");
    EXPECT_EQ(rt::HexValueText(rt::Usual(rt::Pointer{reinterpret_cast<const void*>(uintptr_t{0xABCDEF12345})})),
              "00000ABCDEF12345");
}

TEST(HexText, FloatsWithDecimalsOrOutOfRangeShowTheirStorage) {
    // 1.5 is 0x3FF8000000000000.
    EXPECT_EQ(rt::HexValueText(rt::Usual(1.5)), "3FF8000000000000");
    // A whole float shown without decimals fits 32 bits: its value.
    EXPECT_EQ(rt::HexValueText(rt::Usual(rt::Float{255.0, -1, 0})), "000000FF");
    // 2^32 is past the unsigned 32-bit range: its storage, 0x41F0000000000000.
    EXPECT_EQ(rt::HexValueText(rt::Usual(rt::Float{4294967296.0, -1, 0})), "41F0000000000000");
    // NaN and infinity have no integer value (converting one was undefined).
    EXPECT_EQ(rt::HexValueText(rt::Usual(rt::Float{std::numeric_limits<double>::quiet_NaN(), -1, 0})),
              "7FF8000000000000");
    EXPECT_EQ(rt::HexValueText(rt::Usual(rt::Float{-std::numeric_limits<double>::infinity(), -1, 0})),
              "FFF0000000000000");
}

}  // namespace
