// The error message box on the GUI: the buttons offered for the values,
// what each answers, the test hooks, and an error raised in the running
// GUI reaching the box through DefError.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "errors/deferror.h"
#include "errors/errorreport.h"
#include "platform/gui/app.h"
#include "platform/gui/errorbox.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/testhooks.h"
#include "platform/runtime/error.h"
#include "platform/runtime/errorservices.h"
#include "platform/runtime/settings.h"

namespace {

using gui::ErrorBoxButton;
using gui::TestHooks;

std::vector<std::string> Labels(const std::vector<ErrorBoxButton>& buttons) {
    std::vector<std::string> out;
    for (const auto& b : buttons) out.push_back(b.label);
    return out;
}

TEST(ErrorBox, ButtonsFollowTheValues) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Labels(gui::ErrorBoxButtons(1, 2, rt::kErrorBoxBreak)), (V{"&Ignore", "&Retry", "&Abort"}));
    EXPECT_EQ(Labels(gui::ErrorBoxButtons(0, 2, rt::kErrorBoxQuit)), (V{"&Retry", "&Quit"}));
    EXPECT_EQ(Labels(gui::ErrorBoxButtons(0, 0, rt::kErrorBoxQuit)), (V{"&Quit"}));
    EXPECT_EQ(Labels(gui::ErrorBoxButtons(1, 0, 0)), (V{"OK"}));
}

TEST(ErrorBox, DialogAnswersTheValueOfTheButtonPressed) {
    gui::ErrorDialog dialog("Error Code:  21 [ OPEN ERROR ]\r\nSubsystem: DBFCDX\r\n", "ERROR", 1, 2,
                            rt::kErrorBoxQuit);
    EXPECT_EQ(dialog.windowTitle(), "ERROR");
    EXPECT_EQ(dialog.Message(), "Error Code:  21 [ OPEN ERROR ]\nSubsystem: DBFCDX");
    auto* label = dialog.findChild<QLabel*>("message");
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), dialog.Message());
    ASSERT_TRUE(dialog.Button(gui::IDIGNORE));
    ASSERT_TRUE(dialog.Button(gui::IDRETRY));
    ASSERT_TRUE(dialog.Button(gui::IDABORT));
    EXPECT_TRUE(dialog.Button(gui::IDIGNORE)->isDefault());
    dialog.Button(gui::IDRETRY)->click();
    EXPECT_EQ(dialog.Choice(), 2u);
    dialog.Button(gui::IDABORT)->click();
    EXPECT_EQ(dialog.Choice(), rt::kErrorBoxQuit);
}

TEST(ErrorBox, AButtonsUnderlinedLetterAnswersWithoutAlt) {
    for (auto [key, mods, want] : {std::tuple{Qt::Key_R, Qt::NoModifier, 2u},
                                   {Qt::Key_Q, Qt::NoModifier, rt::kErrorBoxQuit},
                                   {Qt::Key_R, Qt::AltModifier, 2u}}) {
        gui::ErrorDialog dialog("x", "ERROR", 1, 2, rt::kErrorBoxQuit);
        dialog.show();
        QKeyEvent press(QEvent::KeyPress, key, mods, QString(QChar(key).toLower()));
        QApplication::sendEvent(&dialog, &press);
        EXPECT_EQ(dialog.Choice(), want) << key;
    }
}

TEST(ErrorBox, ClosingAnswersTheDefaultOrElseAbort) {
    gui::ErrorDialog withDefault("x", "ERROR", 1, 0, rt::kErrorBoxBreak);
    withDefault.reject();
    EXPECT_EQ(withDefault.Choice(), 1u);

    gui::ErrorDialog noDefault("x", "ERROR", 0, 2, rt::kErrorBoxBreak);
    EXPECT_FALSE(noDefault.Button(gui::IDIGNORE));
    EXPECT_TRUE(noDefault.Button(gui::IDRETRY)->isDefault());
    noDefault.reject();
    EXPECT_EQ(noDefault.Choice(), rt::kErrorBoxBreak) << "retry is never chosen for the operator";
}

TEST(ErrorBox, WindowGoneWhileTheBoxIsOpenAnswersAsIfClosed) {
    // The box belongs to the active window. When that window goes while the
    // box waits (an event handled meanwhile closes it), the box goes with
    // it: the answer is the closing answer, and nothing is freed twice.
    TestHooks::SetOn(false);
    auto* window = new QWidget;
    window->show();
    window->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), window);
    QPointer<QWidget> gone = window;
    QTimer::singleShot(0, qApp, [window] { delete window; });
    QTimer::singleShot(2000, qApp, [] {  // only if the window stayed
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    uint32_t answer = gui::ShowErrorBox("text", "ERROR", 1, 2, rt::kErrorBoxQuit);
    TestHooks::SetOn(true);
    EXPECT_TRUE(gone.isNull());
    EXPECT_EQ(answer, 1u);
}

class ErrorBoxHooks : public testing::Test {
protected:
    void SetUp() override {
        TestHooks::Clear();
        rt::ResetSettings();
        rt::SetErrorLog(false);
        saved_ = rt::ErrorBlock(
            rt::Usual::Block([](rt::Args a) { return errors::DefError(a.empty() ? rt::Usual() : a[0]); }));
    }
    void TearDown() override {
        rt::ErrorBlock(saved_);
        TestHooks::Clear();
        rt::ResetSettings();
    }
    rt::Usual saved_;
};

TEST_F(ErrorBoxHooks, BoxIsRecordedAndScriptedByButtonId) {
    TestHooks::AnswerBox(gui::IDRETRY);
    EXPECT_EQ(rt::ErrorMessageBox("text", "WARNING", 1, 2, rt::kErrorBoxQuit), 2u);
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "WARNING");
    EXPECT_EQ(TestHooks::Boxes()[0].text, "text");
    EXPECT_EQ(TestHooks::Boxes()[0].type, gui::MB_ICONEXCLAMATION | gui::MB_ABORTRETRYIGNORE);

    // Retry is not offered: the scripted answer cannot press it.
    TestHooks::AnswerBox(gui::IDRETRY);
    EXPECT_EQ(rt::ErrorMessageBox("text", "ERROR", 1, 0, rt::kErrorBoxQuit), 1u);
    EXPECT_EQ(TestHooks::Boxes()[1].type, gui::MB_ICONHAND | gui::MB_OKCANCEL);

    TestHooks::AnswerBox(gui::IDCANCEL);
    EXPECT_EQ(rt::ErrorMessageBox("text", "ERROR", 1, 0, rt::kErrorBoxQuit), rt::kErrorBoxQuit);
}

TEST_F(ErrorBoxHooks, ErrorRaisedInTheGuiIsShownAndAbortBreaksToTheScope) {
    TestHooks::AnswerBox(gui::IDABORT);
    rt::ErrorRef e = rt::MakeError(rt::kGenOpen, "DBSERVER:INIT");
    e->OsCode = 5;
    e->CanDefault = true;
    rt::Usual recovered;
    rt::BeginSequence([&] { rt::RaiseError(e); }, [&](const rt::Usual& v) { recovered = v; });
    EXPECT_EQ(recovered.AsObject(), e);
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "ERROR");
    EXPECT_EQ(TestHooks::Boxes()[0].text.rfind("Error Code:  21 [ OPEN ERROR ]\r\n", 0), 0u);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    gui::EnsureQtApplication(argc, argv);  // installs the error box hooks
    TestHooks::SetOn(true);
    return RUN_ALL_TESTS();
}
