// The table object as the application uses it: create, append, read back,
// navigate over deleted records, notify clients, late-bound calls.
#include "rdd_test_util.h"

#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/text.h"
#include "support/tmpfs_mount.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;
using rddtest::ReadBytes;

namespace {

// A client that records notifications and may refuse moves.
class Recorder : public Object {
    QZ_OBJECT(Recorder)
public:
    Usual Notify(int64_t code, const Usual& description) {
        codes.push_back(code);
        if (code == kNotifyFieldChange) fields.push_back(description.AsSymbol().Name());
        if (code == kNotifyIntentToMove) return Usual(allowMoves);
        return Usual();
    }
    std::vector<int64_t> codes;
    std::vector<std::string> fields;
    bool allowMoves = true;
};

const ClassDef& Recorder::StaticClass() {
    static const ClassDef& c = ClassBuilder<Recorder>("RDDTESTRECORDER").Method<&Recorder::Notify>("NOTIFY").Done();
    return c;
}

class DBServerTest : public rddtest::TableTest {};

}  // namespace

TEST_F(DBServerTest, CreateWritesAnEmptyTableWithTheLayoutOnDisk) {
    SetAnsi(false);
    Create("scan.dbf", ScanStruct());
    std::vector<uint8_t> b = ReadBytes(Path("scan.dbf"));
    ASSERT_EQ(b.size(), 32u + 2 * 32 + 1 + 1);
    EXPECT_EQ(b[0], dbf::kVersionDb3);
    EXPECT_EQ(dbf::Le32(&b[4]), 0u);
    EXPECT_EQ(dbf::Le16(&b[8]), 97);
    EXPECT_EQ(dbf::Le16(&b[10]), 26);
    EXPECT_EQ(b[29], dbf::kCodePageOem);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[32]), 7), "BARCODE");
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 16], 15);
    EXPECT_EQ(b[96], dbf::kTerminator);
    EXPECT_EQ(b[97], dbf::kEofMarker);

    SetAnsi(true);
    Create("ansi.dbf", ScanStruct());
    EXPECT_EQ(ReadBytes(Path("ansi.dbf"))[29], dbf::kCodePageAnsi);
}

TEST_F(DBServerTest, CommittedAppendIsOnDiskWithCountAndMarker) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    ASSERT_TRUE(db->Used());
    ASSERT_TRUE(db->Append());
    db->FieldPut(Usual("BARCODE"), Usual("4006381333931"));
    db->FieldPut(Usual(Symbol("QTY")), Usual("123456789012"));  // cut to 10
    ASSERT_TRUE(db->Commit());

    std::vector<uint8_t> b = ReadBytes(Path("scan.dbf"));
    ASSERT_EQ(b.size(), 97u + 26 + 1);
    EXPECT_EQ(dbf::Le32(&b[4]), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[97]), 26), " 4006381333931  1234567890");
    EXPECT_EQ(b.back(), dbf::kEofMarker);
    EXPECT_EQ(db->FieldGet(Usual("barcode")).AsStr(), "4006381333931  ");  // blanks kept
    EXPECT_EQ(db->FieldGet(Usual(2)).AsStr(), "1234567890");
}

TEST_F(DBServerTest, CloseCommitsAPendingAppend) {
    Create("scan.dbf", ScanStruct());
    {
        auto db = Open("scan.dbf");
        db->Append();
        db->FieldPut(Usual("BARCODE"), Usual("A1"));
        EXPECT_EQ(db->LastRec(), 1);
        ASSERT_TRUE(db->Close());
        EXPECT_FALSE(db->Used());
    }
    auto db = Open("scan.dbf");
    EXPECT_EQ(db->LastRec(), 1);
    EXPECT_EQ(db->FieldGet(Usual("BARCODE")).AsStr(), "A1             ");
}

