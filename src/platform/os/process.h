// Processes: CreateProcessA over posix_spawn, with the Win32 rules for the
// command line and the search for the program, and process handles.
//
// A child never inherits the parent's open files (tables, logs, stores):
// every descriptor from 3 up is closed in it. Each child is waited for by a
// thread of its own, so none is left a zombie, whether or not its handles
// are ever read or closed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/os/kernel.h"
#include "platform/os/win32.h"

namespace os {

inline constexpr DWORD STILL_ACTIVE = 259;

// The Win32 layout's fields; only cb and lpTitle are read here (the title
// is kept for the child's console, which this platform does not have).
struct STARTUPINFOA {
    DWORD cb = 0;
    char* lpReserved = nullptr;
    char* lpDesktop = nullptr;
    char* lpTitle = nullptr;
    DWORD dwX = 0, dwY = 0, dwXSize = 0, dwYSize = 0, dwXCountChars = 0, dwYCountChars = 0;
    DWORD dwFillAttribute = 0, dwFlags = 0;
    WORD wShowWindow = 0, cbReserved2 = 0;
    BYTE* lpReserved2 = nullptr;
    HANDLE hStdInput = 0, hStdOutput = 0, hStdError = 0;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess = 0;
    HANDLE hThread = 0;
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

// Starts a program. With an application name, that file is run (found
// from the current directory, no search, no extension added) and the
// command line becomes its arguments. Without one, the command line's
// first token names the program: quoted, or else the shortest run of words
// up to a blank that names a program; a name without a folder is looked
// for in the executable's folder, the current folder, the system and
// Windows directories and then PATH, as given and with ".exe". The
// arguments are the command line split by the C runtime's rules. The
// environment block ("A=1\0B=2\0\0") and the current directory are used
// when given. FALSE with the last error: 2 or 3 for a program not found,
// 5 for one that may not be run or a folder, 193 for a file that is no
// program.
[[nodiscard]] BOOL CreateProcessA(const char* applicationName, char* commandLine, const void* processAttributes,
                                  const void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                  const void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                                  PROCESS_INFORMATION* processInformation);
// STILL_ACTIVE while the process runs, then its exit code (128 + the
// signal's number for a process ended by a signal).
[[nodiscard]] BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
// Ends the process; its exit code becomes exitCode.
[[nodiscard]] BOOL TerminateProcess(HANDLE process, UINT exitCode);
// WaitForSingleObject and CloseHandle (kernel.h) take process handles.

// The C runtime's splitting of a command line into arguments: the first
// ends at a blank unless quoted (no escapes in it); in the others 2n
// backslashes before a quote give n and the quote opens or closes a quoted
// part, 2n+1 give n and a literal quote, and "" inside quotes is a quote.
std::vector<std::string> CommandLineToArgs(std::string_view commandLine);

}  // namespace os
