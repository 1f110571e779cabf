// libFuzzer target for the array server's text imports: any bytes as a
// delimited or a fixed-width file. The first byte picks the form (bit 0:
// fixed-width) and the delimiter (bits 1-3), the second the number of
// fields, one byte each then their types and widths; the rest is the file.
// An import either takes the file or fails with a reason; every value it
// keeps fits its field, and exporting the rows and importing that export
// into a second server gives the same values.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lib/data/arrayserver.h"
#include "lib/data/dataclasses.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"

namespace {

constexpr size_t kMaxFile = 4096;

std::string gDir;  // a private folder, removed at exit

void RemoveDir() {
    for (const char* name : {"/in.txt", "/out.txt"}) ::unlink((gDir + name).c_str());
    ::rmdir(gDir.c_str());
}

bool Setup() {
    // In memory where there is such a folder: an export syncs its file.
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/qz-import-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    gDir = pattern;
    std::atexit(RemoveDir);
    lib::RegisterDataClasses();
    // Texts without a year take this one, so that runs repeat.
    rt::SetClock([] { return rt::CivilTime{2024, 6, 15, 12, 0, 0}; });
    return true;
}

bool WriteFile(const std::string& path, std::string_view content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    return std::fclose(f) == 0 && ok;
}

rt::Usual Field(const char* name, const char* type, int64_t len, int64_t dec) {
    return rt::Usual::Array({rt::Usual(name), rt::Usual(type), rt::Usual(len), rt::Usual(dec)});
}

// The structure from one byte per field: the type, then width and decimals.
rt::Usual Structure(const uint8_t* layout, size_t n) {
    static const char* const kNames[] = {"F1", "F2", "F3", "F4", "F5"};
    std::vector<rt::Usual> fields;
    for (size_t i = 0; i < n; ++i) {
        const int b = layout[i];
        const int64_t width = 1 + (b / 5) % 12;
        switch (b % 5) {
            case 0: fields.push_back(Field(kNames[i], "C", width, 0)); break;
            case 1: fields.push_back(Field(kNames[i], "N", width, width > 2 ? (b / 60) % (width - 1) : 0)); break;
            case 2: fields.push_back(Field(kNames[i], "D", 8, 0)); break;
            case 3: fields.push_back(Field(kNames[i], "L", 1, 0)); break;
            default: fields.push_back(Field(kNames[i], "M", width, 0)); break;
        }
    }
    return rt::Usual::Array(std::move(fields));
}

bool Same(const rt::Usual& a, const rt::Usual& b) {
    if (a.IsNumeric() && b.IsNumeric()) return a.AsDouble() == b.AsDouble();
    if (a.Type() != b.Type()) return false;
    if (a.IsString()) return a.AsStr() == b.AsStr();
    if (a.IsDate()) return a.AsDate().julian == b.AsDate().julian;
    if (a.IsLogic()) return a.AsLogic() == b.AsLogic();
    return a.IsNil();
}

// An import or export that answers FALSE must say why.
void RequireReason(const lib::ArrayServer& s) {
    rt::Usual why = s.Status();
    auto e = why.IsObject() ? std::dynamic_pointer_cast<rt::Error>(why.AsObject()) : nullptr;
    if (!e || e->Description.empty()) __builtin_trap();
}

bool Import(lib::ArrayServer& s, const std::string& path, bool fixed, const std::string& delim) {
    return fixed ? s.AppendSDF(rt::Usual(path)) : s.AppendDelimited(rt::Usual(path), rt::Usual(delim));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    if (size < 2) return 0;
    static const char* const kDelims[] = {",", ";", "\t", "|", "::", ", ", ",", ";"};
    const bool fixed = data[0] & 1;
    const std::string delim = kDelims[(data[0] >> 1) & 7];
    const size_t nfields = 1 + data[1] % 5;
    if (size < 2 + nfields) return 0;
    const rt::Usual structure = Structure(data + 2, nfields);
    std::string_view content(reinterpret_cast<const char*>(data + 2 + nfields), size - 2 - nfields);
    if (content.size() > kMaxFile) content = content.substr(0, kMaxFile);

    const std::string in = gDir + "/in.txt", out = gDir + "/out.txt";
    if (!WriteFile(in, content)) return 0;
    {
        auto first = rt::New<lib::ArrayServer>();
        first->Init(structure, rt::Usual::Array());
        if (!Import(*first, in, fixed, delim)) RequireReason(*first);
        const rt::Usual rows = first->Data();
        for (size_t r = 1; r <= rows.ALen(); ++r)
            for (size_t i = 1; i <= nfields; ++i)
                if (!first->FitsField(rows.At(r).At(i), static_cast<int64_t>(i), fixed)) __builtin_trap();

        if (!(fixed ? first->CopySDF(rt::Usual(out)) : first->CopyDelimited(rt::Usual(out), rt::Usual(delim))))
            __builtin_trap();  // every value kept fits, so the export must be written
        auto second = rt::New<lib::ArrayServer>();
        second->Init(structure, rt::Usual::Array());
        if (!Import(*second, out, fixed, delim)) __builtin_trap();
        const rt::Usual back = second->Data();
        if (back.ALen() != rows.ALen()) __builtin_trap();
        for (size_t r = 1; r <= rows.ALen(); ++r)
            for (size_t i = 1; i <= nfields; ++i)
                if (!Same(rows.At(r).At(i), back.At(r).At(i))) __builtin_trap();
    }
    ::unlink(in.c_str());
    ::unlink(out.c_str());
    return 0;
}
