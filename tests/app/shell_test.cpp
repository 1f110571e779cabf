// The shell window as the operator meets it: start-up, menus, accelerators,
// tool bar, status-bar prompts, dropped tables and the table browser.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QScrollArea>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/qzapp.h"
#include "app/shellwindow.h"
#include "appkit/settings_list.h"
#include "platform/gui/control.h"
#include "platform/gui/menu.h"
#include "platform/gui/predrawn.h"
#include "platform/gui/resource.h"
#include "platform/gui/stddialogs.h"
#include "platform/gui/testhooks.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "resources/resources.h"
#include "support/shell_fixture.h"

namespace fs = std::filesystem;
using gui::TestHooks;

namespace {

class Shell : public ShellTest {
protected:
    app::StandardSDIWindow* Window() { return ShellTest::Shell(); }
    gui::Menu* CurrentMenu() { return dynamic_cast<gui::Menu*>(Window()->GetMenu().AsObject().get()); }
    gui::ToolBar* CurrentToolBar() { return dynamic_cast<gui::ToolBar*>(CurrentMenu()->GetToolBar().AsObject().get()); }
    // "text|text|-|text" for the items of each popup.
    std::vector<std::string> PopupTexts() {
        std::vector<std::string> out;
        for (QAction* top : CurrentMenu()->Bar()->actions()) {
            std::string line = top->text().toStdString() + ":";
            for (QAction* a : top->menu()->actions())
                line += (a->isSeparator() ? std::string("-") : a->text().toStdString()) + "|";
            out.push_back(line);
        }
        return out;
    }
    std::string MakeTable(const std::string& name) {
        std::string path = (sandbox_ / name).string();
        rdd::DBCreate(path, rt::Usual::Array({rt::Usual::Array({"CODE", "C", 6, 0})}));
        rdd::DBServer db(rt::Usual(path), rt::Usual(false), rt::Usual(false));
        for (const char* code : {"AAA", "BBB", "CCC"}) {
            db.Append();
            db.FieldPut(rt::Usual(1), rt::Usual(code));
        }
        db.GoTo(2);
        db.Delete();
        db.Close();
        return path;
    }
    void DropFile(const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QWidget* w = Window()->Widget();
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        // Qt delivers drop events only inside a running drag; the window's
        // event entry is handed the event the way the drag would hand it.
        Window()->DeliverEvent(w, &drop);
    }
};

}  // namespace

TEST_F(Shell, StartUpMakesDirectoriesDataFileAndWindow) {
    EXPECT_TRUE(fs::exists(rt::WorkDir() + "DATA/QZSCAN.DBF"));
    EXPECT_TRUE(fs::is_directory(rt::WorkDir() + "TEMP"));
    EXPECT_TRUE(fs::is_directory(sandbox_ / "TEMP"));  // the root TEMP of the start drive
    EXPECT_TRUE(TestHooks::Boxes().empty());           // no message on a fresh start
    EXPECT_EQ(appkit::DataDirectory(), rt::WorkDir() + "DATA");
    EXPECT_EQ(appkit::ApplicationTitle(), "Quorvex Stocktake Utility (1.02)");
    EXPECT_EQ(Window()->Caption(), "Quorvex Stocktake Utility (1.02)");
    QSize size = Window()->Widget()->size();
    EXPECT_LE(size.width(), 600);
    EXPECT_LE(size.height(), 400);
    EXPECT_TRUE(Window()->QuitOnClose());
    EXPECT_TRUE(rt::SetDeleted());
    EXPECT_EQ(rt::SetDateFrmt(), "DD/MM/YYYY");
    EXPECT_EQ(rt::LockTries(), 10);
    EXPECT_EQ(rt::GetDefault(), appkit::DataDirectory());
}

