// The grid on real tables: columns and widths, following the record pointer
// both ways, appends and deletions, hidden deleted records, client
// registration, the data window's table view and the designer settings.
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QStackedWidget>
#include <QtTest>

#include "grid_test_util.h"
#include "platform/grid/grid.h"
#include "platform/gui/app.h"
#include "platform/gui/datawindow.h"

using gridtest::ErrorRecorder;
using gridtest::Scratch;
using gridtest::ShownGrid;

namespace {

// A client that may refuse moves.
class Refuser : public rt::Object {
    QZ_OBJECT(Refuser)
public:
    rt::Usual Notify(int64_t code, const rt::Usual&) {
        if (code == rdd::kNotifyIntentToMove) {
            ++asked;
            return rt::Usual(allow);
        }
        return rt::Usual();
    }
    bool allow = false;
    int asked = 0;
};

const rt::ClassDef& Refuser::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Refuser>("GRIDTESTREFUSER").Method<&Refuser::Notify>("NOTIFY").Done();
    return c;
}

rt::Usual Send(const rt::Usual& target, const char* method, std::initializer_list<rt::Usual> args = {}) {
    return rt::Send(target, method, args);
}

}  // namespace

class DataGridTest : public QObject {
    Q_OBJECT
private slots:
    void columnsFollowFieldOrderAndAreFoundByName();
    void columnWidthsSurviveRereads();
    void gridFollowsTheServerPointer();
    void clicksAndKeysMoveTheServer();
    void refusedMoveKeepsServerAndHighlight();
    void appendsAndDeletionsShowAtOnce();
    void hiddenDeletedRecordsMapToRows();
    void otherUsersAppendsShowAfterAMove();
    void closedServerShowsNothingUntilReopened();
    void registrationFollowsUseAndLifetime();
    void dataWindowTableViewIsTheGrid();
    void designerSettingsTakeTheirValues();
    void typingDoesNotSearchOrEdit();
};

void DataGridTest::columnsFollowFieldOrderAndAreFoundByName() {
    Scratch s;
    s.Create("mixed.dbf", gridtest::MixedStruct());
    auto db = s.Open("mixed.dbf");
    ShownGrid g(db);
    rt::Usual grid(g.grid);
    QCOMPARE(g.Model()->columnCount(), 4);
    QCOMPARE(Send(grid, "COLUMNCOUNT").AsLong(), 4);
    QStringList headers;
    for (int c = 0; c < 4; ++c) headers << g.Model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"NAME", "PRICE", "DAY", "OK"}));

    rt::Usual price = Send(grid, "GETCOLUMN", {rt::Usual(" price ")});
    QVERIFY(price.IsObject());
    QCOMPARE(rt::IVarGet(price, rt::Symbol("NAME")).AsStr(), std::string("PRICE"));
    QVERIFY(Send(grid, "COLUMN", {rt::Usual(rt::Symbol("PRICE"))}).AsObject() == price.AsObject());
    QCOMPARE(rt::IVarGet(Send(grid, "GETCOLUMN", {rt::Usual(1)}), rt::Symbol("NAME")).AsStr(), std::string("NAME"));
    QVERIFY(Send(grid, "GETCOLUMN", {rt::Usual("NOPE")}).IsNil());
    QVERIFY(Send(grid, "GETCOLUMN", {rt::Usual(5)}).IsNil());

    QVERIFY(rt::IVarGet(price, rt::Symbol("WIDTH")).AsLong() > 0);
    QCOMPARE(rt::IVarPut(price, rt::Symbol("WIDTH"), rt::Usual(90)).AsLong(), 90);
    QCOMPARE(g.view->horizontalHeader()->sectionSize(1), 90);
    QCOMPARE(g.view->columnWidth(1), 90);
}

