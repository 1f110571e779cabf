#include "platform/gui/windowpos.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QWidget>

#include "platform/gui/handles.h"
#include "platform/gui/message.h"

namespace gui {

bool SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, uint32_t flags) {
    auto* w = qobject_cast<QWidget*>(WidgetFromHandle(hWnd));
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (!(flags & SWP_NOZORDER)) {
        if (w->isWindow() && (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
            const bool top = insertAfter == HWND_TOPMOST;
            if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != top) {
                // Changing a window's flags hides it: it is shown again
                // where it was.
                const bool shown = w->isVisible();
                const QPoint at = w->pos();
                w->setWindowFlag(Qt::WindowStaysOnTopHint, top);
                if (shown) {
                    w->move(at);
                    w->show();
                }
            }
            if (top) w->raise();
        } else if (insertAfter == HWND_TOP) {
            w->raise();
        } else if (insertAfter == HWND_BOTTOM) {
            w->lower();
        }
    }
    if (!(flags & SWP_NOMOVE)) w->move(x, y);
    if (!(flags & SWP_NOSIZE)) w->resize(cx, cy);
    if (flags & SWP_SHOWWINDOW) w->show();
    if (flags & SWP_HIDEWINDOW) w->hide();
    if ((flags & SWP_SHOWWINDOW) && !(flags & SWP_NOACTIVATE)) w->activateWindow();
    return true;
}

bool IsTopmost(HWND hWnd) {
    auto* w = qobject_cast<QWidget*>(WidgetFromHandle(hWnd));
    return w && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

bool GetCursorPos(POINT* point) {
    if (!point || !QGuiApplication::primaryScreen()) return false;
    const QPoint p = QCursor::pos();
    *point = {p.x(), p.y()};
    return true;
}

HWND WindowFromPoint(POINT point) {
    QWidget* w = QApplication::widgetAt(point.x, point.y);
    return w ? HandleOf(w) : 0;
}

}  // namespace gui
