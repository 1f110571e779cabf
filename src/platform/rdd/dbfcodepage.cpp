#include "platform/rdd/dbfcodepage.h"

#include <string>

namespace rdd::dbf {
namespace {

struct Entry {
    uint8_t byte;
    int number;
};

// The language driver ids of dBASE, FoxPro and Visual FoxPro tables and the
// code page of each. 0x57 names the writer's ANSI code page; it is taken as
// 1252, the common case.
constexpr Entry kEntries[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x08, 865},   {0x09, 437},   {0x0A, 850},  {0x0B, 437},
    {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},   {0x11, 437},   {0x12, 850},   {0x13, 932},  {0x14, 850},
    {0x15, 437},  {0x16, 850},  {0x17, 865},  {0x18, 437},   {0x19, 437},   {0x1A, 850},   {0x1B, 437},  {0x1C, 863},
    {0x1D, 850},  {0x1F, 852},  {0x22, 852},  {0x23, 852},   {0x24, 860},   {0x25, 850},   {0x26, 866},  {0x37, 850},
    {0x40, 852},  {0x4D, 936},  {0x4E, 949},  {0x4F, 950},   {0x50, 874},   {0x57, 1252},  {0x58, 1252}, {0x59, 1252},
    {0x64, 852},  {0x65, 866},  {0x66, 865},  {0x67, 861},   {0x68, 895},   {0x69, 620},   {0x6A, 737},  {0x6B, 857},
    {0x6C, 863},  {0x78, 950},  {0x79, 949},  {0x7A, 936},   {0x7B, 932},   {0x7C, 874},   {0x7D, 1255}, {0x7E, 1256},
    {0x86, 737},  {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

// The iconv name of a code page number; empty for the two DOS code pages
// iconv does not know (Kamenicky 895, Mazovia 620).
std::string IconvName(int number) {
    switch (number) {
        case 895:
        case 620: return {};
        case 10000: return "MACINTOSH";
        case 10006: return "MAC-GREEK";
        case 10007: return "MAC-CYRILLIC";
        case 10029: return "MAC-CENTRALEUROPE";
        default: return "CP" + std::to_string(number);
    }
}

// Windows-1252 is built in where the system's iconv lacks it.
const rt::CodePage& Fallback() {
    static const rt::CodePage& cp = *rt::CodePage::Named("CP1252");
    return cp;
}

}  // namespace

int CodePageNumber(uint8_t codePageByte) {
    for (const Entry& e : kEntries)
        if (e.byte == codePageByte) return e.number;
    return 0;
}

const rt::CodePage& TableCodePage(uint8_t codePageByte) {
    const int number = CodePageNumber(codePageByte);
    const std::string name = number ? IconvName(number) : std::string();
    // Code pages are built once and kept (rt::CodePage::Named).
    const rt::CodePage* cp = name.empty() ? nullptr : rt::CodePage::Named(name);
    return cp ? *cp : Fallback();
}

}  // namespace rdd::dbf
