// The scanning screen driven as an operator drives it: a barcode reader
// typing code and Enter, counts typed by hand, the questions answered, the
// keys that move and delete, and the ways the screen closes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "app/qzapp.h"
#include "appkit/settings_list.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/gridmodel.h"
#include "platform/grid/gridview.h"
#include "platform/gui/testhooks.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"
#include "scan/datafile.h"
#include "scan/datareader.h"

namespace fs = std::filesystem;
using gui::TestHooks;

namespace {

struct Scan {
    std::string barcode, qty;
};

class Screen : public testing::Test {
protected:
    void SetUp() override {
        TestHooks::Clear();
        rt::ResetSettings();
        rt::SetDeleted(true);
        dir_ = fs::temp_directory_path() / ("qzreader" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        appkit::ResetSettingsList();
        appkit::AddSetting(rt::Usual(dir_.string()));
        appkit::AddSetting(rt::Usual("Quorvex Stocktake Utility (1.02)"));
        app_ = rt::New<app::QZApp>();  // routes keys to ONFUNCTIONKEY
        Open();
    }
    void TearDown() override {
        if (screen_ && screen_->IsOpen()) screen_->EndWindow();
        screen_.reset();
        app_.reset();
        rdd::RDDCloseAll();
        fs::remove_all(dir_);
        TestHooks::Clear();
    }
    void Open() {
        screen_ = rt::New<scan::DataReader>();
        screen_->Init({rt::Usual()});
        screen_->Show();
        QApplication::setActiveWindow(screen_->Widget());
        screen_->BarcodeField()->SetFocus();
    }
    QLineEdit* Barcode() { return screen_->BarcodeField()->Edit(); }
    QLineEdit* Qty() { return screen_->QuantityField()->Edit(); }
    QWidget* Focused() { return QApplication::focusWidget(); }
    rdd::DBServer* Table() { return dynamic_cast<rdd::DBServer*>(screen_->Table().AsObject().get()); }

    // A barcode reader: the code, then Enter.
    void ReaderTypes(const std::string& code) {
        QTest::keyClicks(Focused(), QString::fromStdString(code));
        QTest::keyClick(Focused(), Qt::Key_Return);
    }
    // The operator types the count and presses Enter.
    void CountTyped(const std::string& qty) {
        QTest::keyClicks(Focused(), QString::fromStdString(qty));
        QTest::keyClick(Focused(), Qt::Key_Return);
    }
    // The records in the file, read after the screen has closed it.
    std::vector<Scan> Stored() {
        if (screen_->IsOpen()) screen_->EndWindow();
        std::vector<Scan> out;
        rdd::DBServer db(rt::Usual(scan::GetDataFileName()), rt::Usual(true), rt::Usual(true));
        for (db.GoTop(); !db.Eof(); db.Skip(rt::Usual(1)))
            out.push_back({db.FieldGet(rt::Usual("BARCODE")).AsStr(), db.FieldGet(rt::Usual("QTY")).AsStr()});
        db.Close();
        return out;
    }

    fs::path dir_;
    std::shared_ptr<app::QZApp> app_;
    std::shared_ptr<scan::DataReader> screen_;
};

std::string Pad(std::string s, size_t n) {
    s.resize(n, ' ');
    return s;
}

}  // namespace

TEST_F(Screen, ReaderSpeedScansAreStoredExactlyAsTyped) {
    EXPECT_EQ(screen_->Caption(), "Scanned Data");
    EXPECT_EQ(Barcode()->maxLength(), 15);
    EXPECT_EQ(Qty()->maxLength(), 10);  // the table's field, whole
    EXPECT_EQ(Focused(), Barcode());
    std::vector<Scan> typed;
    for (int i = 0; i < 1000; ++i) {
        std::string code = std::to_string(4006381333000LL + i);
        std::string qty = std::to_string(i % 97 + 1);
        if (i % 10 == 1) code = "  " + code;  // leading blanks kept
        if (i % 10 == 2) qty = "1.50";        // decimals kept
        if (i % 10 == 4) qty = "1234567890";  // as wide as the field
        if (i % 10 == 5) code = "ABC-" + std::to_string(i);
        ReaderTypes(code);
        ASSERT_EQ(Focused(), Qty()) << i;
        CountTyped(qty);
        ASSERT_EQ(Focused(), Barcode()) << i;  // fields cleared, focus back
        ASSERT_EQ(Barcode()->text(), "");
        typed.push_back({code, qty});
    }
    EXPECT_TRUE(TestHooks::Boxes().empty());
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), typed.size());
    for (size_t i = 0; i < typed.size(); ++i) {
        EXPECT_EQ(stored[i].barcode, Pad(typed[i].barcode.substr(0, 15), 15)) << i;
        EXPECT_EQ(stored[i].qty, Pad(typed[i].qty.substr(0, 10), 10)) << i;
    }
}

