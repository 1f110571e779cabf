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
    if (slash == std::string_view::npos)
        parent = ".";
    else if (slash == 0)
        parent = "/";
    else
        parent = std::string(nativePath.substr(0, slash));
    struct stat st{};
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

std::string DosErrString(int code) {
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
        default: return "Operating system error " + std::to_string(code) + ".";
    }
}

}  // namespace rt
