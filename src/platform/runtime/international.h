// SetInternational: switches the runtime's number, time and date
// conventions between the user's regional settings (#WINDOWS, read from
// the POSIX locale) and the fixed #LEGACY and #BINARY conventions.
#pragma once

#include <functional>

#include "platform/runtime/regional.h"
#include "platform/runtime/usual.h"

namespace rt {

// The mode in force: #WINDOWS, #BINARY or #LEGACY (from _SetIntl).
rt::Symbol InternationalMode();

// With nil: only returns the mode in force. With #WINDOWS, #LEGACY or
// #BINARY: applies that mode and returns the previous one. With any other
// value: raises an error of subsystem "International", general code 30
// through the error block (its answer is ignored), changes nothing and
// returns the mode in force.
//
// While a mode is applied, a temporary error block leaves the work at the
// first runtime fault: the settings made so far stay, nothing is raised or
// shown, the error block is put back and the previous mode returned.
rt::Symbol SetInternational(const rt::Usual& mode = {});

// The same, with #WINDOWS reading its settings from `read` instead of the
// environment's locale (tests read a named locale this way).
using RegionalReader = std::function<RegionalSettings()>;
rt::Symbol SetInternational(const rt::Usual& mode, const RegionalReader& read);

}  // namespace rt
