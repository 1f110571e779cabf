#include "export/replacefile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"

namespace exportdata {
namespace {

// Another program holding the file with a deny-write share mode keeps it,
// as truncating it in place would be refused. Everything else about the
// target is decided by the replace itself.
int CheckShareMode(const std::string& native) {
    struct stat st = {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    int err = 0;
    int fd = rt::ShareOpen(native, O_WRONLY | O_NONBLOCK, rt::kFoWrite, rt::kFoDenyNone, &err);
    if (fd < 0) return err;
    (void)rt::ShareClose(fd);  // opened only to ask
    return 0;
}

}  // namespace

std::string NativeTarget(std::string_view path, int* osError) { return rt::FilePath(path, true, osError); }

namespace {

// The checks every replacement of an export file makes, then the replace.
template <class Replace>
int CheckedReplace(std::string_view path, Replace replace) {
    int err = 0;
    std::string native = NativeTarget(path, &err);
    if (native.empty()) return err ? err : rt::kOsPathNotFound;
    if ((err = CheckShareMode(native)) != 0) return err;
    rt::ReplaceResult r = replace(native);
    return r.Ok() ? 0 : rt::OsErrorFromErrno(r.err, native);
}

}  // namespace

int ReplaceFileContent(std::string_view path, std::string_view content) {
    return CheckedReplace(path, [&](const std::string& native) { return rt::AtomicReplace(native, content); });
}

int ReplaceFileContentAsMade(std::string_view path, const rt::ReplaceProducer& produce) {
    return CheckedReplace(path, [&](const std::string& native) { return rt::AtomicReplaceStreamed(native, produce); });
}

}  // namespace exportdata
