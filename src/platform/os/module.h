// Loaded shared libraries as Win32 modules: GetModuleHandleA finds one that
// is already loaded (it never loads one), GetProcAddress one of its exports.
//
// A module name matches a loaded library when its file name, ignoring case,
// is the library's file name, or the library's file name without a "lib"
// prefix and ".so" suffix, version numbers included or not, with ".dll" in
// place of ".so": "qzver.dll" finds "libqzver.so" and "libqzver.so.1".
#pragma once

#include "platform/os/win32.h"

namespace os {

using HMODULE = uintptr_t;
using FARPROC = void*;

// A null name gives the program itself. 0 with ERROR_MOD_NOT_FOUND (126)
// for a name that no loaded library has.
HMODULE GetModuleHandleA(const char* moduleName);
// nullptr with ERROR_PROC_NOT_FOUND (127) for a name the module lacks.
FARPROC GetProcAddress(HMODULE module, const char* procName);

// Sends the text to the debugger's channel, which is standard error here.
void OutputDebugStringA(const char* text);

}  // namespace os