void DataGridTest::columnWidthsSurviveRereads() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 3);
    ShownGrid g(db);
    rt::Usual code = g.grid->GetColumn(rt::Usual("BARCODE"));
    rt::IVarPut(code, rt::Symbol("WIDTH"), rt::Usual(210));
    g.grid->Refresh();
    QCOMPARE(g.view->columnWidth(0), 210);
    db->Notify(rdd::kNotifyFileChange);  // the model is rebuilt from scratch
    QCOMPARE(g.view->columnWidth(0), 210);
    QCOMPARE(g.Model()->rowCount(), 3);
    // Back to the default width: not the one set before.
    rt::IVarPut(code, rt::Symbol("WIDTH"), rt::Usual(-1));
    QVERIFY(g.view->columnWidth(0) != 210 && g.view->columnWidth(0) > 0);
    // A column object outliving its grid reads 0 and writes nothing.
    auto other = std::make_unique<ShownGrid>(db);
    rt::Usual orphan = other->grid->GetColumn(rt::Usual("QTY"));
    other.reset();
    QCOMPARE(rt::IVarGet(orphan, rt::Symbol("WIDTH")).AsLong(), 0);
    QCOMPARE(rt::IVarPut(orphan, rt::Symbol("WIDTH"), rt::Usual(50)).AsLong(), 0);
}

void DataGridTest::gridFollowsTheServerPointer() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 60);
    ShownGrid g(db);
    QCOMPARE(g.CurrentRow(), 0);
    db->GoBottom();
    QCOMPARE(g.CurrentRow(), 59);
    // Scrolled to it: the row is inside the viewport, and the top row is
    // shown whole, not half under the header.
    QVERIFY(g.view->viewport()->rect().contains(g.view->visualRect(g.view->currentIndex())));
    QCOMPARE(g.view->rowViewportPosition(g.view->rowAt(0)), 0);
    db->GoTop();
    QCOMPARE(g.CurrentRow(), 0);
    db->Skip(rt::Usual(30));
    QCOMPARE(g.CurrentRow(), 30);
    QVERIFY(g.view->viewport()->rect().contains(g.view->visualRect(g.view->currentIndex())));
    db->GoTo(12);
    QCOMPARE(g.CurrentRow(), 11);
    db->Skip(rt::Usual(100));  // past the end: no current row
    QVERIFY(db->Eof());
    QCOMPARE(g.CurrentRow(), -1);
    g.Key(Qt::Key_Up);  // back onto the last record
    QCOMPARE(db->RecNo(), 60);
}

void DataGridTest::clicksAndKeysMoveTheServer() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 40);
    ShownGrid g(db);
    g.Click(3);
    QCOMPARE(db->RecNo(), 4);
    g.Key(Qt::Key_Down);
    QCOMPARE(db->RecNo(), 5);
    g.Key(Qt::Key_Up);
    g.Key(Qt::Key_Up);
    QCOMPARE(db->RecNo(), 3);
    g.Key(Qt::Key_End);
    QCOMPARE(db->RecNo(), 40);
    g.Key(Qt::Key_Down);  // stays on the last record, not past the end
    QCOMPARE(db->RecNo(), 40);
    QVERIFY(!db->Eof());
    g.Key(Qt::Key_Home);
    QCOMPARE(db->RecNo(), 1);
    g.Key(Qt::Key_PageDown);
    const int64_t afterPage = db->RecNo();
    QVERIFY2(afterPage > 3 && afterPage < 40, qPrintable(QString::number(afterPage)));
    QCOMPARE(int64_t{g.CurrentRow()} + 1, afterPage);
    g.Key(Qt::Key_PageUp);
    QCOMPARE(db->RecNo(), 1);
    g.Key(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(db->RecNo(), 40);
    g.Key(Qt::Key_Right);  // another column, the same record
    QCOMPARE(db->RecNo(), 40);
    QCOMPARE(g.view->currentIndex().column(), 1);
}