TEST_F(DBServerTest, AppendThatCannotBeMadeDurableIsWithdrawnAndStoredOnceLater) {
    qztest::TmpfsMount disk;
    NEED_MOUNT(disk.Mount(Path("disk"), 64 * 1024));
    const std::string name = "disk/scan.dbf";
    Create(name, ScanStruct());
    auto db = Open(name);
    // Fill the table's first block, then the disk.
    for (int i = 0; i < 153; ++i) {
        ASSERT_TRUE(db->Append());
        db->FieldPut(Usual("BARCODE"), Usual("OLD"));
        ASSERT_TRUE(db->Commit());
    }
    std::string filler = disk.Fill();
    ErrorRecorder errors;  // answers FALSE: the operator chose Ignore
    ASSERT_TRUE(db->Append());
    db->FieldPut(Usual("BARCODE"), Usual("NEW"));
    EXPECT_FALSE(db->Commit());
    ASSERT_FALSE(errors.seen.empty());
    EXPECT_EQ(errors.Last().GenCode, uint32_t{kGenWrite});
    EXPECT_TRUE(db->Withdraw());
    EXPECT_EQ(db->LastRec(), 153);
    EXPECT_EQ(ReadBytes(Path(name)).size(), 97u + 153 * 26 + 1);  // no torn record left behind
    std::filesystem::remove(filler);
    // The next accept stores the scan once.
    ASSERT_TRUE(db->Append());
    db->FieldPut(Usual("BARCODE"), Usual("NEW"));
    ASSERT_TRUE(db->Commit());
    db->Close();
    db = Open(name);
    EXPECT_EQ(db->LastRec(), 154);
    db->GoBottom();
    EXPECT_EQ(db->FieldGet(Usual("BARCODE")).AsStr(), "NEW            ");
}

// Text is stored in the table's code page (1252 for an ANSI table, 437 for an
// OEM one): the width counts those bytes, a cut keeps whole characters, and
// a character the code page lacks is refused with nothing stored.
TEST_F(DBServerTest, CharacterFieldHoldsTextInTheTablesCodePage) {
    struct Case {
        bool ansi;
        std::string typed, stored;  // stored as read back; empty: refused
        std::string bytes;          // the field's 15 bytes in the file
    } cases[] = {
        {true,
         "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3"
         "\x9F\xC3\x9F",
         "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3"
         "\x9F\xC3\x9F",
         "\xC4\xD6\xDC\xE4\xF6\xFC\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xDF\xDF"},  // 15 umlauts fit C15
        {true, "ABCDEFGHIJKLMN\xE2\x82\xAC!", "ABCDEFGHIJKLMN\xE2\x82\xAC", "ABCDEFGHIJKLMN\x80"},
        {true, "ABCDEFGHIJKLMN\xF0\x9F\x93\xA6", "", ""},  // no such character in 1252
        {true, "BYTES\x8E\x99", "", ""},                   // not UTF-8 at all
        {false, "M\xC3\x9CLLER-\xC3\x84", "M\xC3\x9CLLER-\xC3\x84       ", "M\x9ALLER-\x8E       "},
        {false, "EURO\xE2\x82\xAC", "", ""},  // 437 has no euro sign
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string name = "cp" + std::to_string(n++) + ".dbf";
        const bool ansi = SetAnsi(c.ansi);
        Create(name, ScanStruct());
        SetAnsi(ansi);
        {
            auto db = Open(name);
            ErrorRecorder errors;
            ASSERT_TRUE(db->Append());
            db->FieldPut(Usual("BARCODE"), Usual(c.typed));
            ASSERT_TRUE(db->Close());
            if (c.stored.empty()) {
                ASSERT_EQ(errors.seen.size(), 1u);
                EXPECT_EQ(errors.Last().GenCode, kGenDataType);
                EXPECT_NE(errors.Last().Description.find("no such character"), std::string::npos);
            } else {
                EXPECT_TRUE(errors.seen.empty());
            }
        }
        std::vector<uint8_t> file = ReadBytes(Path(name));
        const std::string field(file.end() - 26, file.end() - 11);  // after the flag, before QTY and the marker
        EXPECT_EQ(field, c.stored.empty() ? std::string(15, ' ') : c.bytes);
        auto db = Open(name);
        EXPECT_EQ(db->FieldGet(Usual("BARCODE")).AsStr(), c.stored.empty() ? std::string(15, ' ') : c.stored);
    }
}

