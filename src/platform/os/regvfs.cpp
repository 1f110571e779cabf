#include "platform/os/regvfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <mutex>

#include "platform/runtime/posixfile.h"

namespace os::reg {
namespace {

constexpr const char* kVfsName = "qz-faults";

sqlite3_vfs gVfs;
sqlite3_vfs* gBase = nullptr;

// Each open file: our methods in front, the default file system's file
// right behind it in the same allocation.
struct ShimFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

// The SQLite code for an injected errno: a full disk is SQLITE_FULL, as
// the default file system reports it.
int Code(int err, int ioerr) { return err == ENOSPC || err == EDQUOT ? SQLITE_FULL : ioerr; }

int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
    return Real(f)->pMethods->xRead(Real(f), buf, n, off);
}

int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
    size_t part = 0;
    if (int err = rt::faults::Hit(rt::faults::Op::kWrite, static_cast<size_t>(n), &part)) {
        if (part > 0) (void)Real(f)->pMethods->xWrite(Real(f), buf, static_cast<int>(part), off);
        return Code(err, SQLITE_IOERR_WRITE);
    }
    return Real(f)->pMethods->xWrite(Real(f), buf, n, off);
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    if (int err = rt::faults::Hit(rt::faults::Op::kWrite)) return Code(err, SQLITE_IOERR_TRUNCATE);
    return Real(f)->pMethods->xTruncate(Real(f), size);
}

int Sync(sqlite3_file* f, int flags) {
    if (int err = rt::faults::Hit(rt::faults::Op::kSync)) return Code(err, SQLITE_IOERR_FSYNC);
    return Real(f)->pMethods->xSync(Real(f), flags);
}

int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); }
int Fetch(sqlite3_file* f, sqlite3_int64 off, int n, void** out) {
    return Real(f)->pMethods->xFetch(Real(f), off, n, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 off, void* p) { return Real(f)->pMethods->xUnfetch(Real(f), off, p); }

// Version 3 methods, for the default unix file system's files, which have
// them all (shared memory for the write-ahead log, memory-mapped reads).
const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* shim = reinterpret_cast<ShimFile*>(f);
    shim->base.pMethods = nullptr;
    shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
    int rc = gBase->xOpen(gBase, name, shim->real, flags, outFlags);
    if (shim->real->pMethods == nullptr) return rc;
    if (shim->real->pMethods->iVersion < 3) {
        // Not what the default file system gives: close it rather than
        // call methods it does not have.
        shim->real->pMethods->xClose(shim->real);
        return SQLITE_CANTOPEN;
    }
    shim->base.pMethods = &kMethods;
    return rc;
}

}  // namespace

const char* FaultAwareVfsName() {
    static std::once_flag once;
    static const char* name = nullptr;
    std::call_once(once, [] {
        if (sqlite3_initialize() != SQLITE_OK) return;
        gBase = sqlite3_vfs_find(nullptr);
        if (gBase == nullptr) return;
        // Everything but opening a file is the default file system's own
        // (it reads only its own fields of the structure it is handed).
        gVfs = *gBase;
        gVfs.szOsFile = static_cast<int>(sizeof(ShimFile)) + gBase->szOsFile;
        gVfs.zName = kVfsName;
        gVfs.pNext = nullptr;
        gVfs.xOpen = Open;
        if (sqlite3_vfs_register(&gVfs, 0) == SQLITE_OK) name = kVfsName;
    });
    return name;
}

}  // namespace os::reg