void DataGridTest::refusedMoveKeepsServerAndHighlight() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 10);
    ShownGrid g(db);
    auto refuser = rt::New<Refuser>();
    db->RegisterClient(rt::Usual(refuser));
    g.Click(5);
    QCOMPARE(db->RecNo(), 1);
    QCOMPARE(refuser->asked, 1);  // asked once, not again by the press
    QTest::qWait(0);
    QCOMPARE(g.CurrentRow(), 0);
    QCOMPARE(g.view->selectionModel()->selectedRows().value(0).row(), 0);
    g.Key(Qt::Key_Down);
    QCOMPARE(db->RecNo(), 1);
    QCOMPARE(g.CurrentRow(), 0);
    refuser->allow = true;
    g.Key(Qt::Key_Down);
    QCOMPARE(db->RecNo(), 2);
}

void DataGridTest::appendsAndDeletionsShowAtOnce() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 5, /*shared=*/false);
    ShownGrid g(db);
    QVERIFY(db->Append());  // exclusive: still in the buffer only
    db->FieldPut(rt::Usual("BARCODE"), rt::Usual("NEW"));
    QCOMPARE(g.Model()->rowCount(), 6);
    QCOMPARE(g.CurrentRow(), 5);
    QCOMPARE(g.Text(5, 0), QString("NEW"));
    QCOMPARE(g.Text(4, 0), QString("CODE5"));
    db->GoTo(2);
    QVERIFY(db->Delete());  // deleted records are shown (SetDeleted off), struck out
    QCOMPARE(g.Model()->rowCount(), 6);
    QCOMPARE(g.CurrentRow(), 1);
    QVERIFY(g.Model()->index(1, 0).data(Qt::FontRole).value<QFont>().strikeOut());
    QVERIFY(!g.Model()->index(2, 0).data(Qt::FontRole).value<QFont>().strikeOut());
    QCOMPARE(g.Text(5, 0), QString("NEW"));  // the append was written by the move
}

void DataGridTest::hiddenDeletedRecordsMapToRows() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 10);
    for (int r : {2, 5, 9}) {
        db->GoTo(r);
        db->Delete();
    }
    rt::SetDeleted(true);
    db->GoTop();
    ShownGrid g(db);
    QCOMPARE(g.Model()->rowCount(), 7);
    QList<qulonglong> numbers;
    for (int r = 0; r < 7; ++r) numbers << g.Model()->headerData(r, Qt::Vertical).toULongLong();
    QCOMPARE(numbers, (QList<qulonglong>{1, 3, 4, 6, 7, 8, 10}));
    QCOMPARE(g.Text(3, 0), QString("CODE6"));
    g.Click(3);
    QCOMPARE(db->RecNo(), 6);

    // Deleted while hidden: the row goes, the highlight moves on, the
    // server stays where it was.
    QVERIFY(db->Delete());
    QCOMPARE(g.Model()->rowCount(), 6);
    QCOMPARE(db->RecNo(), 6);
    QCOMPARE(g.CurrentRow(), 3);
    QCOMPARE(g.Text(3, 0), QString("CODE7"));
    g.Click(3);  // the highlighted row is now the server's record too
    QCOMPARE(db->RecNo(), 7);

    db->Append();
    db->FieldPut(rt::Usual("BARCODE"), rt::Usual("LATE"));
    QCOMPARE(g.Model()->rowCount(), 7);
    QCOMPARE(g.Text(6, 0), QString("LATE"));
    QCOMPARE(g.Model()->RecordOf(6), 11u);

    // Another opener deletes record 1: the map is rebuilt on notification 10.
    auto other = s.Open("scan.dbf");
    other->GoTo(1);
    other->Delete();
    db->Notify(rdd::kNotifyFileChange);
    QCOMPARE(g.Model()->rowCount(), 6);
    QCOMPARE(g.Model()->RecordOf(0), 3u);

    // Showing deleted records again takes a re-read.
    rt::SetDeleted(false);
    g.grid->Refresh();
    QCOMPARE(g.Model()->rowCount(), 11);
}

void DataGridTest::otherUsersAppendsShowAfterAMove() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 3);
    ShownGrid g(db);
    auto other = s.Open("scan.dbf");
    other->Append();
    other->FieldPut(rt::Usual("BARCODE"), rt::Usual("THEIRS"));
    other->Commit();
    QCOMPARE(g.Model()->rowCount(), 3);  // nothing told the grid yet
    db->GoBottom();
    QCOMPARE(g.Model()->rowCount(), 4);
    QCOMPARE(g.Text(3, 0), QString("THEIRS"));
    QCOMPARE(g.CurrentRow(), 3);
}

