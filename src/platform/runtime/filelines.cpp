// Line reading on a handle and the existence test with wildcards.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/runtime/fileimpl.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rt {

using namespace fileimpl;

namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchNoCase(std::string_view pat, std::string_view name) {
    if (pat == "*.*" || pat == "*") return true;
    // Iterative glob with one backtrack point for the last '*'.
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == '?' || Fold(pat[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pat.size() && pat[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

}  // namespace

std::string FGetS(int handle, size_t maxLen) {
    int fd = HandleFd(handle);
    if (fd < 0) return {};
    off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0) {
        FailErrno(errno);
        return {};
    }
    // Read until a line feed or enough bytes to decide: the longest line
    // plus its CR LF.
    const size_t want = maxLen > SIZE_MAX - 2 ? SIZE_MAX : maxLen + 2;
    std::string buf;
    size_t nl = std::string::npos;
    while (buf.size() < want && maxLen > 0) {
        size_t chunk = std::min<size_t>(want - buf.size(), 4096);
        size_t old = buf.size();
        buf.resize(old + chunk);
        IoResult r = ReadFull(fd, buf.data() + old, chunk);
        const size_t got = r.bytes;
        buf.resize(old + got);
        if (!r.Ok()) {
            Fail(TransferError(r.err));
            ::lseek(fd, start, SEEK_SET);
            return {};
        }
        nl = buf.find('\n', old);
        if (nl != std::string::npos || got < chunk) break;
    }
    std::string line;
    size_t consumed;
    if (nl != std::string::npos) {
        size_t end = nl > 0 && buf[nl - 1] == '\r' ? nl - 1 : nl;
        if (end <= maxLen) {
            line = buf.substr(0, end);
            consumed = nl + 1;
        } else {
            line = buf.substr(0, maxLen);
            consumed = maxLen;
        }
    } else {
        consumed = std::min(buf.size(), maxLen);
        line = buf.substr(0, consumed);
    }
    if (::lseek(fd, start + static_cast<off_t>(consumed), SEEK_SET) < 0) {
        FailErrno(errno);
        return {};
    }
    Ok();
    return line;
}

bool File(std::string_view path) {
    path = RTrimmed(path);
    size_t sep = path.find_last_of("\\/");
    std::string_view last = sep == std::string_view::npos ? path : path.substr(sep + 1);
    if (sep == std::string_view::npos && last.size() >= 2 && last[1] == ':') last.remove_prefix(2);
    if (!HasWildcard(last)) {
        std::string native = NativeOrFail(path, false);
        struct stat st = {};
        if (native.empty()) return false;
        if (::stat(native.c_str(), &st) != 0) {
            FailErrno(errno, native);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            Fail(kOsFileNotFound);
            return false;
        }
        Ok();
        return true;
    }
    // The directory part names where to look ("" the default directory).
    std::string dirPart(path.substr(0, path.size() - last.size()));
    std::string native;
    if (dirPart.empty()) {
        auto dd = GetDefaultDir();
        native = ResolvePath(dd && !dd->empty() ? *dd : std::string("."));
    } else {
        native = NativeOrFail(dirPart, false);
        if (native.empty()) return false;
    }
    DIR* d = ::opendir(native.c_str());
    if (d == nullptr) {
        Fail(errno == ENOENT || errno == ENOTDIR ? kOsPathNotFound : OsErrorFromErrno(errno));
        return false;
    }
    bool found = false;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == ".." || !MatchNoCase(last, n)) continue;
        struct stat st = {};
        std::string full = native + "/" + std::string(n);
        if (::stat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    if (found) Ok();
    else Fail(kOsFileNotFound);
    return found;
}

}  // namespace rt
