// The SQLite store beneath the registry functions: one file per store,
// opened once per process, keys as rows with a parent, values as rows of a
// key. Internal to the registry service.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os/win32.h"

namespace os::reg {

enum class StoreKind { kMachine = 0, kUser = 1 };

// ASCII lower case: the form names are compared in.
std::string Fold(std::string_view name);

class Store {
public:
    explicit Store(StoreKind kind);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::mutex& Mutex() { return mutex_; }
    bool Open() const { return db_ != nullptr; }
    bool Writable() const { return writable_; }
    const std::string& Path() const { return path_; }
    // The Win32 code a write gets while the store cannot be written.
    [[nodiscard]] LONG WriteError() const { return writeError_; }
    // The Win32 code a read gets while the store is not open: 2 where there
    // is no store, 1009 for a file that is not a sound store, 5 for one
    // that may not be read.
    [[nodiscard]] LONG ReadError() const { return readError_; }
    // Called under the mutex before each operation: a store read as a
    // snapshot (its log missing and not to be made) is opened again once a
    // writer has made the log, so that what was written since is seen; a
    // store that could not be read is tried again.
    void Refresh();
    // Changes whenever this connection changes the store, or another one
    // has changed it before this connection's last read (for caches of
    // positions).
    struct Stamp {
        unsigned dataVersion = 0;
        int64_t changes = 0;
        uint64_t opening = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp ChangeStamp();

    // A cached statement, reset and with its bindings cleared; null when it
    // cannot be prepared (LastError says why).
    sqlite3_stmt* Stmt(const char* sql);
    sqlite3* Db() { return db_; }
    // The Win32 code of the connection's last failure.
    [[nodiscard]] LONG LastError() const;

    // The id of a root row ("HKEY_LOCAL_MACHINE") or of a key's child:
    // 0, ERROR_FILE_NOT_FOUND when there is none, or the store's failure.
    [[nodiscard]] LONG Root(std::string_view rootName, int64_t* id);
    [[nodiscard]] LONG Child(int64_t parent, std::string_view name, int64_t* id);
    // 0, ERROR_KEY_DELETED, or the store's failure.
    [[nodiscard]] LONG KeyExists(int64_t id);
    // BEGIN IMMEDIATE / COMMIT / ROLLBACK; 0 or the Win32 code.
    [[nodiscard]] LONG Begin();
    [[nodiscard]] LONG Commit();
    void Rollback();

private:
    void OpenFile();
    void OpenReadOnly();
    [[nodiscard]] LONG TryReadOnly(const std::string& name);
    bool Setup();
    void Close();

    StoreKind kind_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    bool writable_ = false;
    LONG writeError_ = ERROR_ACCESS_DENIED;
    LONG readError_ = ERROR_FILE_NOT_FOUND;
    bool snapshot_ = false;  // opened as immutable on a writable file system
    uint64_t opening_ = 0;
    std::string fileId_;  // the snapshot's file: inode, size, change time
    std::string path_;
    std::unordered_map<const char*, sqlite3_stmt*> stmts_;
};

// The Win32 code for an SQLite result.
[[nodiscard]] LONG FromSqlite(int rc);

// The process's store of that kind, opened on first use.
Store& GetStore(StoreKind kind);
std::string StorePath(StoreKind kind);
void CloseStores();

}  // namespace os::reg
