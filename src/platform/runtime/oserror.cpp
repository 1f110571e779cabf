#include "platform/runtime/oserror.h"

#include <sys/stat.h>

#include <cerrno>

namespace rt {
namespace {

// Whether the directory that would hold nativePath exists. The holder of a
// path without any "/" is the current directory.
bool ParentDirExists(std::string_view nativePath) {
    while (nativePath.size() > 1 && nativePath.back() == '/') nativePath.remove_suffix(1);
    size_t slash = nativePath.rfind('/');
    std::string parent;
    if (slash == std::string_view::npos) parent = ".";
    else if (slash == 0) parent = "/";
    else parent = std::string(nativePath.substr(0, slash));
    struct stat st = {};
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int OsErrorFromErrno(int err, std::string_view nativePath) {
    switch (err) {
        case 0: return kOsOk;
        case ENOENT:
            if (nativePath.empty()) return kOsFileNotFound;
            return ParentDirExists(nativePath) ? kOsFileNotFound : kOsPathNotFound;
        case ENOTDIR: return kOsPathNotFound;
        case ELOOP: return kOsCantResolveFilename;
        case EACCES:
        case EPERM:
        case EISDIR:
        // A read-only file system is reported as "access denied", as a
        // read-only share is on Windows: that is the number the application
        // tests for when it cannot write.
        case EROFS: return kOsAccessDenied;
        case EMFILE:
        case ENFILE: return kOsTooManyOpenFiles;
        case EBADF: return kOsInvalidHandle;
        case ENOMEM: return kOsNotEnoughMemory;
        case ENOSPC:
        case EDQUOT: return kOsDiskFull;
        case EFBIG: return kOsFileTooLarge;
        case EEXIST: return kOsFileExists;
        case ENAMETOOLONG: return kOsFilenameTooLong;
        case ENOTEMPTY: return kOsDirNotEmpty;
        // A lock request that would wait. Share-mode conflicts are detected
        // and reported as 32 by the file layer itself, not through errno.
        case EAGAIN: return kOsLockViolation;
        case EBUSY:
        case ETXTBSY: return kOsSharingViolation;
        case EXDEV: return kOsNotSameDevice;
        case EINVAL: return kOsInvalidParameter;
        case ENXIO:
        case ENODEV: return kOsNotReady;
        case EOPNOTSUPP: return kOsNotSupported;
        case ENOLCK: return kOsLockViolation;
        case EIO: return kOsGenFailure;
        default: return kOsGenFailure;
    }
}

const char* WinErrorText(int code) {
    switch (code) {
        case kOsOk: return "The operation completed successfully.";
        case kOsInvalidFunction: return "Incorrect function.";
        case kOsFileNotFound: return "The system cannot find the file specified.";
        case kOsPathNotFound: return "The system cannot find the path specified.";
        case kOsTooManyOpenFiles: return "The system cannot open the file.";
        case kOsAccessDenied: return "Access is denied.";
        case kOsInvalidHandle: return "The handle is invalid.";
        case kOsNotEnoughMemory: return "Not enough memory resources are available to process this command.";
        case kOsInvalidAccess: return "The access code is invalid.";
        case kOsInvalidDrive: return "The system cannot find the drive specified.";
        case kOsNotSameDevice: return "The system cannot move the file to a different disk drive.";
        case kOsNoMoreFiles: return "There are no more files.";
        case kOsWriteProtect: return "The media is write protected.";
        case kOsNotReady: return "The device is not ready.";
        case kOsWriteFault: return "The system cannot write to the specified device.";
        case kOsReadFault: return "The system cannot read from the specified device.";
        case kOsGenFailure: return "A device attached to the system is not functioning.";
        case kOsSharingViolation:
            return "The process cannot access the file because it is being used by another process.";
        case kOsLockViolation:
            return "The process cannot access the file because another process has locked a portion of the file.";
        case kOsHandleEof: return "Reached the end of the file.";
        case kOsNotSupported: return "The request is not supported.";
        case kOsFileExists: return "The file exists.";
        case kOsCannotMake: return "The directory or file cannot be created.";
        case kOsInvalidParameter: return "The parameter is incorrect.";
        case kOsDiskFull: return "There is not enough space on the disk.";
        case kOsInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
        case kOsNegativeSeek: return "An attempt was made to move the file pointer before the beginning of the file.";
        case kOsDirNotEmpty: return "The directory is not empty.";
        case kOsAlreadyExists: return "Cannot create a file when that file already exists.";
        case kOsFilenameTooLong: return "The filename or extension is too long.";
        case kOsFileTooLarge: return "The file size exceeds the limit allowed and cannot be saved.";
        case kOsCantResolveFilename: return "The name of the file cannot be resolved by the system.";
        case 14: return "Not enough memory resources are available to complete this operation.";
        case 53: return "The network path was not found.";
        case 59: return "An unexpected network error occurred.";
        case 67: return "The network name cannot be found.";
        case 85: return "The local device name is already in use.";
        case 86: return "The specified network password is not correct.";
        case 111: return "The file name is too long.";
        case 122: return "The data area passed to a system call is too small.";
        case 161: return "The specified path is invalid.";
        case 170: return "The requested resource is in use.";
        case 193: return "%1 is not a valid Win32 application.";
        case 234: return "More data is available.";
        case 259: return "No more data is available.";
        case 267: return "The directory name is invalid.";
        case 317: return "The system cannot find message text for message number 0x%1 in the message file for %2.";
        case 1009: return "The configuration registry database is corrupt.";
        case 1011: return "The configuration registry key could not be opened.";
        case 1016:
            return "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
                   "read in, or write out, or flush, one of the files that contain the system's image of the "
                   "registry.";
        case 1018: return "Illegal operation attempted on a registry key that has been marked for deletion.";
        case 1200: return "The specified device name is invalid.";
        case 1202: return "The local device name has a remembered connection to another network resource.";
        case 1222: return "The network is not present or not started.";
        case 1326: return "The user name or password is incorrect.";
        case 1815: return "The specified resource language ID cannot be found in the image file.";
        case 2250: return "This network connection does not exist.";
        case 2401: return "This network connection has files open or requests pending.";
        default: return nullptr;
    }
}

std::string DosErrString(int code) {
    if (const char* text = WinErrorText(code)) return text;
    return "Operating system error " + std::to_string(code) + ".";
}

}  // namespace rt
