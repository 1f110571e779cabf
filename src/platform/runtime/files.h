// The runtime's low-level file functions on integer handles.
//
// These functions do not raise errors: a failure returns -1 (or false, 0,
// "") and leaves the Windows error number in FError(); every call that
// succeeds sets FError() back to 0. Paths are application paths (see
// paths.h); a file named without a directory is looked for in
// GetDefaultDir() when one is set, else in the current directory.
//
// Share modes are honoured between all opens, in this process and in
// others, through open-file-description locks on reserved bytes
// (docs/runtime-files.md). A conflicting open fails with 32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rt {

// Open modes: one access value ORed with one share value.
enum FileMode : int {
    kFoRead = 0x00,
    kFoWrite = 0x01,
    kFoReadWrite = 0x02,
    kFoCompat = 0x00,     // compatibility: behaves as deny none
    kFoExclusive = 0x10,  // deny read and write
    kFoDenyWrite = 0x20,
    kFoDenyRead = 0x30,
    kFoDenyNone = 0x40,
};

// File attributes for FCreate. Read-only makes the new file's permission
// bits read-only (the handle itself can still write); hidden, system and
// archive have no meaning here and are accepted.
enum FileAttr : int {
    kFcNormal = 0x00,
    kFcReadOnly = 0x01,
    kFcHidden = 0x02,
    kFcSystem = 0x04,
    kFcArchive = 0x20,
};

// Creates a file or truncates an existing one and opens it for reading and
// writing, sharing it with everyone. An existing file held with a share
// mode that forbids this is left untouched (error 32).
int FCreate(std::string_view path, int attr = kFcNormal);
// Opens an existing file; mode = access | share.
int FOpen(std::string_view path, int mode = kFoRead);
bool FClose(int handle);

// Reads up to count bytes; the number read (0 at end of file or on error).
size_t FRead(int handle, void* buffer, size_t count);
// The bytes read, up to count.
std::string FReadStr(int handle, size_t count);
// The same as FReadStr: strings hold bytes, no code page is translated.
std::string FReadText(int handle, size_t count);
// Writes the first count bytes of data (all of it by default); the number
// written, which is less than asked only on error.
size_t FWrite(int handle, std::string_view data, size_t count = std::string_view::npos);
// The same as FWrite (no code page is translated).
size_t FWriteText(int handle, std::string_view data, size_t count = std::string_view::npos);
// Writes text and CR LF; the number of bytes written.
size_t FPutS(int handle, std::string_view text);
// Reads a line of at most maxLen bytes and steps past its CR LF or LF. A
// longer line comes back in pieces of maxLen bytes. "" at end of file.
std::string FGetS(int handle, size_t maxLen = 4096);

// Moves the file position; origin 0 start, 1 current, 2 end. The new
// position, or -1 (FError 131 for a position before the start).
int64_t FSeek(int handle, int64_t offset, int origin = 0);
int64_t FTell(int handle);
// True when the position is at or past the end of the file (also on error).
bool FEof(int handle);
bool FRewind(int handle);
// Writes the file's data through to the disk.
bool FCommit(int handle);

// The error of the last file function on this thread; the setter returns
// the previous value.
int FError();
int FError(int code);

// Whether a file (not a directory) of that name exists, found ignoring
// case. "*" and "?" in the last component match as on Windows ("*.*" is
// every name).
bool File(std::string_view path);
// Copies a whole file. On failure no partial target is left behind, and a
// target that is the source itself is refused (32).
bool FCopy(std::string_view source, std::string_view target);
// Deletes a file; a file that another handle holds open is refused (32).
bool FErase(std::string_view path);
// Renames or moves a file; fails with 183 when the new name exists (a
// change of case only is allowed), 32 while another handle holds it open,
// 17 across file systems.
bool FRename(std::string_view from, std::string_view to);

// The whole file as a string ("" on error).
std::string MemoRead(std::string_view path);
// Writes text as the whole content of the file (created or truncated).
bool MemoWrit(std::string_view path, std::string_view text);

// The two- and three-argument names the error log uses.
inline int FOpen2(std::string_view path, int mode) { return FOpen(path, mode); }
inline int FCreate2(std::string_view path, int attr) { return FCreate(path, attr); }
inline int64_t FSeek3(int handle, int64_t offset, int origin) { return FSeek(handle, offset, origin); }
// Writes the first len bytes of text and CR LF.
size_t FPutS3(int handle, std::string_view text, size_t len);

// For other layers that open files themselves (the table driver): the
// native path a file function would use for path (default directory
// applied, resolved ignoring case), or "" with the error in *osError.
std::string FilePath(std::string_view path, bool forCreate, int* osError);
// Opens a native path with open(2) flags (O_CLOEXEC is added) and takes
// part in the share-mode scheme with access 0/1/2 and a share value; the
// descriptor, or -1 with the Windows error in *osError (5 for a directory).
// createMode is used with O_CREAT. O_TRUNC is applied only once the share
// check has passed, so a refused open never truncates. Release with
// ShareClose, which drops the share locks with the descriptor and returns
// the errno of a failed close (0 when it went well). Lock bytes
// from 0x7FFFFFFF00 to 0x7FFFFFFF0F are reserved for this scheme: other
// byte-range locks must stay clear of them.
int ShareOpen(const std::string& nativePath, int flags, int access, int share, int* osError,
              unsigned createMode = 0666);
int ShareClose(int fd);

}  // namespace rt
