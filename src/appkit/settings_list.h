// The application settings list: a process-wide array that start-up fills.
// Position 1 holds the data directory (the executable's directory followed
// by DATA, no final separator), position 2 the application title.
#pragma once

#include <cstddef>
#include <string>

#include "platform/runtime/usual.h"

namespace appkit {

inline constexpr size_t kSettingDataDir = 1;
inline constexpr size_t kSettingTitle = 2;

// The list itself (an array, held by reference: changes through it show).
rt::Usual SettingsList();
// Empties the list.
void ResetSettingsList();
// Appends a value; returns its position.
size_t AddSetting(const rt::Usual& value);
// The value at a position; nil when the list is shorter.
rt::Usual Setting(size_t position);

// Position 1 and 2 as text ("" while not set or not text).
std::string DataDirectory();
std::string ApplicationTitle();

}  // namespace appkit
