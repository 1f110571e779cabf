// Services of the runtime that the error handler calls: tones, the error
// message box, a plain message box and the floating-point reset.
//
// The tone and the box have a plain default here (the terminal bell, a text
// on stderr) and are replaced by the GUI layer through hooks, so that this
// layer and the error handler need no Qt.
#pragma once

#include <cstdint>
#include <string>

namespace rt {

// Tones. The duration counts clock ticks of 1/18.2 second (about 55 ms);
// Tone returns when the tone has had its time, so that tones in a row are
// heard one by one. Durations are cut to 0 .. 182 ticks (10 seconds).
// Without a hook the bell character is written to stderr when stderr is a
// terminal, and nothing is sounded otherwise (a pipe or a log file would
// only collect control characters).
using ToneHook = void (*)(int frequency, int duration);
void Tone(int frequency, int duration);
// Installs the hook (nullptr restores the default); returns the previous one.
ToneHook SetToneHook(ToneHook hook);

// The error message box: the message, its caption and three button values.
// A value of 0 means "no such button". The box returns the value of the
// button the operator chose.
//   default: 1 when the error accepts a default or substitute result
//   retry:   2 when the operation may be repeated
//   abort:   kErrorBoxBreak when a recovery scope is active (the operation
//            is abandoned), kErrorBoxQuit when the process would end
inline constexpr uint32_t kErrorBoxDefault = 1;
inline constexpr uint32_t kErrorBoxRetry = 2;
inline constexpr uint32_t kErrorBoxBreak = 0x80000003u;
inline constexpr uint32_t kErrorBoxQuit = 0x80000000u;

using ErrorBoxHook = uint32_t (*)(const std::string& text, const std::string& caption, uint32_t defaultValue,
                                  uint32_t retryValue, uint32_t abortValue);
// Without a hook (no GUI) the caption and the text go to stderr and the box
// answers its default value, or the abort value when there is no default:
// nobody is there to choose, and answering "retry" could repeat for ever.
uint32_t ErrorMessageBox(const std::string& text, const std::string& caption, uint32_t defaultValue,
                         uint32_t retryValue, uint32_t abortValue);
// Installs the hook (nullptr restores the default); returns the previous one.
ErrorBoxHook SetErrorMessageBoxHook(ErrorBoxHook hook);
// The default itself, for a hook that cannot show its box (another thread).
uint32_t StderrErrorMessageBox(const std::string& text, const std::string& caption, uint32_t defaultValue,
                               uint32_t retryValue, uint32_t abortValue);

// A plain message box as Win32's MessageBoxA with no owner window: the
// text, the caption and the Win32 style (0: an OK button, no icon). Returns
// the Win32 id of the button chosen (1 OK). Without a hook the caption and
// the text go to stderr and the answer is OK.
using MessageBoxHook = int (*)(const std::string& text, const std::string& caption, uint32_t style);
int MessageBoxA(const std::string& text, const std::string& caption, uint32_t style);
// Installs the hook (nullptr restores the default); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Resets the floating-point state: clears the exception flags and restores
// the default environment (rounding to nearest, no traps).
void MathInit();

}  // namespace rt
