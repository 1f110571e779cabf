// The shell window on an X server: the menu opened from the bar shows each
// item's description while the item is highlighted, by key and by mouse.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "platform/gui/menu.h"
#include "support/shell_fixture.h"

namespace {

class ShellOnX : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        QWidget* w = Shell()->Widget();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    QMenuBar* Bar() { return dynamic_cast<gui::Menu*>(Shell()->GetMenu().AsObject().get())->Bar(); }
    // Opens a popup of the bar with a click on its title.
    QMenu* OpenFromBar(int index) {
        QAction* title = Bar()->actions().at(index);
        QTest::mouseClick(Bar(), Qt::LeftButton, {}, Bar()->actionGeometry(title).center());
        QTest::qWait(50);
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        EXPECT_EQ(popup, title->menu());
        return popup;
    }
    std::string Prompt() {
        QTest::qWait(20);  // the status tip Qt sends after the highlight
        return Shell()->StatusText();
    }
    static QAction* Item(QMenu* popup, const char* text) {
        for (QAction* a : popup->actions())
            if (a->text() == QString::fromUtf8(text)) return a;
        return nullptr;
    }
};

}  // namespace

TEST_F(ShellOnX, TheBarsMenuShowsTheHighlightedItemsDescription) {
    QMenu* popup = OpenFromBar(0);
    ASSERT_NE(popup, nullptr);
    QTest::keyClick(popup, Qt::Key_Down);
    EXPECT_EQ(popup->activeAction(), Item(popup, "&Scan Data\tShift+S"));
    EXPECT_EQ(Prompt(), "Scan Product Barcodes");
    QTest::keyClick(popup, Qt::Key_Down);  // over the separator
    EXPECT_EQ(Prompt(), "Restart Scanned Data File");

    QAction* exportItem = Item(popup, "&Export Data");
    ASSERT_NE(exportItem, nullptr);
    QPoint at = popup->actionGeometry(exportItem).center();
    QTest::mouseMove(popup, at - QPoint(0, 2));
    QTest::mouseMove(popup, at);
    EXPECT_EQ(popup->activeAction(), exportItem);
    EXPECT_EQ(Prompt(), "Export Scanned Data to CSV");
    QTest::keyClick(popup, Qt::Key_Escape);
}
