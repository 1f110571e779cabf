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

    // A cached statement, reset and with its bindings cleared.
    sqlite3_stmt* Stmt(const char* sql);
    sqlite3* Db() { return db_; }

    // The id of a root row ("HKEY_LOCAL_MACHINE"), if the store has it.
    std::optional<int64_t> Root(std::string_view rootName);
    std::optional<int64_t> Child(int64_t parent, std::string_view name);
    bool KeyExists(int64_t id);
    // BEGIN IMMEDIATE / COMMIT / ROLLBACK; 0 or the Win32 code.
    [[nodiscard]] LONG Begin();
    [[nodiscard]] LONG Commit();
    void Rollback();

private:
    void OpenFile();
    bool Setup();
    void Close();

    StoreKind kind_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    bool writable_ = false;
    LONG writeError_ = ERROR_ACCESS_DENIED;
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
