// The code pages tables name: a field read and stored back unchanged keeps
// its bytes in every single-byte page, and multi-byte pages keep whole
// characters when text is cut to a field's width.
#include <gtest/gtest.h>

#include "platform/rdd/dbfcodepage.h"

TEST(DbfCodePage, EveryByteOfEverySingleBytePageRoundTrips) {
    for (int id = 0; id < 256; ++id) {
        const rt::CodePage& cp = rdd::dbf::TableCodePage(static_cast<uint8_t>(id));
        if (!cp.SingleByte()) continue;
        for (int b = 0; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            std::string back;
            ASSERT_TRUE(cp.Encode(cp.Decode(byte), 1, back).ok) << cp.Name() << " byte " << b;
            ASSERT_EQ(back, byte) << cp.Name() << " byte " << b;
        }
    }
}

TEST(DbfCodePage, MultiBytePagesCutBetweenCharacters) {
    const rt::CodePage& sjis = rdd::dbf::TableCodePage(0x13);
    ASSERT_FALSE(sjis.SingleByte());
    std::string out;
    EXPECT_TRUE(sjis.Encode("A\xE6\x97\xA5\xE6\x9C\xAC", 4, out).ok);  // A and two kanji: 5 bytes
    EXPECT_EQ(out, "A\x93\xFA");
    EXPECT_EQ(sjis.Decode(out + "\x96"), "A\xE6\x97\xA5\xEF\xBF\xBD");  // a lone lead byte: U+FFFD
}
