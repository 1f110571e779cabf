// The shell window on an X server: the menu opened from the bar shows each
// item's description while the item is highlighted, by key and by mouse;
// the open dialog's read-only choice; the printer set-up dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/gui/menu.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
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
    void TearDown() override {
        // A shell that quits on close would end every later event loop of
        // this test program, the modal dialogs' too.
        Shell()->SetQuitOnClose(false);
        ShellTest::TearDown();
    }
    QMenuBar* Bar() { return dynamic_cast<gui::Menu*>(Shell()->GetMenu().AsObject().get())->Bar(); }
    // Opens a popup of the bar with a click on its title.
    QMenu* OpenFromBar(int index) {
        QAction* title = Bar()->actions().at(index);
        QTest::mouseClick(Bar(), Qt::LeftButton, {}, Bar()->actionGeometry(title).center());
        static_cast<void>(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == title->menu(); }, 5000));
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        EXPECT_EQ(popup, title->menu());
        return popup;
    }
    // The status line once it shows `want` (the status tip Qt sends after
    // the highlight), or what it shows after a bounded wait.
    std::string Prompt(const std::string& want) {
        static_cast<void>(QTest::qWaitFor([&] { return Shell()->StatusText() == want; }, 5000));
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
    EXPECT_EQ(Prompt("Scan Product Barcodes"), "Scan Product Barcodes");
    QTest::keyClick(popup, Qt::Key_Down);  // over the separator
    EXPECT_EQ(Prompt("Restart Scanned Data File"), "Restart Scanned Data File");

    QAction* exportItem = Item(popup, "&Export Data");
    ASSERT_NE(exportItem, nullptr);
    QPoint at = popup->actionGeometry(exportItem).center();
    QTest::mouseMove(popup, at - QPoint(0, 2));
    QTest::mouseMove(popup, at);
    // The pointer moves through the X server: its motion arrives later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup->activeAction() == exportItem; }, 5000));
    EXPECT_EQ(Prompt("Export Scanned Data to CSV"), "Export Scanned Data to CSV");
    QTest::keyClick(popup, Qt::Key_Escape);
}

namespace {

// Runs `act` on the modal dialog that `show` opens, then lets `show` return.
template <class Dialog>
void OnModal(const std::function<void()>& show, const std::function<void(Dialog*)>& act) {
    gui::TestHooks::SetOn(false);  // the real dialog
    bool acted = false;
    QTimer::singleShot(0, [&] {
        static_cast<void>(
            QTest::qWaitFor([] { return qobject_cast<Dialog*>(QApplication::activeModalWidget()) != nullptr; }, 5000));
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(dialog);
        acted = true;
    });
    show();
    gui::TestHooks::SetOn(true);
    EXPECT_TRUE(acted);
}

}  // namespace

TEST_F(ShellOnX, TheOpenDialogOffersTheReadOnlyChoice) {
    std::string table = (sandbox_ / "STOCK.DBF").string();
    rdd::DBCreate(table, rt::Usual::Array({rt::Usual::Array({"CODE", "C", 6, 0})}));
    OnModal<QFileDialog>([&] { Shell()->FILEOPEN(); },
                         [&](QFileDialog* dialog) {
                             auto* readOnly = dialog->findChild<QCheckBox*>("readOnly");
                             ASSERT_NE(readOnly, nullptr);
                             EXPECT_TRUE(readOnly->isVisible());
                             readOnly->setChecked(true);
                             // The operator types the name and presses Enter.
                             auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                             ASSERT_NE(name, nullptr);
                             name->setText(QString::fromStdString(table));
                             QTest::keyClick(name, Qt::Key_Return);
                         });
    auto* db = dynamic_cast<rdd::DBServer*>(Shell()->Server().AsObject().get());
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->ReadOnly());
    EXPECT_EQ(Shell()->Caption(), "Browse Database: " + table);
}

TEST_F(ShellOnX, PrintSetupIsASetupDialogWithoutAPrintButton) {
    OnModal<QPrintDialog>([&] { Shell()->FILEPRINTERSETUP(); },
                          [&](QPrintDialog* dialog) {
                              EXPECT_EQ(dialog->windowTitle(), "Print Setup");
                              QStringList texts;
                              for (QPushButton* b : dialog->findChildren<QPushButton*>())
                                  if (b->isVisible()) texts << b->text().remove('&');
                              EXPECT_FALSE(texts.contains("Print")) << texts.join(',').toStdString();
                              EXPECT_TRUE(texts.contains("OK")) << texts.join(',').toStdString();
                              dialog->reject();
                          });
}
