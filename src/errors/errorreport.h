// The error report in RTERROR.LOG: opening the log, the report's lines and
// the hexadecimal forms of the processor-exception variant.
#pragma once

#include <string>

#include "platform/runtime/error.h"

namespace errors {

inline constexpr const char* kErrorLogName = "RTERROR.LOG";
// Sub-code of an error that carries a processor exception.
inline constexpr uint32_t kExceptionSubCode = 5333;

// The log's path: the work directory (the executable's folder) and
// RTERROR.LOG.
std::string ErrorLogPath();

// Opens RTERROR.LOG for appending. An existing log is positioned at its end
// and gets an empty line, so reports are separated by one; a missing log is
// created and starts with the report itself. Returns the handle or -1 (the
// reason goes to stderr; an existing log is never truncated).
int OpenErrorLog();

// Writes one report: banner, version, date and time, application path,
// the message and every field of the error (see docs/errors.md).
void WriteErrorReport(int handle, const std::string& message, const rt::Error& e);
// The report's part from "Error Object created:" to the closing dashes:
// every field of the error.
void WriteErrorObject(int handle, const rt::Error& e);
// The same lines as text, each ending in CR LF.
std::string ErrorObjectText(const rt::Error& e);

// Hexadecimal forms, upper-case digits: a string as its bytes; a number
// that fits 32 bits as 8 digits, otherwise (or a float with decimals) its
// 64 bits as 16 digits; a pointer as its 16 address digits.
std::string HexValueText(const rt::Usual& value);
// Two digits and a space per byte ("41 42 "); "" for "".
std::string HexBytesText(const std::string& bytes);

// The executable's path; only its file name when full is false.
std::string ExecutableName(bool full);

}  // namespace errors
