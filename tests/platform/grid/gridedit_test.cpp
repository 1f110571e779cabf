// Reading and writing through the grid: painting leaves the server alone,
// double-click edits are written and committed (checked by opening the file
// again), edit errors reach the error block, and a table of a million
// records is bound without reading it.
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>

#include "grid_test_util.h"
#include "platform/grid/dbfrowsource.h"
#include "platform/runtime/dates.h"

using gridtest::ErrorRecorder;
using gridtest::Scratch;
using gridtest::ShownGrid;

namespace {

// The cell editor open now (closed ones linger hidden until deleted).
QLineEdit* VisibleEditor(const ShownGrid& g) {
    for (QLineEdit* e : g.view->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

// Opens the editor on a cell with a double click (press, release, then
// the double click, as a mouse delivers it).
QLineEdit* OpenEditor(const ShownGrid& g, int row, int column) {
    const QPoint at = g.CellCenter(row, column);
    QTest::mouseClick(g.view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(g.view->viewport(), Qt::LeftButton, {}, at);
    return VisibleEditor(g);
}

// Replaces the editor's text and confirms it; false without an editor.
bool TypeAndEnter(QLineEdit* edit, const QString& text) {
    if (!edit) return false;
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QCoreApplication::processEvents();  // the delegate commits on the next turn of the loop
    return true;
}

// The bytes of a field of a record as the file holds them now.
std::string FileField(const std::string& path, uint32_t recno, size_t offset, size_t width) {
    std::vector<uint8_t> b = gridtest::ReadBytes(path);
    const size_t headerLen = rdd::dbf::Le16(&b[rdd::dbf::kOffHeaderLen]);
    const size_t recordLen = rdd::dbf::Le16(&b[rdd::dbf::kOffRecordLen]);
    const size_t at = headerLen + (recno - 1) * recordLen + offset;
    return at + width <= b.size() ? std::string(reinterpret_cast<const char*>(&b[at]), width) : std::string();
}

}  // namespace

class GridEditTest : public QObject {
    Q_OBJECT
private slots:
    void paintingNeverMovesTheServer();
    void doubleClickEditIsWrittenAndCommitted();
    void openEditIsWrittenBeforeTheProgramMovesTheServer();
    void editErrorsReachTheErrorBlock();
    void errorHandlerThatBreaksOutEndsInTheGrid();
    void readOnlyTablesAreNotEditable();
    void millionRecordTableBindsWithoutReadingIt();
};

void GridEditTest::paintingNeverMovesTheServer() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 80);
    ShownGrid g(db);
    db->GoTo(7);
    db->FieldPut(rt::Usual("BARCODE"), rt::Usual("UNSAVED"));  // in the buffer only
    const std::vector<uint8_t> before = gridtest::ReadBytes(s.Path("scan.dbf"));
    g.view->grab();
    g.view->verticalScrollBar()->setValue(g.view->verticalScrollBar()->maximum());
    g.view->grab();
    for (int r = 0; r < g.Model()->rowCount(); ++r)
        for (int c = 0; c < g.Model()->columnCount(); ++c)
            for (int role : {Qt::DisplayRole, Qt::EditRole, Qt::ToolTipRole, Qt::FontRole, Qt::ForegroundRole})
                g.Model()->index(r, c).data(role);
    for (int r = 0; r < 80; ++r) g.Model()->headerData(r, Qt::Vertical);
    QCOMPARE(db->RecNo(), 7);
    QCOMPARE(db->FieldGet(rt::Usual("BARCODE")).AsStr(), std::string("UNSAVED        "));
    QVERIFY(gridtest::ReadBytes(s.Path("scan.dbf")) == before);  // nothing flushed by a move
    QCOMPARE(g.Text(6, 0), QString("UNSAVED"));                  // the current row shows the buffer
    QCOMPARE(g.Text(7, 0), QString("CODE8"));
    QCOMPARE(g.Text(79, 1), QString("80"));
}

void GridEditTest::doubleClickEditIsWrittenAndCommitted() {
    Scratch s;
    s.Create("mixed.dbf", gridtest::MixedStruct());
    auto db = s.Open("mixed.dbf");
    for (int i = 0; i < 3; ++i) db->Append();
    db->Commit();
    db->GoTop();
    ShownGrid g(db);

    QLineEdit* edit = OpenEditor(g, 1, 0);
    QVERIFY(edit);
    QCOMPARE(edit->maxLength(), 8);
    QVERIFY(TypeAndEnter(edit, "Pear"));
    QCOMPARE(db->RecNo(), 2);
    // Written to the file before anything else happens, not only buffered.
    QCOMPARE(FileField(s.Path("mixed.dbf"), 2, 1, 8), std::string("Pear    "));

    QVERIFY(TypeAndEnter(OpenEditor(g, 1, 1), "3.5"));
    QLineEdit* dayEdit = OpenEditor(g, 1, 2);
    QVERIFY(dayEdit);
    QCOMPARE(dayEdit->maxLength(), 10);  // MM/DD/YYYY: edits keep the century
    QVERIFY(TypeAndEnter(dayEdit, "02/29/2024"));
    QVERIFY(TypeAndEnter(OpenEditor(g, 1, 3), "t"));
    QCOMPARE(g.Text(1, 1), QString("3.50"));

    auto reopened = s.Open("mixed.dbf");
    reopened->GoTo(2);
    QCOMPARE(reopened->FieldGet(rt::Usual("NAME")).AsStr(), std::string("Pear    "));
    QCOMPARE(reopened->FieldGet(rt::Usual("PRICE")).AsDouble(), 3.5);
    QCOMPARE(reopened->FieldGet(rt::Usual("DAY")).AsDate(), rt::MakeDate(2024, 2, 29));
    QCOMPARE(reopened->FieldGet(rt::Usual("OK")).AsLogic(), true);
    reopened->GoTo(1);
    QCOMPARE(reopened->FieldGet(rt::Usual("NAME")).AsStr(), std::string(8, ' '));

    // Opening and leaving an editor without a change writes nothing.
    const std::vector<uint8_t> before = gridtest::ReadBytes(s.Path("mixed.dbf"));
    QTest::keyClick(OpenEditor(g, 1, 0), Qt::Key_Return);
    QCoreApplication::processEvents();
    QVERIFY(gridtest::ReadBytes(s.Path("mixed.dbf")) == before);
}

void GridEditTest::openEditIsWrittenBeforeTheProgramMovesTheServer() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 6);
    rt::SetDeleted(true);
    ShownGrid g(db);
    QLineEdit* edit = OpenEditor(g, 3, 1);  // record 4; the double click moved there
    QVERIFY(edit);
    QCOMPARE(db->RecNo(), 4);
    edit->selectAll();
    QTest::keyClicks(edit, "44");  // typed, not yet confirmed
    // The program moves on and deletes where it went. The edit must land in
    // record 4 and the deletion in record 2: the grid writing its edit
    // must not move the pointer from under the program.
    QVERIFY(db->GoTo(2));
    QCOMPARE(db->RecNo(), 2);
    QVERIFY(db->Delete());
    QCOMPARE(FileField(s.Path("scan.dbf"), 4, 16, 10), std::string("44        "));
    QCOMPARE(FileField(s.Path("scan.dbf"), 4, 0, 1), std::string(" "));
    QCOMPARE(FileField(s.Path("scan.dbf"), 2, 0, 1), std::string("*"));
    QVERIFY(!VisibleEditor(g));
    QCOMPARE(g.Model()->rowCount(), 5);
    QCOMPARE(g.Text(2, 1), QString("44"));  // record 4 is row 2 now
}

