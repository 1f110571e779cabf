#include "platform/runtime/errordump.h"

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/paths.h"

namespace rt {

std::string ErrorLogPath() { return WorkDir() + kErrorLogName; }
namespace {

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08" PRIX32, v);
    return buf;
}

std::string Hex16(uint64_t v) { return Hex8(static_cast<uint32_t>(v >> 32)) + Hex8(static_cast<uint32_t>(v)); }

std::string HexAddress(const void* p) { return Hex16(reinterpret_cast<uintptr_t>(p)); }

std::string HexInteger(int64_t v) {
    if (v >= INT32_MIN && v <= int64_t{UINT32_MAX}) return Hex8(static_cast<uint32_t>(v));
    return Hex16(static_cast<uint64_t>(v));
}

std::string Text(const rt::Usual& v) { return rt::AsString(v); }

// A line of the report, with its CR LF.
void Line(std::string& out, const std::string& text) {
    out += text;
    out += "\r\n";
}

// A field line: the 17-character label (colon included) and the value.
void Field(std::string& out, const char* label, const std::string& value) { Line(out, std::string(label) + value); }

}  // namespace

std::string ErrorObjectText(const rt::Error& e) {
    std::string out;
    Line(out, "Error Object created:");
    Line(out, "--------------------");
    Field(out, "SubSystem       :", Text(rt::Usual(e.SubSystem)));
    Field(out, "SubCode         :", Text(rt::Usual(e.SubCode)));
    Field(out, "GenCode         :", std::string(rt::ErrString(e.GenCode)));
    if (e.SubCode == kExceptionSubCode) {
        Field(out, "ExceptionCode   :", HexValueText(rt::Usual(e.OsCode)));
        Field(out, "ExceptionFlags  :", HexValueText(rt::Usual(e.ArgType)));
        Field(out, "ExceptionAddress:", HexValueText(rt::Usual(e.FuncPtr)));
        Field(out, "ParamNumber     :", Text(rt::Usual(e.ArgNum)));
        Field(out, "ExceptionInfo   :", HexValueText(rt::Usual(e.FuncSym)));
    } else {
        Field(out, "OsCode          :", Text(rt::Usual(e.OsCode)));
        Field(out, "ArgType         :", rt::TypeString(e.ArgType));
        Field(out, "FuncPtr         :", Text(rt::Usual(e.FuncPtr)));
        Field(out, "ArgNum          :", Text(rt::Usual(e.ArgNum)));
        Field(out, "FuncSym         :", Text(rt::Usual(e.FuncSym)));
    }
    Field(out, "Severity        :", Text(rt::Usual(e.Severity)));
    Field(out, "CanDefault      :", Text(rt::Usual(e.CanDefault)));
    Field(out, "CanRetry        :", Text(rt::Usual(e.CanRetry)));
    Field(out, "CanSubstitute   :", Text(rt::Usual(e.CanSubstitute)));
    Field(out, "Operation       :", Text(rt::Usual(e.Operation)));
    Field(out, "Description     :", Text(rt::Usual(e.Description)));
    Field(out, "FileName        :", Text(rt::Usual(e.FileName)));
    Field(out, "Tries           :", Text(rt::Usual(e.Tries)));
    Field(out, "FileHandle      :", Text(rt::Usual(e.FileHandle)));
    Field(out, "SubCodeText     :", Text(rt::Usual(e.SubCodeText)));
    Field(out, "Arg             :", Text(rt::Usual(e.Arg)));
    Field(out, "ArgTypeReq      :", rt::TypeString(e.ArgTypeReq));
    Field(out, "MaxSize         :", Text(rt::Usual(e.MaxSize)));
    Field(out, "SubstituteType  :", rt::TypeString(e.SubstituteType));
    Field(out, "CallFuncSym     :", Text(rt::Usual(e.CallFuncSym)));
    Line(out, "--------------------");
    return out;
}

void WriteErrorObject(int h, const rt::Error& e) { rt::FWrite(h, ErrorObjectText(e)); }

std::string HexValueText(const rt::Usual& v) {
    switch (v.Type()) {
        case rt::kString: return HexBytesText(v.AsStr());
        case rt::kFloat: {
            double d = v.AsDouble();
            // NaN and the infinities have no integer value: their storage is shown.
            if (!std::isfinite(d) || rt::Str(v).find('.') != std::string::npos || d > 4294967295.0 || d < -2147483647.0)
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
