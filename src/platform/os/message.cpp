#include "platform/os/message.h"

#include <cstring>

#include "platform/runtime/oserror.h"

namespace os {
namespace {

thread_local DWORD tLastError = 0;

}  // namespace

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD messageId, DWORD languageId, char* buffer, DWORD size,
                     va_list* /*arguments*/) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    unsigned primary = languageId & 0x3FF;
    if (primary != LANG_NEUTRAL && primary != LANG_ENGLISH) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const char* text = rt::WinErrorText(static_cast<int>(messageId));
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    size_t len = std::strlen(text);
    if (len + 3 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, len);
    std::memcpy(buffer + len, "\r\n", 3);
    return static_cast<DWORD>(len + 2);
}

}  // namespace os