void GridEditTest::editErrorsReachTheErrorBlock() {
    Scratch s;
    s.Create("mixed.dbf", gridtest::MixedStruct());
    auto db = s.Open("mixed.dbf");
    db->Append();
    db->FieldPut(rt::Usual("PRICE"), rt::Usual(1.25));
    db->Commit();
    ShownGrid g(db);
    ErrorRecorder errors;
    QVERIFY(TypeAndEnter(OpenEditor(g, 0, 1), "9999"));  // 9999.00 is wider than N(6,2)
    QCOMPARE(errors.seen.size(), size_t{1});
    QCOMPARE(errors.seen[0]->GenCode, uint32_t{rt::kGenDataWidth});
    QCOMPARE(errors.seen[0]->SubSystem, std::string("DBFCDX"));
    QVERIFY(TypeAndEnter(OpenEditor(g, 0, 2), "99/99/99"));  // no such date
    QCOMPARE(errors.seen.size(), size_t{2});
    QCOMPARE(errors.seen[1]->GenCode, uint32_t{rt::kGenDataType});
    QCOMPARE(FileField(s.Path("mixed.dbf"), 1, 9, 6), std::string("  1.25"));
    QCOMPARE(g.Text(0, 1), QString("1.25"));
}

void GridEditTest::errorHandlerThatBreaksOutEndsInTheGrid() {
    Scratch s;
    s.Create("mixed.dbf", gridtest::MixedStruct());
    auto db = s.Open("mixed.dbf");
    db->Append();
    db->Commit();
    ShownGrid g(db);
    int breaks = 0;
    rt::Usual previous = rt::ErrorBlock(rt::Usual::Block([&](rt::Args) -> rt::Usual {
        ++breaks;
        if (rt::CanBreak()) rt::LabelJump(rt::Usual("leave"));
        return rt::Usual(false);
    }));
    QVERIFY(TypeAndEnter(OpenEditor(g, 0, 1), "9999"));
    rt::ErrorBlock(previous);
    QCOMPARE(breaks, 1);
    QCOMPARE(FileField(s.Path("mixed.dbf"), 1, 9, 6), std::string("      "));
    g.Key(Qt::Key_Down);  // the grid still works
    QCOMPARE(db->RecNo(), 1);
}

