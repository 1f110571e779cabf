// Paths as the application writes them, mapped onto this file system.
//
// The application writes Windows paths. Here "\" and "/" are both
// separators; a drive letter maps onto a directory through the drive map
// (every drive is "/" unless QZ_DRIVES says otherwise, e.g.
// "C=/srv/qz;D=/mnt/d"); where the exact name does not exist, a path is
// resolved case-insensitively, component by component.
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

// The directory a drive letter maps onto ("/" by default), nullopt for a
// letter that is not mapped when a map is set.
std::optional<std::string> DriveRoot(char drive);

// Re-reads the drive map from QZ_DRIVES (tests change it).
void ReloadDriveMap();

// The executable's directory with a final "/".
std::string WorkDir();
// The executable's full path.
std::string ExecName();

// Current drive letter (upper case) and current directory below that
// drive's root, without leading separator ("" at the root).
std::string CurDrive();
std::string CurDir();
// "C:" style name of the current drive.
std::string DiskName();
// Changes the current directory; 0 or the Windows error number.
int DirChange(std::string_view path);
// Makes one directory; 0 or the Windows error number.
int DirMake(std::string_view path);

}  // namespace rt
