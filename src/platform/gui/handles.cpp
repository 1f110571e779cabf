#include "platform/gui/handles.h"

#include <QObject>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/gui/boundary.h"

namespace gui {
namespace {

struct Entry {
    const QObject* widget = nullptr;  // nullptr for an object handle
    std::weak_ptr<rt::Object> object;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, Entry> byHandle;
    std::unordered_map<const QObject*, HWND> byWidget;
    // Handles start well above the small numbers callers use as insert-after
    // values and identifiers, and step by 4 as Win32 handles do.
    HWND next = 0x10000;
    std::vector<void (*)(HWND)> retireHooks;
};

Registry& Reg() {
    static Registry* r = new Registry;  // outlives every widget destroyed at exit
    return *r;
}

void NotifyRetired(HWND h) {
    std::vector<void (*)(HWND)> hooks;
    {
        std::lock_guard lock(Reg().mutex);
        hooks = Reg().retireHooks;
    }
    for (auto fn : hooks) fn(h);
}

// Drops the widget's entry (the caller holds the lock); returns its handle.
HWND DropWidget(const QObject* widget) {
    auto& r = Reg();
    auto it = r.byWidget.find(widget);
    if (it == r.byWidget.end()) return 0;
    HWND h = it->second;
    r.byWidget.erase(it);
    r.byHandle.erase(h);
    return h;
}

HWND Issue(Registry& r, Entry e) {
    HWND h = r.next;
    r.next += 4;
    r.byHandle.emplace(h, std::move(e));
    return h;
}

}  // namespace

HWND HandleOf(const QObject* widget) {
    if (!widget) return 0;
    auto& r = Reg();
    HWND h = 0;
    {
        std::lock_guard lock(r.mutex);
        if (auto it = r.byWidget.find(widget); it != r.byWidget.end()) return it->second;
        h = Issue(r, Entry{widget, {}});
        r.byWidget.emplace(widget, h);
    }
    // The handle retires with the widget. The connection has no context
    // object, so it runs inside the widget's destructor.
    QObject::connect(widget, &QObject::destroyed, [widget] {
        HWND gone = 0;
        {
            std::lock_guard lock(Reg().mutex);
            gone = DropWidget(widget);
        }
        if (gone) FromQt([gone] { NotifyRetired(gone); });
    });
    return h;
}

QObject* WidgetFromHandle(HWND handle) {
    std::lock_guard lock(Reg().mutex);
    auto it = Reg().byHandle.find(handle);
    return it == Reg().byHandle.end() ? nullptr : const_cast<QObject*>(it->second.widget);
}

rt::Usual ObjectFromHandle(HWND handle) {
    std::shared_ptr<rt::Object> o;
    {
        std::lock_guard lock(Reg().mutex);
        auto it = Reg().byHandle.find(handle);
        if (it == Reg().byHandle.end() || !it->second.widget) return rt::Usual();
        o = it->second.object.lock();
    }
    return o ? rt::Usual(o) : rt::Usual();
}

rt::Usual ObjectOfHandle(HWND handle) {
    std::shared_ptr<rt::Object> o;
    {
        std::lock_guard lock(Reg().mutex);
        auto it = Reg().byHandle.find(handle);
        if (it == Reg().byHandle.end()) return rt::Usual();
        o = it->second.object.lock();
    }
    return o ? rt::Usual(o) : rt::Usual();
}

bool IsWindow(HWND handle) {
    std::lock_guard lock(Reg().mutex);
    auto it = Reg().byHandle.find(handle);
    return it != Reg().byHandle.end() && it->second.widget && !it->second.object.expired();
}

void LinkHandle(QObject* widget, const std::shared_ptr<rt::Object>& object) {
    HWND h = HandleOf(widget);
    std::lock_guard lock(Reg().mutex);
    if (auto it = Reg().byHandle.find(h); it != Reg().byHandle.end()) it->second.object = object;
}

void UnlinkHandle(QObject* widget) {
    HWND gone = 0;
    {
        std::lock_guard lock(Reg().mutex);
        gone = DropWidget(widget);
    }
    if (gone) NotifyRetired(gone);
}

HWND IssueObjectHandle(const std::shared_ptr<rt::Object>& object) {
    std::lock_guard lock(Reg().mutex);
    return Issue(Reg(), Entry{nullptr, object});
}

void RetireHandle(HWND handle) {
    bool gone = false;
    {
        std::lock_guard lock(Reg().mutex);
        auto it = Reg().byHandle.find(handle);
        if (it != Reg().byHandle.end()) {
            if (it->second.widget) Reg().byWidget.erase(it->second.widget);
            Reg().byHandle.erase(it);
            gone = true;
        }
    }
    if (gone) NotifyRetired(handle);
}

void OnHandleRetired(void (*fn)(HWND)) {
    std::lock_guard lock(Reg().mutex);
    Reg().retireHooks.push_back(fn);
}

}  // namespace gui
