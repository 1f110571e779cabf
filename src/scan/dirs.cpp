#include "scan/dirs.h"

#include "platform/runtime/paths.h"
#include "platform/runtime/text.h"

namespace scan {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string CurPath() { return rt::CurDrive() + ":\\" + rt::CurDir(); }

bool IsDir(std::string_view path) {
    std::string here = CurPath();
    int rc = rt::DirChange(path);
    rt::DirChange(here);
    return rc == 0;
}

int MakeDir(std::string_view path) {
    std::string here = CurPath();
    std::string rest(rt::AllTrimmedWhite(path));
    if (rest.empty() || !IsSep(rest.back())) rest += '\\';
    std::string drive;
    if (rest.size() >= 2 && rest[1] == ':') {
        drive = rest.substr(0, 2);
        rest.erase(0, 2);
    } else {
        drive = rt::CurDrive() + ":";
    }
    if (!rest.empty() && IsSep(rest[0])) {
        rest.erase(0, 1);
        rt::DirChange(drive + "\\");
    }
    int rc = 0;
    while (!rest.empty()) {
        size_t sep = 0;
        while (sep < rest.size() && !IsSep(rest[sep])) ++sep;
        std::string name = rest.substr(0, sep);
        rest.erase(0, sep + 1);
        if (name.empty()) continue;  // doubled separators
        // Each level is entered relative to the drive's current directory.
        std::string level = drive + name;
        if (rt::DirChange(level) != 0) {
            rt::DirMake(level);
            rc = rt::DirChange(level);
            if (rc != 0) break;
        }
    }
    rt::DirChange(here);
    return rc;
}

}  // namespace scan
