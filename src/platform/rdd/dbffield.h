// Field values: the bytes of one field in a record, read into a typed value
// and written from one. Text (C and M fields) is stored in the table's code
// page and is the runtime's UTF-8 as a value.
#pragma once

#include <cstdint>

#include "platform/rdd/dbfheader.h"
#include "platform/rdd/fault.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/usual.h"

namespace rdd::dbf {

class MemoFile;

// The value of a field: C text with its trailing blanks; N and F a number
// (an integer when the field has no decimals and the value fits, else a
// Float carrying width and decimals); D a date (empty for blanks); L a logic;
// M the memo text (empty without a memo file); C and M text converted from
// the code page `cp`. Other types give the raw bytes as text. Never fails:
// unreadable content gives the empty value.
rt::Usual DecodeField(const FieldDesc& f, const uint8_t* bytes, const rt::CodePage& cp, const MemoFile* memo);

// Writes a value into the field's bytes. Character text is converted to the
// code page `cp`, then padded with blanks or cut to the width, which counts
// the code page's bytes (whole characters only); nil stores blanks. A value
// of the wrong type, text with a character the code page cannot hold, or a
// number too wide for the field is refused with a fault and nothing is
// written.
Fault EncodeField(const FieldDesc& f, const rt::Usual& value, uint8_t* bytes, const rt::CodePage& cp);

// The empty value of a field's type ("" padded, 0, empty date, false).
rt::Usual BlankValue(const FieldDesc& f);

// Julian day number of a civil date and back (proleptic Gregorian).
int32_t JulianFromCivil(int year, int month, int day);
void CivilFromJulian(int32_t julian, int& year, int& month, int& day);

}  // namespace rdd::dbf