TEST_F(Screen, CountTypedBeforeTheBarcodeIsStoredWhenTheBarcodeArrives) {
    Qty()->setFocus();
    QTest::keyClicks(Qty(), "7");
    Barcode()->setFocus();  // the operator clicks back: nothing to store yet
    EXPECT_EQ(Table()->LastRec(), 0);
    ReaderTypes("999");  // Enter moves into the quantity field, which stores
    EXPECT_EQ(Table()->LastRec(), 1);
    EXPECT_EQ(Focused(), Barcode());
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].qty, Pad("7", 10));
}

TEST_F(Screen, DoubtfulCountsAreQuestioned) {
    for (const char* qty : {"0", "0.00", ".0"}) {
        TestHooks::Clear();
        TestHooks::AnswerBox(7);  // No: only the quantity is cleared
        ReaderTypes(" X1 ");
        CountTyped(qty);
        ASSERT_EQ(TestHooks::Boxes().size(), 1u) << qty;
        EXPECT_EQ(TestHooks::Boxes()[0].caption, "Quantity Warning");
        EXPECT_EQ(TestHooks::Boxes()[0].text, std::string("Item X1 has a possible invalid quantity\r\n") +
                                                  "Are you sure you want to save it as " + qty + "?");
        EXPECT_EQ(TestHooks::Boxes()[0].type, 0x42124u);
        EXPECT_EQ(Qty()->text(), "");
        EXPECT_EQ(Barcode()->text(), " X1 ");
        EXPECT_EQ(Focused(), Qty());
        EXPECT_EQ(Table()->LastRec(), 0);
        TestHooks::AnswerBox(6);  // Yes: stored as typed
        CountTyped(qty);
        EXPECT_EQ(Table()->LastRec(), 1) << qty;
        // Start the next round on a fresh file.
        screen_->EndWindow();
        fs::remove(dir_ / "QZSCAN.DBF");
        Open();
    }
}

// Under a decimal comma (more counts in the e2e test), and text pasted.
TEST_F(Screen, CountsAreNumbersStoredWithAPoint) {
    rt::SetDecimalSep(',');
    ReaderTypes("C1");
    CountTyped(",5,2");  // a second mark is refused
    EXPECT_EQ(rt::Trim(Table()->FieldGet(rt::Usual("QTY")).AsStr()), "0.52");
    ReaderTypes("C2");
    Qty()->setText("5 boxes");
    QTest::keyClick(Qty(), Qt::Key_Return);
    EXPECT_EQ(Table()->LastRec(), 1);
    EXPECT_EQ(screen_->NoticeText(), "Not a count: \"5 boxes\". Type digits and the decimal mark.");
}

TEST_F(Screen, KeysMoveTheRecordAndDeleteAsksFirst) {
    for (const char* code : {"A", "B", "C", "D"}) {
        ReaderTypes(code);
        CountTyped("1");
    }
    rdd::DBServer* t = Table();
    EXPECT_EQ(t->RecNo(), 4);
    QTest::keyClick(Barcode(), Qt::Key_Up);
    EXPECT_EQ(t->RecNo(), 3);
    QTest::keyClick(Barcode(), Qt::Key_PageUp);
    EXPECT_EQ(t->RecNo(), 1);
    QTest::keyClick(Barcode(), Qt::Key_Down);
    EXPECT_EQ(t->RecNo(), 2);
    QTest::keyClick(Barcode(), Qt::Key_PageDown);
    EXPECT_EQ(t->RecNo(), 4);
    EXPECT_EQ(screen_->Grid()->View()->currentIndex().row(), 3);  // the grid follows

    // Delete in a field with text: the question first; after No the key
    // deletes a character as usual.
    QTest::keyClicks(Barcode(), "XYZ");
    Barcode()->setCursorPosition(0);
    TestHooks::AnswerBox(7);
    QTest::keyClick(Barcode(), Qt::Key_Delete);
    EXPECT_EQ(TestHooks::Boxes().back().caption, "DELETE RECORD");
    EXPECT_EQ(TestHooks::Boxes().back().text, "OK to delete this record?");
    EXPECT_EQ(Barcode()->text(), "YZ");
    EXPECT_FALSE(t->Deleted());
    Barcode()->clear();
    t->GoTo(2);
    TestHooks::AnswerBox(6);
    QTest::keyClick(Barcode(), Qt::Key_Delete);
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1].barcode, Pad("C", 15));
}