TEST_F(Shell, OptionsMenuToolBarAndAccelerators) {
    std::vector<std::string> expected = {
        "&Options:&Scan Data\tShift+S|-|&Restart Data|&Export Data|&About|E&xit\tAlt+F4|"};
    EXPECT_EQ(PopupTexts(), expected);
    const gui::Menu* m = CurrentMenu();
    EXPECT_EQ(m->CommandOf(2833).Name(), "DATAREADER");
    EXPECT_EQ(m->CommandOf(2836).Name(), "CSVEXPORT");
    EXPECT_EQ(m->CommandOf(2838).Name(), "FILEEXIT");
    auto* label = dynamic_cast<gui::HyperLabel*>(m->FindItem(2838)->hyperLabel.AsObject().get());
    EXPECT_EQ(label->Description, "Close Program");
    EXPECT_EQ(label->HelpContext, "File_Exit");
    EXPECT_EQ(CurrentToolBar()->Layout(), (std::vector<int64_t>{2833, 0, 2836, 2837, 2838, 2835}));
    EXPECT_EQ(CurrentToolBar()->TipText(2835), "Restart Scan File");
    EXPECT_TRUE(CurrentToolBar()->Flat());
    EXPECT_FALSE(CurrentToolBar()->Bands());
}

TEST_F(Shell, HighlightShowsTheDescription) {
    QAction* about = CurrentMenu()->FindItem(2837)->action;
    about->hover();
    EXPECT_EQ(Window()->StatusText(), "Quorvex Stocktake Utility");
}

TEST_F(Shell, ShiftSOpensTheScanningScreenAndAltF4Ends) {
    ASSERT_NE(rt::FindClass(rt::Symbol("DATAREADER")), nullptr);
    Window()->Show(0);
    QApplication::setActiveWindow(Window()->Widget());  // accelerators act in the active window
    QTest::keyClick(Window()->Widget(), Qt::Key_S, Qt::ShiftModifier);
    bool found = false;
    for (const auto& w : gui::OpenWindows())
        if (w->Class().name == rt::Symbol("DATAREADER")) {
            found = true;
            EXPECT_EQ(w->Owner(), shell_);
            w->EndWindow();
        }
    EXPECT_TRUE(found);
    QTest::keyClick(Window()->Widget(), Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(Window()->IsOpen());
}

TEST_F(Shell, DroppedTablesOpenForBrowsingOthersAreRefused) {
    std::string table = MakeTable("stock.dbf");  // lower-case extension
    std::string other = (sandbox_ / "notes.db").string();
    std::ofstream(other) << "x";

    DropFile(other);
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "File Open Error");
    EXPECT_EQ(TestHooks::Boxes()[0].text, "Cannot open " + other + " - Not a DBF file");
    EXPECT_TRUE(TestHooks::Boxes()[0].beep);
    DropFile((sandbox_ / "missing.dbf").string());  // ignored silently
    EXPECT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_FALSE(Window()->Browsing());

    DropFile(table);
    EXPECT_TRUE(Window()->Browsing());
    EXPECT_EQ(Window()->Caption(), "Browse Database: " + table);
    EXPECT_TRUE(CurrentToolBar()->IsPressed(22359));
    std::vector<std::string> standard = {
        "&File:&Open...\tCtrl+O|-|&Print|P&rint Setup...|-|&Send...|-|E&xit\tAlt+F4|",
        "&Edit:Cu&t\tCtrl+X|&Copy\tCtrl+C|&Paste\tCtrl+V|-|&Insert Record|&Delete Record|-|"
        "G&o To Top\tCtrl+Home|Pre&vious|&Next|Go To &Bottom\tCtrl+End|",
        "&View:&Form\tShift+F2|&Table\tF2|", "&Help:&Index\tF1|&Context Help\tCtrl+F1|&Using Help|-|&About...|"};
    EXPECT_EQ(PopupTexts(), standard);
    const gui::Menu* m = CurrentMenu();
    for (auto [id, command] : std::vector<std::pair<int, const char*>>{{22337, "FILE"},
                                                                       {32001, "FILEOPEN"},
                                                                       {22343, "MAILDLG"},
                                                                       {22351, "APPEND"},
                                                                       {22355, "SKIPPREVIOUS"},
                                                                       {22360, "VIEWTABLE"},
                                                                       {22363, "HELPCONTEXT"},
                                                                       {32031, "HELPABOUT"}})
        EXPECT_EQ(m->CommandOf(id).Name(), command) << id;
    EXPECT_EQ(CurrentToolBar()->Layout(), (std::vector<int64_t>{32001, 0, 22347, 22348, 22349, 0, 22354, 22355, 22356,
                                                                22357, 0, 22359, 22360, 0, 32031}));
    EXPECT_EQ(CurrentToolBar()->TipText(22360), "Browse View");
    EXPECT_EQ(CurrentMenu()->FindItem(2833), nullptr);  // "&Scan Data" is gone
}

