// Index orders on real tables: key order for every key type, Seek, the
// condition, upkeep by every kind of write, the index file across opens,
// and the repairs after a crash or an edit the index never saw.
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbflock.h"
#include "platform/rdd/orderlist.h"
#include "platform/runtime/dates.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;

namespace {

class IndexTest : public rddtest::TableTest {
protected:
    std::shared_ptr<DBServer> Names(const std::vector<std::pair<std::string, int>>& rows) {
        Create("names.dbf", MixedStruct());
        auto db = Open("names.dbf");
        for (const auto& [name, count] : rows) {
            db->Append();
            db->FieldPut(Usual("NAME"), Usual(name));
            db->FieldPut(Usual("COUNT"), Usual(count));
            db->FieldPut(Usual("PRICE"), Usual(count * -1.5));
            db->FieldPut(Usual("DAY"), count ? Usual(MakeDate(2024, 1, count)) : Usual(Date{}));
            db->FieldPut(Usual("OK"), Usual(count % 2 == 1));
        }
        db->Commit();
        return db;
    }
    // Record numbers in the selected order, top to bottom.
    static std::vector<int64_t> Walk(DBServer& db) {
        std::vector<int64_t> r;
        for (db.GoTop(); !db.Eof(); db.Skip(Usual(1))) r.push_back(db.RecNo());
        return r;
    }
    static std::vector<int64_t> WalkBack(DBServer& db) {
        std::vector<int64_t> r;
        db.GoBottom();
        while (!db.Eof()) {
            r.push_back(db.RecNo());
            db.Skip(Usual(-1));
            if (db.Bof()) break;
        }
        std::reverse(r.begin(), r.end());
        return r;
    }
    // The order a full sort of the table gives: by the field's value, then
    // the record number.
    static std::vector<int64_t> Sorted(DBServer& db, const char* field) {
        int64_t keep = db.OrderNumber();
        db.SetOrder(Usual(0));
        std::vector<std::pair<Usual, int64_t>> rows;
        for (db.GoTop(); !db.Eof(); db.Skip(Usual(1))) rows.emplace_back(db.FieldGet(Usual(field)), db.RecNo());
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return Compare(a.first, b.first) < 0; });
        db.SetOrder(Usual(keep));
        std::vector<int64_t> r;
        for (const auto& row : rows) r.push_back(row.second);
        return r;
    }
};

TEST_F(IndexTest, EveryKeyTypeSortsLikeItsValues) {
    auto db = Names({{"pear", 3}, {"Apple", 0}, {"fig", 12}, {"apple", 7}, {"date", 2}, {"kiwi", 5}});
    // text byte-wise, numbers numerically (negative prices), dates with the
    // empty date first, logic false before true
    for (const char* field : {"NAME", "COUNT", "PRICE", "DAY", "OK"}) {
        SCOPED_TRACE(field);
        ASSERT_TRUE(db->CreateOrder(Usual(field), Usual(), Usual(field), Usual()));
        EXPECT_EQ(Walk(*db), Sorted(*db, field));
        EXPECT_EQ(WalkBack(*db), Sorted(*db, field));
        EXPECT_EQ(db->OrderKeyCount(Usual()), 6);
    }
    EXPECT_EQ(db->OrderCount(), 5);
    db->SetOrder(Usual("name"));
    db->GoTop();
    EXPECT_EQ(db->OrderKeyVal(), Usual("Apple   "));  // padded to the key width
    db->SetOrder(Usual("DAY"));
    db->GoBottom();
    EXPECT_EQ(db->OrderKeyVal(), Usual(MakeDate(2024, 1, 12)));
    db->SetOrder(Usual(0));
    EXPECT_EQ(Walk(*db), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(db->OrderKeyVal(), Usual());
}

TEST_F(IndexTest, SeekFindsKeysPrefixesAndSoftPositions) {
    auto db = Names({{"pear", 3}, {"apple", 1}, {"fig", 12}, {"apricot", 7}, {"fig", 2}});
    ErrorRecorder errors;
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    struct Case {
        Usual key;
        bool soft;
        bool found;
        int64_t recno;  // 0: at the end
    };
    const Case cases[] = {
        {Usual("fig"), false, true, 3},       // the first of equal keys
        {Usual("ap"), false, true, 2},        // a prefix
        {Usual("fig     "), false, true, 3},  // padded to the width
        {Usual("fig         "), false, true, 3},
        {Usual("b"), false, false, 0},
        {Usual("b"), true, false, 3},  // soft: the next greater key
        {Usual("zz"), true, false, 0},
        {Usual(""), false, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.AsStr());
        EXPECT_EQ(db->Seek(c.key, Usual(c.soft)), c.found);
        EXPECT_EQ(db->Found(), c.found);
        EXPECT_EQ(db->Eof(), c.recno == 0);
        if (c.recno) {
            EXPECT_EQ(db->RecNo(), c.recno);
        }
    }
    ASSERT_TRUE(db->CreateOrder(Usual("COUNT"), Usual(), Usual("COUNT"), Usual()));
    EXPECT_TRUE(db->Seek(Usual(12), Usual()));
    EXPECT_EQ(db->RecNo(), 3);
    EXPECT_TRUE(db->Seek(Usual(7.0), Usual()));
    EXPECT_EQ(db->RecNo(), 4);
    EXPECT_FALSE(db->Seek(Usual(4), Usual(true)));
    EXPECT_EQ(db->RecNo(), 4);
    EXPECT_TRUE(errors.seen.empty());
    EXPECT_FALSE(db->Seek(Usual("x"), Usual()));  // text in a numeric order
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenDataType);
    db->SetOrder(Usual(0));
    EXPECT_FALSE(db->Seek(Usual(1), Usual()));
    EXPECT_EQ(errors.seen.size(), 2u);  // no order selected
}

