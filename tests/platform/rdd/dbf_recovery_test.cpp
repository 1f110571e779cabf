// Opening damaged tables: what a crash can leave is recovered (and repaired
// when the table is writable); what it cannot leave is refused with an Error
// naming the file and the fault, and the file is not touched.
#include "rdd_test_util.h"

#include "platform/rdd/dbflayout.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;
using rddtest::ReadBytes;
using rddtest::WriteBytes;

namespace {

class RecoveryTest : public rddtest::TableTest {
protected:
    // A scan table with n committed records "R1".."Rn"; returns its bytes.
    std::vector<uint8_t> MakeTable(int n) {
        Create("t.dbf", ScanStruct());
        auto db = Open("t.dbf");
        for (int i = 1; i <= n; ++i) {
            db->Append();
            db->FieldPut(Usual("BARCODE"), Usual("R" + std::to_string(i)));
        }
        db->Close();
        return ReadBytes(Path("t.dbf"));
    }
    static constexpr size_t kHeader = 97, kRec = 26;
};

}  // namespace

TEST_F(RecoveryTest, TornTrailingRecordIsDroppedAndRepairedOnWritableOpen) {
    std::vector<uint8_t> b = MakeTable(3);
    b.pop_back();                             // the marker
    b.insert(b.end(), {' ', 'R', '4', ' '});  // a record cut short by a crash
    WriteBytes(Path("t.dbf"), b);

    auto ro = Open("t.dbf", true, true);
    ASSERT_TRUE(ro->Used());
    EXPECT_EQ(ro->LastRec(), 3);
    ro->Close();
    EXPECT_EQ(ReadBytes(Path("t.dbf")), b);  // a read-only open writes nothing

    auto rw = Open("t.dbf");
    EXPECT_EQ(rw->LastRec(), 3);
    rw->Close();
    std::vector<uint8_t> fixed = ReadBytes(Path("t.dbf"));
    ASSERT_EQ(fixed.size(), kHeader + 3 * kRec + 1);
    EXPECT_EQ(fixed.back(), dbf::kEofMarker);
}

TEST_F(RecoveryTest, RecordWrittenBeforeTheHeaderUpdateCounts) {
    std::vector<uint8_t> b = MakeTable(3);
    dbf::PutLe32(&b[4], 2);  // the header update of the last append never happened
    WriteBytes(Path("t.dbf"), b);
    auto db = Open("t.dbf");
    EXPECT_EQ(db->LastRec(), 3);
    db->GoBottom();
    EXPECT_EQ(db->FieldGet(Usual("BARCODE")).AsStr().substr(0, 2), "R3");
    db->Close();
    EXPECT_EQ(dbf::Le32(&ReadBytes(Path("t.dbf"))[4]), 3u);
}

TEST_F(RecoveryTest, HeaderOneAheadOfTheDataDropsTheUnwrittenRecord) {
    std::vector<uint8_t> b = MakeTable(3);
    b.resize(kHeader + 2 * kRec + 5);  // third record torn, header still says 3
    WriteBytes(Path("t.dbf"), b);
    auto db = Open("t.dbf");
    ASSERT_TRUE(db->Used());
    EXPECT_EQ(db->LastRec(), 2);
    db->Append();  // goes where the torn record was
    db->FieldPut(Usual("BARCODE"), Usual("NEW"));
    db->Close();
    auto again = Open("t.dbf");
    EXPECT_EQ(again->LastRec(), 3);
    again->GoBottom();
    EXPECT_EQ(again->FieldGet(Usual("BARCODE")).AsStr().substr(0, 3), "NEW");
}

TEST_F(RecoveryTest, MissingEndMarkerIsTolerated) {
    std::vector<uint8_t> b = MakeTable(2);
    b.pop_back();
    WriteBytes(Path("t.dbf"), b);
    auto db = Open("t.dbf", true, true);
    EXPECT_EQ(db->LastRec(), 2);
    EXPECT_FALSE(db->Engine()->Notes().empty());
}

TEST_F(RecoveryTest, PaddingAfterTheMarkerIsNotTakenForRecords) {
    std::vector<uint8_t> b = MakeTable(2);
    b.resize(b.size() + 3 * kRec, 0);  // some writers pad the file
    WriteBytes(Path("t.dbf"), b);
    auto db = Open("t.dbf", true, true);
    EXPECT_EQ(db->LastRec(), 2);
}

struct BadCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* expect;  // part of the description
};

TEST_F(RecoveryTest, BadFilesGiveAClearErrorAndAreNeverWritten) {
    const std::vector<BadCase> cases = {
        {"empty", [](auto& b) { b.clear(); }, "empty"},
        {"short header", [](auto& b) { b.resize(20); }, "truncated header"},
        {"cut inside descriptors", [](auto& b) { b.resize(60); }, "truncated header"},
        {"unknown version", [](auto& b) { b[0] = 0x42; }, "unknown version byte 0x42"},
        {"text file",
         [](auto& b) {
             std::string t = "barcode,qty\n4006381333931,5\n";
             b.assign(t.begin(), t.end());
         },
         "not a DBF"},
        {"no terminator", [](auto& b) { b[96] = 'X'; }, "descriptors run past the header length"},
        {"header length too short", [](auto& b) { dbf::PutLe16(&b[8], 70); }, "descriptors run past"},
        {"record length", [](auto& b) { dbf::PutLe16(&b[10], 30); }, "record length 30 does not match"},
        {"zero width", [](auto& b) { b[32 + 16] = 0; }, "width 0"},
        {"count beyond file", [](auto& b) { dbf::PutLe32(&b[4], 9); }, "runs beyond the file"},
        {"header length beyond file", [](auto& b) { dbf::PutLe16(&b[8], 4000); }, "truncated header"},
        {"bad name", [](auto& b) { b[32] = 0x01; }, "no valid name"},
    };
    std::vector<uint8_t> good = MakeTable(3);
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> b = good;
        c.damage(b);
        WriteBytes(Path("t.dbf"), b);
        ErrorRecorder errors;
        auto db = Open("t.dbf");  // writable and exclusive: the open that could repair
        EXPECT_FALSE(db->Used());
        ASSERT_EQ(errors.seen.size(), 1u);
        const Error& e = errors.Last();
        EXPECT_EQ(e.GenCode, kGenCorruption);
        EXPECT_EQ(e.FileName, Path("t.dbf"));
        EXPECT_NE(e.Description.find(Path("t.dbf")), std::string::npos) << e.Description;
        EXPECT_NE(e.Description.find(c.expect), std::string::npos) << e.Description;
        EXPECT_EQ(ReadBytes(Path("t.dbf")), b);
    }
}
