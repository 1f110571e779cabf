// Kernel-object handles: the one table behind the handles of processes,
// communications devices and events, so that CloseHandle and
// WaitForSingleObject are one service for every kind of handle, as in Win32.
//
// Handle numbers start at 0x100 and step by 4, never issued twice in a run,
// so a handle kept after CloseHandle cannot name a newer object; a closed
// or made-up handle fails with ERROR_INVALID_HANDLE.
#pragma once

#include <memory>

#include "platform/os/win32.h"

namespace os {

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// What a handle names. Wait answers WaitForSingleObject (objects that cannot
// be waited for fail with ERROR_INVALID_HANDLE); Closed runs once the handle
// is out of the table, on the thread that closed it.
struct KernelObject {
    virtual ~KernelObject() = default;
    virtual DWORD Wait(DWORD milliseconds);
    virtual void Closed() {}
};

// Enters an object in the table; its new handle.
HANDLE AddKernelObject(std::shared_ptr<KernelObject> object);
// The object of a handle; null with ERROR_INVALID_HANDLE set.
std::shared_ptr<KernelObject> LookUpKernelObject(HANDLE handle);
// The object of a handle when it is of that kind; null with
// ERROR_INVALID_HANDLE set otherwise.
template <class T>
std::shared_ptr<T> LookUpKernelObjectAs(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(LookUpKernelObject(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

BOOL CloseHandle(HANDLE handle);
// WAIT_OBJECT_0 when the object is signalled (an ended process, a set
// event) within the time, WAIT_TIMEOUT when not, WAIT_FAILED for a bad handle.
[[nodiscard]] DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

}  // namespace os