void DataGridTest::closedServerShowsNothingUntilReopened() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 4);
    ShownGrid g(db);
    db->Close();
    QCOMPARE(g.Model()->rowCount(), 0);
    QCOMPARE(g.CurrentRow(), -1);
    g.view->grab();  // paints an empty grid
    g.Key(Qt::Key_Down);
    QVERIFY(db->Init(rt::Usual(s.Path("scan.dbf")), rt::Usual(true), rt::Usual(false)));
    g.grid->Refresh();
    QCOMPARE(g.Model()->rowCount(), 4);
    QCOMPARE(g.Text(3, 0), QString("CODE4"));
    QCOMPARE(g.CurrentRow(), 0);
}

void DataGridTest::registrationFollowsUseAndLifetime() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 2);
    auto second = s.ScanTable("second.dbf", 1);
    {
        ShownGrid g(db);
        QCOMPARE(db->ClientCount(), 1);
        QVERIFY(g.grid->Server().AsObject() == rt::ObjectRef(db));
        QVERIFY(g.grid->Use(rt::Usual(second)));
        QCOMPARE(db->ClientCount(), 0);
        QCOMPARE(second->ClientCount(), 1);
        QCOMPARE(g.Text(0, 0), QString("CODE1"));
        QCOMPARE(g.Model()->rowCount(), 1);

        // Something that is no server: an error, and the grid stays bound.
        ErrorRecorder errors;
        QVERIFY(!g.grid->Use(rt::Usual("scan.dbf")));
        QCOMPARE(errors.seen.size(), size_t{1});
        QCOMPARE(errors.seen[0]->GenCode, uint32_t{rt::kGenWrongClass});
        QCOMPARE(second->ClientCount(), 1);
        QCOMPARE(g.Model()->rowCount(), 1);

        QVERIFY(g.grid->Use(rt::Usual()));
        QCOMPARE(second->ClientCount(), 0);
        QCOMPARE(g.Model()->rowCount(), 0);
        QVERIFY(g.grid->Use(rt::Usual(db)));
    }
    QCOMPARE(db->ClientCount(), 0);  // the grid went with its view

    // A grid on a window's template item: gone with the window object.
    auto window = rt::New<gui::Window>();
    window->Init({});
    auto grid = gui::MakeControl<grid::DataGrid>(*window, 101);
    QVERIFY(grid->View() && grid->View()->parentWidget() == window->Surface());
    QVERIFY(window->ControlById(101) == grid.get());
    grid->Use(rt::Usual(db));
    QCOMPARE(db->ClientCount(), 1);
    grid.reset();
    window->EndWindow();
    window.reset();
    QCOMPARE(db->ClientCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    db->GoBottom();  // nobody left to notify

    // Made by name, as INIT(owner, id).
    auto owner = rt::New<gui::Window>();
    owner->Init({});
    rt::Usual made = rt::CreateInstance(rt::Symbol("DATAGRID"), std::vector<rt::Usual>{rt::Usual(owner), rt::Usual(7)});
    QVERIFY(owner->ControlById(7) == made.AsObject().get());
    QVERIFY(Send(made, "USE", {rt::Usual(db)}).AsLogic());
    QCOMPARE(db->ClientCount(), 1);
    owner->EndWindow();
}

void DataGridTest::dataWindowTableViewIsTheGrid() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 7);
    grid::Init();
    auto window = rt::New<gui::DataWindow>();
    window->Init({});
    window->Use(rt::Usual(db));
    window->ViewTable();
    auto* stack = window->MainWindow()->findChild<QStackedWidget*>();
    QVERIFY(stack);
    auto* view = dynamic_cast<grid::GridView*>(stack->currentWidget());
    QVERIFY(view);
    QCOMPARE(view->Model()->rowCount(), 7);
    QVERIFY(!view->verticalHeader()->isHidden());  // record numbers in browse mode
    QCOMPARE(db->ClientCount(), 2);                // the window and its grid
    db->GoBottom();
    QCOMPARE(view->CurrentRow(), 6);
    window->Use(rt::Usual());
    QCOMPARE(db->ClientCount(), 0);
    window->EndWindow();
    gui::SetTableViewFactory({});
}

