#include "platform/os/regstore.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/os/regvfs.h"
#include "platform/runtime/text.h"

namespace os::reg {
namespace {

// Runs a statement, trying again while another process holds the lock it
// needs. SQLite's busy handler covers most waits, but not all: taking the
// write lock just after another connection changed the file's journal mode
// or created the file answers SQLITE_BUSY at once. Gives up after 10 s.
int ExecWaiting(sqlite3* db, const char* sql) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
    " class TEXT NOT NULL DEFAULT '', written INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL, UNIQUE(key, fold));"
    // A key's values in the order they were first set (the row order), for
    // enumeration that seeks to a row rather than counting up to it.
    "CREATE INDEX IF NOT EXISTS vals_order ON vals(key);";

// The roots a store holds and the keys Windows always has below them.
struct RootDef {
    const char* name;
    std::vector<std::vector<const char*>> paths;
};
std::vector<RootDef> RootsOf(StoreKind kind) {
    if (kind == StoreKind::kUser) return {{"HKEY_CURRENT_USER", {{"Software"}}}};
    return {{"HKEY_LOCAL_MACHINE",
             {{"SOFTWARE", "Classes"}, {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"}}},
            {"HKEY_USERS", {{".DEFAULT"}}}};
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir;
    return "/tmp";
}

void MakeDirs(const std::string& dir, mode_t mode) {
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') ::mkdir(dir.substr(0, i).c_str(), mode);
    }
}

// The Win32 code for a store that could not be opened for writing: a full
// disk says so even where SQLite reports it as a failure to open or write.
LONG OpenFailure(sqlite3* db, int rc) {
    int code = db != nullptr && sqlite3_errcode(db) != SQLITE_OK ? sqlite3_errcode(db) : rc;
    int sys = db != nullptr ? sqlite3_system_errno(db) : 0;
    if (sys == ENOSPC || sys == EDQUOT || (code & 0xFF) == SQLITE_FULL) return ERROR_DISK_FULL;
    LONG e = FromSqlite(code);
    return e == ERROR_SUCCESS || e == ERROR_REGISTRY_IO_FAILED ? ERROR_ACCESS_DENIED : e;
}

bool ReadOnlyFileSystem(const std::string& path) {
    struct statvfs fs = {};
    return ::statvfs(path.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

// What tells one state of a file from another: inode, size, change time.
std::string FileIdentity(const struct stat& st) {
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" + std::to_string(st.st_ctim.tv_sec) +
           "." + std::to_string(st.st_ctim.tv_nsec);
}

std::mutex gStoresMutex;
// Counts the openings of stores in this process: a position taken on one
// connection is never taken for one on another.
std::atomic<uint64_t> gOpenings{0};
std::unique_ptr<Store> gStores[2];

}  // namespace

std::string Fold(std::string_view name) { return rt::Lower(name); }

LONG FromSqlite(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE: return ERROR_SUCCESS;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_CANTOPEN: return ERROR_ACCESS_DENIED;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_FULL: return ERROR_DISK_FULL;
        case SQLITE_NOMEM: return ERROR_OUTOFMEMORY;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return ERROR_BADDB;
        default: return ERROR_REGISTRY_IO_FAILED;
    }
}

std::string StorePath(StoreKind kind) {
    const char* dir = std::getenv("QZ_REGISTRY_DIR");
    if (dir != nullptr && *dir != '\0')
        return std::string(dir) + (kind == StoreKind::kMachine ? "/machine.db" : "/user.db");
    if (kind == StoreKind::kMachine) return "/var/lib/qzscan/registry/machine.db";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg != nullptr && *xdg == '/' ? std::string(xdg) : HomeDir() + "/.config";
    return base + "/qzscan/registry/user.db";
}

Store::Store(StoreKind kind) : kind_(kind), opening_(++gOpenings) { OpenFile(); }
Store::~Store() { Close(); }

void Store::Close() {
    for (auto& [sql, st] : stmts_) sqlite3_finalize(st);
    stmts_.clear();
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
}

void Store::OpenFile() {
    path_ = StorePath(kind_);
    MakeDirs(path_.substr(0, path_.rfind('/')), kind_ == StoreKind::kUser ? 0700 : 0755);
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, FaultAwareVfsName());
    if (rc == SQLITE_OK && Setup()) {
        writable_ = true;
        readError_ = ERROR_SUCCESS;
        return;
    }
    writeError_ = OpenFailure(db_, rc);
    Close();
    OpenReadOnly();
}

// A store that exists but cannot be written is still read, through its
// write-ahead log, so that every commit of a writer is seen. Where the log
// is missing and cannot be made here (a folder this process may not write)
// the file alone holds every commit: it is then read as immutable, and
// opened again by Refresh once a writer has touched it. On a read-only file
// system nobody can be writing, and immutable is simply right.
void Store::OpenReadOnly() {
    snapshot_ = false;
    struct stat st = {};
    if (::stat(path_.c_str(), &st) != 0) {
        readError_ = errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return;
    }
    readError_ = TryReadOnly(path_);
    if (readError_ == ERROR_SUCCESS || readError_ == ERROR_BADDB || readError_ == ERROR_FILE_NOT_FOUND) return;
    struct stat wal = {};
    bool noLog = ::stat((path_ + "-wal").c_str(), &wal) != 0;
    if (!noLog && !ReadOnlyFileSystem(path_)) return;
    std::string uri = "file:";
    for (char c : path_) uri += c == '%' ? "%25" : c == '?' ? "%3f" : c == '#' ? "%23" : std::string(1, c);
    if (TryReadOnly(uri + "?immutable=1") != ERROR_SUCCESS) return;
    readError_ = ERROR_SUCCESS;
    snapshot_ = !ReadOnlyFileSystem(path_);
    fileId_ = FileIdentity(st);
}

LONG Store::TryReadOnly(const std::string& name) {
    int rc = sqlite3_open_v2(name.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, FaultAwareVfsName());
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db_, 10000);
        rc = sqlite3_exec(db_, "SELECT count(*) FROM keys", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return ERROR_SUCCESS;
    }
    if (db_ != nullptr && sqlite3_errcode(db_) != SQLITE_OK) rc = sqlite3_errcode(db_);
    Close();
    // A file without the tables is a store not made yet: it reads as empty.
    if ((rc & 0xFF) == SQLITE_ERROR) return ERROR_FILE_NOT_FOUND;
    LONG e = FromSqlite(rc);
    return e == ERROR_SUCCESS || e == ERROR_REGISTRY_IO_FAILED ? ERROR_ACCESS_DENIED : e;
}

void Store::Refresh() {
    if (db_ == nullptr && !writable_) {
        // A store that could not be read when it was last tried is tried
        // again: one made since, or one whose log a writer had begun but
        // not yet its index (which this process may not make), is read as
        // soon as it can be. Where there is still no file this costs a
        // stat.
        opening_ = ++gOpenings;
        OpenReadOnly();
        return;
    }
    if (!snapshot_) return;
    struct stat st = {};
    struct stat wal = {};
    bool same = ::stat(path_.c_str(), &st) == 0 && FileIdentity(st) == fileId_ &&
                ::stat((path_ + "-wal").c_str(), &wal) != 0;
    if (same) return;
    Close();
    opening_ = ++gOpenings;
    OpenReadOnly();
}

Store::Stamp Store::ChangeStamp() {
    Stamp s;
    s.opening = opening_;
    if (db_ == nullptr) return s;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &s.dataVersion);
    s.changes = sqlite3_total_changes64(db_);
    return s;
}

LONG Store::LastError() const {
    if (db_ == nullptr) return readError_;
    LONG e = FromSqlite(sqlite3_errcode(db_));
    return e == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : e;
}

bool Store::Setup() {
    sqlite3_busy_timeout(db_, 10000);
    // The log and its index stay in place when the last writer closes
    // (emptied, not deleted), so that a process that may not make files in
    // the store's folder can still read the store through them.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // WAL: readers never wait for the writer; NORMAL: a commit is safe from
    // a crash of the process at once and reaches the disk at the next
    // checkpoint, which RegFlushKey forces (the registry's own lazy flush).
    // The size limit makes the last writer's close empty the log.
    if (ExecWaiting(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=4194304;") !=
        SQLITE_OK)
        return false;
    if (Begin() != ERROR_SUCCESS) return false;
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Rollback();
        return false;
    }
    for (const RootDef& root : RootsOf(kind_)) {
        sqlite3_stmt* ins = Stmt("INSERT OR IGNORE INTO keys(parent, name, fold) VALUES(?, ?, ?)");
        if (ins == nullptr) {
            Rollback();
            return false;
        }
        auto insert = [&](int64_t parent, const char* name) -> std::optional<int64_t> {
            sqlite3_reset(ins);
            sqlite3_bind_int64(ins, 1, parent);
            sqlite3_bind_text(ins, 2, name, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 3, Fold(name).c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(ins) != SQLITE_DONE) return std::nullopt;
            int64_t id = 0;
            if (Child(parent, name, &id) != ERROR_SUCCESS) return std::nullopt;
            return id;
        };
        auto rootId = insert(0, root.name);
        if (!rootId) {
            Rollback();
            return false;
        }
        for (const auto& path : root.paths) {
            std::optional<int64_t> id = rootId;
            for (const char* part : path)
                if (id) id = insert(*id, part);
            if (!id) {
                Rollback();
                return false;
            }
        }
    }
    return Commit() == ERROR_SUCCESS;
}

sqlite3_stmt* Store::Stmt(const char* sql) {
    auto it = stmts_.find(sql);
    if (it == stmts_.end()) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) return nullptr;
        it = stmts_.emplace(sql, st).first;
    }
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
}