TEST_F(IndexTest, ConditionAndHiddenRecordsAreHonoured) {
    auto db = Names({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}});
    DBServer* raw = db.get();
    Usual odd = Usual::Block([raw](Args) { return Usual(raw->FieldGet(Usual("COUNT")).AsLong() % 2 == 1); });
    Usual upper = Usual::Block([raw](Args) { return raw->FieldGet(Usual("NAME")); });
    ASSERT_TRUE(db->CreateOrderWith("ODD", Usual(), "NAME", upper, "COUNT % 2 = 1", odd));
    EXPECT_EQ(Walk(*db), (std::vector<int64_t>{1, 3, 5}));
    EXPECT_EQ(db->OrderKeyCount(Usual()), 3);
    EXPECT_EQ(db->OrderFor(Usual()), "COUNT % 2 = 1");
    EXPECT_FALSE(db->Seek(Usual("b"), Usual()));
    db->GoTo(3);
    db->Delete();
    SetDeleted(true);
    EXPECT_EQ(Walk(*db), (std::vector<int64_t>{1, 5}));
    EXPECT_FALSE(db->Seek(Usual("c"), Usual()));
    SetDeleted(false);
    EXPECT_TRUE(db->Seek(Usual("c"), Usual()));
    db->GoTo(2);
    db->FieldPut(Usual("COUNT"), Usual(7));  // now passes the condition
    db->Commit();
    EXPECT_EQ(Walk(*db), (std::vector<int64_t>{1, 2, 3, 5}));
}

TEST_F(IndexTest, KeyAndConditionTextsCompileAgainstTheTable) {
    auto db = Names({{"pear", 3}, {"Apple", 0}, {"fig", 12}, {"apple", 7}, {"Date", 2}});
    ErrorRecorder errors;
    ASSERT_TRUE(db->CreateOrder(Usual("UP"), Usual(), Usual("Upper(NAMES->NAME) + Str(COUNT, 3)"),
                                Usual("COUNT > 1 .AND. RecNo() != 3")));
    EXPECT_EQ(Walk(*db), (std::vector<int64_t>{4, 5, 1}));
    EXPECT_TRUE(db->Seek(Usual("APPLE     7"), Usual()));
    EXPECT_EQ(db->RecNo(), 4);
    db->Close();
    auto again = Open("names.dbf");  // compiled again from the file's texts
    EXPECT_EQ(again->OrderKey(Usual(1)), "Upper(NAMES->NAME) + Str(COUNT, 3)");
    again->GoTo(2);
    again->FieldPut(Usual("COUNT"), Usual(40));
    again->Commit();
    EXPECT_EQ(Walk(*again), (std::vector<int64_t>{4, 2, 5, 1}));  // "APPLE     7" before "APPLE    40"
    EXPECT_TRUE(errors.seen.empty());
    EXPECT_FALSE(again->CreateOrder(Usual("BAD"), Usual(), Usual("Upper(NAME"), Usual()));
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenSyntax);
}

