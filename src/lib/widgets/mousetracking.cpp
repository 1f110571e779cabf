#include "lib/widgets/mousetracking.h"

#include <QWidget>

#include "platform/gui/control.h"
#include "platform/gui/handles.h"
#include "platform/gui/windowpos.h"

namespace lib {
namespace {

constexpr uint32_t WM_NCHITTEST = 0x84, WM_SETCURSOR = 0x20;

void TrackChildren(QWidget* w) {
    if (!w) return;
    w->setMouseTracking(true);
    for (QWidget* c : w->findChildren<QWidget*>()) c->setMouseTracking(true);
}

}  // namespace

void MouseTracker::Track(const gui::Event& event) {
    // A control's leave stands for the set-cursor message its parent gets
    // when the mouse moves on to a window that reports nothing itself.
    if (event.uMsg != gui::WM_MOUSEMOVE && event.uMsg != WM_NCHITTEST && event.uMsg != WM_SETCURSOR &&
        event.uMsg != gui::WM_MOUSELEAVE)
        return;
    if (tracking_) return;
    tracking_ = true;
    gui::POINT at;
    bool known = false;
    // A mouse move carries the cursor's position at the time it happened;
    // the cursor may have moved on since.
    if (auto* w = event.uMsg == gui::WM_MOUSEMOVE ? qobject_cast<QWidget*>(gui::WidgetFromHandle(event.hWnd))
                                                  : nullptr) {
        const QPoint g = w->mapToGlobal(
            QPoint(static_cast<int16_t>(event.lParam & 0xFFFF), static_cast<int16_t>((event.lParam >> 16) & 0xFFFF)));
        at = {g.x(), g.y()};
        known = true;
    } else {
        known = gui::GetCursorPos(&at);
    }
    if (known) {
        rt::Usual under = gui::ObjectFromHandle(gui::WindowFromPoint(at));
        if (!(under == last_)) {
            static const rt::Symbol kExit("MOUSEEXIT"), kEnter("MOUSEENTER");
            const rt::Usual previous = last_;
            if (rt::IsMethod(previous, kExit)) rt::Send(previous, kExit);
            last_ = under;
            if (rt::IsMethod(under, kEnter)) rt::Send(under, kEnter);
        }
    }
    tracking_ = false;
}

void MouseTracker::EnableMoves(gui::Window& window) {
    TrackChildren(window.Surface());
    for (const auto& c : window.Controls()) TrackChildren(c->Widget());
}

#define QZ_MOUSE_TRACKING_WINDOW(Cls, Base, Name)                                                \
    const rt::ClassDef& Cls::StaticClass() {                                                     \
        static const rt::ClassDef& c = rt::ClassBuilder<Cls>(Name, &Base::StaticClass()).Done(); \
        return c;                                                                                \
    }                                                                                            \
    bool Cls::Dispatch(gui::Event& event) {                                                      \
        tracker.Track(event);                                                                    \
        return Base::Dispatch(event);                                                            \
    }                                                                                            \
    void Cls::Show(int64_t mode) {                                                               \
        MouseTracker::EnableMoves(*this);                                                        \
        Base::Show(mode);                                                                        \
    }

QZ_MOUSE_TRACKING_WINDOW(NewDataDialog, gui::DataDialog, "NEWDATADIALOG")
QZ_MOUSE_TRACKING_WINDOW(NewDataWindow, gui::DataWindow, "NEWDATAWINDOW")
QZ_MOUSE_TRACKING_WINDOW(NewDialogWindow, gui::DialogWindow, "NEWDIALOGWINDOW")

}  // namespace lib
