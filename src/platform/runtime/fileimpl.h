// Shared by the runtime's file functions (files.cpp, filelines.cpp,
// filewhole.cpp); not for other callers.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace rt::fileimpl {

// Set the error FError() reports on this thread.
void Ok();
void Fail(int code);
void FailErrno(int err, std::string_view nativePath = {});
// The error of a failed read or write on one of our handles: EBADF there
// means the handle was not opened for that.
int TransferError(int err);

// FilePath that sets FError(): the native path, or "" with the error set.
std::string NativeOrFail(std::string_view path, bool forCreate);

// The descriptor behind a handle, or -1 with error 6.
int HandleFd(int handle);
// Whether any other open holds the file (for erase and rename).
bool HeldOpen(const std::string& native);
// Takes fd out of the share-mode table without closing it; the descriptor
// holding its share locks (-1 when none), for the caller to close.
int ForgetShare(int fd);

bool SameFile(const struct stat& a, const struct stat& b);

}  // namespace rt::fileimpl