TEST_F(Shell, BrowserFormViewNavigatesWithDeletedRecordsHidden) {
    std::string table = MakeTable("STOCK.DBF");
    Window()->DOOPENFILE(table, rt::Usual());
    auto field = [&] { return Window()->Widget()->findChild<QLineEdit*>("CODE")->text().toStdString(); };
    Window()->MenuCommand(rt::Symbol("GOTOP"));
    EXPECT_EQ(field(), "AAA");
    Window()->MenuCommand(rt::Symbol("SKIPNEXT"));
    EXPECT_EQ(field(), "CCC");  // BBB is deleted; no padding blanks shown
    Window()->MenuCommand(rt::Symbol("SKIPPREVIOUS"));
    EXPECT_EQ(field(), "AAA");
    Window()->MenuCommand(rt::Symbol("GOBOTTOM"));
    EXPECT_EQ(field(), "CCC");
    Window()->MenuCommand(rt::Symbol("VIEWTABLE"));
    EXPECT_TRUE(CurrentToolBar()->IsPressed(22360));
    EXPECT_FALSE(CurrentToolBar()->IsPressed(22359));
    Window()->MenuCommand(rt::Symbol("HELPINDEX"));  // no handler anywhere: nothing happens
    Window()->MenuCommand(rt::Symbol("FILECLOSE"));
    EXPECT_FALSE(Window()->Server().IsObject());
    EXPECT_TRUE(Window()->Browsing());  // the standard menu stays
}

TEST_F(Shell, ATableThatFailsToOpenIsNotAttachedAndTheWindowStaysAsItWas) {
    std::string broken = (sandbox_ / "NOTES.DBF").string();
    std::ofstream(broken) << "this is not a table";
    DropFile(broken);
    EXPECT_FALSE(Window()->Server().IsObject());
    EXPECT_FALSE(Window()->Browsing());
    EXPECT_EQ(Window()->Caption(), "Quorvex Stocktake Utility (1.02)");

    // Browsing, a second broken table keeps the first one and its caption.
    std::string table = MakeTable("STOCK.DBF");
    DropFile(table);
    DropFile(broken);
    EXPECT_EQ(Window()->Caption(), "Browse Database: " + table);
    auto* db = dynamic_cast<rdd::DBServer*>(Window()->Server().AsObject().get());
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->Used());
}

TEST_F(Shell, APrintThatCannotStartSaysSoAndTheNextOneAfterSetupPrints) {
    Window()->DOOPENFILE(MakeTable("STOCK.DBF"), rt::Usual());
    auto* device = dynamic_cast<gui::PrintingDevice*>(Window()->PrintingDevice().AsObject().get());
    ASSERT_NE(device, nullptr);
    device->Printer()->setOutputFileName(QString::fromStdString((sandbox_ / "no/such/dir/out.pdf").string()));
    Window()->MenuCommand(rt::Symbol("FILEPRINT"));
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "PRINT ERROR");
    EXPECT_NE(TestHooks::Boxes()[0].text.find("Print Setup"), std::string::npos);

    // What Print Setup chooses lands on a fresh printer, which prints.
    std::string pdf = (sandbox_ / "out.pdf").string();
    device->Printer()->setOutputFileName(QString::fromStdString(pdf));
    Window()->MenuCommand(rt::Symbol("FILEPRINT"));
    EXPECT_EQ(TestHooks::Boxes().size(), 1u);
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_GT(fs::file_size(pdf), 0u);
}

TEST_F(Shell, TheApplicationClassOffersStartAndInitialize) {
    rt::Usual app(std::static_pointer_cast<rt::Object>(app_));
    EXPECT_TRUE(rt::IsMethod(app, rt::Symbol("START")));
    EXPECT_TRUE(rt::IsMethod(app, rt::Symbol("INITIALIZE")));
    EXPECT_FALSE(rt::IsMethod(app, rt::Symbol("STARTUP")));
}