void GridEditTest::readOnlyTablesAreNotEditable() {
    Scratch s;
    s.ScanTable("scan.dbf", 2);
    rdd::RDDCloseAll();
    auto db = rt::New<rdd::DBServer>(rt::Usual(s.Path("scan.dbf")), rt::Usual(true), rt::Usual(true));
    QVERIFY(db->ReadOnly());
    ShownGrid g(db);
    QVERIFY(!(g.Model()->flags(g.Model()->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(!OpenEditor(g, 0, 0));
    QVERIFY(!g.Model()->setData(g.Model()->index(0, 0), "X"));
}

void GridEditTest::millionRecordTableBindsWithoutReadingIt() {
    Scratch s;
    s.Create("big.dbf", gridtest::ScanStruct());
    const uint32_t n = 1000000;
    s.BulkFill(
        "big.dbf", n, 26,
        [](uint32_t r, char* p) {
            std::string code = "C" + std::to_string(r);
            std::memcpy(p, code.data(), code.size());
        },
        [](uint32_t r) { return r % 10 == 0; });
    auto db = s.Open("big.dbf");

    // Deleted records shown: the map is the identity, nothing is read but
    // the rows on screen.
    {
        ShownGrid g(db);
        auto* source = dynamic_cast<grid::DbfRowSource*>(g.view->Source());
        QVERIFY(source);
        QCOMPARE(g.Model()->rowCount(), int(n));
        QCOMPARE(source->Map().MemoryBytes(), size_t{0});
        g.Key(Qt::Key_End);
        QCOMPARE(db->RecNo(), int64_t{n});
        g.view->grab();
        QCOMPARE(g.Text(int(n) - 2, 0), QString("C999999"));
        QVERIFY2(g.Model()->CellReads() < 2000, qPrintable(QString::number(g.Model()->CellReads())));
        QVERIFY2(source->Reader().Reads() < 50, qPrintable(QString::number(source->Reader().Reads())));
    }

    // Deleted records hidden: one pass over the flags, 4 bytes a row.
    rt::SetDeleted(true);
    db->GoTop();
    ShownGrid g(db);
    auto* source = dynamic_cast<grid::DbfRowSource*>(g.view->Source());
    QCOMPARE(g.Model()->rowCount(), int(n - n / 10));
    QVERIFY(source->Map().MemoryBytes() <= size_t{n} * 4);
    g.Key(Qt::Key_End);
    QCOMPARE(db->RecNo(), int64_t{n - 1});
    QCOMPARE(g.Model()->headerData(g.CurrentRow(), Qt::Vertical).toULongLong(), qulonglong{n - 1});
    g.Key(Qt::Key_PageUp);
    QVERIFY(db->RecNo() < int64_t{n - 1});
    QVERIFY(db->RecNo() % 10 != 0);
    QVERIFY2(source->Reader().Reads() < 100, qPrintable(QString::number(source->Reader().Reads())));
}

QTEST_MAIN(GridEditTest)
#include "gridedit_test.moc"
