// The code page a table's text is stored in, by the code-page byte (the
// language driver id) at header offset 29.
#pragma once

#include <cstdint>

#include "platform/runtime/codepage.h"

namespace rdd::dbf {

// The Windows code page number a code-page byte stands for (437 for 0x01,
// 1252 for 0x03, 932 for 0x13 ...); 0 for 0x00 and bytes no table defines.
int CodePageNumber(uint8_t codePageByte);

// The code page a table with this byte holds its text in. 0x00, bytes no
// table defines and code pages the system cannot convert (Kamenicky 0x68,
// Mazovia 0x69) read and write as Windows-1252, as most DBF readers take
// them.
const rt::CodePage& TableCodePage(uint8_t codePageByte);

}  // namespace rdd::dbf