TEST_F(Shell, TheFormViewStoresNumbersDatesAndLogicByTheirFieldTypes) {
    std::string path = (sandbox_ / "PRICES.DBF").string();
    rdd::DBCreate(path, rt::Usual::Array({rt::Usual::Array({"PRICE", "N", 8, 2}), rt::Usual::Array({"DAY", "D", 8, 0}),
                                          rt::Usual::Array({"OK", "L", 1, 0})}));
    {
        rdd::DBServer db(rt::Usual(path), rt::Usual(false), rt::Usual(false));
        db.Append();
        db.Close();
    }
    Window()->DOOPENFILE(path, rt::Usual());
    for (auto [field, text] : {std::pair{"PRICE", "12,5"}, {"DAY", "29/02/2024"}, {"OK", "Y"}}) {
        auto* edit = Window()->Widget()->findChild<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr) << field;
        edit->setText(text);
        edit->setModified(true);
        emit edit->editingFinished();
    }
    Window()->MenuCommand(rt::Symbol("FILECLOSE"));
    rdd::DBServer db(rt::Usual(path), rt::Usual(false), rt::Usual(true));
    EXPECT_DOUBLE_EQ(db.FieldGet(rt::Usual("PRICE")).AsDouble(), 12.5);
    EXPECT_EQ(db.FieldGet(rt::Usual("DAY")).AsDate(), rt::MakeDate(2024, 2, 29));
    EXPECT_EQ(db.FieldGet(rt::Usual("OK")), rt::Usual(true));
    EXPECT_TRUE(TestHooks::Boxes().empty());
}

// The icons drawn ahead at build time are the SVG pictures at those sizes;
// any other size, and the disabled look, still come out right.
TEST(ShellIcons, TheIconsDrawnAheadAreTheirSvgPicturesAndOtherSizesStillScale) {
    resources::RegisterAll();
    // Most a channel differs between two pictures (256: not the same size).
    auto farthest = [](const QImage& a, const QImage& b) {
        const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
        int most = x.size() == y.size() ? 0 : 256;
        for (int r = 0; most < 256 && r < x.height(); ++r)
            for (int c = 0; c < x.width(); ++c)
                for (int shift : {0, 8, 16, 24})
                    most = std::max(most, std::abs(int((x.pixel(c, r) >> shift) & 0xff) -
                                                   int((y.pixel(c, r) >> shift) & 0xff)));
        return most;
    };
    for (auto [file, drawn] : {std::pair{":/icons/__AAAICON.svg", 32}, std::pair{":/toolbar/2.svg", 24}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(
            QFile::exists(gui::PredrawnFolder(QString::fromLatin1(file)) + QStringLiteral("/%1.argb").arg(drawn)));
        const QIcon icon = gui::SharedIcon({QString::fromLatin1(file)});
        const QIcon svg(QString::fromLatin1(file));
        QByteArray stored;  // an icon is stored behind the key of its engine
        QDataStream out(&stored, QIODevice::WriteOnly);
        out << icon;
        QDataStream in(stored);
        QString engine;
        in >> engine;
        EXPECT_EQ(engine, QStringLiteral("predrawn"));
        EXPECT_TRUE(icon.availableSizes().isEmpty());  // scalable, as the SVG alone
        const QImage normal = icon.pixmap(QSize(drawn, drawn), 1.0).toImage();
        EXPECT_EQ(farthest(normal, svg.pixmap(QSize(drawn, drawn), 1.0).toImage()), 0);
        const QImage greyed = icon.pixmap(QSize(drawn, drawn), 1.0, QIcon::Disabled).toImage();
        EXPECT_EQ(greyed.size(), normal.size());
        EXPECT_NE(greyed, normal);
        EXPECT_EQ(farthest(icon.pixmap(QSize(40, 40), 1.0).toImage(), svg.pixmap(QSize(40, 40), 1.0).toImage()), 0);
    }
}
