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

#include "platform/os/sysinfo.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace os {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// One line of the file as it stands, and what it is.
struct Line {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string text;   // without its line end
    std::string end;    // "\r\n", "\n" or "" (the last line)
    std::string name;   // section or key name
    std::string value;  // a key's value, blanks removed
};

struct Profile {
    bool bom = false;
    std::vector<Line> lines;
    std::string newline = "\r\n";  // for added lines: the file's own first line end
};

Profile Parse(std::string_view data) {
    Profile p;
    if (data.substr(0, 3) == kBom) {
        p.bom = true;
        data.remove_prefix(3);
    }
    bool sawEnd = false;
    while (!data.empty()) {
        Line l;
        size_t nl = data.find('\n');
        std::string_view raw = nl == std::string_view::npos ? data : data.substr(0, nl);
        data.remove_prefix(nl == std::string_view::npos ? data.size() : nl + 1);
        if (nl != std::string_view::npos) {
            bool cr = !raw.empty() && raw.back() == '\r';
            if (cr) raw.remove_suffix(1);
            l.end = cr ? "\r\n" : "\n";
            if (!sawEnd) p.newline = l.end;
            sawEnd = true;
        }
        l.text = std::string(raw);
        std::string_view t = rt::AllTrimmedWhite(raw);
        if (!t.empty() && t.front() == '[') {
            size_t close = t.find(']');
            l.kind = Line::kSection;
            l.name = std::string(
                rt::AllTrimmedWhite(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
        } else if (!t.empty() && t.front() != ';') {
            size_t eq = t.find('=');
            l.kind = Line::kKey;
            l.name = std::string(rt::AllTrimmedWhite(t.substr(0, eq)));
            if (eq != std::string_view::npos) l.value = std::string(rt::AllTrimmedWhite(t.substr(eq + 1)));
        }
        p.lines.push_back(std::move(l));
    }
    return p;
}

std::string Serialise(const Profile& p) {
    std::string out = p.bom ? std::string(kBom) : std::string();
    for (const Line& l : p.lines) out += l.text + l.end;
    return out;
}

// The first section of that name: [header index, end index).
std::optional<std::pair<size_t, size_t>> FindSection(const Profile& p, std::string_view name) {
    for (size_t i = 0; i < p.lines.size(); ++i) {
        if (p.lines[i].kind != Line::kSection || !SameName(p.lines[i].name, name)) continue;
        size_t end = i + 1;
        while (end < p.lines.size() && p.lines[end].kind != Line::kSection) ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const Profile& p, std::pair<size_t, size_t> sec, std::string_view key) {
    for (size_t i = sec.first + 1; i < sec.second; ++i)
        if (p.lines[i].kind == Line::kKey && SameName(p.lines[i].name, key)) return i;
    return std::nullopt;
}

// The file's bytes; nullopt with *err set when it cannot be read whole.
std::optional<std::string> ReadAll(const std::string& path, int* err) {
    std::string data;
    if ((*err = rt::ReadFileAt(path, &data)) != 0) return std::nullopt;
    return data;
}

// Parsed files, reused while the file on disk is the same one (same inode,
// size and change times): every write renames a new file into place.
struct CachedProfile {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::shared_ptr<const Profile> profile;
};
std::mutex gCacheMutex;
std::map<std::string, CachedProfile> gCache;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::shared_ptr<const Profile> Load(const std::string& path) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0) return std::make_shared<Profile>();
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
    auto profile = std::make_shared<const Profile>(Parse(data ? *data : std::string()));
    std::lock_guard lock(gCacheMutex);
    if (gCache.size() > 64) gCache.clear();
    gCache[path] = CachedProfile{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, profile};
    return profile;
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

bool HasAny(const char* s, const char* chars) { return s != nullptr && std::strpbrk(s, chars) != nullptr; }

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
    const Profile& p = *loaded;
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
                if (p.lines[i].kind == Line::kKey && !p.lines[i].name.empty()) AddUnique(names, p.lines[i].name);
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
    if (section == nullptr || fileName == nullptr || *fileName == '\0' || HasAny(section, "]\r\n") ||
        HasAny(key, "=\r\n") ||
        (key != nullptr && (rt::AllTrimmedWhite(key).empty() || rt::AllTrimmedWhite(key).front() == '[' ||
                            rt::AllTrimmedWhite(key).front() == ';')) ||
        HasAny(value, "\r\n")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    std::string path = ProfileFilePath(fileName);
    std::string dir = path.substr(0, std::max<size_t>(path.rfind('/'), 1));
    struct stat st = {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
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
    Profile p = Parse(data ? *data : std::string());
    auto sec = FindSection(p, section);
    bool changed = true;
    if (key == nullptr) {
        // Every section of that name goes, with its lines.
        changed = false;
        while (auto s = FindSection(p, section)) {
            p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(s->first),
                          p.lines.begin() + static_cast<std::ptrdiff_t>(s->second));
            changed = true;
        }
    } else if (value == nullptr) {
        changed = false;
        while (sec) {
            auto k = FindKey(p, *sec, key);
            if (!k) break;
            p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(*k));
            --sec->second;
            changed = true;
        }
    } else {
        auto addLine = [&](size_t at, std::string text) {
            // The line before a new one gets the line end it lacked.
            if (at > 0 && p.lines[at - 1].end.empty()) p.lines[at - 1].end = p.newline;
            Line l;
            l.kind = Line::kKey;
            l.text = std::move(text);
            l.end = p.newline;
            p.lines.insert(p.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
        };
        std::string k = std::string(rt::AllTrimmedWhite(key));
        if (!sec) {
            addLine(p.lines.size(), "[" + std::string(section) + "]");
            p.lines.back().kind = Line::kSection;
            addLine(p.lines.size(), k + "=" + value);
        } else if (auto found = FindKey(p, *sec, k)) {
            Line& l = p.lines[*found];
            l.text = l.name + "=" + value;
            l.value = value;
        } else {
            size_t at = sec->first + 1;
            for (size_t i = sec->first + 1; i < sec->second; ++i)
                if (p.lines[i].kind == Line::kKey) at = i + 1;
            addLine(at, k + "=" + value);
        }
    }
    if (!changed && data) return TRUE_;
    // Written through a link to the file it names; a read-only file is
    // refused (docs/runtime-files.md).
    if (rt::ReplaceResult r = rt::AtomicReplace(path, Serialise(p)); !r.Ok()) {
        SetLastError(static_cast<DWORD>(rt::OsErrorFromErrno(r.err, path)));
        return FALSE_;
    }
    return TRUE_;
}

}  // namespace os
