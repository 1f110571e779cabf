// The program's name and version.
#pragma once

#include <string>

namespace rt {

inline constexpr const char* kProgramName = "QZScan";
inline constexpr const char* kProgramVersion = "1.02";

// The runtime's version text, as written at the head of an error report.
inline std::string Version() { return std::string(kProgramName) + " runtime " + kProgramVersion; }

}  // namespace rt
