// Whole files: copy, erase, rename, and reading or writing a file at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/runtime/fileimpl.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace rt {

using namespace fileimpl;

bool FCopy(std::string_view source, std::string_view target) {
    int err = 0;
    std::string from = NativeOrFail(source, false);
    if (from.empty()) return false;
    std::string to = NativeOrFail(target, true);
    if (to.empty()) return false;
    // The source is read while nobody may write it, so the copy is whole.
    int in = ShareOpen(from, O_RDONLY | O_NOCTTY, kFoRead, kFoDenyWrite, &err);
    if (in < 0) {
        Fail(err);
        return false;
    }
    struct stat sst = {};
    struct stat dst = {};
    ::fstat(in, &sst);
    if (::stat(to.c_str(), &dst) == 0 && SameFile(sst, dst)) {
        ShareClose(in);
        Fail(kOsSharingViolation);  // copying a file onto itself would empty it
        return false;
    }
    // The target is held exclusively while it is written; it is truncated
    // only after that share check.
    int out = ShareOpen(to, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, kFoWrite, kFoExclusive, &err, sst.st_mode & 0777);
    if (out < 0) {
        ShareClose(in);
        Fail(err);
        return false;
    }
    std::vector<char> buf(1 << 16);
    int failure = 0;
    for (;;) {
        IoResult got = ReadFull(in, buf.data(), buf.size());
        if (!got.Ok()) {
            failure = OsErrorFromErrno(got.err);
            break;
        }
        if (got.bytes == 0) break;
        if (IoResult put = WriteAll(out, buf.data(), got.bytes); !put.Ok()) {
            failure = OsErrorFromErrno(put.err);
            break;
        }
    }
    (void)ShareClose(in);  // read only: nothing of the copy rides on this close
    // close() reports late write errors (delayed allocation, network file
    // systems); the lock descriptor stays until the outcome is known.
    Fd locks(ForgetShare(out));
    // Only a regular file that is still the one written is removed on
    // failure (never a device such as /dev/full named as target).
    struct stat ost = {};
    bool removable = ::fstat(out, &ost) == 0 && S_ISREG(ost.st_mode);
    if (failure == 0)
        if (int e = SyncData(out)) failure = OsErrorFromErrno(e);
    if (int e = Fd(out).Close(); e != 0 && failure == 0) failure = OsErrorFromErrno(e);
    // A new name is durable only once its folder is: a backup copy must
    // survive a crash that follows it.
    if (failure == 0 && removable)
        if (int e = SyncFolderOf(to)) failure = OsErrorFromErrno(e);
    if (failure != 0 && removable && ::stat(to.c_str(), &dst) == 0 && SameFile(ost, dst)) ::unlink(to.c_str());
    if (failure != 0) {
        Fail(failure);
        return false;
    }
    Ok();
    return true;
}

bool FErase(std::string_view path) {
    std::string native = NativeOrFail(path, false);
    if (native.empty()) return false;
    struct stat st = {};
    if (::lstat(native.c_str(), &st) != 0) {
        FailErrno(errno, native);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Fail(kOsAccessDenied);
        return false;
    }
    if (S_ISREG(st.st_mode) && HeldOpen(native)) {
        Fail(kOsSharingViolation);
        return false;
    }
    if (::unlink(native.c_str()) != 0) {
        FailErrno(errno, native);
        return false;
    }
    Ok();
    return true;
}

bool FRename(std::string_view from, std::string_view to) {
    std::string src = NativeOrFail(from, false);
    if (src.empty()) return false;
    struct stat sst = {};
    if (::lstat(src.c_str(), &sst) != 0) {
        FailErrno(errno, src);
        return false;
    }
    if (S_ISREG(sst.st_mode) && HeldOpen(src)) {
        Fail(kOsSharingViolation);
        return false;
    }
    std::string dst = NativeOrFail(to, true);
    if (dst.empty()) return false;
    struct stat dstat = {};
    if (::lstat(dst.c_str(), &dstat) == 0) {
        if (!SameFile(sst, dstat)) {
            Fail(kOsAlreadyExists);
            return false;
        }
        // The new name differs only in case and so resolved to the file
        // itself: rename to the name exactly as given.
        std::string_view given = RTrimmed(to);
        size_t sep = given.find_last_of("\\/");
        if (sep != std::string_view::npos) given.remove_prefix(sep + 1);
        else if (given.size() >= 2 && given[1] == ':') given.remove_prefix(2);
        dst = dst.substr(0, dst.rfind('/') + 1) + std::string(given);
        if (dst == src) {
            Ok();
            return true;
        }
    }
    if (int e = RenameFile(src, dst, RENAME_NOREPLACE)) {
        if (e == EINVAL || e == ENOSYS) {
            // A file system without RENAME_NOREPLACE: check, then rename.
            if (::lstat(dst.c_str(), &dstat) == 0) {
                Fail(kOsAlreadyExists);
                return false;
            }
            e = RenameFile(src, dst);
            if (e == 0) {
                Ok();
                return true;
            }
        }
        Fail(e == EEXIST ? kOsAlreadyExists : OsErrorFromErrno(e, dst));
        return false;
    }
    Ok();
    return true;
}

std::string MemoRead(std::string_view path) {
    int h = FOpen(path, kFoRead | kFoDenyNone);
    if (h < 0) return {};
    std::string content;
    if (int err = ReadAll(h, &content)) {
        FClose(h);
        FailErrno(err);
        return {};
    }
    FClose(h);
    return content;
}

bool MemoWrit(std::string_view path, std::string_view text) {
    int h = FCreate(path);
    if (h < 0) return false;
    size_t put = FWrite(h, text);
    int err = FError();
    bool closed = FClose(h);
    if (put != text.size()) {
        Fail(err);
        return false;
    }
    return closed;
}

}  // namespace rt
