// Index keys: the value of an order's key expression as bytes that sort in
// the order the runtime compares the values.
//
//   C  the text in the table's code page, blank padded or cut to the key
//      width; bytes compare unsigned, so the order is the code page's byte
//      order (the runtime's byte-wise order for ASCII). A character the code
//      page cannot hold (only an expression's own text can bring one) is
//      stored, and sought, as '?'.
//   N  8 bytes: the IEEE double, big endian, with the sign bit flipped for
//      positive numbers and every bit flipped for negative ones (numeric
//      order; -0 is stored as 0)
//   D  8 bytes: DToS ("YYYYMMDD", eight blanks for the empty date first)
//   L  1 byte: 'F' or 'T' (false before true)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/runtime/codepage.h"
#include "platform/runtime/usual.h"

namespace rdd::idx {

enum class KeyType : char { kChar = 'C', kNumber = 'N', kDate = 'D', kLogic = 'L' };

inline constexpr size_t kMaxKeyWidth = 240;

// The key type of a value, FALSE for a type no key can hold.
bool KeyTypeOf(const rt::Usual& v, KeyType& type);

// The key width a value gives: a text's length in the code page's bytes, 8
// for numbers and dates, 1 for logic.
size_t KeyWidthOf(const rt::Usual& v, const rt::CodePage& cp);

// Encodes a key value of the order's type into exactly `width` bytes;
// FALSE when the value is not of that type.
bool EncodeKey(const rt::Usual& v, KeyType type, size_t width, const rt::CodePage& cp, std::string& out);

// The bytes a Seek looks for: a text seeks the keys that start with it (a
// date order is text too), the other types an exact key. FALSE when the
// value cannot be sought in an order of this type.
bool EncodeSeekKey(const rt::Usual& v, KeyType type, size_t width, const rt::CodePage& cp, std::string& out);

// The value back from the key bytes (text with its padding).
rt::Usual DecodeKey(const uint8_t* bytes, KeyType type, size_t width, const rt::CodePage& cp);

}  // namespace rdd::idx
