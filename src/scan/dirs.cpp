#include "scan/dirs.h"

#include "platform/runtime/paths.h"
#include "platform/runtime/text.h"

namespace scan {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

// Where to come back to: the drive and directory as CurPath names them,
// or the native directory when the drive map cannot name it (a program
// started outside every mapped drive).
std::string Here() {
    std::string drivePath = CurPath();
    std::string native = rt::ResolvePath(".");
    return rt::ResolvePath(drivePath) == native ? drivePath : native;
}

// 0 when the current directory can be changed to the path, else why not;
// the current directory is the same afterwards.
int Enter(std::string_view path) {
    std::string here = Here();
    int rc = rt::DirChange(path);
    rt::DirChange(here);
    return rc;
}

}  // namespace

std::string CurPath() { return rt::CurDrive() + ":\\" + rt::CurDir(); }

bool IsDir(std::string_view path) { return Enter(path) == 0; }

int MakeDir(std::string_view path) {
    std::string rest(rt::AllTrimmedWhite(path));
    // The start stays as written (drive, root, or neither), so each level
    // is looked for where the whole path points, wherever the program runs.
    std::string level;
    if (rest.size() >= 2 && rest[1] == ':') {
        level = rest.substr(0, 2);
        rest.erase(0, 2);
    }
    if (!rest.empty() && IsSep(rest[0])) {
        level += rest[0];
        rest.erase(0, 1);
    }
    int rc = 0;
    while (!rest.empty()) {
        size_t sep = 0;
        while (sep < rest.size() && !IsSep(rest[sep])) ++sep;
        std::string name = rest.substr(0, sep);
        rest.erase(0, sep < rest.size() ? sep + 1 : sep);
        if (name.empty()) continue;  // doubled separators
        if (!level.empty() && !IsSep(level.back()) && level.back() != ':') level += '\\';
        level += name;
        if ((rc = Enter(level)) != 0) {
            rt::DirMake(level);
            if ((rc = Enter(level)) != 0) break;
        }
    }
    return rc;
}

}  // namespace scan
