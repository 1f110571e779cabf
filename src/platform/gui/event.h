// Events in the message form the window classes handle: a message number
// with word and long parameters, and typed views of key, focus and drop
// events. The Qt events are translated into this form once, here.
#pragma once

#include <QStringList>

#include <cstdint>
#include <string>

#include "platform/gui/handles.h"
#include "platform/runtime/object.h"

class QEvent;
class QObject;

namespace gui {

class Event : public rt::Object {
    QZ_OBJECT(Event)
public:
    Event() = default;
    Event(uint32_t msg, uint64_t wParam, int64_t lParam) : uMsg(msg), wParam(wParam), lParam(lParam) {}

    uint32_t uMsg = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    uintptr_t hWnd = 0;  // the handle of the widget the event is for
};

class KeyEvent : public Event {
    QZ_OBJECT(KeyEvent)
public:
    KeyEvent() = default;
    // The Win32 virtual-key code.
    uint32_t KEYCODE() const { return static_cast<uint32_t>(wParam); }
    // The character the key types, 0 for none.
    uint32_t ASCIICHAR() const { return asciiChar; }
    // Whether the Shift/Control/Alt keys were held.
    bool shift = false, control = false, alt = false;
    bool autoRepeat = false;
    uint32_t asciiChar = 0;
    // The character the key types, beyond Latin-1 too (a Cyrillic letter);
    // 0 for none.
    uint32_t charCode = 0;
};

class Control;

// The focus entered or left an edit control.
class EditFocusChangeEvent : public Event {
    QZ_OBJECT(EditFocusChangeEvent)
public:
    EditFocusChangeEvent() = default;
    rt::Symbol NameSym() const { return nameSym; }
    bool GotFocus() const { return gotFocus; }
    rt::Usual CONTROL() const { return control; }
    rt::Symbol nameSym;
    bool gotFocus = false;
    rt::Usual control;
};

// Files dropped on a window.
class DragEvent : public Event {
    QZ_OBJECT(DragEvent)
public:
    DragEvent() = default;
    // The n-th dropped file (1-based); "" past the end.
    std::string FileName(int64_t n) const;
    int64_t FileCount() const { return files.size(); }
    QStringList files;
};

// The event a late-bound DISPATCH was given (its first argument), nullptr
// for none.
inline Event* EventArg(rt::Args args) {
    return args.empty() ? nullptr : dynamic_cast<Event*>(args[0].AsObject().get());
}

// Translates a Qt event for a widget into the message form, or nullptr when
// the event has no counterpart. Key presses become WM_KEYDOWN KeyEvents.
rt::Usual TranslateEvent(QObject* receiver, QEvent* event);

}  // namespace gui
