// Workstation helpers: the NetBIOS computer name and mapping a drive
// letter to a network share.
#pragma once

#include <string>

#include "platform/runtime/usual.h"

namespace lib {

// The computer name as GetComputerNameA gives it into a 16-byte buffer,
// which always holds the NetBIOS name (at most 15 characters); "" only
// when the call fails.
std::string QZGetComputerName();
// Connects the local device to the share, remembered for later sessions;
// {TRUE, ""} when mapped (also when already remembered for this share),
// else {FALSE, "Failed to map <share> to <device>."}.
rt::Usual MapDrive(const std::string& localDevice, const std::string& shareName, const std::string& userName,
                   const std::string& password);

}  // namespace lib
