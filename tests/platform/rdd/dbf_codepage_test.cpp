// The code pages tables name: a field read and stored back unchanged keeps
// its bytes in every single-byte page, and multi-byte pages keep whole
// characters when text is cut to a field's width.
#include "platform/rdd/dbfcodepage.h"
#include "rdd_test_util.h"

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

// Keys hold the field's bytes in the code page, as index files written
// before the conversion do, so those stay valid; seeks and key values are
// text like the fields. 1252 orders O-umlaut (0xD6) after Z.
namespace {
class CodePageTableTest : public rddtest::TableTest {};
}  // namespace

TEST_F(CodePageTableTest, IndexKeysAreTheFieldsCodePageBytes) {
    Create("k.dbf", rt::Usual::Array({Field("NAME", "C", 6)}));
    auto db = Open("k.dbf");
    for (const char* name : {"K\xC3\x96LN", "KZ", "KA"}) {
        ASSERT_TRUE(db->Append());
        db->FieldPut(rt::Usual("NAME"), rt::Usual(name));
    }
    ASSERT_TRUE(db->CreateOrder(rt::Usual("NAME"), rt::Usual(), rt::Usual("NAME"), rt::Usual()));
    std::vector<int64_t> order;
    for (db->GoTop(); !db->Eof(); db->Skip(rt::Usual(1))) order.push_back(db->RecNo());
    EXPECT_EQ(order, (std::vector<int64_t>{3, 2, 1}));
    EXPECT_TRUE(db->Seek(rt::Usual("K\xC3\x96"), rt::Usual()));
    EXPECT_EQ(db->OrderKeyVal(), rt::Usual("K\xC3\x96LN  "));
    ASSERT_TRUE(db->Close());
    const std::vector<uint8_t> bytes = rddtest::ReadBytes(Path("k.qzx"));
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("K\xD6LN  "), std::string::npos);
}
