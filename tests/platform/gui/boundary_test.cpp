// Exceptions never cross Qt's frames: a break raised by a handler that a
// modal box's loop runs reaches its recovery scope, the box closes, and Qt
// reports nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <stdexcept>
#include <string>

#include "platform/gui/boundary.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/timers.h"

namespace {

constexpr uint32_t kBreakMessage = gui::WM_USER + 7;

// A window whose DISPATCH leaves by a break (in a recovery scope) or by a
// plain C++ exception, for WM_TIMER and kBreakMessage alike.
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

std::string gQtWarnings;

void Record(QtMsgType, const QMessageLogContext&, const QString& text) {
    gQtWarnings += text.toStdString() + "\n";
}

// Real boxes with their own loop, Qt's messages recorded, and a bound: a
// box still open after 10 s is closed so that a failing test cannot hang.
struct RealBoxes : testing::Test {
    void SetUp() override {
        gui::TestHooks::SetOn(false);
        gQtWarnings.clear();
        previous = qInstallMessageHandler(Record);
        gui::LinkHandle(&widget, window);
        handle = gui::HandleOf(&widget);
        QTimer::singleShot(10000, &widget, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
    }
    void TearDown() override {
        gui::KillTimer(handle, 1);
        qInstallMessageHandler(previous);
        gui::TestHooks::SetOn(true);
    }
    static bool BoxOpen() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return true;
        return false;
    }
    void Arm(bool byTimer) {
        if (byTimer)
            ASSERT_NE(gui::SetTimer(handle, 1, 20), 0u);
        else
            ASSERT_TRUE(gui::PostMessageA(handle, kBreakMessage, 0, 0));
    }
    QtMessageHandler previous = nullptr;
    QObject widget;
    std::shared_ptr<Breaker> window = rt::New<Breaker>();
    gui::HWND handle = 0;
};

TEST_F(RealBoxes, ABreakFromATimerOrAPostedMessageClosesTheBoxAndReachesItsScope) {
    for (bool byTimer : {false, true}) {
        SCOPED_TRACE(byTimer ? "timer" : "posted message");
        Arm(byTimer);
        bool passed = false;
        rt::Usual recovered;
        const bool normal = rt::BeginSequence(
            [&] {
                gui::ShowMessageBox(nullptr, "WAIT", "A handler breaks out of this box.", gui::MB_OK);
                passed = true;
            },
            [&](const rt::Usual& v) { recovered = v; });
        gui::KillTimer(handle, 1);
        EXPECT_FALSE(normal);
        EXPECT_FALSE(passed) << "the box's caller is left by the break";
        EXPECT_EQ(recovered.AsStr(), "left");
        EXPECT_FALSE(rt::CanBreak());
        EXPECT_FALSE(rt::ExceptionParked());
        EXPECT_FALSE(BoxOpen());
        EXPECT_EQ(gQtWarnings.find("exception"), std::string::npos) << gQtWarnings;
    }
}

TEST_F(RealBoxes, WithoutAScopeAPlainExceptionComesOutOfTheBoxAndABreakEndsTheProcess) {
    window->plain = true;
    Arm(true);
    EXPECT_THROW(gui::ShowMessageBox(nullptr, "WAIT", "A handler fails.", gui::MB_OK), std::runtime_error);
    EXPECT_FALSE(BoxOpen());
    EXPECT_EQ(gQtWarnings.find("exception"), std::string::npos) << gQtWarnings;

    // With no box of ours open either, nothing can take it: it is told and
    // dropped, and the loop goes on.
    gui::KillTimer(handle, 1);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(gui::PostMessageA(handle, kBreakMessage, 0, 0));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "an event handler failed: handler failed\n");
    EXPECT_FALSE(rt::ExceptionParked());

    // A break with no scope ends the process, as LabelJump does anywhere.
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
