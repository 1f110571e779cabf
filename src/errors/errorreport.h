// The error report in RTERROR.LOG: opening the log and the report's lines
// (the error object's part is the runtime's WriteErrorObject).
#pragma once

#include <string>

#include "platform/runtime/error.h"
#include "platform/runtime/errordump.h"

namespace errors {

using rt::ErrorLogPath;
using rt::kErrorLogName;

// Opens RTERROR.LOG for appending. An existing log is positioned at its end
// and gets an empty line, so reports are separated by one; a missing log is
// created and starts with the report itself. Returns the handle or -1 (the
// reason goes to stderr; an existing log is never truncated).
int OpenErrorLog();

// Writes one report: banner, version, date and time, application path,
// the message and every field of the error (see docs/errors.md).
void WriteErrorReport(int handle, const std::string& message, const rt::Error& e);

}  // namespace errors
