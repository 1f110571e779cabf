#include "lib/system/logfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/os/module.h"
#include "platform/os/registry.h"
#include "platform/os/sysinfo.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/errordump.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"
#include "platform/runtime/version.h"

namespace lib {
namespace {

constexpr const char* kW3svcKey = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters";

// Position (1-based) of the last folder separator, 0 when none. Both "\\"
// and "/" separate: callers name logs in Windows form or natively.
size_t LastSeparator(const std::string& s) {
    size_t p = s.find_last_of("\\/");
    return p == std::string::npos ? 0 : p + 1;
}

// Position (1-based) of the dot that starts the extension of the last path
// component, 0 when that component has none: a dot in a folder's name
// (app.v2\lf, /tmp/tmp.x/lf) is not an extension.
size_t ExtensionDot(const std::string& s) {
    size_t p = s.rfind('.');
    return p == std::string::npos || p + 1 <= LastSeparator(s) ? 0 : p + 1;
}

// Calls open up to 10 times, 1 ms apart, while it fails (-1) with FError()
// saying that another process holds the file; what open gave last.
template <class Open>
int RetryWhileHeld(Open open) {
    for (int attempts = 10;; --attempts) {
        int h = open();
        if (h != -1) return h;
        int err = rt::FError();
        if (attempts == 1 || (err != rt::kOsSharingViolation && err != rt::kOsLockViolation)) return -1;
        ::usleep(1000);
    }
}

// Opens the log for appending, shared with everyone, retried while another
// process holds it; with create, a missing log is made, and an existing
// one, which another process may have made and written to a moment ago, is
// never emptied. The descriptor (release with ShareClose), or -1 with
// FError set.
int OpenLog(const std::string& fileName, bool create) {
    int err = 0;
    std::string native = rt::FilePath(fileName, create, &err);
    if (native.empty()) {
        rt::FError(err);
        return -1;
    }
    const int flags = O_RDWR | O_APPEND | O_NOCTTY | (create ? O_CREAT : 0);
    return RetryWhileHeld([&] {
        int h = rt::ShareOpen(native, flags, rt::kFoReadWrite, rt::kFoDenyNone, &err);
        rt::FError(err);
        return h;
    });
}

// Appends one record (whole lines with their CR LF) to the log with one
// write on a descriptor opened for appending, so that records from several
// processes never interleave and none overwrites another; the bytes
// written, 0 when the record could not be written whole.
size_t AppendToLog(const std::string& fileName, const std::string& record) {
    int fd = OpenLog(fileName, false);
    if (fd == -1) return 0;
    rt::IoResult r = rt::AppendRecord(fd, record);
    int closeErr = rt::ShareClose(fd);
    return r.Ok() && closeErr == 0 ? r.bytes : 0;
}

}  // namespace

const rt::ClassDef& LogFile::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<LogFile>("LOGFILE")
                                       .Method<&LogFile::INIT>("INIT")
                                       .Method<&LogFile::DUMPERROR>("DUMPERROR")
                                       .Method<&LogFile::DEBUGMSG>("DEBUGMSG")
                                       .Access<&LogFile::FNAME>("FNAME")
                                       .Assign<&LogFile::SetFName>("FNAME")
                                       .Access<&LogFile::BACKUPNAME>("BACKUPNAME")
                                       .Assign<&LogFile::SetBackupName>("BACKUPNAME")
                                       .Access<&LogFile::LOG2FILE>("LOG2FILE")
                                       .Assign<&LogFile::SetLog2File>("LOG2FILE")
                                       .Access<&LogFile::APPEND>("APPEND")
                                       .Assign<&LogFile::SetAppend>("APPEND")
                                       .Access<&LogFile::SERVERPATH>("SERVERPATH")
                                       .Access<&LogFile::LOGPATH>("LOGPATH")
                                       .Done();
    return c;
}

