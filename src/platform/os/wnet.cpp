#include "platform/os/wnet.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os/registry.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

extern char** environ;

namespace os {
namespace {

constexpr DWORD ERROR_OPEN_FILES = 2401;

std::mutex gMutex;
std::map<char, std::optional<std::string>> gPreviousRoots;  // drive map entries before a connection

std::string NetDir() {
    const char* env = std::getenv("QZ_NETDRIVE_DIR");
    if (env != nullptr && *env == '/') return env;
    return "/run/qzscan/net/" + std::to_string(::getuid());
}

std::string MountPoint(char letter) { return NetDir() + "/" + std::string(1, letter); }

void MakeDirs(const std::string& dir) {
    for (size_t i = 1; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == '/') ::mkdir(dir.substr(0, i).c_str(), 0700);
}

bool IsMounted(const std::string& dir) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string id, parent, dev, root, point;
        f >> id >> parent >> dev >> root >> point;
        if (point == dir) return true;
    }
    return false;
}

// "\\server\share[\...]" -> "//server/share[/...]"; nullopt when malformed.
std::optional<std::string> UncToCifs(const char* remote) {
    if (remote == nullptr) return std::nullopt;
    std::string r = remote;
    if (r.size() < 5 || r[0] != '\\' || r[1] != '\\') return std::nullopt;
    size_t sep = r.find('\\', 2);
    if (sep == std::string::npos || sep == 2 || sep + 1 >= r.size()) return std::nullopt;
    for (char& c : r)
        if (c == '\\') c = '/';
    while (r.size() > 2 && r.back() == '/') r.pop_back();
    return r;
}

std::string Remembered(char letter) {
    HKEY key = 0;
    std::string path = std::string("Network\\") + letter;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    const LONG read = RegQueryValueExA(key, "RemotePath", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? std::string(buf) : std::string();
}

// Stores the connection in the profile; the first registry error, or
// ERROR_SUCCESS once it is stored and flushed.
LONG Remember(char letter, const std::string& remote, const std::string& user) {
    HKEY key = 0;
    std::string path = std::string("Network\\") + letter;
    if (LONG r =
            RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        r != ERROR_SUCCESS)
        return r;
    LONG r = ERROR_SUCCESS;
    auto sz = [&](const char* name, const std::string& v) {
        if (r == ERROR_SUCCESS)
            r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                               static_cast<DWORD>(v.size() + 1));
    };
    auto dword = [&](const char* name, uint32_t v) {
        if (r == ERROR_SUCCESS) r = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    };
    sz("RemotePath", remote);
    sz("UserName", user);
    sz("ProviderName", "Microsoft Windows Network");
    dword("ProviderType", 0x20000);
    dword("ConnectionType", 1);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? RegFlushKey(HKEY_CURRENT_USER) : r;
}

// Drops the connection from the profile; one that is not there is gone
// already.
LONG Forget(char letter) {
    std::string path = std::string("Network\\") + letter;
    const LONG r = RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

// Gives a drive letter back the root it had before a connection took it.
void RestoreRoot(char letter) {
    if (auto it = gPreviousRoots.find(letter); it != gPreviousRoots.end()) {
        rt::SetDriveRoot(letter, it->second);
        gPreviousRoots.erase(it);
    }
}

DWORD FromMountError(int code) {
    switch (code) {
        case 0: return ERROR_SUCCESS;
        case EACCES:
        case EKEYREJECTED: return ERROR_LOGON_FAILURE;
        case ENOENT:
        case ENXIO: return ERROR_BAD_NET_NAME;
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case ECONNREFUSED:
        case ETIMEDOUT:
        case ENETUNREACH: return ERROR_BAD_NETPATH;
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENODEV:
        case EOPNOTSUPP: return ERROR_NO_NETWORK;
        default: return ERROR_UNEXP_NET_ERR;
    }
}

// Runs mount.cifs; 0 or the Win32 code of its failure.
DWORD MountCifs(const std::string& unc, const std::string& point, const std::string& user,
                const std::string& password) {
    const char* tool = ::access("/sbin/mount.cifs", X_OK) == 0       ? "/sbin/mount.cifs"
                       : ::access("/usr/sbin/mount.cifs", X_OK) == 0 ? "/usr/sbin/mount.cifs"
                                                                     : nullptr;
    if (tool == nullptr) return ERROR_NO_NETWORK;
    // The credentials: a file in a folder only this process may enter.
    char dirTmpl[] = "/tmp/qzcred_XXXXXX";
    if (::mkdtemp(dirTmpl) == nullptr) return ERROR_ACCESS_DENIED;
    std::string credFile = std::string(dirTmpl) + "/credentials";
    int fd = ::open(credFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        ::rmdir(dirTmpl);
        return ERROR_ACCESS_DENIED;
    }
    std::string domain, name = user;
    if (size_t bs = user.find('\\'); bs != std::string::npos) {
        domain = user.substr(0, bs);
        name = user.substr(bs + 1);
    }
    std::string creds = "username=" + name + "\npassword=" + password + "\n";
    if (!domain.empty()) creds += "domain=" + domain + "\n";
    bool written = rt::WriteAll(fd, creds).Ok();
    ::close(fd);
    std::string options = "credentials=" + credFile + ",uid=" + std::to_string(::getuid()) +
                          ",gid=" + std::to_string(::getgid());
    if (const char* extra = std::getenv("QZ_CIFS_OPTIONS"); extra != nullptr && *extra != '\0')
        options += std::string(",") + extra;
    std::vector<std::string> args{tool, unc, point, "-o", options};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    DWORD result = ERROR_UNEXP_NET_ERR;
    if (written && ::pipe2(pipeFds, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        pid_t pid = 0;
        int err = ::posix_spawn(&pid, tool, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        std::string output;
        char buf[512];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) output.append(buf, static_cast<size_t>(n));
        ::close(pipeFds[0]);
        int status = 0;
        if (err == 0 && ::waitpid(pid, &status, 0) == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                result = ERROR_SUCCESS;
            } else {
                // "mount error(13): Permission denied"
                size_t at = output.find("mount error(");
                result = at == std::string::npos ? static_cast<DWORD>(ERROR_UNEXP_NET_ERR)
                                                 : FromMountError(std::atoi(output.c_str() + at + 12));
            }
        }
    }
    ::unlink(credFile.c_str());
    ::rmdir(dirTmpl);
    return result;
}

}  // namespace