TEST_F(DBServerTest, TypedFieldsRoundTripAndBadValuesAreRefused) {
    Create("mixed.dbf", MixedStruct());
    auto db = Open("mixed.dbf");
    ErrorRecorder errors;
    db->Append();
    db->FieldPut(Usual("NAME"), Usual("widget"));
    db->FieldPut(Usual("PRICE"), Usual(12.345));
    db->FieldPut(Usual("COUNT"), Usual(-42));
    db->FieldPut(Usual("DAY"), Usual(Date{dbf::JulianFromCivil(2024, 2, 29)}));
    db->FieldPut(Usual("OK"), Usual(true));
    EXPECT_TRUE(errors.seen.empty());
    // Too wide for N(5) and the wrong type for D: refused, nothing stored.
    EXPECT_TRUE(db->FieldPut(Usual("COUNT"), Usual(123456)).IsNil());
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenDataWidth);
    EXPECT_NE(errors.Last().Description.find("COUNT"), std::string::npos);
    db->FieldPut(Usual("DAY"), Usual("20240229"));
    ASSERT_EQ(errors.seen.size(), 2u);
    EXPECT_EQ(errors.Last().GenCode, kGenDataType);
    db->Append();  // a blank second record
    ASSERT_TRUE(db->Close());

    auto again = Open("mixed.dbf");
    EXPECT_EQ(again->FieldGet(Usual("NAME")).AsStr(), "widget  ");
    Usual price = again->FieldGet(Usual("PRICE"));
    ASSERT_TRUE(price.IsFloat());
    EXPECT_DOUBLE_EQ(price.AsDouble(), 12.35);  // rounded to the field's decimals
    EXPECT_EQ(price.AsFloat().decimals, 2);
    EXPECT_EQ(again->FieldGet(Usual("COUNT")), Usual(-42));
    // The table's dates are the runtime's dates.
    EXPECT_EQ(again->FieldGet(Usual("DAY")).AsDate(), MakeDate(2024, 2, 29));
    EXPECT_EQ(DToS(again->FieldGet(Usual("DAY")).AsDate()), "20240229");
    EXPECT_TRUE(again->FieldGet(Usual("OK")).AsLogic());
    again->Skip(Usual(1));
    EXPECT_EQ(again->FieldGet(Usual("COUNT")), Usual(0));
    EXPECT_TRUE(again->FieldGet(Usual("DAY")).AsDate().IsEmpty());
    EXPECT_FALSE(again->FieldGet(Usual("OK")).AsLogic());
    EXPECT_EQ(again->FieldGet(Usual("NAME")).AsStr(), "        ");
}

