// The bitmap list box driven with keys and the mouse on a real list widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "lib/widgets/bitmap.h"
#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/widgetclasses.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/window.h"

namespace {

using rt::Usual;

class BitmapListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        lib::RegisterWidgetClasses();
        gui::TestHooks::Clear();
        win->Init({Usual()});
        win->Widget()->resize(300, 300);
        box->Init(*win, 7);
        box->Widget()->setGeometry(0, 0, 300, 300);
        box->NBITMAPHEIGHT = 40;
        win->Show();
        bulb = rt::New<lib::LightBulb>();
    }
    void TearDown() override { win->EndWindow(); }
    QListWidget* list() const { return box->List(); }
    // The node ids in list order.
    std::vector<int64_t> Order() const {
        std::vector<int64_t> ids;
        for (int r = 0; r < list()->count(); ++r) ids.push_back(list()->item(r)->data(Qt::UserRole).toLongLong());
        return ids;
    }
    int64_t Add(const char* text, int64_t position = 0) {
        return box->ADDNODE(text, Usual(std::string("v") + text), static_cast<int64_t>(bulb->Handle()),
                            lib::kPictureBitmap, "", position);
    }
    QPoint RowCentre(int row) const { return list()->visualItemRect(list()->item(row)).center(); }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, at, list()->viewport()->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(list()->viewport(), &e);
    }
    std::shared_ptr<gui::Window> win = rt::New<gui::Window>();
    std::shared_ptr<lib::BitmapListBox> box = rt::New<lib::BitmapListBox>();
    std::shared_ptr<lib::LightBulb> bulb;
};

TEST_F(BitmapListBoxTest, IdsInOrderAppendAndInsertAtAPosition) {
    EXPECT_TRUE(box->Empty());
    EXPECT_EQ(Add("a"), 1);
    EXPECT_EQ(Add("b"), 2);
    EXPECT_EQ(Add("c"), 3);
    EXPECT_EQ(Add("d", 2), 4);  // before the third entry
    EXPECT_EQ(Order(), (std::vector<int64_t>{1, 2, 4, 3}));
    EXPECT_EQ(lib::TREESEEK(box->ALISTBOX(), 4), 4u);
    EXPECT_EQ(lib::TREESEEK(box->ALISTBOX(), 9), 0u);
    // Late-bound, as the gallery and qzeval reach it.
    EXPECT_EQ(rt::Send(Usual(box), "ADDNODE", {Usual("e"), Usual(5), Usual(0), Usual(1), Usual(""), Usual(0)}).AsLong(),
              5);
}

TEST_F(BitmapListBoxTest, DeleteRemovesTheActiveNodeFromListAndArray) {
    Add("a"), Add("b"), Add("c");
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(box->GETACTIVEID(), 2);  // from the first entry, one down
    EXPECT_EQ(box->GETACTIVEVALUE().AsStr(), "vb");
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(Order(), (std::vector<int64_t>{1, 3}));
    EXPECT_EQ(box->ALISTBOX().ALen(), 2u);
    EXPECT_EQ(lib::TREESEEK(box->ALISTBOX(), 2), 0u);
    // A delete block answering FALSE keeps the node.
    box->BONDELETE = Usual::Block([](rt::Args) { return Usual(false); });
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(box->ALISTBOX().ALen(), 2u);
}

TEST_F(BitmapListBoxTest, DeleteBlocksThatChangeTheListLeaveListAndArrayOne) {
    // Removing b with a block that first removes a, or clears the list (and
    // the block itself): the list and the node array agree afterwards.
    for (bool clear : {false, true}) {
        box->BONDELETE = Usual();
        box->LISTCLEAR();
        const int64_t a = Add("a"), b = Add("b"), c = Add("c");
        box->BONDELETE = Usual::Block([this, a, b, clear](rt::Args n) {
            if (n[0].At(1).AsLong() != b) return Usual(true);
            if (clear) box->BONDELETE = Usual(), box->LISTCLEAR();
            else box->REMOVENODE(a);
            return Usual(true);
        });
        box->REMOVENODE(b);
        EXPECT_EQ(Order(), clear ? std::vector<int64_t>{} : std::vector<int64_t>{c}) << clear;
        EXPECT_EQ(box->ALISTBOX().ALen(), Order().size());
        EXPECT_EQ(lib::TREESEEK(box->ALISTBOX(), c), clear ? 0u : 1u);
    }
}

