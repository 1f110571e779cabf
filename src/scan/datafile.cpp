#include "scan/datafile.h"

#include <sys/stat.h>

#include "appkit/settings_list.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/files.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace scan {
namespace {

rt::Usual FieldDef(const char* name, int width) {
    return rt::Usual::Array({rt::Usual(name), rt::Usual("C"), rt::Usual(width), rt::Usual(0)});
}

// Whether two native paths name one file (the same inode).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Restores the ANSI setting however the creation ends.
class AnsiOff {
public:
    AnsiOff() : old_(rt::SetAnsi(false)) {}
    ~AnsiOff() { rt::SetAnsi(old_); }
    AnsiOff(const AnsiOff&) = delete;
    AnsiOff& operator=(const AnsiOff&) = delete;

private:
    bool old_;
};

}  // namespace

rt::Usual ScanStructure() { return rt::Usual::Array({FieldDef("BARCODE", 15), FieldDef("QTY", 10)}); }

std::string DataFilePath() { return appkit::DataDirectory() + "\\" + kDataFileName; }

std::string GetDataFileName() {
    // Existence is asked of the path as written: on a file system that
    // tells letter cases apart, the lower-cased name may name another
    // installation's table (a sibling folder differing only in case), or
    // nothing, and creating the file then would replace this one's records.
    const std::string exact = DataFilePath();
    if (!rt::File(exact)) MakeScannedDataFile();
    // The lower-cased form is kept where it names this very file.
    std::string lower = rt::Lower(exact);
    return SameFile(rt::ResolvePath(lower), rt::ResolvePath(exact)) ? lower : exact;
}

std::string DataFileOnDisk() { return rt::ResolvePath(DataFilePath()); }

bool MakeScannedDataFile() {
    std::string path = DataFilePath();
    {
        AnsiOff ansi;
        rdd::DBCreate(path, ScanStructure());
    }
    return rt::File(path);
}

}  // namespace scan
