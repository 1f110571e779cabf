// Reads a number as a person writes it in a text that reaches a numeric
// field whole (a paste, a drop): an optional sign, "$", digits grouped by
// the thousands separator, one decimal separator. An accounting negative
// "(42)" and a trailing minus "42-" are negative. Anything else (letters,
// a currency word, a second decimal separator, digits split by blanks) is
// no number, so the field refuses the text instead of reading what it can.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lib {

struct NumberText {
    bool negative = false;
    std::string whole;     // the digits before the separator, without groups
    std::string decimals;  // the digits after it
    // The number written plainly with that decimal separator: "-1234.5".
    std::string Plain(char decimalSep = '.') const;
    // Digits of the whole part without its leading zeros.
    size_t Significant() const;
};

std::optional<NumberText> ReadNumberText(std::string_view text, char decimalSep, char thousandSep);

}  // namespace lib
