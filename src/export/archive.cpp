#include "export/archive.h"

#include <cstdio>

#include "appkit/settings_list.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "scan/datafile.h"

namespace exportdata {
namespace {

// Far more than any operator exports in one minute.
constexpr int kMaxSequence = 999;

}  // namespace

std::string ArchiveStamp(const rt::CivilTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d", t.hour, t.minute);
    return rt::DToS(rt::MakeDate(t.year, t.month, t.day)) + buf;
}

std::string ArchiveFileName(const std::string& stamp, int sequence) {
    return sequence <= 1 ? stamp + ".dbf" : stamp + "_" + std::to_string(sequence) + ".dbf";
}

std::string CopyScannedDataFile(int* osError) {
    const std::string dir = appkit::DataDirectory();
    const std::string source = dir + "\\" + scan::kDataFileName;
    // One reading of the clock for date and time: two readings could straddle
    // midnight and name the archive after the wrong day.
    const std::string stamp = ArchiveStamp(rt::Now());
    std::string target = dir + "\\" + ArchiveFileName(stamp, 1);
    int sequence = 1;
    while (rt::File(target) && sequence < kMaxSequence) target = dir + "\\" + ArchiveFileName(stamp, ++sequence);

    int err = 0;
    if (rt::File(target)) err = rt::kOsAlreadyExists;
    else if (!rt::FCopy(source, target)) err = rt::FError() ? rt::FError() : rt::kOsGenFailure;
    if (osError) *osError = err;
    return target;
}

}  // namespace exportdata
