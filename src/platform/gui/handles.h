// Window handles: numbers that name live window and control objects.
//
// A handle is issued once per widget (or per handle-carrying object such as
// an icon) and never again in the run, so a handle kept after its widget or
// object has gone names nothing: every lookup of a stale handle is refused
// and nothing behind it is touched. Lookups are safe from any thread; the
// objects themselves are only handed out on the GUI thread.
#pragma once

#include <memory>

#include "platform/gui/messages.h"
#include "platform/runtime/object.h"

class QObject;

namespace gui {

// The handle of a widget, issued on first use; 0 for none. The handle
// retires when the widget is destroyed.
HWND HandleOf(const QObject* widget);
// The widget of a live handle; nullptr when the handle is stale or 0.
QObject* WidgetFromHandle(HWND handle);
// The window or control object of a handle; nil when none or gone.
rt::Usual ObjectFromHandle(HWND handle);
// True while the handle names a live widget whose object is alive (any
// thread; the object is not touched).
bool IsWindow(HWND handle);

// Links a widget to the object that owns it (its window or control).
void LinkHandle(QObject* widget, const std::shared_ptr<rt::Object>& object);
// Retires the widget's handle: the object and the widget are named by it no
// more, and the handle's timers stop. The widget gets a new handle if asked.
void UnlinkHandle(QObject* widget);

// A handle for an object without a widget (icons): issued with the object,
// retired with RetireHandle or when the object is gone.
HWND IssueObjectHandle(const std::shared_ptr<rt::Object>& object);
void RetireHandle(HWND handle);
// The object of an object handle (or of a window handle); nil when stale.
rt::Usual ObjectOfHandle(HWND handle);

// Called with every handle that retires (the timers of the handle stop).
void OnHandleRetired(void (*fn)(HWND));

}  // namespace gui