TEST_F(BitmapListBoxTest, DrawRequestsReachTheListBoxThroughTheOwner) {
    Add("a"), Add("b");
    list()->setCurrentRow(1);
    box->NACTIVEINDEX = -1;
    const QImage shot = list()->viewport()->grab().toImage();
    EXPECT_EQ(box->NACTIVEINDEX, 1);  // set while the selected entry was drawn
    EXPECT_EQ(list()->visualItemRect(list()->item(0)).height(), 40);
    EXPECT_NE(shot.pixelColor(16, 20), shot.pixelColor(100, 20 + 40));  // picture vs. highlight
    EXPECT_TRUE(lib::HasOwnerProc(win->Handle()));
    EXPECT_TRUE(gui::TestHooks::Boxes().empty());
    box->CLOSE();
    EXPECT_FALSE(lib::HasOwnerProc(win->Handle()));
    list()->viewport()->grab();  // the owner's own procedure now: no box
    EXPECT_TRUE(gui::TestHooks::Boxes().empty());
    lib::BMLBWNDPROC(win->Handle(), lib::WM_DRAWITEM, 7, 0);
    ASSERT_EQ(gui::TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(gui::TestHooks::Boxes()[0].caption, "Internal Error");
    EXPECT_EQ(gui::TestHooks::Boxes()[0].text, "Integer return value failed!");
}

TEST_F(BitmapListBoxTest, DoubleClickHandsTheNodeToTheBlock) {
    Add("a"), Add("b");
    int64_t got = 0;
    box->BONMOUSEDBLCLK = Usual::Block([&](rt::Args a) {
        got = a[0].At(1).AsLong();
        return Usual();
    });
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(got, 2);
    got = 0;  // below the last entry: on none
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, RowCentre(1) + QPoint(0, 120));
    EXPECT_EQ(got, 0);
}

TEST_F(BitmapListBoxTest, DraggingMovesAnEntryWhereItIsDropped) {
    Add("a"), Add("b"), Add("c");
    box->LDRAGDROPON = true;
    std::vector<int64_t> moved;
    box->BONMOVENODE = Usual::Block([&](rt::Args a) {
        moved = {a[0].At(1).AsLong(), a[1].AsLong(), a[2].AsLong()};
        return Usual();
    });
    Mouse(QEvent::MouseButtonPress, RowCentre(0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowCentre(1), Qt::LeftButton);
    const QPoint below = RowCentre(2) + QPoint(0, 40);  // past the last entry
    Mouse(QEvent::MouseMove, below, Qt::LeftButton);
    EXPECT_EQ(box->NDROPINDEX, 3);
    Mouse(QEvent::MouseButtonRelease, below, Qt::NoButton);
    EXPECT_EQ(Order(), (std::vector<int64_t>{2, 3, 1}));
    EXPECT_EQ(moved, (std::vector<int64_t>{1, 0, 2}));
    EXPECT_EQ(box->ALISTBOX().At(1).At(1).AsLong(), 1);  // the array stays in id order
    // A press below the entries drags nothing.
    Mouse(QEvent::MouseButtonPress, below + QPoint(0, 40), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowCentre(0), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, RowCentre(0), Qt::NoButton);
    EXPECT_EQ(Order(), (std::vector<int64_t>{2, 3, 1}));
    // A drop outside the list moves nothing.
    const QPoint outside(RowCentre(0).x(), list()->viewport()->height() + 30);
    Mouse(QEvent::MouseButtonPress, RowCentre(0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowCentre(2), Qt::LeftButton);
    Mouse(QEvent::MouseMove, outside, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, outside, Qt::NoButton);
    EXPECT_EQ(Order(), (std::vector<int64_t>{2, 3, 1}));
    // A drop block answering FALSE refuses the move.
    box->BONMOUSEDROP = Usual::Block([](rt::Args) { return Usual(false); });
    Mouse(QEvent::MouseButtonPress, RowCentre(0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowCentre(2), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, RowCentre(2), Qt::NoButton);
    EXPECT_EQ(Order(), (std::vector<int64_t>{2, 3, 1}));
}

TEST_F(BitmapListBoxTest, PictureFilesAreReadAgainWhenTheyChangeAndFifosNeverBlock) {
    QTemporaryDir dir;
    const QString pic = dir.filePath("pic.bmp");
    auto save = [&](QColor colour, int side) {
        QImage img(side, side, QImage::Format_RGB32);
        img.fill(colour);
        ASSERT_TRUE(img.save(pic, "BMP"));
    };
    save(Qt::red, 30);
    box->ADDNODE("file", Usual(), 0, lib::kPictureFile, pic.toStdString(), 0);
    box->REFRESH();
    EXPECT_EQ(list()->viewport()->grab().toImage().pixelColor(16, 20), QColor(Qt::red));
    save(Qt::blue, 28);  // another picture in the same file
    EXPECT_EQ(list()->viewport()->grab().toImage().pixelColor(16, 20), QColor(Qt::blue));

    // A FIFO with no writer: neither the bitmap nor the list's paint waits
    // for one (else a writer comes after a time limit, and the test fails).
    const std::string fifo = dir.filePath("pipe.bmp").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> done;
    auto watchdog = std::async(std::launch::async, [&fifo, finished = done.get_future()] {
        if (finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return false;
        if (int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) close(fd);
        return true;
    });
    auto fromFifo = rt::New<lib::BitmapFromDisk>();
    fromFifo->Init(Usual(), fifo);
    box->ADDNODE("fifo", Usual(), 0, lib::kPictureFile, fifo, 0);
    list()->viewport()->grab();
    done.set_value();
    EXPECT_FALSE(watchdog.get()) << "a read of the FIFO waited for a writer";
    EXPECT_EQ(fromFifo->Handle(), 0u);
}

}  // namespace
