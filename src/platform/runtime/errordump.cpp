#include "platform/runtime/errordump.h"

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/paths.h"

namespace rt {
namespace {

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08" PRIX32, v);
    return buf;
}

std::string Hex16(uint64_t v) {
    return Hex8(static_cast<uint32_t>(v >> 32)) + Hex8(static_cast<uint32_t>(v));
}

std::string HexAddress(const void* p) { return Hex16(reinterpret_cast<uintptr_t>(p)); }

std::string HexInteger(int64_t v) {
    if (v >= INT32_MIN && v <= int64_t{UINT32_MAX}) return Hex8(static_cast<uint32_t>(v));
    return Hex16(static_cast<uint64_t>(v));
}

std::string Text(const rt::Usual& v) { return rt::AsString(v); }

// A field line: the 17-character label (colon included) and the value.
void Field(int handle, const char* label, const std::string& value) {
    rt::FPutS(handle, std::string(label) + value);
}

}  // namespace

void WriteErrorObject(int h, const rt::Error& e) {
    rt::FPutS(h, "Error Object created:");
    rt::FPutS(h, "--------------------");
    Field(h, "SubSystem       :", Text(rt::Usual(e.SubSystem)));
    Field(h, "SubCode         :", Text(rt::Usual(e.SubCode)));
    Field(h, "GenCode         :", std::string(rt::ErrString(e.GenCode)));
    if (e.SubCode == kExceptionSubCode) {
        Field(h, "ExceptionCode   :", HexValueText(rt::Usual(e.OsCode)));
        Field(h, "ExceptionFlags  :", HexValueText(rt::Usual(e.ArgType)));
        Field(h, "ExceptionAddress:", HexValueText(rt::Usual(e.FuncPtr)));
        Field(h, "ParamNumber     :", Text(rt::Usual(e.ArgNum)));
        Field(h, "ExceptionInfo   :", HexValueText(rt::Usual(e.FuncSym)));
    } else {
        Field(h, "OsCode          :", Text(rt::Usual(e.OsCode)));
        Field(h, "ArgType         :", rt::TypeString(e.ArgType));
        Field(h, "FuncPtr         :", Text(rt::Usual(e.FuncPtr)));
        Field(h, "ArgNum          :", Text(rt::Usual(e.ArgNum)));
        Field(h, "FuncSym         :", Text(rt::Usual(e.FuncSym)));
    }
    Field(h, "Severity        :", Text(rt::Usual(e.Severity)));
    Field(h, "CanDefault      :", Text(rt::Usual(e.CanDefault)));
    Field(h, "CanRetry        :", Text(rt::Usual(e.CanRetry)));
    Field(h, "CanSubstitute   :", Text(rt::Usual(e.CanSubstitute)));
    Field(h, "Operation       :", Text(rt::Usual(e.Operation)));
    Field(h, "Description     :", Text(rt::Usual(e.Description)));
    Field(h, "FileName        :", Text(rt::Usual(e.FileName)));
    Field(h, "Tries           :", Text(rt::Usual(e.Tries)));
    Field(h, "FileHandle      :", Text(rt::Usual(e.FileHandle)));
    Field(h, "SubCodeText     :", Text(rt::Usual(e.SubCodeText)));
    Field(h, "Arg             :", Text(rt::Usual(e.Arg)));
    Field(h, "ArgTypeReq      :", rt::TypeString(e.ArgTypeReq));
    Field(h, "MaxSize         :", Text(rt::Usual(e.MaxSize)));
    Field(h, "SubstituteType  :", rt::TypeString(e.SubstituteType));
    Field(h, "CallFuncSym     :", Text(rt::Usual(e.CallFuncSym)));
    rt::FPutS(h, "--------------------");
}

std::string HexValueText(const rt::Usual& v) {
    switch (v.Type()) {
        case rt::kString:
            return HexBytesText(v.AsStr());
        case rt::kFloat: {
            double d = v.AsDouble();
            // NaN and the infinities have no integer value: their storage is shown.
            if (!std::isfinite(d) || rt::Str(v).find('.') != std::string::npos || d > 4294967295.0 ||
                d < -2147483647.0)
                return Hex16(std::bit_cast<uint64_t>(d));
            return HexInteger(static_cast<int64_t>(d));
        }
        case rt::kLong: return HexInteger(v.AsLong());
        case rt::kLogic: return Hex8(v.AsLogic() ? 1 : 0);
        case rt::kDate: return Hex8(static_cast<uint32_t>(v.AsDate().julian));
        case rt::kSymbol: return Hex8(v.AsSymbol().Id());
        case rt::kPtr: return HexAddress(v.AsPtr().address);
        case rt::kArray: return HexAddress(v.AsArray().get());
        case rt::kObject: return HexAddress(v.AsObject().get());
        case rt::kCodeBlock: return HexAddress(v.AsCodeBlock().get());
        default: return Hex8(0);
    }
}

std::string HexBytesText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

std::string ExecutableName(bool full) {
    std::string path = rt::ExecName();
    if (full) return path;
    size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace rt
