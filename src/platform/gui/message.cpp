#include "platform/gui/message.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <future>
#include <mutex>

#include "platform/gui/boundary.h"
#include "platform/gui/event.h"
#include "platform/gui/handles.h"

// Qt's event queue orders a posted event's making before its delivery, but
// through locks of its own that ThreadSanitizer does not see (Qt is not
// built with it): the hand-off is told to it here, so that its reports on
// this layer are about our code.
// Posting threads are ordered among themselves by Qt's queue lock, which it
// does not see either: two of them growing the queue looked like a race.
// Under it, posts take a lock of ours as well (Qt takes its own anyway).
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define QZ_HANDED_OVER(e) __tsan_release(e)
#define QZ_TAKEN_OVER(e) __tsan_acquire(e)
#define QZ_POSTING std::lock_guard postingLock(PostingMutex())
#else
#define QZ_HANDED_OVER(e) (void)(e)
#define QZ_TAKEN_OVER(e) (void)(e)
#define QZ_POSTING (void)0
#endif

namespace gui {
namespace {

#if defined(__SANITIZE_THREAD__)
std::mutex& PostingMutex() {
    static std::mutex m;
    return m;
}
#endif

thread_local uint32_t tLastError = 0;

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::User + 0x140);
const QEvent::Type kPostedCall = static_cast<QEvent::Type>(QEvent::User + 0x141);

struct PostedMessage : QEvent {
    PostedMessage(HWND h, uint32_t m, uint64_t w, int64_t l)
        : QEvent(kPostedMessage), hWnd(h), msg(m), wParam(w), lParam(l) {}
    HWND hWnd;
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
};

struct PostedCall : QEvent {
    PostedCall(void (*f)(void*), void* c, void (*x)(void*)) : QEvent(kPostedCall), fn(f), cancel(x), context(c) {}
    // An event dropped unrun (the application going) tells its caller.
    ~PostedCall() override {
        QZ_TAKEN_OVER(this);
        if (!ran && cancel) cancel(context);
    }
    void (*fn)(void*);
    void (*cancel)(void*);
    void* context;
    bool ran = false;
};

// Lives on the GUI thread and receives the posted messages there. Qt keeps
// the events posted to one receiver in the order they were posted, from
// however many threads, and delivers them from nested loops too (a box
// opened by a handler does not hold the queue up). What a handler throws
// stays on this side of Qt (boundary.h).
class Pump : public QObject {
public:
    bool event(QEvent* e) override {
        QZ_TAKEN_OVER(e);
        if (e->type() == kPostedMessage) {
            auto* m = static_cast<PostedMessage*>(e);
            FromQt([m] {
                rt::Usual target = ObjectFromHandle(m->hWnd);
                if (target.IsObject()) DispatchMessageTo(target, m->hWnd, m->msg, m->wParam, m->lParam);
            });
            return true;
        }
        if (e->type() == kPostedCall) {
            auto* c = static_cast<PostedCall*>(e);
            c->ran = true;
            FromQt([c] { c->fn(c->context); });
            return true;
        }
        return QObject::event(e);
    }
};

// The pump of the running application, made on first use from any thread
// and moved to the GUI thread.
Pump* ThePump() {
    static std::mutex m;
    static Pump* pump = nullptr;
    static QCoreApplication* owner = nullptr;
    std::lock_guard lock(m);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    if (!pump || owner != app) {
        // Made on whatever thread asks first, then handed to the GUI thread;
        // it goes with the application.
        pump = new Pump;
        if (pump->thread() != app->thread()) pump->moveToThread(app->thread());
        owner = app;
        QObject::connect(app, &QObject::destroyed, [] {
            std::lock_guard gone(m);
            delete pump;
            pump = nullptr;
            owner = nullptr;
        });
    }
    return pump;
}

}  // namespace

uint32_t GetLastError() { return tLastError; }
void SetLastError(uint32_t code) { tLastError = code; }

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

int64_t DispatchMessageTo(const rt::Usual& target, HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    static const rt::Symbol kDispatch("DISPATCH");
    if (!rt::IsMethod(target, kDispatch)) return 0;
    auto e = rt::New<Event>(msg, wParam, lParam);
    e->hWnd = hWnd;
    const rt::Usual args[] = {rt::Usual(e)};
    rt::Usual answer = rt::Send(target, kDispatch, rt::Args(args, 1));
    if (answer.IsLogic()) return answer.AsLogic() ? 1 : 0;
    return answer.IsNumeric() ? answer.AsLong() : 0;
}

bool PostToGuiThread(void (*fn)(void*), void* context, void (*cancel)(void*)) {
    Pump* pump = ThePump();
    if (!pump) return false;
    auto* e = new PostedCall(fn, context, cancel);
    QZ_HANDED_OVER(e);
    QZ_POSTING;
    QCoreApplication::postEvent(pump, e);
    return true;
}

int64_t SendMessageA(HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (IsGuiThread()) {
        rt::Usual target = ObjectFromHandle(hWnd);
        if (!target.IsObject()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        return DispatchMessageTo(target, hWnd, msg, wParam, lParam);
    }
    // Another thread: the GUI thread runs the message and answers.
    struct Call {
        HWND hWnd;
        uint32_t msg;
        uint64_t wParam;
        int64_t lParam;
        std::promise<std::pair<bool, int64_t>> answer;
    } call{hWnd, msg, wParam, lParam, {}};
    auto result = call.answer.get_future();
    bool posted = PostToGuiThread(
        [](void* p) {
            auto* c = static_cast<Call*>(p);
            rt::Usual target = ObjectFromHandle(c->hWnd);
            if (!target.IsObject()) {
                c->answer.set_value({false, 0});
                return;
            }
            // A handler that throws still answers the sender (0), which
            // would otherwise wait for ever; the exception goes on here.
            int64_t result = 0;
            try {
                result = DispatchMessageTo(target, c->hWnd, c->msg, c->wParam, c->lParam);
            } catch (...) {
                c->answer.set_value({true, 0});
                throw;
            }
            c->answer.set_value({true, result});
        },
        &call,
        [](void* p) {
            static_cast<Call*>(p)->answer.set_value({false, 0});
        });
    if (!posted) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto [delivered, value] = result.get();
    if (!delivered) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return value;
}

bool PostMessageA(HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    Pump* pump = IsWindow(hWnd) ? ThePump() : nullptr;
    if (!pump) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    auto* e = new PostedMessage(hWnd, msg, wParam, lParam);
    QZ_HANDED_OVER(e);
    QZ_POSTING;
    QCoreApplication::postEvent(pump, e);
    return true;
}

}  // namespace gui
