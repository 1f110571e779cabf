// The parts under the grid widget: the row map, the record reader on real
// table files, and the conversion between field values and cell text.
#include <QtTest>

#include "grid_test_util.h"
#include "platform/grid/celltext.h"
#include "platform/grid/recordreader.h"
#include "platform/grid/rowmap.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/text.h"

using grid::ColumnInfo;
using grid::RowMap;

class GridPartsTest : public QObject {
    Q_OBJECT
private slots:
    void identityMapNeedsNoStorageAndChecksBounds();
    void filteredMapFindsRowsAndNeighbours();
    void filteredMapCleansItsInput();
    void filteredMapFollowsDeletesAppendsAndRecalls();
    void readerReadsEveryRecordAcrossBlocks();
    void readerScanSkipsDeletedAcrossChunks();
    void readerCountsUnwrittenRecordsAsShown();
    void displayTextFormatsEachType();
    void parseInputPassesBadTextOnForTheServerToRefuse();
    void validatorKeepsTextWithinTheFieldInCharacters();
};

void GridPartsTest::identityMapNeedsNoStorageAndChecksBounds() {
    RowMap m;
    m.ShowAll(5);
    QCOMPARE(m.Rows(), 5);
    QCOMPARE(m.RecordOf(0), 1u);
    QCOMPARE(m.RecordOf(4), 5u);
    QCOMPARE(m.RecordOf(5), 0u);
    QCOMPARE(m.RecordOf(-1), 0u);
    QCOMPARE(m.RowOf(5), 4);
    QCOMPARE(m.RowOf(6), -1);
    QCOMPARE(m.RowOf(0), -1);
    QCOMPARE(m.NearestRow(9), 4);
    QCOMPARE(m.MemoryBytes(), size_t{0});
    QCOMPARE(m.Hide(3), -1);  // nothing is hidden: deleted rows stay
    QCOMPARE(m.Extend(7, {}), 2);
    QCOMPARE(m.Rows(), 7);
    RowMap empty;
    QCOMPARE(empty.NearestRow(1), -1);
}

void GridPartsTest::filteredMapFindsRowsAndNeighbours() {
    RowMap m;
    m.ShowOnly({2, 3, 7, 10}, 10);
    QCOMPARE(m.Rows(), 4);
    QCOMPARE(m.RecordOf(2), 7u);
    QCOMPARE(m.RowOf(7), 2);
    QCOMPARE(m.RowOf(5), -1);      // hidden
    QCOMPARE(m.NearestRow(5), 2);  // the next shown record takes its place
    QCOMPARE(m.NearestRow(1), 0);
    QCOMPARE(m.NearestRow(11), 3);  // nothing after: the last row
}

void GridPartsTest::filteredMapCleansItsInput() {
    RowMap m;
    m.ShowOnly({9, 0, 3, 3, 12, 1}, 10);  // unsorted, repeated, 0, beyond the count
    QCOMPARE(m.Rows(), 3);
    QCOMPARE(m.RecordOf(0), 1u);
    QCOMPARE(m.RecordOf(1), 3u);
    QCOMPARE(m.RecordOf(2), 9u);
}

void GridPartsTest::filteredMapFollowsDeletesAppendsAndRecalls() {
    RowMap m;
    m.ShowOnly({1, 2, 4}, 4);
    QCOMPARE(m.Hide(2), 1);
    QCOMPARE(m.Hide(2), -1);  // twice: nothing more to remove
    QCOMPARE(m.Rows(), 2);
    QCOMPARE(m.Extend(7, {5, 7}), 2);  // 6 was added deleted
    QCOMPARE(m.Records(), 7u);
    QCOMPARE(m.RecordOf(3), 7u);
    QCOMPARE(m.Extend(7, {8}), 0);  // not beyond what is covered
    QCOMPARE(m.Unhide(6), 3);
    QCOMPARE(m.Unhide(6), -1);
    QCOMPARE(m.Unhide(8), -1);  // outside the map
    QCOMPARE(m.RowOf(7), 4);
}

