// No exception crosses Qt's frames: a break raised by a handler that a modal
// box's loop runs reaches its recovery scope, the box closes, Qt reports nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/timers.h"
#include "platform/runtime/error.h"

namespace {

// A window whose DISPATCH (WM_TIMER or a posted message) breaks, or throws.
class Breaker : public rt::Object {
    QZ_OBJECT(Breaker)
public:
    bool plain = false;
};

const rt::ClassDef& Breaker::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Breaker>("TESTBREAKER")
                                       .RawMethod("DISPATCH",
                                                  [](rt::Object& o, rt::Args) -> rt::Usual {
                                                      if (static_cast<Breaker&>(o).plain)
                                                          throw std::runtime_error("handler failed");
                                                      rt::LabelJump(rt::Usual("left"));
                                                  })
                                       .Done();
    return c;
}

std::string gQtMessages;

// Real boxes with their own loop and Qt's messages recorded; a box still
// open after 10 s is closed, so that a failing test cannot hang.
struct RealBoxes : testing::Test {
    void SetUp() override {
        gui::TestHooks::SetOn(false);
        gQtMessages.clear();
        previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& t) { gQtMessages += t.toStdString(); });
        gui::LinkHandle(&widget, window);
        QTimer::singleShot(10000, &widget, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
    }
    void TearDown() override {
        gui::KillTimer(Handle(), 1);
        qInstallMessageHandler(previous);
        gui::TestHooks::SetOn(true);
        EXPECT_EQ(gQtMessages.find("exception"), std::string::npos) << gQtMessages;
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible()) << "the box is closed";
    }
    gui::HWND Handle() { return gui::HandleOf(&widget); }
    void Arm(bool byTimer) {
        if (byTimer) ASSERT_NE(gui::SetTimer(Handle(), 1, 20), 0u);
        else ASSERT_TRUE(gui::PostMessageA(Handle(), gui::WM_USER, 0, 0));
    }
    QtMessageHandler previous = nullptr;
    QObject widget;
    std::shared_ptr<Breaker> window = rt::New<Breaker>();
};

TEST_F(RealBoxes, ABreakFromATimerOrAPostedMessageClosesTheBoxAndReachesItsScope) {
    for (bool byTimer : {false, true}) {
        SCOPED_TRACE(byTimer ? "timer" : "posted message");
        Arm(byTimer);
        bool passed = false;
        rt::Usual recovered;
        EXPECT_FALSE(rt::BeginSequence(
            [&] {
                gui::ShowMessageBox(nullptr, "WAIT", "A handler breaks out of this box.", gui::MB_OK);
                passed = true;
            },
            [&](const rt::Usual& v) { recovered = v; }));
        gui::KillTimer(Handle(), 1);
        EXPECT_FALSE(passed) << "the box's caller is left by the break";
        EXPECT_EQ(recovered.AsStr(), "left");
        EXPECT_FALSE(rt::ExceptionParked());
    }
}

TEST_F(RealBoxes, WithoutAScopeAPlainExceptionComesOutOfTheBoxAndABreakEndsTheProcess) {
    window->plain = true;
    Arm(true);
    EXPECT_THROW(gui::ShowMessageBox(nullptr, "WAIT", "A handler fails.", gui::MB_OK), std::runtime_error);
    gui::KillTimer(Handle(), 1);
    // With no box of ours open either, nothing can take it: told and dropped.
    testing::internal::CaptureStderr();
    Arm(false);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "an event handler failed: handler failed\n");
    EXPECT_FALSE(rt::ExceptionParked());

    window->plain = false;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Arm(true);
            gui::ShowMessageBox(nullptr, "WAIT", "A handler breaks with no scope.", gui::MB_OK);
        },
        testing::ExitedWithCode(1), "break outside of a recovery scope");
}

}  // namespace
