// The about box as the "&About" menu item opens it from the shell window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <filesystem>

#include "about/helpaboutnew.h"
#include "about/showreadme.h"
#include "app/qzapp.h"
#include "app/shellwindow.h"
#include "appkit/settings_list.h"
#include "platform/gui/resource.h"
#include "platform/gui/testhooks.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "scan/datafile.h"
#include "support/shell_fixture.h"

namespace fs = std::filesystem;
using gui::TestHooks;

namespace {

class AboutBox : public ShellTest {
protected:
    about::HelpAboutNew* OpenAbout() {
        Shell()->MenuCommand(rt::Symbol("HELPABOUTNEW"));
        return OpenOf<about::HelpAboutNew>("HELPABOUTNEW");
    }
};

QLabel* LabelOf(gui::Control* c) { return qobject_cast<QLabel*>(c->Widget()); }

}  // namespace

TEST(AboutTextTest, CarriageReturnsOnlyAndThreeIndentedLines) {
    EXPECT_EQ(about::AboutText(),
              "\r   Quorvex Systems\r   Kettering, Northamptonshire\r   Tel. 01632 960418   info@quorvex.co.uk");
}

TEST_F(AboutBox, MenuItemOpensTheBoxWithTitleTextsAndDataSource) {
    about::HelpAboutNew* box = OpenAbout();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Owner(), shell_);
    EXPECT_TRUE(box->IsModal());
    EXPECT_EQ(box->Caption(), "Quorvex Stocktake Utility (1.02)");
    EXPECT_EQ(LabelOf(box->AboutTextControl())->text().toStdString(),
              "\n   Quorvex Systems\n   Kettering, Northamptonshire\n   Tel. 01632 960418   info@quorvex.co.uk");
    // The path as it is on disk, not the lower-cased form of the name.
    std::string path = scan::DataFileOnDisk();
    EXPECT_NE(path.find("/DATA/QZSCAN.DBF"), std::string::npos) << path;
    EXPECT_EQ(LabelOf(box->DataSourceControl())->text().remove(QChar(0x200B)).toStdString(),
              "Program Data Source\n" + path);
    EXPECT_EQ(box->OkButton()->Caption(), "OK");
    EXPECT_TRUE(box->OkButton()->Button()->isDefault());
    EXPECT_EQ(box->OkButton()->NameSym().Name(), "PBOKAY");
    // The controls are the object's fields, reached by name too.
    EXPECT_EQ(rt::IVarGet(rt::Usual(box->Self()), rt::Symbol("FIXEDTEXT1")).AsObject().get(),
              static_cast<rt::Object*>(box->DataSourceControl()));
}

TEST_F(AboutBox, LooksAsItsTemplateSays) {
    about::HelpAboutNew* box = OpenAbout();
    ASSERT_NE(box, nullptr);
    const gui::DialogTemplate* t = gui::FindDialog("HelpAboutNew");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(box->Template(), t);
    EXPECT_EQ(box->Widget()->size(), gui::DialogUnitsToPixels(*t, 0, 0, 362, 91).size());
    EXPECT_EQ(box->OkButton()->Widget()->geometry(), gui::DialogUnitsToPixels(*t, 324, 56, 34, 12));
    QLabel* text = LabelOf(box->AboutTextControl());
    EXPECT_EQ(text->font().pointSize(), 10);
    EXPECT_FALSE(text->wordWrap());
    EXPECT_EQ(text->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, gui::ColorConstantRgb(1));
    EXPECT_EQ(text->palette().color(QPalette::Window).rgb() & 0xFFFFFF, gui::ColorConstantRgb(7));
    EXPECT_TRUE(text->autoFillBackground());
    QLabel* badge = LabelOf(box->Badge());
    ASSERT_FALSE(badge->pixmap().isNull());  // the BADGEBMP picture is there
    EXPECT_LE(badge->pixmap().width(), badge->width());
}

TEST_F(AboutBox, OkClosesTheBox) {
    about::HelpAboutNew* box = OpenAbout();
    ASSERT_NE(box, nullptr);
    box->OkButton()->Button()->click();
    EXPECT_FALSE(box->IsOpen());
    EXPECT_EQ(OpenOf<about::HelpAboutNew>("HELPABOUTNEW"), nullptr);
}

TEST_F(AboutBox, ReadmeMethodOpensTheViewerOwnedByTheBox) {
    about::HelpAboutNew* box = OpenAbout();
    ASSERT_NE(box, nullptr);
    rt::Send(rt::Usual(box->Self()), rt::Symbol("PBREADME"));
    auto* viewer = OpenOf<about::ShowReadme>("SHOWREADME");
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->OwnerWindow(), box);  // a window of its own would be blocked by the modal box
    EXPECT_EQ(viewer->Caption(), "Additional Program Information");
    EXPECT_FALSE(viewer->Widget()->windowIcon().isNull());
}
