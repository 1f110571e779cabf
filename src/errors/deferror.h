// The default error handler: every runtime fault and every error that
// program code raises ends here through the error block (unless a piece of
// code has put a temporary error block of its own in place).
//
// DefError classifies the error, answers one kind of sharing conflict
// quietly, builds the message with a short call stack, sounds the tones,
// appends a report to RTERROR.LOG, shows the error message box and, by the
// operator's choice and the error's flags, returns a default or substitute,
// asks for a retry, breaks to the innermost recovery scope or ends the
// process. docs/errors.md describes each step.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/callstack.h"
#include "platform/runtime/error.h"

namespace errors {

// The handler. The argument is normally an Error object; anything else
// becomes an error of general code 28 (wrong class) about that value.
// Answers FALSE (use the default), TRUE (retry) or an empty value of the
// substitute type; does not return when the operator breaks or quits.
rt::Usual DefError(const rt::Usual& arg);

// The message text for the box and the report, one CR LF ended line per
// item that the error carries.
std::string ErrorMessageText(const rt::Error& e);

// At most this many callers are listed under "CallStack: ".
inline constexpr size_t kCallStackLines = 5;

// The "CallStack: " block for the callers given, nearest first: empty when
// there are none, else the heading and at most five "name (Line: n)" lines.
std::string CallStackText(const std::vector<rt::Activation>& callers);

// Where DefError reads its callers from. The default reads the program's
// call stack and leaves out the handler's own frames (the handler, the
// error block, the runtime's raise and evaluate functions), so that the
// first caller listed is the code that raised the error. Tests install a
// fixed stack; an empty function restores the default. Returns the
// previous reader.
using StackReader = std::function<std::vector<rt::Activation>()>;
StackReader SetStackReader(StackReader reader);

// The process exit code for an error that ends the process: the general
// code, but never 0 (which would report success) and at most 255.
int ExitCodeFor(uint32_t genCode);

}  // namespace errors
