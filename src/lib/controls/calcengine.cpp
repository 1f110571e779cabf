#include "lib/controls/calcengine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace lib {
namespace {

constexpr double kLargest = 999999999999999.0;  // fifteen nines
constexpr const char* kOperators = "^%*+/-";

bool IsOperator(char c) { return c && std::strchr(kOperators, c); }

// f in fixed notation with that many decimals, independent of the C
// locale (the display always uses a point).
std::string Fixed(double f, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

}  // namespace

void CalcEngine::InitCalc() {
    accumulator = operand = result = 0;
    pending = '+';
    typing = true;
    state = 1;
    error = false;
    display = "0.0";
}

void CalcEngine::Open(const std::string* startText) {
    memory = 0;
    memText.clear();
    InitCalc();
    if (!startText) {
        error = true;
        display = "Error";
    } else if (!startText->empty()) {
        display = FloatToString(StringToFloat(*startText));
    }
}

void CalcEngine::AutoClear() {
    if (!typing) {
        display.clear();
        typing = true;
    }
    error = false;
}

void CalcEngine::Digit(char d) {
    AutoClear();
    display += d;
}

void CalcEngine::Dot() {
    AutoClear();
    if (display.find('.') == std::string::npos) display += '.';
}

void CalcEngine::PlusMinus() {
    if (display.empty()) return;
    if (display[0] == '-') display.erase(0, 1);
    else display.insert(0, 1, '-');
}

void CalcEngine::ClearEntry() {
    display = "0.0";
    typing = false;
}

void CalcEngine::Clear() {
    InitCalc();
    typing = false;
}

double CalcEngine::MyDiv(double a, double b) {
    if (b == 0) {
        error = true;
        return 0;
    }
    return a / b;
}

void CalcEngine::Apply() {
    switch (pending) {
        case '^': result = std::pow(accumulator, operand); break;
        case '+': result = accumulator + operand; break;
        case '/': result = MyDiv(accumulator, operand); break;
        case '-': result = accumulator - operand; break;
        case '*': result = accumulator * operand; break;
        case '%': result = operand * accumulator / 100; break;
        default: break;
    }
}

void CalcEngine::DoOperation(char c) {
    if (error) return;
    if (c == 'C' || c == 'c') {
        Clear();
    } else if ((c == 'S' || c == 'I') && (state == 1 || state == 2)) {
        double& slot = state == 1 ? accumulator : operand;
        slot = Value();
        result = c == 'S' ? std::sqrt(slot) : MyDiv(1, slot);
        if (std::isnan(result)) error = true;  // the root of a negative number
        Show();
        typing = false;
    } else if (IsOperator(c) && state == 1) {
        state = 2;
        typing = false;
        pending = c;
        accumulator = Value();
    } else if (c == '=') {
        operand = Value();
        Apply();
        Show();
        typing = false;
        state = 1;
    } else if (c && std::strchr("+/-*", c) && state == 2) {
        operand = Value();
        Apply();
        Show();
        accumulator = Value();
        typing = false;
        if (!error) state = 2;
        pending = c;
    } else if (c == '%' && state == 2) {
        operand = Value() * accumulator / 100;
        Apply();
        Show();
        typing = false;
        state = 1;
    }
}

std::string CalcEngine::FloatToString(double f) {
    if (f == 0) f = 0;  // a negative zero (-5 x 0) shows as 0
    const std::string whole = Fixed(f, 0);
    const int k = static_cast<int>(whole.size()) + 1;
    const int d = 18 - k;
    if (!std::isfinite(f) || std::fabs(f) > kLargest) error = true;
    if (error) {
        typing = false;
        state = 1;
        return "Error";
    }
    // Past fifteen significant digits a double holds only the noise of its
    // binary value (0.3 + 4.6 is 4.8999999999999995): a value that ends in
    // zeros at fifteen digits is shown that short (4.9); one that does not
    // (1/3) keeps every place the display has.
    std::string text = d > 0 ? Fixed(f, d) : whole;
    const int intDigits = std::fabs(f) >= 1 ? static_cast<int>(whole.size()) - (f < 0 ? 1 : 0) : 0;
    if (const int clean = std::min(d, 15 - intDigits); clean > 0) {
        const std::string shorter = Fixed(f, clean);
        if (shorter.back() == '0') text = shorter;
    }
    int shown = 0;
    if (auto dot = text.find('.'); dot != std::string::npos) {
        while (text.size() > dot + 1 && text.back() == '0') text.pop_back();
        shown = static_cast<int>(text.size() - dot - 1);
    }
    decimals = shown;
    return text;
}

double CalcEngine::StringToFloat(const std::string& s) {
    if (error) return 0;
    if (auto dot = s.find('.'); dot != std::string::npos) {
        const int n = static_cast<int>(s.size() - (dot + 1));
        if (n > decimals) decimals = n;
    }
    size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos) return 0;
    double v = 0;
    const char* first = s.data() + i;
    if (*first == '+') ++first;
    std::from_chars(first, s.data() + s.size(), v);
    return v;
}

void CalcEngine::Memory(char op) {
    const double v = Value();
    memory = op == '+' ? memory + v : op == '-' ? memory - v : memory * v;
    if (memory == 0) {
        MemClear();
        return;
    }
    const std::string padded = std::string(10, ' ') + FloatToString(memory);
    memText = "M=" + padded.substr(padded.size() > 18 ? padded.size() - 18 : 0);
}

void CalcEngine::MemClear() {
    memory = 0;
    memText.clear();
}

void CalcEngine::MemRecall() {
    if (memory != 0 && memText.size() > 2) display = memText.substr(2);
}

std::string CalcEngine::SaveExit() {
    if (state == 2 && IsOperator(pending)) DoOperation('=');
    return display;
}

int CalcEngine::EditChange() {
    int caret = -1;
    if (std::count(display.begin(), display.end(), '.') > 1) {
        const size_t p = display.find('.');
        display.erase(display[0] == '.' ? 0 : p, 1);
        caret = static_cast<int>(p) + 1;  // the first point's place, counted from 1
    }
    if (!display.empty() && display[0] == '.') {
        display.insert(0, 1, '0');
        caret = -2;
    } else if (display.rfind("00", 0) == 0) {
        display.erase(0, 1);
    }
    return caret;
}

}  // namespace lib
