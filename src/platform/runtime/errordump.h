// The error object as text: every field of an Error in the report's
// layout, the hexadecimal forms of the processor-exception variant, and the
// executable's name that reports and logs carry.
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/error.h"
#include "platform/runtime/usual.h"

namespace rt {

// The error log every report goes to, in the work directory (the
// executable's folder).
inline constexpr const char* kErrorLogName = "RTERROR.LOG";
std::string ErrorLogPath();

// Sub-code of an error that carries a processor exception.
inline constexpr uint32_t kExceptionSubCode = 5333;

// The part of a report from "Error Object created:" to the closing dashes:
// every field of the error, one line each, written to an open file handle.
void WriteErrorObject(int handle, const Error& e);
// The same lines as text, each ending in CR LF.
std::string ErrorObjectText(const Error& e);

// Hexadecimal forms, upper-case digits: a string as its bytes; a number
// that fits 32 bits as 8 digits, otherwise (or a float with decimals) its
// 64 bits as 16 digits; a pointer as its 16 address digits.
std::string HexValueText(const Usual& value);
// Two digits and a space per byte ("41 42 "); "" for "".
std::string HexBytesText(const std::string& bytes);

// The executable's path; only its file name when full is false.
std::string ExecutableName(bool full);

}  // namespace rt
