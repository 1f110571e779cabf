#include "export/recover.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <span>

#include "export/replacefile.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"

namespace exportdata {
namespace {

Recovery Failed(int err, std::string problem) {
    Recovery r;
    r.err = err;
    r.problem = std::move(problem);
    return r;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa = {};
    struct stat sb = {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

Recovery RecoverTable(const std::string& in, const std::string& out) {
    int err = 0;
    const std::string source = rt::FilePath(in, false, &err);
    if (source.empty()) return Failed(err ? err : rt::kOsPathNotFound, "cannot name " + in);
    const std::string target = NativeTarget(out, &err);
    if (target.empty()) return Failed(err ? err : rt::kOsPathNotFound, "cannot name " + out);
    if (target == source || SameFile(source, target))
        return Failed(rt::kOsAccessDenied, out + " is the damaged table itself; name a new file");

    rt::Fd fd = rt::OpenFile(source, O_RDONLY, 0, &err);
    if (!fd) return Failed(rt::OsErrorFromErrno(err, source), "cannot open " + source);
    std::string bytes;
    if ((err = rt::ReadAll(fd.Get(), &bytes)) != 0)
        return Failed(rt::OsErrorFromErrno(err, source), "cannot read " + source);

    namespace dbf = rdd::dbf;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    dbf::Layout layout;
    dbf::Fault fault;
    if (!dbf::ParseHeader(std::span<const uint8_t>(data, bytes.size()), bytes.size(), layout, fault))
        return Failed(rt::kOsGenFailure, "the header is damaged, no record can be placed: " + fault.description);

    Recovery r;
    r.claimed = layout.headerCount;
    r.memo = layout.memo != dbf::MemoKind::kNone;
    const size_t recLen = layout.recordLen;
    std::string body;
    size_t at = layout.headerLen;
    for (; at + recLen <= bytes.size(); at += recLen) {
        const uint8_t flag = data[at];
        if (flag != dbf::kLiveFlag && flag != dbf::kDeletedFlag) {
            // The end marker, or the rest of the file is not records.
            if (flag != dbf::kEofMarker || at + 1 != bytes.size()) ++r.unreadable;
            continue;
        }
        body.append(bytes, at, recLen);
        ++r.recovered;
        if (flag == dbf::kDeletedFlag) ++r.deleted;
    }
    const size_t rest = bytes.size() - at;
    if (rest > 0 && !(rest == 1 && data[at] == dbf::kEofMarker)) r.tornBytes = rest;

    std::string header = bytes.substr(0, layout.headerLen);
    dbf::PutLe32(reinterpret_cast<uint8_t*>(header.data()) + 4, r.recovered);
    header += body;
    header += static_cast<char>(dbf::kEofMarker);
    if ((err = ReplaceFileContent(out, header)) != 0) {
        Recovery f = Failed(err, "cannot write " + target + ": " + rt::DosErrString(err));
        f.claimed = r.claimed;
        return f;
    }
    return r;
}

}  // namespace exportdata