TEST_F(Screen, UpAndDownInTheGridMoveOneRecord) {
    for (const char* code : {"A", "B", "C", "D", "E"}) {
        ReaderTypes(code);
        CountTyped("1");
    }
    rdd::DBServer* t = Table();
    grid::GridView* view = screen_->Grid()->View();
    view->setFocus();
    ASSERT_EQ(Focused(), view);
    ASSERT_EQ(t->RecNo(), 5);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(t->RecNo(), 4);
    EXPECT_EQ(view->currentIndex().row(), 3);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(t->RecNo(), 3);
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(t->RecNo(), 4);
    EXPECT_EQ(view->currentIndex().row(), 3);
    QTest::keyClick(view, Qt::Key_PageUp);
    EXPECT_EQ(t->RecNo(), 1);
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(t->RecNo(), 5);
    EXPECT_EQ(view->currentIndex().row(), 4);
}

// The operator answers a question box with a key: that key passes the key
// hook while the key that opened the box is still being decided.
void AnswerWithAKey(const gui::ShownBox&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9); }

TEST_F(Screen, DeleteAnsweredByKeyAsksOnceAndDeletesOneRecord) {
    for (const char* code : {"A", "B", "C", "D"}) {
        ReaderTypes(code);
        CountTyped("1");
    }
    Table()->GoTo(2);
    TestHooks::SetOnBox(&AnswerWithAKey);
    TestHooks::AnswerBox(6);
    TestHooks::AnswerBox(6);
    QTest::keyClick(Barcode(), Qt::Key_Delete);
    TestHooks::SetOnBox(nullptr);
    EXPECT_EQ(TestHooks::Boxes().size(), 1u);
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1].barcode, Pad("C", 15));
}

TEST_F(Screen, EscapeAnsweredNoByKeyAsksOnce) {
    TestHooks::SetOnBox(&AnswerWithAKey);
    TestHooks::AnswerBox(7);
    TestHooks::AnswerBox(7);
    QTest::keyClick(Barcode(), Qt::Key_Escape);
    TestHooks::SetOnBox(nullptr);
    EXPECT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_TRUE(screen_->IsOpen());
}

TEST_F(Screen, EscapeAsksAndNoKeepsTheScreenOpen) {
    TestHooks::AnswerBox(7);
    QTest::keyClick(Barcode(), Qt::Key_Escape);
    EXPECT_TRUE(screen_->IsOpen());
    EXPECT_EQ(TestHooks::Boxes().back().caption, "END SCANNING");
    EXPECT_EQ(TestHooks::Boxes().back().text, "OK to close the scanning screen?");
    TestHooks::AnswerBox(6);
    TestHooks::AnswerBox(1);
    QTest::keyClick(Barcode(), Qt::Key_Escape);
    EXPECT_EQ(TestHooks::Boxes().back().caption, "CLOSING SCAN SCREEN");
    EXPECT_EQ(TestHooks::Boxes().back().text, "Your scanned data has been saved.");
    EXPECT_FALSE(screen_->IsOpen());
    // The table is closed with the screen: it can be opened exclusively again.
    rdd::DBServer again(rt::Usual(scan::GetDataFileName()), rt::Usual(false), rt::Usual(false));
    EXPECT_TRUE(again.Used());
}

TEST_F(Screen, EndScanningStoresAWaitingCountFirst) {
    ReaderTypes("555");
    QTest::keyClicks(Qty(), "2");
    QTest::mouseClick(screen_->OkayButton()->Button(), Qt::LeftButton);
    EXPECT_FALSE(screen_->IsOpen());
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].barcode, Pad("555", 15));
}

