#include "platform/rdd/dbflock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace rdd::dbf {

int TryLock(int fd, int64_t offset, LockKind kind) {
    struct flock fl = {};
    fl.l_type = kind == LockKind::kRead ? F_RDLCK : kind == LockKind::kWrite ? F_WRLCK : F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = 1;
    fl.l_pid = 0;  // required for open-file-description locks
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
    return errno;
}

int LockWithTries(int fd, int64_t offset, LockKind kind, int tries) {
    int err = 0;
    for (int i = 0; i < (tries < 1 ? 1 : tries); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        err = TryLock(fd, offset, kind);
        if (err == 0 || !IsLockConflict(err)) return err;
    }
    return err;
}

bool IsLockConflict(int err) { return err == EAGAIN || err == EACCES; }

}  // namespace rdd::dbf
