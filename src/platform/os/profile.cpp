#include "platform/os/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/os/profilefile.h"
#include "platform/os/sysinfo.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace os {
namespace {

using profile::File;
using profile::FindKey;
using profile::FindSection;
using profile::Line;
using profile::SameName;

// The file's bytes; nullopt with *err set when it cannot be read whole.
std::optional<std::string> ReadAll(const std::string& path, int* err) {
    std::string data;
    if ((*err = rt::ReadFileAt(path, &data)) != 0) return std::nullopt;
    return data;
}

// Parsed files, reused while the file on disk is the same one (same inode,
// size and change times): a write renames a new file into place, or
// rewrites it in place and so gives it new change times.
struct CachedProfile {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::shared_ptr<const File> profile;
};
std::mutex gCacheMutex;
std::map<std::string, CachedProfile> gCache;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::shared_ptr<const File> Load(const std::string& path) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0) return std::make_shared<File>();
    {
        std::lock_guard lock(gCacheMutex);
        auto it = gCache.find(path);
        if (it != gCache.end() && it->second.dev == st.st_dev && it->second.ino == st.st_ino &&
            it->second.size == st.st_size && SameTime(it->second.mtime, st.st_mtim) &&
            SameTime(it->second.ctime, st.st_ctim))
            return it->second.profile;
    }
    int err = 0;
    auto data = ReadAll(path, &err);
    auto parsed = std::make_shared<const File>(profile::Parse(data ? *data : std::string()));
    std::lock_guard lock(gCacheMutex);
    if (gCache.size() > 64) gCache.clear();
    gCache[path] = CachedProfile{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, parsed};
    return parsed;
}

std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Copies a name list (each name followed by NUL) by the Win32 rules.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    std::string list;
    for (const std::string& n : names) list += n + '\0';
    if (size < 2) {
        if (size == 1) buffer[0] = '\0';
        return 0;
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size() == 0 ? 0 : list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

DWORD CopyText(const std::string& text, char* buffer, DWORD size) {
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

void AddUnique(std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (SameName(n, name)) return;
    names.push_back(name);
}

// Holds an exclusive lock on the folder of a profile file for one
// read-modify-write; the lock goes with the descriptor.
class FolderLock {
public:
    explicit FolderLock(const std::string& dir) : fd_(rt::OpenFile(dir, O_RDONLY | O_DIRECTORY)) {
        // Without the lock the write still goes ahead: it replaces the file
        // whole all the same; only a change racing it could be lost.
        if (fd_) (void)rt::LockFile(fd_.Get(), LOCK_EX);
    }

private:
    rt::Fd fd_;
};

}  // namespace

std::string ProfileFilePath(const char* fileName) {
    std::string name = fileName == nullptr ? "" : fileName;
    if (!rt::HasDirectoryPart(name)) {
        char dir[260];
        GetWindowsDirectoryA(dir, sizeof dir);
        name = std::string(dir) + "\\" + name;
    }
    return rt::MapPath(name, true).path;
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName) {
    if (buffer == nullptr || size == 0) return 0;
    auto loaded = Load(ProfileFilePath(fileName));
    const File& p = *loaded;
    if (section == nullptr) {
        std::vector<std::string> names;
        for (const Line& l : p.lines)
            if (l.kind == Line::kSection) AddUnique(names, l.name);
        return CopyList(names, buffer, size);
    }
    auto sec = FindSection(p, section);
    if (key == nullptr) {
        std::vector<std::string> names;
        if (sec)
            for (size_t i = sec->first + 1; i < sec->second; ++i)
                if (p.lines[i].kind == Line::kKey && !p.lines[i].name.empty()) names.push_back(p.lines[i].name);
        return CopyList(names, buffer, size);
    }
    if (sec) {
        if (auto k = FindKey(p, *sec, key)) return CopyText(Unquote(p.lines[*k].value), buffer, size);
    }
    std::string def = defaultValue == nullptr ? "" : defaultValue;
    while (!def.empty() && def.back() == ' ') def.pop_back();
    return CopyText(def, buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* fileName) {
    char buf[64];
    constexpr const char* kMissing = "\x01missing";
    GetPrivateProfileStringA(section, key, kMissing, buf, sizeof buf, fileName);
    if (std::strcmp(buf, kMissing) == 0) return static_cast<UINT>(defaultValue);
    const char* s = buf;
    bool negative = false;
    if (*s == '-' || *s == '+') negative = *s++ == '-';
    uint32_t v = 0;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (s += 2; std::isxdigit(static_cast<unsigned char>(*s)); ++s)
            v = v * 16 +
                static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(*s)) ? *s - '0' : (*s | 0x20) - 'a' + 10);
    } else {
        for (; *s >= '0' && *s <= '9'; ++s) v = v * 10 + static_cast<uint32_t>(*s - '0');
    }
    return negative ? 0u - v : v;
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    if (section == nullptr && key == nullptr && value == nullptr) return TRUE_;  // nothing is cached
    auto opt = [](const char* s) { return s ? std::optional<std::string_view>(s) : std::nullopt; };
    if (section == nullptr || fileName == nullptr || *fileName == '\0' ||
        !profile::Writable(section, opt(key), opt(value))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    std::string path = ProfileFilePath(fileName);
    std::string dir = path.substr(0, std::max<size_t>(path.rfind('/'), 1));
    struct stat st = {};
    if (int rc = ::stat(dir.c_str(), &st); rc != 0 || !S_ISDIR(st.st_mode)) {
        bool missing = rc == 0 || errno == ENOENT || errno == ENOTDIR;
        // Nothing to delete where there is no folder: done, as on Windows.
        if (missing && value == nullptr) return TRUE_;
        SetLastError(missing ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND)
                             : static_cast<DWORD>(rt::OsErrorFromErrno(errno, path)));
        return FALSE_;
    }
    FolderLock lock(dir);
    int readErr = 0;
    auto data = ReadAll(path, &readErr);
    // A file that cannot be read whole is never rewritten from the part read.
    if (!data && readErr != ENOENT) {
        SetLastError(static_cast<DWORD>(rt::OsErrorFromErrno(readErr, path)));
        return FALSE_;
    }
    File p = profile::Parse(data ? *data : std::string());
    const bool changed = profile::Write(p, section, opt(key), opt(value));
    // A delete that finds nothing leaves the file alone, and makes none.
    if (!changed) return TRUE_;
    // Written through a link to the file it names; a read-only file is
    // refused (docs/runtime-files.md).
    if (rt::ReplaceResult r = rt::AtomicReplace(path, profile::Serialise(p)); !r.Ok()) {
        SetLastError(static_cast<DWORD>(rt::OsErrorFromErrno(r.err, path)));
        return FALSE_;
    }
    return TRUE_;
}

}  // namespace os
