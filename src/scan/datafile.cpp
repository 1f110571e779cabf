#include "scan/datafile.h"

#include "app/settings_list.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/files.h"
#include "platform/runtime/settings.h"

namespace scan {
namespace {

rt::Usual FieldDef(const char* name, int width) {
    return rt::Usual::Array({rt::Usual(name), rt::Usual("C"), rt::Usual(width), rt::Usual(0)});
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
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

std::string DataFilePath() { return app::DataDirectory() + "\\" + kDataFileName; }

std::string GetDataFileName() {
    std::string path = Lower(DataFilePath());
    if (!rt::File(path)) MakeScannedDataFile();
    return path;
}

bool MakeScannedDataFile() {
    std::string path = DataFilePath();
    {
        AnsiOff ansi;
        rt::DBCreate(path, ScanStructure());
    }
    return rt::File(path);
}

}  // namespace scan
