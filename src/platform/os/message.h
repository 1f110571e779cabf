// FormatMessageA for the system's message table: the English texts of the
// Win32 codes that these services and the runtime's file layer return.
#pragma once

#include <cstdarg>

#include "platform/os/win32.h"

namespace os {

inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

inline constexpr WORD LANG_NEUTRAL = 0x00;
inline constexpr WORD LANG_ENGLISH = 0x09;
inline constexpr WORD SUBLANG_NEUTRAL = 0x00;
inline constexpr WORD SUBLANG_DEFAULT = 0x01;

// The Win32 MAKELANGID rule: the sub-language shifted left by 10 bits, OR-ed
// with the primary language as a 16-bit word.
constexpr WORD MakeLangId(unsigned primary, unsigned sub) {
    return static_cast<WORD>((sub << 10) | static_cast<WORD>(primary));
}

// Copies the system text of messageId (ending in CR LF) into buffer and
// answers its length without the terminator. 0 with the last error set when
// there is no text (317), the language is not English or neutral (1815), the
// buffer is too small (122) or the flags ask for something other than the
// system table (87). Inserts ("%1") are left as they stand: no argument
// list is read.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer, DWORD size,
                     va_list* arguments);

}  // namespace os