TEST_F(IndexTest, EveryWriteKeepsTheOrderAndTheFileInStep) {
    auto db = Names({{"m", 1}, {"c", 2}, {"x", 3}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Append();
    db->FieldPut(Usual("NAME"), Usual("a"));  // append
    db->GoTo(2);
    db->FieldPut(Usual("NAME"), Usual("z"));  // change moves the key
    db->GoTo(1);
    db->Delete();
    db->Recall();
    db->Commit();
    const std::vector<int64_t> want = {4, 1, 3, 2};
    EXPECT_EQ(Walk(*db), want);
    EXPECT_TRUE(db->Seek(Usual("z"), Usual()));
    EXPECT_EQ(db->RecNo(), 2);
    db->Close();
    for (bool readOnly : {true, false}) {  // from the file: snapshot and journal
        auto again = Open("names.dbf", false, readOnly);
        ASSERT_EQ(again->OrderCount(), 1);
        EXPECT_EQ(Walk(*again), want);
        again->Close();
    }
    // After a clean close the journal is folded into the snapshot.
    auto bytes = rddtest::ReadBytes(Path("names.qzx"));
    auto again = Open("names.dbf");
    EXPECT_EQ(Walk(*again), want);
    again->Close();
    EXPECT_EQ(rddtest::ReadBytes(Path("names.qzx")), bytes) << "a clean open rewrites nothing";
}

TEST_F(IndexTest, AnEditTheIndexNeverSawIsRepairedOnOpen) {
    auto db = Names({{"m", 1}, {"c", 2}, {"x", 3}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Close();
    // Another program changes a name in place and appends a record.
    {
        SetDeleted(false);
        dbf::Fault f;
        dbf::OpenMode mode;
        mode.shared = false;
        auto t = dbf::Table::Open(Path("names.dbf"), mode, f);
        ASSERT_TRUE(t);
        std::vector<uint8_t> rec(t->RecordLen());
        ASSERT_FALSE(t->Read(3, rec.data()));
        rec[1] = 'a';
        ASSERT_FALSE(t->Write(3, rec.data()));
        rec[1] = 'b';
        ASSERT_FALSE(t->Append(rec.data()));
        ASSERT_FALSE(t->Sync());
    }
    auto again = Open("names.dbf");
    EXPECT_EQ(Walk(*again), (std::vector<int64_t>{3, 4, 2, 1}));
    EXPECT_TRUE(again->Seek(Usual("b"), Usual()));
    EXPECT_EQ(again->RecNo(), 4);
}

TEST_F(IndexTest, DamagedFilesAreRebuiltOrSetAside) {
    auto db = Names({{"m", 1}, {"c", 2}, {"x", 3}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Close();
    auto good = rddtest::ReadBytes(Path("names.qzx"));
    // A torn journal entry, a damaged key section: rebuilt quietly.
    for (int damage : {0, 1}) {
        auto b = good;
        if (damage == 0) b.insert(b.end(), {7, 0, 0, 0, 1, 2});
        else b[b.size() - 3] ^= 0xFF;
        rddtest::WriteBytes(Path("names.qzx"), b);
        ErrorRecorder errors;
        auto again = Open("names.dbf");
        EXPECT_EQ(Walk(*again), (std::vector<int64_t>{2, 1, 3})) << damage;
        EXPECT_TRUE(errors.seen.empty());
        again->Close();
    }
    // Damaged definitions or header cannot be rebuilt: the table opens
    // without them even under an error block that breaks; the sole writable
    // open sets the file aside, a read-only one leaves it.
    struct Restore {
        Usual block;
        ~Restore() { ErrorBlock(block); }
    } restore{ErrorBlock(Usual::Block([](Args) -> Usual { LabelJump(Usual("broke")); }))};
    for (size_t at : {size_t{20}, size_t{70}}) {  // a section length, the key expression
        auto b = good;
        b[at] ^= 0xFF;
        rddtest::WriteBytes(Path("names.qzx"), b);
        for (bool readOnly : {true, false}) {
            std::shared_ptr<DBServer> again;
            ASSERT_TRUE(BeginSequence([&] { again = Open("names.dbf", false, readOnly); })) << at;
            EXPECT_EQ(again->OrderCount(), 0);
            EXPECT_EQ(again->Orders()->Notes().size(), 1u);
            EXPECT_EQ(std::filesystem::exists(Path("names.qzx")), readOnly);
        }
        EXPECT_EQ(rddtest::ReadBytes(Path("names.qzx.damaged")), b);
        EXPECT_TRUE(Open("names.dbf")->Orders()->Notes().empty());
    }
}

// A file whose checksums hold but whose contents cannot be: record numbers
// far beyond the table (a snapshot's count, a journal entry's record) are
// rebuilt from the table without sizing anything by them; a key width its
// type cannot have is damage to the definitions, and the file is set aside.
TEST_F(IndexTest, FilesWithSoundChecksumsButImpossibleContentsAreNotTrusted) {
    auto db = Names({{"m", 1}, {"c", 2}, {"x", 3}});
    ASSERT_TRUE(db->CreateOrder(Usual("COUNT"), Usual(), Usual("COUNT"), Usual()));
    db->Close();
    const auto good = rddtest::ReadBytes(Path("names.qzx"));
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto sealHeader = [&](std::vector<uint8_t>& b) { put32(b, 12, idx::Crc32(&b[16], 48, idx::Crc32(&b[0], 12))); };
    const uint32_t far = 0xFFFFFFF0u;
    enum { kSnapshotCount, kJournalRecord, kKeyWidth };
    for (int damage : {kSnapshotCount, kJournalRecord, kKeyWidth}) {
        auto b = good;
        const uint32_t defLen = b[20] | b[21] << 8;
        if (damage == kSnapshotCount) {
            put32(b, 36, far);
            sealHeader(b);
        } else if (damage == kJournalRecord) {  // one entry of the COUNT order (key width 8)
            std::vector<uint8_t> e(4 + 25 + 4, 0);
            put32(e, 0, 25);
            put32(e, 4, far);
            put32(e, 8, far);
            put32(e, 29, idx::Crc32(&e[4], 25));
            b.insert(b.end(), e.begin(), e.end());
        } else {  // the number key's width, the last two bytes of its definition
            b[64 + defLen - 2] = 9;
            put32(b, 28, idx::Crc32(&b[64], defLen));
            sealHeader(b);
        }
        rddtest::WriteBytes(Path("names.qzx"), b);
        ErrorRecorder errors;
        auto again = Open("names.dbf");
        EXPECT_TRUE(errors.seen.empty()) << damage;
        if (damage == kKeyWidth) {
            EXPECT_EQ(again->OrderCount(), 0);
            EXPECT_EQ(again->Orders()->Notes().size(), 1u);
        } else {
            EXPECT_EQ(Walk(*again), (std::vector<int64_t>{1, 2, 3})) << damage;
        }
        again->Close();
    }
}

TEST_F(IndexTest, SharedOpensSeeEachOthersWrites) {
    auto db = Names({{"m", 1}, {"c", 2}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Close();
    auto one = Open("names.dbf", true);
    ASSERT_TRUE(one->CreateOrder(Usual("BYCOUNT"), Usual(), Usual("COUNT"), Usual()));  // alone: allowed
    one->SetOrder(Usual("NAME"));
    auto two = Open("names.dbf", true);
    one->Append();
    one->FieldPut(Usual("NAME"), Usual("a"));
    one->Commit();
    EXPECT_EQ(Walk(*two), (std::vector<int64_t>{3, 2, 1}));
    two->GoTo(1);
    two->FieldPut(Usual("NAME"), Usual("b"));
    two->Commit();
    EXPECT_EQ(Walk(*one), (std::vector<int64_t>{3, 1, 2}));
    ErrorRecorder errors;
    EXPECT_FALSE(one->CreateOrder(Usual("X"), Usual(), Usual("NAME"), Usual()));  // not alone
    EXPECT_EQ(errors.Last().GenCode, kGenShared);
    one->Close();
    two->Close();
    auto again = Open("names.dbf");
    EXPECT_EQ(Walk(*again), (std::vector<int64_t>{3, 1, 2}));
}

TEST_F(IndexTest, ASharedWriterThatCouldNotOpenTheIndexWritesNothing) {
    auto db = Names({{"m", 1}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Close();
    auto one = Open("names.dbf", true);
    int fd = ::open(Path("names.qzx").c_str(), O_RDWR);  // holds the journal lock meanwhile
    ASSERT_EQ(dbf::TryLock(fd, int64_t{1} << 40, dbf::LockKind::kWrite), 0);
    ErrorRecorder errors;
    auto two = Open("names.dbf", true);
    EXPECT_EQ(two->OrderCount(), 0);
    EXPECT_FALSE(two->Append());  // `one` would never see its key
    ::close(fd);
    ASSERT_TRUE(two->Append());
    two->FieldPut(Usual("NAME"), Usual("a"));
    EXPECT_TRUE(two->Commit());
    EXPECT_EQ(two->OrderCount(), 1);
    EXPECT_EQ(Walk(*one), (std::vector<int64_t>{2, 1}));
}

TEST_F(IndexTest, OrdersInAnotherFileOpenOnRequest) {
    auto db = Names({{"m", 3}, {"c", 1}, {"x", 2}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    ASSERT_TRUE(db->CreateOrder(Usual("BYCOUNT"), Usual("extra"), Usual("COUNT"), Usual()));
    EXPECT_TRUE(std::filesystem::exists(Path("extra.qzx")));
    db->Close();
    auto again = Open("names.dbf");
    EXPECT_EQ(again->OrderCount(), 1);  // the table's own file only
    EXPECT_EQ(again->OrderName(Usual()), "NAME");
    again->Append();
    again->FieldPut(Usual("COUNT"), Usual(0));
    again->Commit();
    ASSERT_TRUE(again->OrderListAdd(Usual("extra")));
    ASSERT_TRUE(again->SetOrder(Usual("bycount")));
    EXPECT_EQ(Walk(*again), (std::vector<int64_t>{4, 2, 3, 1}));  // the append it missed is rebuilt in
    ErrorRecorder errors;
    EXPECT_FALSE(again->OrderListAdd(Usual("missing")));
    EXPECT_EQ(errors.seen.size(), 1u);
}

TEST_F(IndexTest, AnOpenThatRebuiltBesideOthersVoidsTheJournal) {
    auto db = Names({{"m", 1}, {"c", 2}, {"x", 3}});
    ASSERT_TRUE(db->CreateOrder(Usual("NAME"), Usual(), Usual("NAME"), Usual()));
    db->Close();
    auto one = Open("names.dbf", true);
    EditBehindTheIndex("names.dbf", 1, 1, 'z');  // renames record 1 while the table is open
    auto two = Open("names.dbf", true);          // rebuilds, cannot rewrite the file
    EXPECT_EQ(Walk(*two), (std::vector<int64_t>{2, 3, 1}));
    two->GoTo(2);
    two->FieldPut(Usual("NAME"), Usual("d"));
    two->Commit();
    two.reset();  // neither open closes cleanly: the journal is all there is
    one.reset();
    auto again = Open("names.dbf");
    EXPECT_EQ(Walk(*again), (std::vector<int64_t>{2, 3, 1}));
}

TEST_F(IndexTest, BadOrdersAreRefusedWithAnError) {
    auto db = Names({{"m", 1}});
    ErrorRecorder errors;
    DBServer* raw = db.get();
    struct Case {
        const char* what;
        Usual block;
        uint32_t gen;
    };
    const Case cases[] = {
        {"nil key", Usual::Block([](Args) { return Usual(); }), kGenDataType},
        {"empty text", Usual::Block([](Args) { return Usual(""); }), kGenDataWidth},
        {"too wide", Usual::Block([](Args) { return Usual(std::string(300, 'x')); }), kGenDataWidth},
        {"changing type", Usual::Block([raw](Args) { return raw->RecNo() == 1 ? Usual("a") : Usual(1); }),
         kGenDataType},
    };
    db->Append();
    db->Commit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t before = errors.seen.size();
        EXPECT_FALSE(db->CreateOrderWith("BAD", Usual(), "X", c.block, "", Usual()));
        ASSERT_EQ(errors.seen.size(), before + 1);
        EXPECT_EQ(errors.Last().GenCode, c.gen);
    }
    EXPECT_EQ(db->OrderCount(), 0);
    EXPECT_FALSE(db->CreateOrder(Usual("BAD"), Usual(), Usual("NO_SUCH_FIELD +"), Usual()));
}

}  // namespace
