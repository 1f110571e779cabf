#include "platform/runtime/errorservices.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cstdio>
#include <thread>

namespace rt {
namespace {

std::atomic<ToneHook> gToneHook{nullptr};
std::atomic<ErrorBoxHook> gBoxHook{nullptr};
std::atomic<MessageBoxHook> gPlainBoxHook{nullptr};

constexpr int kMaxToneTicks = 182;

void TerminalBell() {
    if (isatty(STDERR_FILENO)) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

}  // namespace

void Tone(int frequency, int duration) {
    duration = std::clamp(duration, 0, kMaxToneTicks);
    if (ToneHook hook = gToneHook.load()) {
        hook(frequency, duration);
    } else {
        TerminalBell();
    }
    // One tick is 1/18.2 s: 10000/182 ms.
    std::this_thread::sleep_for(std::chrono::microseconds(duration * 10'000'000LL / 182));
}

ToneHook SetToneHook(ToneHook hook) { return gToneHook.exchange(hook); }

uint32_t ErrorMessageBox(const std::string& text, const std::string& caption, uint32_t defaultValue,
                         uint32_t retryValue, uint32_t abortValue) {
    if (ErrorBoxHook hook = gBoxHook.load()) return hook(text, caption, defaultValue, retryValue, abortValue);
    return StderrErrorMessageBox(text, caption, defaultValue, retryValue, abortValue);
}

uint32_t StderrErrorMessageBox(const std::string& text, const std::string& caption, uint32_t defaultValue, uint32_t,
                               uint32_t abortValue) {
    uint32_t answer = defaultValue != 0 ? defaultValue : abortValue;
    std::string lines;
    for (char c : text)
        if (c != '\r') lines += c;
    std::fprintf(stderr, "%s\n%s(answered %s: nobody to ask)\n", caption.c_str(), lines.c_str(),
                 defaultValue != 0 ? "with the default" : "with abort");
    std::fflush(stderr);
    return answer;
}

ErrorBoxHook SetErrorMessageBoxHook(ErrorBoxHook hook) { return gBoxHook.exchange(hook); }

int MessageBoxA(const std::string& text, const std::string& caption, uint32_t style) {
    if (MessageBoxHook hook = gPlainBoxHook.load()) return hook(text, caption, style);
    std::fprintf(stderr, "%s\n%s\n(answered OK: nobody to ask)\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return 1;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return gPlainBoxHook.exchange(hook); }

void MathInit() {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetenv(FE_DFL_ENV);
}

}  // namespace rt
