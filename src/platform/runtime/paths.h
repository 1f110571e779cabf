// Paths as the application writes them, mapped onto this file system.
//
// The application writes Windows paths. Here "\" and "/" are both
// separators; a drive letter maps onto a directory through the drive map
// (every drive is "/" unless QZ_DRIVES says otherwise, e.g.
// "C=/srv/qz;D=/mnt/d"); where the exact name does not exist, a path is
// resolved case-insensitively, component by component (ASCII case folding;
// of two entries differing only in case, the first in byte order).
//
// How a path starts decides where it starts:
//   "X:\..."   the root of drive X         "X:..."  drive X's current directory
//   "\..."     the current drive's root    "/..."   this file system's root
//   anything else: the current directory.
// ".." never climbs above the drive root it started from. Trailing blanks
// are not part of a name. docs/runtime-files.md gives the full rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt {

// The native absolute path of an existing file or directory, found
// case-insensitively where the exact name does not exist. When some
// component does not exist, the path as far as it resolved followed by the
// rest as given (so an open of it fails with the right error).
std::string ResolvePath(std::string_view path);

// The native path for a file about to be created: the directories are
// resolved as above; the last component takes the case of an existing
// directory entry that matches it case-insensitively, else the case given.
std::string ResolvePathForCreate(std::string_view path);

// The outcome of mapping a path: the native path (what ResolvePath or
// ResolvePathForCreate gives) and 0, or why the path cannot name anything
// here: kOsInvalidDrive (a drive letter outside the drive map),
// kOsPathNotFound (an empty path, a "\\server\share" path) or
// kOsInvalidName (a NUL byte in the path). For those the native path lies
// below /dev/null, where every open, create or mkdir fails with ENOTDIR
// (reported as 3), so a caller that only looks at the path fails safely.
struct NativePath {
    std::string path;
    int error = 0;
};
NativePath MapPath(std::string_view path, bool forCreate = false);

// Whether a path names a directory or drive (a separator or "X:"); a name
// without one is looked for in the default directory by the file functions.
bool HasDirectoryPart(std::string_view path);

// The directory a drive letter maps onto ("/" by default), nullopt for a
// letter that is not mapped when a map is set.
std::optional<std::string> DriveRoot(char drive);

// Maps a drive letter onto a directory from now on (a network drive that
// was connected), or takes it out of the map (nullopt). Until then unmapped
// drives keep mapping as before.
void SetDriveRoot(char drive, std::optional<std::string> root);

// Re-reads the drive map from QZ_DRIVES (tests change it).
void ReloadDriveMap();

// The program's working folder with a final "/" (workdir.cpp): the
// absolute folder QZ_WORKDIR names (a relative one is ignored with a note on
// stderr); else the executable's directory when this process can create
// files there and it is no system program folder such as /usr/bin; else
// $XDG_DATA_HOME/qzscan (~/.local/share/qzscan), made with mode 0700.
std::string WorkDir();
// The executable's full path.
std::string ExecName();

// Current drive letter (upper case) and current directory below that
// drive's root, without leading separator ("" at the root).
std::string CurDrive();
std::string CurDir();
// "C:" style name of the current drive.
std::string DiskName();
// Changes the current directory; 0 or the Windows error number (3 missing
// directory, 5 permission, 15 drive not in the map). "X:" alone goes to the
// directory last current on drive X (its root at first).
int DirChange(std::string_view path);
// Makes one directory (not its parents); 0 or the Windows error number
// (183 when the name exists, 3 when the parent is missing or the drive is
// not in the map, 5 permission).
int DirMake(std::string_view path);

}  // namespace rt
