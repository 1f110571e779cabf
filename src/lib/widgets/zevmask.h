// The key algorithms of the masked edit (ZEV_SLE) on a plain text and
// selection, without a widget: number mode reformats the whole text after
// each key, date mode overwrites the fixed layout "DD.MM.YYYY".
#pragma once

#include <string>

#include "platform/runtime/usual.h"

namespace lib {

// The text of the edit and its selection: s and f count characters left of
// the selection's ends, from 0 (s == f is a plain caret).
struct MaskEdit {
    std::string text;
    int s = 0, f = 0;
    bool refused = false;  // the key was refused: the field beeps
};

// One key for a mode handler: a character message with code `code`, or the
// Delete key-down (whose code 46 is also that of ".").
struct MaskKey {
    int code = 0;
    bool deleteKey = false;
};

struct NumberLimits {
    int integerLength = 0;  // most digits before the point
    int decimals = 0;       // most digits after it; 0: no point accepted
};

// The ten-character date layout: two blanks, ".", two blanks, ".", four blanks.
inline constexpr const char* kDateMask = "  .  .    ";

// Caret position between the shown text and the text without ",": toRaw
// subtracts the "," among the first `pos` characters of `shown`; otherwise
// adds the "," among the first ref + 1 characters.
int MaskSetPos(const std::string& shown, int pos, int ref, bool toRaw);

// Number mode: the text after the key, grouped, with the caret (s == f).
// A digit with no place left in its part is refused (the text unchanged).
MaskEdit NumberKey(const MaskEdit& in, MaskKey key, NumberLimits limits);
// A pasted text put in place of the selection: the new text and caret, or
// refused when the result is no number the limits hold.
MaskEdit NumberPaste(const MaskEdit& in, const std::string& pasted, NumberLimits limits);
// Whether a text is one the modes write: a number grouped as number mode
// groups it within the limits; a date in the layout (digits or blanks in
// its places).
bool WellFormedNumber(const std::string& text, NumberLimits limits);
bool WellFormedDate(const std::string& text);
// A pasted date: the field's layout or the process's date format.
MaskEdit DatePaste(const MaskEdit& in, const std::string& pasted);
// Date mode: the text and selection after the key.
MaskEdit DateKey(const MaskEdit& in, MaskKey key);

// The date moved by whole months, the day kept; the empty date where the
// target month has no such day.
rt::Date DateAddMonth(rt::Date date, int months);
// The field's fixed layout: "DD.MM.YYYY" both ways (the empty date shows the
// mask; text that names no date reads as the empty date).
std::string MaskDateText(rt::Date d);
rt::Date MaskTextDate(const std::string& text);

}  // namespace lib
