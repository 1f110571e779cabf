// Operating-system error numbers as the runtime reports them (FError,
// Error:OsCode): the Windows numbers the application tests for.
#pragma once

#include <string>
#include <string_view>

namespace rt {

enum OsError : int {
    kOsOk = 0,
    kOsInvalidFunction = 1,
    kOsFileNotFound = 2,
    kOsPathNotFound = 3,
    kOsTooManyOpenFiles = 4,
    kOsAccessDenied = 5,
    kOsInvalidHandle = 6,
    kOsNotEnoughMemory = 8,
    kOsInvalidAccess = 12,
    kOsInvalidDrive = 15,
    kOsNotSameDevice = 17,
    kOsNoMoreFiles = 18,
    kOsWriteProtect = 19,
    kOsNotReady = 21,
    kOsWriteFault = 29,
    kOsReadFault = 30,
    kOsGenFailure = 31,
    kOsSharingViolation = 32,
    kOsLockViolation = 33,
    kOsHandleEof = 38,
    kOsNotSupported = 50,
    kOsFileExists = 80,
    kOsCannotMake = 82,
    kOsInvalidParameter = 87,
    kOsDiskFull = 112,
    kOsInvalidName = 123,
    kOsNegativeSeek = 131,
    kOsDirNotEmpty = 145,
    kOsAlreadyExists = 183,
    kOsFilenameTooLong = 206,
    kOsFileTooLarge = 223,
    kOsCantResolveFilename = 1921,
};

// Maps a POSIX errno onto the Windows number. ENOENT is told apart by the
// path: 2 when the directory holding the file exists, 3 when it does not
// (2 when no path is given). EROFS is reported as 5, EAGAIN (a lock that
// would wait) as 33; share-mode conflicts (32) are found by the file layer
// itself. Numbers without a closer match become 31.
int OsErrorFromErrno(int err, std::string_view nativePath = {});

// The system message text of a Win32 error number (without a line end), or
// nullptr for a number the table does not hold.
const char* WinErrorText(int code);

// The Windows text of an error number ("The system cannot find the file
// specified."); "Operating system error N." for numbers without one.
std::string DosErrString(int code);

}  // namespace rt