TEST_F(DBServerTest, WideNumericFieldOfAForeignTableIsWrittenWhole) {
    // Other programs write numeric fields wider than the 20 positions this
    // engine creates; a value stored there fills the whole width.
    std::vector<dbf::FieldDesc> fields{{"AMOUNT", 'N', 100, 0, 1}, {"PRICE", 'N', 120, 3, 101}};
    std::vector<uint8_t> bytes = dbf::BuildHeader(fields, dbf::kCodePageAnsi, 2024, 1, 2);
    bytes.push_back(dbf::kEofMarker);
    rddtest::WriteBytes(Path("wide.dbf"), bytes);
    ErrorRecorder errors;
    auto db = Open("wide.dbf");
    ASSERT_TRUE(db->Used());
    db->Append();
    db->FieldPut(Usual("AMOUNT"), Usual(5));
    db->FieldPut(Usual("PRICE"), Usual(-2.5));
    ASSERT_TRUE(db->Close());
    EXPECT_TRUE(errors.seen.empty());

    std::vector<uint8_t> file = ReadBytes(Path("wide.dbf"));
    size_t rec = bytes.size() - 1;
    ASSERT_EQ(file.size(), rec + 221 + 1);
    EXPECT_EQ(std::string(file.begin() + static_cast<long>(rec) + 1, file.begin() + static_cast<long>(rec) + 101),
              std::string(99, ' ') + "5");
    EXPECT_EQ(std::string(file.begin() + static_cast<long>(rec) + 101, file.begin() + static_cast<long>(rec) + 221),
              std::string(114, ' ') + "-2.500");
    auto again = Open("wide.dbf");
    EXPECT_EQ(again->FieldGet(Usual("AMOUNT")), Usual(5));
    EXPECT_DOUBLE_EQ(again->FieldGet(Usual("PRICE")).AsDouble(), -2.5);
}

TEST_F(DBServerTest, NavigationPassesOverDeletedRecordsWhileHidden) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    for (int i = 1; i <= 6; ++i) {
        db->Append();
        db->FieldPut(Usual("BARCODE"), Usual("R" + std::to_string(i)));
    }
    for (int r : {1, 3, 6}) {
        db->GoTo(r);
        ASSERT_TRUE(db->Delete());
    }
    db->Commit();
    SetDeleted(true);
    std::vector<int64_t> seen;
    for (db->GoTop(); !db->Eof(); db->Skip(Usual())) seen.push_back(db->RecNo());
    EXPECT_EQ(seen, (std::vector<int64_t>{2, 4, 5}));
    EXPECT_EQ(db->RecNo(), 7);
    db->GoBottom();
    EXPECT_EQ(db->RecNo(), 5);
    db->Skip(Usual(-2));
    EXPECT_EQ(db->RecNo(), 2);
    EXPECT_FALSE(db->Bof());
    db->Skip(Usual(-1));  // nothing visible above: stays, BOF set
    EXPECT_EQ(db->RecNo(), 2);
    EXPECT_TRUE(db->Bof());
    EXPECT_EQ(db->LastRec(), 6);  // deleted records still count
    db->GoTo(3);                  // GoTo reaches a deleted record
    EXPECT_TRUE(db->Deleted());
    db->Recall();
    db->GoTop();
    EXPECT_EQ(db->RecNo(), 2);
    db->Skip(Usual(1));
    EXPECT_EQ(db->RecNo(), 3);

    SetDeleted(false);
    db->GoTop();
    EXPECT_EQ(db->RecNo(), 1);
    EXPECT_TRUE(db->Deleted());
    db->Skip(Usual(10));
    EXPECT_TRUE(db->Eof());
    EXPECT_TRUE(db->FieldPut(Usual("BARCODE"), Usual("X")).IsNil());  // nothing at EOF
}

// A field read right after a scan step comes from the read cache; every
// change of the record, here or in the file, must show instead.
TEST_F(DBServerTest, AFieldReadAfterAScanStepSeesEveryChangeOfTheRecord) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    for (int i = 1; i <= 4; ++i) {
        db->Append();
        db->FieldPut(Usual(1), Usual("R" + std::to_string(i)));
    }
    db->Commit();
    auto barcode = [&] { return AllTrim(db->FieldGet(Usual(1)).AsStr()); };
    db->GoTop();
    db->Skip(Usual(1));
    EXPECT_EQ(barcode(), "R2");
    db->FieldPut(Usual(1), Usual("CHANGED"));  // in the buffer only
    EXPECT_EQ(barcode(), "CHANGED");
    db->Commit();  // written: the cache drops the record
    EXPECT_EQ(barcode(), "CHANGED");
    db->Skip(Usual(1));
    db->Skip(Usual(-1));
    EXPECT_EQ(barcode(), "CHANGED");
    db->Skip(Usual(1));
    EXPECT_EQ(barcode(), "R3");
    db->GoTo(2);
    EXPECT_EQ(barcode(), "CHANGED");
    db->GoTop();
    db->Skip(Usual(1));
    db->Skip(Usual(1));
    db->Append();  // a blank new record, not the one stepped to
    EXPECT_EQ(barcode(), "");
}