void GridPartsTest::readerReadsEveryRecordAcrossBlocks() {
    gridtest::Scratch s;
    s.Create("big.dbf", gridtest::ScanStruct());
    const uint32_t n = 2000;  // several blocks
    s.BulkFill("big.dbf", n, 26, [](uint32_t r, char* p) {
        std::string code = std::to_string(r);
        std::memcpy(p, code.data(), code.size());
    });
    auto db = s.Open("big.dbf");
    QCOMPARE(db->LastRec(), int64_t{n});
    grid::RecordReader reader;
    QVERIFY(reader.Open(db->FileName(), db->Engine()->Header().headerLen, db->Engine()->RecordLen()));
    auto codeAt = [&](uint32_t r) {
        const uint8_t* p = reader.Record(r);
        return p ? std::string(reinterpret_cast<const char*>(p) + 1, 15) : std::string("<none>");
    };
    for (uint32_t r : {1u, 2u, 127u, 128u, 129u, 700u, 699u, 1999u, 2000u})
        QCOMPARE(rt::AllTrim(codeAt(r)), std::to_string(r));
    for (uint32_t r = n; r >= 1; --r)  // backwards, as scrolling up reads
        if (rt::AllTrim(codeAt(r)) != std::to_string(r)) QFAIL(qPrintable(QString("record %1").arg(r)));
    QVERIFY(reader.Record(n + 1) == nullptr);
    QVERIFY(reader.Record(0) == nullptr);
    QVERIFY(db->RecNo() == 1);
}

void GridPartsTest::readerScanSkipsDeletedAcrossChunks() {
    gridtest::Scratch s;
    s.Create("big.dbf", gridtest::ScanStruct());
    const uint32_t n = 100000;  // 2.6 MB: three scan chunks
    s.BulkFill(
        "big.dbf", n, 26, [](uint32_t, char*) {}, [](uint32_t r) { return r % 7 == 0 || r == 40330; });
    auto db = s.Open("big.dbf");
    grid::RecordReader reader;
    QVERIFY(reader.Open(db->FileName(), db->Engine()->Header().headerLen, db->Engine()->RecordLen()));
    std::vector<uint32_t> shown;
    QVERIFY(reader.ScanLive(1, n, shown));
    QCOMPARE(shown.size(), size_t{n - n / 7 - 1});
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QVERIFY(std::find(shown.begin(), shown.end(), 40330u) == shown.end());
    QVERIFY(std::find(shown.begin(), shown.end(), 40329u) != shown.end());
    QCOMPARE(shown.back(), n);
    std::vector<uint32_t> tail;
    QVERIFY(reader.ScanLive(99990, n, tail));  // only the new records, as an append scans
    QCOMPARE(tail, (std::vector<uint32_t>{99990, 99991, 99992, 99993, 99994, 99996, 99997, 99998, 99999, 100000}));
}

void GridPartsTest::readerCountsUnwrittenRecordsAsShown() {
    gridtest::Scratch s;
    auto db = s.ScanTable("scan.dbf", 3, /*shared=*/false);
    db->GoTo(2);
    db->Delete();
    db->Append();  // exclusive: the new record waits in the buffer
    QCOMPARE(db->LastRec(), int64_t{4});
    grid::RecordReader reader;
    QVERIFY(reader.Open(db->FileName(), db->Engine()->Header().headerLen, db->Engine()->RecordLen()));
    std::vector<uint32_t> shown;
    QVERIFY(reader.ScanLive(1, 4, shown));
    QCOMPARE(shown, (std::vector<uint32_t>{1, 3, 4}));
    QVERIFY(reader.Record(4) == nullptr);
}

