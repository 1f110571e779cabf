// On-disk layout of a DBF table (dBASE III family) and its memo files.
//
// Table file:
//
//   offset  size  header (32 bytes)
//   0       1     version byte (kVersion...)
//   1       3     date of last update: year - 1900, month, day
//   4       4     record count, little endian
//   8       2     header length (header + descriptors + terminator [+ extra])
//   10      2     record length (deletion flag + all field widths)
//   12      17    reserved (zero)
//   29      1     code-page byte (kCodePageOem / kCodePageAnsi)
//   30      2     reserved (zero)
//
//   32 + 32*i     field descriptor i (32 bytes):
//   0       11    field name, ASCII, NUL padded
//   11      1     type letter (C N F D L M ...)
//   12      4     field offset in the record (FoxPro; zero in dBASE III)
//   16      1     width
//   17      1     decimals
//   18      14    reserved (zero)
//
//   after the last descriptor: 0x0D terminator; Visual FoxPro tables add a
//   263-byte back-link area before the records. The records start at the
//   header length.
//
//   record: 1 deletion-flag byte (' ' live, '*' deleted), then the fields
//   back to back, each exactly its width, as text:
//     C  text, blank padded on the right
//     N  F  number right aligned, blank padded on the left ("  12.50")
//     D  YYYYMMDD, eight blanks for the empty date
//     L  T/t/Y/y true, F/f/N/n false, '?' or blank unknown
//     M  block number of the memo in the memo file (10 ASCII digits, or a
//        4-byte little-endian number in Visual FoxPro tables)
//
//   after the last record: one 0x1A end-of-file byte.
//
// Memo files:
//   .DBT (dBASE III): 512-byte blocks; block 0 is the header; a memo is text
//        ended by 0x1A (usually two).
//   .DBT (dBASE IV): block size at header offset 20 (2 bytes LE); a memo
//        block starts with FF FF 08 00 and a 4-byte LE length that counts
//        those 8 bytes.
//   .FPT (FoxPro): block size at header offset 6 (2 bytes BE); a memo block
//        starts with a 4-byte BE type and a 4-byte BE length of the data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdd::dbf {

// Header.
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kOffVersion = 0;
inline constexpr size_t kOffDate = 1;
inline constexpr size_t kOffCount = 4;
inline constexpr size_t kOffHeaderLen = 8;
inline constexpr size_t kOffRecordLen = 10;
inline constexpr size_t kOffCodePage = 29;

// Field descriptors.
inline constexpr size_t kDescSize = 32;
inline constexpr size_t kDescOffName = 0;
inline constexpr size_t kDescNameLen = 11;  // ten characters and a NUL
inline constexpr size_t kDescOffType = 11;
inline constexpr size_t kDescOffWidth = 16;
inline constexpr size_t kDescOffDecimals = 17;
inline constexpr size_t kMaxNameChars = 10;

// Markers.
inline constexpr uint8_t kTerminator = 0x0D;
inline constexpr uint8_t kEofMarker = 0x1A;
inline constexpr uint8_t kLiveFlag = ' ';
inline constexpr uint8_t kDeletedFlag = '*';

// Version bytes.
inline constexpr uint8_t kVersionDb3 = 0x03;      // dBASE III and later, no memo
inline constexpr uint8_t kVersionDb4 = 0x04;      // dBASE IV (layout as III)
inline constexpr uint8_t kVersionDb5 = 0x05;      // dBASE V
inline constexpr uint8_t kVersionVfp = 0x30;      // Visual FoxPro
inline constexpr uint8_t kVersionVfpAuto = 0x31;  // Visual FoxPro, autoincrement
inline constexpr uint8_t kVersionVfpVar = 0x32;   // Visual FoxPro, varchar
inline constexpr uint8_t kVersionDb3Memo = 0x83;  // dBASE III with .DBT memo
inline constexpr uint8_t kVersionDb4Memo = 0x8B;  // dBASE IV with .DBT memo
inline constexpr uint8_t kVersionFoxMemo = 0xF5;  // FoxPro with .FPT memo
inline constexpr size_t kVfpBacklinkSize = 263;

// Code-page bytes written at creation.
inline constexpr uint8_t kCodePageOem = 0x01;   // code page 437
inline constexpr uint8_t kCodePageAnsi = 0x03;  // code page 1252

// Limits.
inline constexpr size_t kMaxRecordLen = 65535;
inline constexpr size_t kMaxHeaderLen = 65535;
inline constexpr int kMaxCharWidth = 254;
inline constexpr int kMaxNumWidth = 20;

// Memo files.
inline constexpr size_t kDbtBlockSize = 512;
inline constexpr size_t kDbt4OffBlockSize = 20;
inline constexpr size_t kFptOffBlockSize = 6;
inline constexpr size_t kFptBlockHeader = 8;
inline constexpr size_t kDbt4BlockHeader = 8;

// Locks (open-file-description locks, placed far beyond any table's end so
// they never cover data another program might lock byte-wise):
//   kLockOpen      every open holds a read lock; an exclusive open a write lock
//   kLockHeader    a writer holds it while it appends or repairs the header
//   kLockRecord+n  a shared writer holds it while it writes record n
inline constexpr int64_t kLockOpen = int64_t{1} << 40;
inline constexpr int64_t kLockHeader = kLockOpen + 1;
inline constexpr int64_t kLockRecord = kLockOpen + 16;

}  // namespace rdd::dbf