TEST_F(DBServerTest, AllRecordsDeletedLeavesAnEmptyView) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    db->Append();
    db->Delete();
    SetDeleted(true);
    db->GoTop();
    EXPECT_TRUE(db->Eof());
    EXPECT_TRUE(db->Bof());
    db->GoBottom();
    EXPECT_TRUE(db->Eof());
}

TEST_F(DBServerTest, SkipByHugeCountsStopsAtTheEnds) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    for (int i = 0; i < 3; ++i) db->Append();
    db->Commit();
    ErrorRecorder errors;
    for (bool hide : {false, true}) {
        SCOPED_TRACE(hide);
        SetDeleted(hide);
        db->GoTop();
        EXPECT_TRUE(db->Skip(Usual(INT64_MAX)));
        EXPECT_TRUE(db->Eof());
        EXPECT_EQ(db->RecNo(), 4);
        EXPECT_TRUE(db->Skip(Usual(INT64_MIN)));
        EXPECT_EQ(db->RecNo(), 1);
        EXPECT_TRUE(db->Bof());
        db->GoTo(2);
        EXPECT_TRUE(db->Skip(Usual(1e30)));
        EXPECT_TRUE(db->Eof());
        EXPECT_TRUE(db->Skip(Usual(-1e30)));
        EXPECT_EQ(db->RecNo(), 1);
    }
    EXPECT_TRUE(errors.seen.empty());
}

TEST_F(DBServerTest, ClientsAreNotifiedAndMayRefuseAMove) {
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    auto client = New<Recorder>();
    ASSERT_TRUE(db->RegisterClient(Usual(client)));
    db->RegisterClient(Usual(client));  // once only
    EXPECT_EQ(db->ClientCount(), 1);

    db->Append();
    db->FieldPut(Usual("QTY"), Usual("5"));
    db->Append();
    db->GoTop();
    db->GoBottom();
    db->Skip(Usual(-1));
    db->Delete();
    EXPECT_EQ(client->codes, (std::vector<int64_t>{2, 7, -1, 2, 7, 2, 5, 2, 4, 2, 3, 6}));
    EXPECT_EQ(client->fields, (std::vector<std::string>{"QTY"}));

    client->allowMoves = false;
    client->codes.clear();
    EXPECT_FALSE(db->GoBottom());
    EXPECT_FALSE(db->Append());
    EXPECT_EQ(db->RecNo(), 1);
    EXPECT_EQ(db->LastRec(), 2);
    EXPECT_EQ(client->codes, (std::vector<int64_t>{2, 2}));

    db->SuspendNotification();
    client->allowMoves = true;
    client->codes.clear();
    db->GoBottom();
    EXPECT_TRUE(client->codes.empty());
    db->ResetNotification();
    db->ResetNotification();  // unmatched: must not silence the server
    db->GoTop();
    EXPECT_EQ(client->codes, (std::vector<int64_t>{2, 5}));

    client->codes.clear();
    db->Close();
    EXPECT_EQ(client->codes, (std::vector<int64_t>{0}));
    EXPECT_TRUE(db->UnRegisterClient(Usual(client)));
}