void DataGridTest::designerSettingsTakeTheirValues() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 30);
    ShownGrid g(db);
    rt::Usual grid(g.grid);
    QVERIFY(Send(grid, "SETHIGHLIGHT", {rt::Usual(rt::Symbol("NONE"))}).AsLogic());
    QCOMPARE(g.view->selectionMode(), QAbstractItemView::NoSelection);
    db->GoBottom();  // still follows, without a selection
    QCOMPARE(g.CurrentRow(), 29);
    QVERIFY(g.view->selectionModel()->selectedIndexes().isEmpty());
    QVERIFY(Send(grid, "SETSCROLLBARS", {rt::Usual(rt::Symbol("ALWAYS"))}).AsLogic());
    QCOMPARE(g.view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(g.view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(Send(grid, "SETRECORDNUMBERS", {rt::Usual(true)}).AsLogic());
    QVERIFY(g.view->verticalHeader()->isVisible());
    QVERIFY(Send(grid, "SETSCROLLRANGE", {rt::Usual(rt::Symbol("RECCOUNT"))}).AsLogic());
    QCOMPARE(g.view->verticalScrollMode(), QAbstractItemView::ScrollPerItem);
    QVERIFY(Send(grid, "SETLOOK", {rt::Usual(rt::Symbol("EXCEL"))}).AsLogic());
    QVERIFY(g.view->showGrid());
    QVERIFY(g.view->horizontalHeader()->highlightSections());
    QVERIFY(Send(grid, "SETLOOK", {rt::Usual("none")}).AsLogic());
    QVERIFY(!g.view->showGrid());

    ErrorRecorder errors;
    QVERIFY(!Send(grid, "SETSCROLLBARS", {rt::Usual(rt::Symbol("SOMETIMES"))}).AsLogic());
    QCOMPARE(errors.seen.size(), size_t{1});
    QCOMPARE(errors.seen[0]->GenCode, uint32_t{rt::kGenArg});
    QCOMPARE(g.view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);  // unchanged
    QVERIFY(!Send(grid, "SETHIGHLIGHT", {rt::Usual(3)}).AsLogic());
    QCOMPARE(g.view->selectionMode(), QAbstractItemView::NoSelection);

    Send(grid, "ENABLECOLUMNMOVE", {rt::Usual(true)});
    QVERIFY(g.view->horizontalHeader()->sectionsMovable());
    Send(grid, "ENABLECOLUMNRESIZE", {rt::Usual(false)});
    QCOMPARE(g.view->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    Send(grid, "ENABLEROWRESIZE", {rt::Usual(true)});
    QCOMPARE(g.view->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    // Moved columns are still found by name.
    g.view->horizontalHeader()->moveSection(1, 0);
    rt::IVarPut(g.grid->GetColumn(rt::Usual("QTY")), rt::Symbol("WIDTH"), rt::Usual(77));
    QCOMPARE(g.view->columnWidth(1), 77);
}

void DataGridTest::typingDoesNotSearchOrEdit() {
    Scratch s;
    auto db = s.ScanTable("scan.dbf", 12);
    ShownGrid g(db);
    const std::vector<uint8_t> before = gridtest::ReadBytes(s.Path("scan.dbf"));
    QTest::keyClicks(g.view, "CODE12");
    QTest::keyClick(g.view, Qt::Key_Return);
    QCOMPARE(db->RecNo(), 1);
    QVERIFY(!g.view->viewport()->findChild<QLineEdit*>());
    db->Commit();
    QVERIFY(gridtest::ReadBytes(s.Path("scan.dbf")) == before);
}

QTEST_MAIN(DataGridTest)
#include "datagrid_test.moc"
