// Handles, SendMessageA and PostMessageA.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <thread>

#include "message_fixture.h"
#include "platform/gui/message.h"

using namespace gui;

namespace {

void RunUntil(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

TEST(Messages, SendMessageAnswersWhatDispatchAnswers) {
    FakeWindow w;
    struct Case {
        rt::Usual answer;
        int64_t result;
    } cases[] = {{rt::Usual(int64_t{42}), 42}, {rt::Usual(true), 1}, {rt::Usual(false), 0}, {rt::Usual("x"), 0}};
    for (const auto& c : cases) {
        w.object->answer = c.answer;
        EXPECT_EQ(SendMessageA(w.handle, WM_USER + 1, 7, -3), c.result);
    }
    ASSERT_EQ(w.object->seen.size(), 4u);
    EXPECT_EQ(w.object->seen[0].msg, WM_USER + 1u);
    EXPECT_EQ(w.object->seen[0].wParam, 7u);
    EXPECT_EQ(w.object->seen[0].lParam, -3);
}

TEST(Messages, StaleHandlesAreRefusedAndNeverReused) {
    std::vector<HWND> issued;
    HWND stale = 0;
    {
        FakeWindow w;
        stale = w.handle;
    }
    // New widgets (likely at the same address) get new handles.
    for (int i = 0; i < 50; ++i) {
        FakeWindow w;
        EXPECT_NE(w.handle, stale);
        issued.push_back(w.handle);
    }
    std::sort(issued.begin(), issued.end());
    EXPECT_EQ(std::unique(issued.begin(), issued.end()), issued.end());
    EXPECT_FALSE(IsWindow(stale));
    EXPECT_TRUE(ObjectFromHandle(stale).IsNil());
    SetLastError(0);
    EXPECT_EQ(SendMessageA(stale, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessageA(stale, WM_USER, 0, 0));
    EXPECT_FALSE(PostMessageA(0, WM_USER, 0, 0));

    // An object that goes while its widget stays leaves the handle stale too.
    FakeWindow w;
    w.object.reset();
    EXPECT_FALSE(IsWindow(w.handle));
    EXPECT_FALSE(PostMessageA(w.handle, WM_USER, 0, 0));
}

TEST(Messages, APostedMessageForAWindowThatGoesIsDropped) {
    auto w = std::make_unique<FakeWindow>();
    std::weak_ptr<Recorder> seen = w->object;
    ASSERT_TRUE(PostMessageA(w->handle, WM_USER, 1, 2));
    auto keep = w->object;  // held here, but its window goes
    UnlinkHandle(w->widget.get());
    QCoreApplication::processEvents();
    EXPECT_TRUE(keep->seen.empty());
}

TEST(Messages, PostedFromEightThreadsEveryMessageArrivesOnceInOrder) {
    FakeWindow w;
    constexpr int kThreads = 8, kEach = 12500;  // 100,000 messages
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                if (!PostMessageA(w.handle, WM_APP + 1, t, i)) ++failed;
        });
    RunUntil([&] { return w.object->seen.size() >= size_t{kThreads} * kEach; }, 60000);
    for (auto& th : threads) th.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(failed.load(), 0);
    ASSERT_EQ(w.object->seen.size(), size_t{kThreads} * kEach);
    std::vector<int64_t> next(kThreads, 0);
    for (const Seen& s : w.object->seen) {
        ASSERT_EQ(s.msg, WM_APP + 1u);
        ASSERT_LT(s.wParam, uint64_t{kThreads});
        ASSERT_EQ(s.lParam, next[s.wParam]) << "thread " << s.wParam;
        ++next[s.wParam];
    }
}

TEST(Messages, SendFromAnotherThreadRunsOnTheGuiThreadAndAnswers) {
    FakeWindow w;
    w.object->answer = rt::Usual(int64_t{5});
    std::atomic<int64_t> answer{-1};
    std::thread sender([&] { answer = SendMessageA(w.handle, WM_USER, 0, 0); });
    RunUntil([&] { return answer.load() != -1; });
    sender.join();
    EXPECT_EQ(answer.load(), 5);
    ASSERT_EQ(w.object->seen.size(), 1u);
    EXPECT_EQ(w.object->ranOn, std::this_thread::get_id());  // the GUI thread ran it
}