TEST_F(Screen, KeysOnAnEmptyTableDoNothing) {
    TestHooks::AnswerBox(6);
    for (Qt::Key k : {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_Down, Qt::Key_Delete})
        QTest::keyClick(Barcode(), k);
    EXPECT_EQ(Table()->LastRec(), 0);
    EXPECT_TRUE(Stored().empty());
}

TEST_F(Screen, AScreenWhoseTableIsHeldSaysSoAndDoesNotOpen) {
    std::vector<rt::ErrorRef> errors;
    rt::Usual previous = rt::ErrorBlock(rt::Usual::Block([&](rt::Args a) {
        errors.push_back(std::dynamic_pointer_cast<rt::Error>(a[0].AsObject()));
        return rt::Usual(false);
    }));
    auto second = rt::New<scan::DataReader>();
    second->Init({rt::Usual()});
    rt::ErrorBlock(previous);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0]->GenCode, 21u);
    EXPECT_EQ(errors[0]->OsCode, 32u);
    ASSERT_FALSE(TestHooks::Boxes().empty());
    EXPECT_EQ(TestHooks::Boxes().back().caption, "SCAN DATA FILE IN USE");
    EXPECT_EQ(TestHooks::Boxes().back().text,
              "The scan data file " + scan::DataFileOnDisk() +
                  " is open in another scanning screen or program. Close it there, then open the "
                  "scanning screen again.");
    EXPECT_FALSE(second->IsOpen());
}

TEST_F(Screen, ClosingStoresTheWaitingScanFirstOrStaysOpen) {
    // Escape, Yes: a doubtful waiting count is asked about before the notice;
    // No keeps the screen open with the fields as they are.
    ReaderTypes("777");
    QTest::keyClicks(Qty(), "0");
    TestHooks::AnswerBox(6);  // OK to close
    TestHooks::AnswerBox(7);  // Quantity Warning: No
    QTest::keyClick(Qty(), Qt::Key_Escape);
    ASSERT_EQ(TestHooks::Boxes().back().caption, "Quantity Warning");
    EXPECT_TRUE(screen_->IsOpen());
    EXPECT_EQ(Qty()->text(), "0");
    EXPECT_EQ(Barcode()->text(), "777");
    // Yes to both: stored, then the notice, then closed.
    TestHooks::AnswerBox(6);
    TestHooks::AnswerBox(6);
    TestHooks::AnswerBox(1);
    QTest::keyClick(Qty(), Qt::Key_Escape);
    EXPECT_EQ(TestHooks::Boxes().back().caption, "CLOSING SCAN SCREEN");
    EXPECT_FALSE(screen_->IsOpen());
    std::vector<Scan> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].qty, Pad("0", 10));
}

TEST_F(Screen, AScanOnAMillionRecordTableIsTheGridsCurrentRow) {
    // The table written straight to the file: far faster than a million scans.
    screen_->EndWindow();
    const std::string path = scan::DataFileOnDisk();
    std::vector<char> bytes(fs::file_size(path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    constexpr uint32_t n = 1000000;
    const size_t header = rdd::dbf::Le16(reinterpret_cast<uint8_t*>(&bytes[rdd::dbf::kOffHeaderLen]));
    bytes.resize(header);
    rdd::dbf::PutLe32(reinterpret_cast<uint8_t*>(&bytes[rdd::dbf::kOffCount]), n);
    bytes.resize(header + size_t{n} * 26, ' ');
    bytes.push_back(static_cast<char>(rdd::dbf::kEofMarker));
    f = std::fopen(path.c_str(), "wb");
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);

    Open();
    grid::GridView* view = screen_->Grid()->View();
    ASSERT_EQ(view->Model()->rowCount(), int(n));
    ReaderTypes("4006381333931");
    CountTyped("2");
    EXPECT_EQ(Table()->LastRec(), int64_t{n} + 1);
    EXPECT_EQ(view->Model()->rowCount(), int(n) + 1);
    EXPECT_EQ(view->CurrentRow(), int(n));
    // On screen, numbered and filled as the new record.
    const QModelIndex current = view->currentIndex();
    ASSERT_TRUE(current.isValid());
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(current)));
    EXPECT_EQ(view->model()->headerData(current.row(), Qt::Vertical).toLongLong(), int64_t{n} + 1);
    EXPECT_EQ(view->model()->index(current.row(), 0).data().toString(), "4006381333931");
    EXPECT_EQ(view->model()->index(current.row(), 1).data().toString(), "2");
}