TEST_F(DBServerTest, UnregisteringANullClientRemovesNothing) {
    // A client that went away leaves an expired entry behind; a null
    // reference is no client and must not be taken for that entry.
    Create("scan.dbf", ScanStruct());
    auto db = Open("scan.dbf");
    auto stays = New<Recorder>();
    ASSERT_TRUE(db->RegisterClient(Usual(stays)));
    {
        auto gone = New<Recorder>();
        ASSERT_TRUE(db->RegisterClient(Usual(gone)));
    }
    EXPECT_EQ(db->ClientCount(), 1);
    EXPECT_FALSE(db->UnRegisterClient(Usual(ObjectRef{})));
    EXPECT_FALSE(db->UnRegisterClient(Usual()));
    EXPECT_TRUE(db->UnRegisterClient(Usual(stays)));
    EXPECT_FALSE(db->UnRegisterClient(Usual(stays)));
}

TEST_F(DBServerTest, LateBoundCallsReachTheTable) {
    Create("scan.dbf", ScanStruct());
    DBServer::StaticClass();
    const Usual args[] = {Usual(Path("scan.dbf")), Usual(false), Usual(false)};
    Usual db = CreateInstance(Symbol("DBSERVER"), args);
    ASSERT_TRUE(IsInstanceOf(db, Symbol("DATASERVER")));
    EXPECT_TRUE(Send(db, "USED").AsLogic());
    EXPECT_TRUE(Send(db, "APPEND").AsLogic());
    Send(db, "FIELDPUT", {Usual("BARCODE"), Usual("LB1")});
    EXPECT_TRUE(Send(db, "COMMIT").AsLogic());
    EXPECT_EQ(Send(db, "FIELDGET", {Usual(Symbol("BARCODE"))}).AsStr().substr(0, 3), "LB1");
    EXPECT_EQ(Send(db, "FIELDPOS", {Usual("qty")}).AsLong(), 2);
    EXPECT_EQ(Send(db, "FIELDNAME", {Usual(2)}).AsStr(), "QTY");
    EXPECT_EQ(Send(db, "FIELDLEN", {Usual("BARCODE")}).AsLong(), 15);
    EXPECT_EQ(IVarGet(db, Symbol("LASTREC")).AsLong(), 1);
    EXPECT_FALSE(IVarGet(db, Symbol("EOF")).AsLogic());
    EXPECT_EQ(IVarPut(db, Symbol("RECNO"), Usual(5)).AsLong(), 2);  // past the end: EOF
    EXPECT_TRUE(Send(db, "EOF").AsLogic());
    // Fields are properties of their server.
    Send(db, "GOTOP");
    EXPECT_EQ(IVarGet(db, Symbol("barcode")).AsStr(), std::string("LB1") + std::string(12, ' '));
    EXPECT_EQ(IVarPut(db, Symbol("QTY"), Usual("7")).AsStr(), "7");
    EXPECT_EQ(Send(db, "QTY").AsStr(), std::string("7") + std::string(9, ' '));
    Usual st = Send(db, "DBSTRUCT");
    ASSERT_EQ(st.ALen(), 2u);
    EXPECT_EQ(st.At(2).At(1).AsStr(), "QTY");
    EXPECT_EQ(st.At(2).At(3).AsLong(), 10);
    EXPECT_TRUE(Send(db, "CLOSE").AsLogic());
    EXPECT_FALSE(Send(db, "USED").AsLogic());
}

TEST_F(DBServerTest, CreateFailureRaisesDbCreateErrorAndReturnsTheAnswer) {
    ErrorRecorder errors;
    errors.answer = Usual("handled");
    Usual r = DBCreate(Path("missing/dir/scan.dbf"), ScanStruct());
    EXPECT_EQ(r.AsStr(), "handled");
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().FuncSym, Symbol("DBCREATE"));
    EXPECT_EQ(errors.Last().GenCode, kGenCreate);
    EXPECT_EQ(errors.Last().OsCode, 3u);  // path not found
    EXPECT_NE(errors.Last().Description.find("scan.dbf"), std::string::npos);

    errors.answer = Usual(false);
    Usual bad = Usual::Array({Field("BARCODE", "C", 15), Field("BARCODE", "C", 5)});
    EXPECT_FALSE(DBCreate(Path("dup.dbf"), bad).AsLogic());
    EXPECT_NE(errors.Last().Description.find("twice"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("dup.dbf")));
    EXPECT_FALSE(DBCreate(Path("x.dbf"), ScanStruct(), "NOSUCH").AsLogic());
    EXPECT_EQ(errors.Last().SubSystem, "NOSUCH");
}