void GridPartsTest::displayTextFormatsEachType() {
    const ColumnInfo name{"NAME", 'C', 8, 0}, price{"PRICE", 'N', 8, 2}, day{"DAY", 'D', 8, 0}, ok{"OK", 'L', 1, 0},
        memo{"NOTE", 'M', 10, 0};
    QCOMPARE(grid::DisplayText(name, rt::Usual("abc     ")), QString("abc"));
    QCOMPARE(grid::DisplayText(name, rt::Usual("M\xC3\xBCller")), QString::fromUtf8("M\xC3\xBCller"));
    QCOMPARE(grid::DisplayText(name, rt::Usual("M\xFCller")), QString::fromLatin1("M\xFCller"));
    QCOMPARE(grid::DisplayText(price, rt::Usual(12.5)), QString("12.50"));
    QCOMPARE(grid::DisplayText(price, rt::Usual(7)), QString("7.00"));
    rt::SetDateFrmt("DD.MM.YYYY");
    QCOMPARE(grid::DisplayText(day, rt::Usual(rt::MakeDate(2024, 3, 9))), QString("09.03.2024"));
    QCOMPARE(grid::DisplayText(day, rt::Usual(rt::Date{})), QString());
    QCOMPARE(grid::DisplayText(ok, rt::Usual(true)), QString("T"));
    QCOMPARE(grid::DisplayText(memo, rt::Usual("first\nsecond")), QString::fromUtf8("first \u2026"));
    QCOMPARE(grid::DisplayText(name, rt::Usual()), QString());
    rt::ResetSettings();
}

void GridPartsTest::parseInputPassesBadTextOnForTheServerToRefuse() {
    const ColumnInfo price{"PRICE", 'N', 8, 2}, day{"DAY", 'D', 8, 0}, ok{"OK", 'L', 1, 0};
    QCOMPARE(grid::ParseInput(price, " 12,5 ").AsDouble(), 12.5);
    QVERIFY(grid::ParseInput(price, "   ").IsNil());
    QVERIFY(grid::ParseInput(price, "1-2").IsString());
    rt::SetDateFrmt("DD.MM.YYYY");
    QCOMPARE(grid::ParseInput(day, "09.03.2024").AsDate(), rt::MakeDate(2024, 3, 9));
    QVERIFY(grid::ParseInput(day, "31.02.2024").IsString());  // no such day
    QVERIFY(grid::ParseInput(day, "").AsDate().IsEmpty());
    // A two-digit display picture still edits with the century: 1890 stays
    // 1890 instead of becoming 1990 under the epoch.
    rt::SetDateFrmt("DD.MM.YY");
    const rt::Usual old(rt::MakeDate(1890, 5, 1));
    QCOMPARE(grid::DisplayText(day, old), QString("01.05.90"));
    QCOMPARE(grid::EditText(day, old), QString("01.05.1890"));
    QCOMPARE(grid::ParseInput(day, grid::EditText(day, old)).AsDate(), old.AsDate());
    QCOMPARE(grid::InputLimit(day), 10);
    QCOMPARE(grid::ParseInput(ok, "y").AsLogic(), true);
    QCOMPARE(grid::ParseInput(ok, "N").IsLogic(), true);
    QVERIFY(grid::ParseInput(ok, "x").IsString());
    rt::ResetSettings();
}

void GridPartsTest::validatorKeepsTextWithinTheFieldInCharacters() {
    grid::FieldValidator name({"NAME", 'C', 4, 0}, nullptr), price({"PRICE", 'N', 6, 2}, nullptr);
    int pos = 0;
    QString t = "abcd";
    QCOMPARE(name.validate(t, pos), QValidator::Acceptable);
    t = QString::fromUtf8("abc\xC3\xBC");  // 4 characters, 4 bytes of the table's code page
    QCOMPARE(name.validate(t, pos), QValidator::Acceptable);
    t = QString::fromUtf8("abcd\xC3\xBC");  // 5 characters
    QCOMPARE(name.validate(t, pos), QValidator::Invalid);
    t = "-12.5";
    QCOMPARE(price.validate(t, pos), QValidator::Acceptable);
    t = "12a";
    QCOMPARE(price.validate(t, pos), QValidator::Invalid);
}

QTEST_MAIN(GridPartsTest)
#include "gridparts_test.moc"