std::string ExecutableWindowsPath() {
    std::string p = rt::ExecutableName(true);
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string DirectoryOf(const std::string& path) {
    size_t p = LastSeparator(path);
    return p == 0 ? path : path.substr(0, p);
}

int OpenWithRetry(const std::string& fileName, int mode) {
    return RetryWhileHeld([&] { return rt::FOpen(fileName, mode); });
}

std::string WebServerLogDirectory() {
    os::HKEY key = 0;
    if (os::RegCreateKeyExA(os::HKEY_LOCAL_MACHINE, kW3svcKey, 0, nullptr, 0, os::KEY_QUERY_VALUE, nullptr, &key,
                            nullptr) != os::ERROR_SUCCESS)
        return "";
    char buffer[261] = {};
    os::DWORD size = 260;
    os::DWORD type = 0;
    // A value that cannot be read counts as none: the system directory's
    // folder is taken.
    if (os::RegQueryValueExA(key, "LogFileDirectory", nullptr, &type, reinterpret_cast<os::BYTE*>(buffer), &size) !=
        os::ERROR_SUCCESS)
        buffer[0] = 0;
    os::RegCloseKey(key);
    std::string text(buffer, ::strnlen(buffer, 260));
    if (text.empty()) {
        char sys[260];
        os::UINT n = os::GetSystemDirectoryA(sys, sizeof sys);
        if (n == 0 || n >= sizeof sys) return "";
        return std::string(sys, n) + "\\LogFiles";
    }
    std::string upper = rt::Upper(text);
    size_t token = upper.find("%SYSTEMROOT%");
    if (token == std::string::npos) return text;
    char root[260];
    os::DWORD n = os::GetEnvironmentVariableA("SystemRoot", root, sizeof root);
    std::string prefix = n > 0 && n < sizeof root ? std::string(root, n) : std::string("c:\\\\winnt");
    return prefix + text.substr(token + 12);
}

rt::Usual LogFile::INIT(rt::Usual fileName, rt::Usual useWebServerDir, rt::Usual append) {
    std::string exe = ExecutableWindowsPath();
    serverPath_ = DirectoryOf(exe);
    bool web = useWebServerDir.IsLogic() && useWebServerDir.AsLogic();
    std::string base;
    if (fileName.IsString() && !fileName.AsStr().empty())
        base = LastSeparator(fileName.AsStr()) > 0 ? fileName.AsStr() : serverPath_ + fileName.AsStr();
    else base = exe;
    size_t dot = ExtensionDot(base);
    if (web) {
        size_t slash = LastSeparator(base);
        size_t from = slash == 0 ? 0 : slash - 1;
        size_t to = dot > 0 ? dot - 1 : base.size();
        fname_ = WebServerLogDirectory() + base.substr(from, to - from) + ".log";
    } else if (dot > 0) {
        fname_ = base.substr(0, dot) + "log";
    } else {
        fname_ = base + ".log";
    }
    append_ = append.IsLogic() ? append.AsLogic() : true;
    bool usable = false;
    if (!rt::File(fname_)) {
        // Several processes may start logging at once: the log is made, and
        // one that another process has just made is not emptied.
        if (int fd = OpenLog(fname_, true); fd != -1) {
            usable = true;
            (void)rt::ShareClose(fd);
        }
    } else {
        int h = -1;
        if (append_) {
            h = OpenWithRetry(fname_, rt::kFoReadWrite);
        } else {
            if (backupName_.empty()) {
                size_t d = ExtensionDot(fname_);
                backupName_ = d > 0 ? fname_.substr(0, d) + "bak" : fname_ + ".bak";
            }
            // The log is emptied only once its backup is whole and durable
            // (FCopy syncs the copy and its folder). Without a backup the
            // log is left as it was and the fresh start is reported failed:
            // LOG2FILE false, FError the copy's error.
            if (!rt::FCopy(fname_, backupName_)) {
                log2File_ = false;
                return rt::Usual(Self());
            }
            h = rt::FCreate(fname_);
        }
        if (h != -1) {
            usable = true;
            rt::FClose(h);
        }
    }
    // A log that another process holds for now is there all the same.
    log2File_ = usable || rt::FError() == rt::kOsSharingViolation || rt::FError() == rt::kOsLockViolation;
    return rt::Usual(Self());
}

rt::Usual LogFile::DUMPERROR(rt::Usual error) {
    auto e = std::dynamic_pointer_cast<rt::Error>(error.AsObject());
    if (!e) return rt::Usual(Self());
    std::string record = "***********************ERROR********************************\r\n";
    record += rt::Version() + "\r\n";
    record += rt::DToC(rt::Today()) + " " + rt::Time() + "\r\n";
    record += " \r\n";
    record += rt::ErrorObjectText(*e);
    AppendToLog(fname_, record);
    return rt::Usual(Self());
}

bool LogFile::DEBUGMSG(std::string text) {
    size_t count = 0;
    if (log2File_) {
        count = AppendToLog(fname_, text + "\r\n");  // the line end counts
    } else {
        os::OutputDebugStringA((text + "\n").c_str());
        count = text.size();
    }
    return count > 0;
}

std::string LogFile::SetFName(rt::Usual v) {
    if (v.IsString()) fname_ = v.AsStr();
    return fname_;
}
std::string LogFile::SetBackupName(rt::Usual v) {
    if (v.IsString()) backupName_ = v.AsStr();
    return backupName_;
}
bool LogFile::SetLog2File(rt::Usual v) {
    if (v.IsLogic()) log2File_ = v.AsLogic();
    return log2File_;
}
bool LogFile::SetAppend(rt::Usual v) {
    if (v.IsLogic()) append_ = v.AsLogic();
    return append_;
}

std::string LogFile::LOGPATH() const {
    size_t p = LastSeparator(fname_);
    return p == 0 ? fname_ : fname_.substr(0, p - 1);
}

}  // namespace lib