DWORD WNetAddConnection2A(const NETRESOURCEA* resource, const char* password, const char* userName, DWORD flags) {
    if (resource == nullptr || (resource->dwType != RESOURCETYPE_DISK && resource->dwType != RESOURCETYPE_ANY))
        return ERROR_INVALID_PARAMETER;
    auto unc = UncToCifs(resource->lpRemoteName);
    if (!unc) return ERROR_BAD_NET_NAME;
    const char* local = resource->lpLocalName;
    if (local == nullptr || std::strlen(local) != 2 || local[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(local[0])))
        return ERROR_BAD_DEVICE;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(local[0])));
    std::string remote = resource->lpRemoteName;
    std::lock_guard lock(gMutex);
    std::string point = MountPoint(letter);
    std::string remembered = Remembered(letter);
    bool sameShare = !remembered.empty() && rt::Lower(remembered) == rt::Lower(remote);
    if (!remembered.empty() && !sameShare) return ERROR_ALREADY_ASSIGNED;
    if (IsMounted(point)) return sameShare ? ERROR_DEVICE_ALREADY_REMEMBERED : ERROR_ALREADY_ASSIGNED;
    MakeDirs(point);
    DWORD e = MountCifs(*unc, point, userName == nullptr ? "" : userName, password == nullptr ? "" : password);
    if (e != ERROR_SUCCESS) return e;
    if (!gPreviousRoots.count(letter)) gPreviousRoots[letter] = rt::DriveRoot(letter);
    rt::SetDriveRoot(letter, point);
    if (sameShare) return ERROR_DEVICE_ALREADY_REMEMBERED;
    if (flags & CONNECT_UPDATE_PROFILE) {
        if (LONG r = Remember(letter, remote, userName == nullptr ? "" : userName); r != ERROR_SUCCESS) {
            // A connection the profile was asked to keep but does not hold
            // would not come back: it is undone, and the registry's error
            // answers instead of a success.
            (void)Forget(letter);  // best effort: the error returned is the one that counts
            ::umount2(point.c_str(), 0);
            RestoreRoot(letter);
            return static_cast<DWORD>(r);
        }
    }
    return ERROR_SUCCESS;
}

DWORD WNetCancelConnection2A(const char* name, DWORD flags, BOOL force) {
    if (name == nullptr || std::strlen(name) != 2 || name[1] != ':') return ERROR_NOT_CONNECTED;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    std::lock_guard lock(gMutex);
    std::string point = MountPoint(letter);
    bool mounted = IsMounted(point);
    bool remembered = !Remembered(letter).empty();
    if (!mounted && !remembered) return ERROR_NOT_CONNECTED;
    if (mounted && ::umount2(point.c_str(), force ? MNT_FORCE : 0) != 0)
        return errno == EBUSY ? ERROR_OPEN_FILES : static_cast<DWORD>(ERROR_ACCESS_DENIED);
    RestoreRoot(letter);
    // A connection still in the profile would come back: that is reported.
    if (flags & CONNECT_UPDATE_PROFILE) return static_cast<DWORD>(Forget(letter));
    return ERROR_SUCCESS;
}

}  // namespace os
