// Writing an export file so that its name never holds half of it, through
// the runtime's atomic replace (platform/runtime/posixfile.h) after the
// runtime's share-mode check. No Qt.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/posixfile.h"

namespace exportdata {

// Makes `content` the whole content of the file at `path` (an application
// path, see platform/runtime/paths.h). Returns 0, or the Windows error
// number of the step that failed (5 access denied or read-only file system,
// 32 the file is held by another open that denies writing, 112 disk full,
// 3 the directory does not exist, ...). On failure the temporary file is
// removed and whatever stood under `path` before is left as it was.
//
// An existing file keeps its permission bits, owner and group (a file
// with several names, or whose owner this process cannot give, is
// rewritten in place); a name that is a link has the file it points at
// replaced, and stays a link. A name that is an existing directory or
// anything else that is not a plain file (a pipe, a device), or a file
// that cannot be opened for writing, is refused before anything is
// written.
int ReplaceFileContent(std::string_view path, std::string_view content);

// The same with a content made while it is written (rt::ReplaceProducer):
// each piece goes to the new file as soon as it is made. A producer that
// stops leaves the target alone; its own nonzero code comes back as it was
// mapped, so a caller that stops it keeps its own record of why.
int ReplaceFileContentAsMade(std::string_view path, const rt::ReplaceProducer& produce);

// The native path that `path` names for writing ("" when it cannot name a
// file here; *osError then says why).
std::string NativeTarget(std::string_view path, int* osError);

}  // namespace exportdata
