// The runtime's error hook, the saved error information block and the two
// start-up installations of the error handling.
#pragma once

#include "platform/runtime/errorinfo.h"

namespace errors {

// The module's one saved error information block: the last block that
// DefErrorGen received or that DefError built for a value that was no
// Error. Shared, without a lock, like the handler itself (GUI thread).
rt::ErrorInfo& SavedErrorInfo();

// The error hook: the argument holds a pointer to an error information
// block; the result is a new Error object filled from it (the block is
// copied into the saved block first). A failure to make the object, or an
// argument that is no pointer, is shown in a box with only an OK button
// (caption "FROM DefErrorGen"); the result is then nil or the unfilled
// object.
rt::Usual DefErrorGen(const rt::Usual& block);

// Start-up, step 1: when no error block is installed, installs one that
// hands every error to DefError and applies the regional settings of the
// user's locale (SetInternational with #WINDOWS). Nothing happens when a
// block is installed already.
void InstallErrorBlock();
// Start-up, step 2: registers DefErrorGen as the runtime's error function
// when the process holds one runtime instance.
void InstallErrorHook();
// Both, in that order: what the program calls before the application
// object starts.
void InstallErrorHandling();

}  // namespace errors