TEST_F(DBServerTest, CreateReplacesAnExistingTableButNotOneInUse) {
    Create("scan.dbf", ScanStruct());
    {
        auto db = Open("scan.dbf");
        db->Append();
        db->Commit();
        ErrorRecorder errors;
        EXPECT_FALSE(DBCreate(Path("scan.dbf"), ScanStruct()).AsLogic());
        ASSERT_EQ(errors.seen.size(), 1u);
        EXPECT_EQ(errors.Last().OsCode, 32u);
        EXPECT_EQ(db->LastRec(), 1);
    }
    Create("scan.dbf", MixedStruct());
    auto db = Open("scan.dbf");
    EXPECT_EQ(db->LastRec(), 0);
    EXPECT_EQ(db->FCount(), 5);
}

TEST_F(DBServerTest, DefaultDriverSettingAndDriverStack) {
    EXPECT_EQ(RDDSetDefault(), "DBFCDX");
    EXPECT_EQ(RDDSetDefault("  "), "DBFCDX");  // blank changes nothing
    EXPECT_EQ(RDDInfo(kRddDefaultDriver).AsStr(), "DBFCDX");
    EXPECT_EQ(RDDSetDefault("dbfntx"), "DBFCDX");
    EXPECT_EQ(RDDInfo(kRddDefaultDriver, Usual("DBFCDX")).AsStr(), "DBFNTX");
    EXPECT_EQ(RDDStack(), (std::vector<std::string>{"DBF", "DBFCDX"}));
    EXPECT_TRUE(RDDStack("PARADOX").empty());
}

TEST_F(DBServerTest, NamesWithoutPathUseTheDefaultDirectoryAndIgnoreCase) {
    Create("qzscan.dbf", ScanStruct());
    SetDefault(dir_);
    auto db = New<DBServer>(Usual("QZSCAN.DBF"), Usual(false));
    ASSERT_TRUE(db->Used());
    EXPECT_EQ(db->FileName(), Path("qzscan.dbf"));
    auto db2 = New<DBServer>(Usual("QzScan"), Usual(true));  // ".dbf" added
    EXPECT_FALSE(db2->Used());                               // the first open is exclusive
}

TEST_F(DBServerTest, CloseAllClosesEveryOpenTableAndCommits) {
    Create("a.dbf", ScanStruct());
    Create("b.dbf", ScanStruct());
    auto a = Open("a.dbf", true);
    auto b = Open("b.dbf", true);
    a->Append();
    a->FieldPut(Usual("QTY"), Usual("7"));
    EXPECT_EQ(OpenTableCount(), 2u);
    RDDCloseAll();
    EXPECT_EQ(OpenTableCount(), 0u);
    EXPECT_FALSE(a->Used());
    EXPECT_FALSE(b->Used());
    auto again = Open("a.dbf");
    EXPECT_EQ(again->FieldGet(Usual("QTY")).AsStr(), "7         ");
}

TEST_F(DBServerTest, MissingTableRaisesOpenErrorAndLeavesTheServerUnused) {
    ErrorRecorder errors;
    auto db = Open("nothere.dbf");
    EXPECT_FALSE(db->Used());
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenOpen);
    EXPECT_EQ(errors.Last().OsCode, 2u);
    EXPECT_EQ(errors.Last().FileName, Path("nothere.dbf"));
    EXPECT_TRUE(errors.Last().CanDefault);
    EXPECT_FALSE(db->GoTop());  // not in use: an error, no crash
    EXPECT_EQ(errors.Last().GenCode, kGenNoTable);
}
