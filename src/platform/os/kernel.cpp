#include "platform/os/kernel.h"

#include <map>
#include <mutex>

namespace os {
namespace {

struct Table {
    std::mutex m;
    std::map<HANDLE, std::shared_ptr<KernelObject>> objects;
    HANDLE next = 0x100;
};

// Never destroyed: handles may be closed by objects that go during the
// program's exit, after function statics made later than it are gone.
Table& TheTable() {
    static Table* t = new Table;
    return *t;
}

}  // namespace

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE AddKernelObject(std::shared_ptr<KernelObject> object) {
    Table& t = TheTable();
    std::lock_guard lock(t.m);
    const HANDLE h = t.next;
    t.next += 4;
    t.objects.emplace(h, std::move(object));
    return h;
}

std::shared_ptr<KernelObject> LookUpKernelObject(HANDLE handle) {
    Table& t = TheTable();
    std::lock_guard lock(t.m);
    auto it = t.objects.find(handle);
    if (it != t.objects.end()) return it->second;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        Table& t = TheTable();
        std::lock_guard lock(t.m);
        auto it = t.objects.find(handle);
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE_;
        }
        object = std::move(it->second);
        t.objects.erase(it);
    }
    object->Closed();
    return TRUE_;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = LookUpKernelObject(handle);
    return object ? object->Wait(milliseconds) : WAIT_FAILED;
}

}  // namespace os
