// Reads a text written under a display picture back into the number it
// shows: the "@" functions X (a trailing "DB" is negative), C (a trailing
// "CR", which the runtime writes after positives), "(" (parentheses are
// negative) and D (digits in the order of the
// date picture), a "-", the runtime's decimal separator, and the template's
// digit places "9#$*".
#pragma once

#include <string>

namespace lib {

double UnformatNumber(const std::string& text, const std::string& picture);

}  // namespace lib
