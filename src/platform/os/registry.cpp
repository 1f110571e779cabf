#include "platform/os/registry.h"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "platform/os/regstore.h"

namespace os {
namespace {

using reg::Store;
using reg::StoreKind;

// What a handle stands for: a predefined root, or a key opened in a store.
struct KeyRef {
    StoreKind store = StoreKind::kMachine;
    int64_t id = 0;  // 0 for a predefined root (resolved at each use)
    HKEY root = 0;   // the predefined root, for id 0
    REGSAM access = KEY_ALL_ACCESS;
};

std::mutex gHandlesMutex;
std::unordered_map<HKEY, KeyRef> gHandles;
HKEY gNextHandle = 0x1000;

bool IsPredefined(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS ||
           key == HKEY_CURRENT_CONFIG;
}

LONG LookupHandle(HKEY key, KeyRef* ref) {
    if (IsPredefined(key)) {
        ref->store = key == HKEY_CURRENT_USER ? StoreKind::kUser : StoreKind::kMachine;
        ref->id = 0;
        ref->root = key;
        ref->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(gHandlesMutex);
    auto it = gHandles.find(key);
    if (it == gHandles.end()) return ERROR_INVALID_HANDLE;
    *ref = it->second;
    return ERROR_SUCCESS;
}

HKEY NewHandle(const KeyRef& ref) {
    std::lock_guard lock(gHandlesMutex);
    HKEY h = gNextHandle;
    gNextHandle += 4;
    gHandles[h] = ref;
    return h;
}

// The row a predefined root stands for in its store: 0,
// ERROR_FILE_NOT_FOUND, or the store's failure.
LONG RootId(Store& s, HKEY root, int64_t* id) {
    auto walk = [&](const char* rootName, std::initializer_list<const char*> path) {
        LONG e = s.Root(rootName, id);
        for (const char* part : path)
            if (e == ERROR_SUCCESS) e = s.Child(*id, part, id);
        return e;
    };
    switch (root) {
        case HKEY_LOCAL_MACHINE: return walk("HKEY_LOCAL_MACHINE", {});
        case HKEY_CURRENT_USER: return walk("HKEY_CURRENT_USER", {});
        case HKEY_USERS: return walk("HKEY_USERS", {});
        case HKEY_CLASSES_ROOT: return walk("HKEY_LOCAL_MACHINE", {"SOFTWARE", "Classes"});
        case HKEY_CURRENT_CONFIG:
            return walk("HKEY_LOCAL_MACHINE", {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"});
        default: return ERROR_FILE_NOT_FOUND;
    }
}

// The key row a handle names now: ERROR_FILE_NOT_FOUND for a root its store
// lacks, ERROR_KEY_DELETED for an opened key deleted since, the store's
// failure (ERROR_BADDB for a damaged one) where it cannot be read.
LONG KeyId(Store& s, const KeyRef& ref, int64_t* id) {
    if (!s.Open()) return s.ReadError();
    if (ref.id == 0) return RootId(s, ref.root, id);
    if (LONG e = s.KeyExists(ref.id)) return e;
    *id = ref.id;
    return ERROR_SUCCESS;
}

// Splits a subkey path into its names. A path that starts with a backslash
// or holds an empty name is refused; one trailing backslash is allowed.
LONG SplitPath(const char* subKey, std::vector<std::string>* parts) {
    parts->clear();
    if (subKey == nullptr || *subKey == '\0') return ERROR_SUCCESS;
    std::string_view path(subKey);
    if (path.front() == '\\') return ERROR_BAD_PATHNAME;
    if (path.back() == '\\') path.remove_suffix(1);
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string_view::npos) j = path.size();
        if (j == i) return ERROR_BAD_PATHNAME;
        if (j - i > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        parts->emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    return ERROR_SUCCESS;
}

// The handle and path of a call that names a subkey.
LONG Prepare(HKEY key, const char* subKey, KeyRef* ref, std::vector<std::string>* parts) {
    if (LONG e = LookupHandle(key, ref)) return e;
    return SplitPath(subKey, parts);
}

bool Allows(const KeyRef& ref, REGSAM needed) { return (ref.access & needed) == needed; }

std::string ValueFold(const char* name) { return reg::Fold(name == nullptr ? "" : name); }

// Opens the handle's store and locks it for one operation.
struct Locked {
    Store& store;
    std::lock_guard<std::mutex> lock;
    explicit Locked(const KeyRef& ref) : store(reg::GetStore(ref.store)), lock(store.Mutex()) { store.Refresh(); }
};

// A read through a handle: the handle looked up, its access checked, the
// store locked and the key's row found; error says why not. An enumeration
// leaves an opened key's row unconfirmed (one query less per item) and
// tells a deleted key from the end of the list only when it finds no row.
struct ReadKey {
    KeyRef ref;
    Store* store = nullptr;
    std::unique_lock<std::mutex> lock;
    int64_t id = 0;
    LONG error = ERROR_SUCCESS;
    ReadKey(HKEY key, REGSAM needed, bool confirm = true) {
        if ((error = LookupHandle(key, &ref)) != ERROR_SUCCESS) return;
        if (!Allows(ref, needed)) {
            error = ERROR_ACCESS_DENIED;
            return;
        }
        store = &reg::GetStore(ref.store);
        lock = std::unique_lock<std::mutex>(store->Mutex());
        store->Refresh();
        if (!confirm && ref.id != 0 && store->Open()) id = ref.id;
        else error = KeyId(*store, ref, &id);
    }
};

LONG Touch(Store& s, int64_t id) {
    sqlite3_stmt* st = s.Stmt("UPDATE keys SET written = ? WHERE id = ?");
    if (st == nullptr) return s.LastError();
    sqlite3_bind_int64(st, 1, static_cast<int64_t>(std::time(nullptr)));
    sqlite3_bind_int64(st, 2, id);
    int rc = sqlite3_step(st);
    return rc == SQLITE_DONE ? ERROR_SUCCESS : reg::FromSqlite(rc);
}

// Follows the path's names from *id; ERROR_FILE_NOT_FOUND at a missing one.
LONG Walk(Store& s, const std::vector<std::string>& parts, int64_t* id) {
    for (const std::string& part : parts)
        if (LONG e = s.Child(*id, part, id)) return e;
    return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of *length characters (terminator
// included); ERROR_MORE_DATA when it does not fit.
LONG CopyName(const std::string& name, char* buffer, DWORD* length) {
    if (buffer == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *length) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

std::string ColumnText(sqlite3_stmt* st, int col) {
    const auto* p = sqlite3_column_text(st, col);
    return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

// Copies value data into the caller's buffer, or reports the size needed.
LONG CopyData(sqlite3_stmt* st, int col, BYTE* data, DWORD* size) {
    DWORD len = static_cast<DWORD>(sqlite3_column_bytes(st, col));
    if (data == nullptr) {
        if (size != nullptr) *size = len;
        return ERROR_SUCCESS;
    }
    if (*size < len) {
        *size = len;
        return ERROR_MORE_DATA;
    }
    if (len > 0) std::memcpy(data, sqlite3_column_blob(st, col), len);
    *size = len;
    return ERROR_SUCCESS;
}

// Where the last enumeration through a handle stood, so that the next index
// continues from that row (a range seek on the index) instead of counting
// every row before it. It holds while the key and the store are unchanged.
struct EnumCursor {
    int64_t key = -1;
    Store::Stamp stamp;
    DWORD index = 0;
    std::string fold;   // subkeys: the folded name at index
    int64_t rowid = 0;  // values: the row at index
};
struct HandleCursors {
    EnumCursor keys, values;
};
std::unordered_map<HKEY, HandleCursors> gCursors;  // under gHandlesMutex

// Runs the enumeration query for item `index` below key `id` (subkeys in
// folded-name order, or values in row order) and leaves the statement on
// its row: ERROR_SUCCESS, ERROR_NO_MORE_ITEMS or the store's failure. The
// row is the one an OFFSET from the start would give: the cursor is used
// only while nothing changed since it was taken, and the query is run again
// from the start when another process changed the store meanwhile.
LONG EnumStep(Store& s, HKEY handle, bool values, int64_t id, DWORD index, sqlite3_stmt** out) {
    const char* sql = values ? "SELECT name, type, data, rowid FROM vals WHERE key = ?1 AND rowid >= ?2"
                               " ORDER BY rowid LIMIT 1 OFFSET ?3"
                             : "SELECT name, class, written, fold FROM keys WHERE parent = ?1 AND fold >= ?2"
                               " ORDER BY fold LIMIT 1 OFFSET ?3";
    EnumCursor c;
    {
        std::lock_guard lock(gHandlesMutex);
        auto it = gCursors.find(handle);
        if (it != gCursors.end()) c = values ? it->second.values : it->second.keys;
    }
    bool resume = c.key == id && c.index <= index && c.stamp == s.ChangeStamp();
    for (;;) {
        sqlite3_stmt* st = s.Stmt(sql);
        if (st == nullptr) return s.LastError();
        sqlite3_bind_int64(st, 1, id);
        if (values) sqlite3_bind_int64(st, 2, resume ? c.rowid : INT64_MIN);
        else sqlite3_bind_text(st, 2, resume ? c.fold.c_str() : "", -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 3, resume ? index - c.index : index);
        int rc = sqlite3_step(st);
        Store::Stamp after = s.ChangeStamp();
        if (resume && !(after == c.stamp)) {
            sqlite3_reset(st);
            resume = false;
            continue;
        }
        if (rc != SQLITE_ROW) {
            sqlite3_reset(st);
            if (rc != SQLITE_DONE) return reg::FromSqlite(rc);
            LONG e = s.KeyExists(id);
            return e == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : e;
        }
        EnumCursor next{id, after, index, values ? std::string() : ColumnText(st, 3),
                        values ? sqlite3_column_int64(st, 3) : 0};
        {
            std::lock_guard lock(gHandlesMutex);
            (values ? gCursors[handle].values : gCursors[handle].keys) = std::move(next);
        }
        *out = st;
        return ERROR_SUCCESS;
    }
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::vector<std::string> parts;
    if (LONG e = Prepare(key, subKey, &ref, &parts)) return e;
    Locked l(ref);
    int64_t id = 0;
    if (LONG e = KeyId(l.store, ref, &id)) return e;
    if (LONG e = Walk(l.store, parts, &id)) return e;
    *result = NewHandle(KeyRef{ref.store, id, 0, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)});
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD /*reserved*/, const char* keyClass, DWORD /*options*/,
                     REGSAM access, const void* /*security*/, HKEY* result, DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::vector<std::string> parts;
    if (LONG e = Prepare(key, subKey, &ref, &parts)) return e;
    Locked l(ref);
    Store& s = l.store;
    if (!s.Open()) return s.WriteError();
    // Follows the path as far as it exists; the store's failure, if any.
    auto walk = [&](int64_t* id, size_t* found) -> LONG {
        *found = 0;
        while (*found < parts.size()) {
            int64_t child = 0;
            LONG e = s.Child(*id, parts[*found], &child);
            if (e == ERROR_FILE_NOT_FOUND) break;
            if (e != ERROR_SUCCESS) return e;
            *id = child;
            ++*found;
        }
        return ERROR_SUCCESS;
    };
    int64_t id = 0;
    if (LONG e = KeyId(s, ref, &id)) return e == ERROR_FILE_NOT_FOUND ? s.WriteError() : e;
    size_t found = 0;
    if (LONG e = walk(&id, &found)) return e;
    DWORD how = REG_OPENED_EXISTING_KEY;
    if (found < parts.size()) {
        if (!s.Writable()) return s.WriteError();
        if (!Allows(ref, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        if (LONG e = s.Begin()) return e;
        // Another process may have made part of the path meanwhile.
        if (LONG e = KeyId(s, ref, &id)) {
            s.Rollback();
            return e;
        }
        if (LONG e = walk(&id, &found)) {
            s.Rollback();
            return e;
        }
        for (; found < parts.size(); ++found) {
            sqlite3_stmt* st = s.Stmt("INSERT INTO keys(parent, name, fold, class, written) VALUES(?, ?, ?, ?, ?)");
            if (st == nullptr) {
                LONG e = s.LastError();
                s.Rollback();
                return e;
            }
            std::string fold = reg::Fold(parts[found]);
            sqlite3_bind_int64(st, 1, id);
            sqlite3_bind_text(st, 2, parts[found].c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 3, fold.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 4, keyClass == nullptr ? "" : keyClass, -1, SQLITE_STATIC);
            sqlite3_bind_int64(st, 5, static_cast<int64_t>(std::time(nullptr)));
            if (int rc = sqlite3_step(st); rc != SQLITE_DONE) {
                s.Rollback();
                return reg::FromSqlite(rc);
            }
            id = sqlite3_last_insert_rowid(s.Db());
            how = REG_CREATED_NEW_KEY;
        }
        if (LONG e = s.Commit()) return e;
    }
    if (disposition != nullptr) *disposition = how;
    *result = NewHandle(KeyRef{ref.store, id, 0, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)});
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    std::lock_guard lock(gHandlesMutex);
    gCursors.erase(key);
    return gHandles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data, DWORD* size) {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    ReadKey l(key, KEY_QUERY_VALUE);
    if (l.error != ERROR_SUCCESS) return l.error;
    int64_t id = l.id;
    sqlite3_stmt* st = l.store->Stmt("SELECT type, data FROM vals WHERE key = ? AND fold = ?");
    if (st == nullptr) return l.store->LastError();
    std::string fold = ValueFold(valueName);
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_text(st, 2, fold.c_str(), -1, SQLITE_STATIC);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(st);
        return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : reg::FromSqlite(rc);
    }
    if (type != nullptr) *type = static_cast<DWORD>(sqlite3_column_int64(st, 0));
    LONG e = CopyData(st, 1, data, size);
    sqlite3_reset(st);
    return e;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size) {
    if (data == nullptr && size > 0) return ERROR_INVALID_PARAMETER;
    if (valueName != nullptr && std::strlen(valueName) > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LONG e = LookupHandle(key, &ref)) return e;
    if (!Allows(ref, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Locked l(ref);
    Store& s = l.store;
    if (!s.Writable()) return s.WriteError();
    if (LONG e = s.Begin()) return e;
    int64_t id = 0;
    if (LONG e = KeyId(s, ref, &id)) {
        s.Rollback();
        return e;
    }
    sqlite3_stmt* st = s.Stmt(
        "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
        " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (st == nullptr) {
        LONG e = s.LastError();
        s.Rollback();
        return e;
    }
    std::string fold = ValueFold(valueName);
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_text(st, 2, valueName == nullptr ? "" : valueName, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, fold.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(st, 4, type);
    sqlite3_bind_blob(st, 5, size > 0 ? data : reinterpret_cast<const BYTE*>(""), static_cast<int>(size),
                      SQLITE_STATIC);
    if (int rc = sqlite3_step(st); rc != SQLITE_DONE) {
        s.Rollback();
        return reg::FromSqlite(rc);
    }
    if (LONG e = Touch(s, id)) {
        s.Rollback();
        return e;
    }
    return s.Commit();
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* /*reserved*/, char* keyClass,
                   DWORD* classLength, FILETIME* lastWrite) {
    ReadKey l(key, KEY_ENUMERATE_SUB_KEYS, false);
    if (l.error != ERROR_SUCCESS) return l.error;
    sqlite3_stmt* st = nullptr;
    if (LONG e = EnumStep(*l.store, key, false, l.id, index, &st)) return e;
    std::string keyName = ColumnText(st, 0);
    std::string cls = ColumnText(st, 1);
    int64_t written = sqlite3_column_int64(st, 2);
    sqlite3_reset(st);
    if (LONG e = CopyName(keyName, name, nameLength)) return e;
    if (keyClass != nullptr && classLength != nullptr)
        if (LONG e = CopyName(cls, keyClass, classLength)) return e;
    if (lastWrite != nullptr) {
        uint64_t ticks = (static_cast<uint64_t>(written) + 11644473600ULL) * 10000000ULL;
        lastWrite->dwLowDateTime = static_cast<DWORD>(ticks);
        lastWrite->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    ReadKey l(key, KEY_QUERY_VALUE, false);
    if (l.error != ERROR_SUCCESS) return l.error;
    sqlite3_stmt* st = nullptr;
    if (LONG e = EnumStep(*l.store, key, true, l.id, index, &st)) return e;
    LONG e = CopyName(ColumnText(st, 0), name, nameLength);
    if (e == ERROR_SUCCESS) {
        if (type != nullptr) *type = static_cast<DWORD>(sqlite3_column_int64(st, 1));
        e = CopyData(st, 2, data, dataSize);
    }
    sqlite3_reset(st);
    return e;
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    KeyRef ref;
    if (LONG e = LookupHandle(key, &ref)) return e;
    if (!Allows(ref, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Locked l(ref);
    Store& s = l.store;
    int64_t id = 0;
    if (LONG e = KeyId(s, ref, &id)) return e;
    if (!s.Writable()) return s.WriteError();
    sqlite3_stmt* st = s.Stmt("DELETE FROM vals WHERE key = ? AND fold = ?");
    if (st == nullptr) return s.LastError();
    std::string fold = ValueFold(valueName);
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_text(st, 2, fold.c_str(), -1, SQLITE_STATIC);
    if (int rc = sqlite3_step(st); rc != SQLITE_DONE) return reg::FromSqlite(rc);
    return sqlite3_changes(s.Db()) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::vector<std::string> parts;
    if (LONG e = Prepare(key, subKey, &ref, &parts)) return e;
    Locked l(ref);
    Store& s = l.store;
    int64_t id = 0;
    if (LONG e = KeyId(s, ref, &id)) return e;
    if (LONG e = Walk(s, parts, &id)) return e;
    // Roots, and the keys that HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG
    // stand for, stay.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG})
        if (int64_t rootId = 0; (root == HKEY_CURRENT_USER) == (ref.store == StoreKind::kUser) &&
                                RootId(s, root, &rootId) == ERROR_SUCCESS && rootId == id)
            return ERROR_ACCESS_DENIED;
    if (!s.Writable()) return s.WriteError();
    if (LONG e = s.Begin()) return e;
    sqlite3_stmt* st = s.Stmt("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    if (st == nullptr) {
        LONG e = s.LastError();
        s.Rollback();
        return e;
    }
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        s.Rollback();
        return rc == SQLITE_ROW ? ERROR_ACCESS_DENIED : reg::FromSqlite(rc);
    }
    for (const char* sql : {"DELETE FROM vals WHERE key = ?", "DELETE FROM keys WHERE id = ?"}) {
        st = s.Stmt(sql);
        if (st == nullptr) {
            LONG e = s.LastError();
            s.Rollback();
            return e;
        }
        sqlite3_bind_int64(st, 1, id);
        if (rc = sqlite3_step(st); rc != SQLITE_DONE) {
            s.Rollback();
            return reg::FromSqlite(rc);
        }
    }
    return s.Commit();
}

LONG RegFlushKey(HKEY key) {
    KeyRef ref;
    if (LONG e = LookupHandle(key, &ref)) return e;
    Locked l(ref);
    if (!l.store.Open() || !l.store.Writable()) return ERROR_SUCCESS;
    int rc = sqlite3_wal_checkpoint_v2(l.store.Db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return rc == SQLITE_BUSY ? ERROR_SUCCESS : reg::FromSqlite(rc);
}

std::string RegistryMachineStorePath() { return reg::StorePath(StoreKind::kMachine); }
std::string RegistryUserStorePath() { return reg::StorePath(StoreKind::kUser); }
void RegCloseStores() { reg::CloseStores(); }

}  // namespace os
