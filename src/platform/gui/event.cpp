#include "platform/gui/event.h"

#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "platform/gui/handles.h"
#include "platform/gui/vkeys.h"

namespace gui {

const rt::ClassDef& Event::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Event>("EVENT")
                                       .IVar<&Event::uMsg>("UMSG")
                                       .IVar<&Event::wParam>("WPARAM")
                                       .IVar<&Event::lParam>("LPARAM")
                                       .IVar<&Event::hWnd>("HWND")
                                       .Done();
    return c;
}

const rt::ClassDef& KeyEvent::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<KeyEvent>("KEYEVENT", &Event::StaticClass())
                                       .Access<&KeyEvent::KEYCODE>("KEYCODE")
                                       .Access<&KeyEvent::ASCIICHAR>("ASCIICHAR")
                                       .Done();
    return c;
}

const rt::ClassDef& EditFocusChangeEvent::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<EditFocusChangeEvent>("EDITFOCUSCHANGEEVENT", &Event::StaticClass())
                                       .Access<&EditFocusChangeEvent::NameSym>("NAMESYM")
                                       .Access<&EditFocusChangeEvent::GotFocus>("GOTFOCUS")
                                       .Access<&EditFocusChangeEvent::CONTROL>("CONTROL")
                                       .Done();
    return c;
}

const rt::ClassDef& DragEvent::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DragEvent>("DRAGEVENT", &Event::StaticClass())
                                       .Method<&DragEvent::FileName>("FILENAME")
                                       .Access<&DragEvent::FileCount>("FILECOUNT")
                                       .Done();
    return c;
}

std::string DragEvent::FileName(int64_t n) const {
    if (n < 1 || n > files.size()) return {};
    return files[static_cast<int>(n - 1)].toStdString();
}

rt::Usual TranslateEvent(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* k = static_cast<QKeyEvent*>(event);
            auto e = rt::New<KeyEvent>();
            e->uMsg = event->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP;
            e->wParam = VirtualKeyFromQt(k->key(), k->modifiers().testFlag(Qt::KeypadModifier));
            QString text = k->text();
            e->asciiChar = text.size() == 1 && text[0].unicode() < 256 ? text[0].unicode() : 0;
            e->charCode = text.isEmpty() ? 0 : text.toUcs4().value(0);
            e->shift = k->modifiers() & Qt::ShiftModifier;
            e->control = k->modifiers() & Qt::ControlModifier;
            e->alt = k->modifiers() & Qt::AltModifier;
            e->autoRepeat = k->isAutoRepeat();
            // lParam as Win32 lays it out: repeat count 1, bit 30 for a repeat.
            e->lParam = 1 | (k->isAutoRepeat() ? (1LL << 30) : 0);
            e->hWnd = HandleOf(receiver);
            return rt::Usual(e);
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(event);
            uint32_t msg = WM_MOUSEMOVE;
            bool right = m->button() == Qt::RightButton;
            if (event->type() == QEvent::MouseButtonPress) msg = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
            if (event->type() == QEvent::MouseButtonRelease) msg = right ? WM_RBUTTONUP : WM_LBUTTONUP;
            if (event->type() == QEvent::MouseButtonDblClick) msg = right ? WM_RBUTTONDBLCLK : WM_LBUTTONDBLCLK;
            QPoint p = m->position().toPoint();
            int64_t lp = (static_cast<int64_t>(p.y() & 0xFFFF) << 16) | (p.x() & 0xFFFF);
            auto e = rt::New<Event>(msg, 0, lp);
            e->hWnd = HandleOf(receiver);
            return rt::Usual(e);
        }
        case QEvent::Leave: {
            auto e = rt::New<Event>(WM_MOUSELEAVE, 0, 0);
            e->hWnd = HandleOf(receiver);
            return rt::Usual(e);
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            // wParam 1 marks a change that comes from another window taking
            // or giving back the activation (a message box opening), not
            // from the operator moving between controls.
            Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            uint64_t activation = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ? 1 : 0;
            auto e = rt::New<Event>(event->type() == QEvent::FocusIn ? WM_SETFOCUS : WM_KILLFOCUS, activation, 0);
            e->hWnd = HandleOf(receiver);
            return rt::Usual(e);
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(event);
            auto e = rt::New<DragEvent>();
            e->uMsg = WM_DROPFILES;
            for (const QUrl& url : d->mimeData()->urls())
                if (url.isLocalFile()) e->files << url.toLocalFile();
            e->hWnd = HandleOf(receiver);
            return rt::Usual(e);
        }
        default: return rt::Usual();
    }
}

}  // namespace gui