LONG Store::Root(std::string_view rootName, int64_t* id) { return Child(0, rootName, id); }

LONG Store::Child(int64_t parent, std::string_view name, int64_t* id) {
    sqlite3_stmt* st = Stmt("SELECT id FROM keys WHERE parent = ? AND fold = ?");
    if (st == nullptr) return LastError();
    std::string fold = Fold(name);
    sqlite3_bind_int64(st, 1, parent);
    sqlite3_bind_text(st, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) *id = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    return rc == SQLITE_ROW ? ERROR_SUCCESS : rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : FromSqlite(rc);
}

LONG Store::KeyExists(int64_t id) {
    sqlite3_stmt* st = Stmt("SELECT 1 FROM keys WHERE id = ?");
    if (st == nullptr) return LastError();
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_ROW ? ERROR_SUCCESS : rc == SQLITE_DONE ? ERROR_KEY_DELETED : FromSqlite(rc);
}

LONG Store::Begin() { return FromSqlite(ExecWaiting(db_, "BEGIN IMMEDIATE")); }

LONG Store::Commit() {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Rollback();
    return FromSqlite(rc);
}

void Store::Rollback() {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Store& GetStore(StoreKind kind) {
    std::lock_guard lock(gStoresMutex);
    auto& slot = gStores[static_cast<int>(kind)];
    if (!slot) slot = std::make_unique<Store>(kind);
    return *slot;
}

void CloseStores() {
    std::lock_guard lock(gStoresMutex);
    gStores[0].reset();
    gStores[1].reset();
}

}  // namespace os::reg
