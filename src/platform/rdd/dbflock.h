// Open-file-description locks (F_OFD_SETLK): held per open of a file, so two
// opens inside one process exclude each other just as two processes do, and
// closing one descriptor never drops another open's locks.
#pragma once

#include <cstdint>

namespace rdd::dbf {

enum class LockKind { kRead, kWrite, kUnlock };

// One attempt; 0 on success, else the errno (EAGAIN or EACCES on conflict).
int TryLock(int fd, int64_t offset, LockKind kind);

// Up to `tries` attempts, a short pause between them; 0 or the last errno.
int LockWithTries(int fd, int64_t offset, LockKind kind, int tries);

// Whether an errno from TryLock means another holder is in the way.
bool IsLockConflict(int err);

}  // namespace rdd::dbf
