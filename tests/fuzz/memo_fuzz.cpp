// libFuzzer target for the memo files: the input after its first nine bytes
// is a memo file beside a small valid table with a memo field. Byte 0 picks
// the table's version (its memo kind), whether the memo file carries the
// other kind's extension, and whether the field holds its block number as
// 4 binary bytes or 10 digits; bytes 1..8 are the four records' block
// numbers (16 bits each). Every memo is read twice: the same text both
// times, within the bound on one memo, never a crash or a read outside.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbftable.h"

namespace {

using namespace rdd::dbf;

constexpr size_t kRecords = 4;
constexpr size_t kPrefix = 1 + 2 * kRecords;
constexpr size_t kMaxMemoText = size_t{16} << 20;

// The table: NAME C 6 and NOTE M (width 4 or 10), four records.
std::vector<uint8_t> TableBytes(uint8_t version, bool binaryRef, const uint8_t* refs) {
    std::vector<FieldDesc> fields{{"NAME", 'C', 6, 0, 1}, {"NOTE", 'M', binaryRef ? 4 : 10, 0, 7}};
    std::vector<uint8_t> t = BuildHeader(fields, kCodePageAnsi, 2024, 1, 2);
    t[kOffVersion] = version;
    PutLe32(&t[kOffCount], kRecords);
    for (size_t r = 0; r < kRecords; ++r) {
        uint32_t block = refs[2 * r] | uint32_t{refs[2 * r + 1]} << 8;
        char rec[32];
        std::snprintf(rec, sizeof rec, " ROW%-3zu%10u", r + 1, block);
        std::vector<uint8_t> bytes(rec, rec + 17);
        if (binaryRef) {
            bytes.resize(11);
            PutLe32(&bytes[7], block);
        }
        t.insert(t.end(), bytes.begin(), bytes.end());
    }
    t.push_back(kEofMarker);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kPrefix) return 0;
    static const uint8_t kVersions[] = {kVersionDb3Memo, kVersionDb4Memo, kVersionFoxMemo, kVersionDb3};
    const uint8_t version = kVersions[data[0] & 3];
    const bool fox = version == kVersionFoxMemo;
    const bool otherExtension = data[0] & 4;
    const bool binaryRef = data[0] & 8;
    fuzz::ClearFolder();
    std::vector<uint8_t> table = TableBytes(version, binaryRef, data + 1);
    fuzz::PutFile("m.dbf", table.data(), table.size());
    fuzz::PutFile(fox != otherExtension ? "M.FPT" : "m.dbt", data + kPrefix, size - kPrefix);

    Fault fault;
    auto t = Table::Open(fuzz::PathOf("m.dbf"), OpenMode{false, true, 1}, fault);
    FUZZ_CHECK(t && t->Count() == kRecords);  // the table itself is sound
    const MemoFile* memo = t->Memo();
    FUZZ_CHECK(memo);  // the memo file is there, in one letter case or the other
    std::vector<uint8_t> rec(t->RecordLen());
    const FieldDesc& note = t->Fields()[1];
    for (uint32_t r = 1; r <= kRecords; ++r) {
        FUZZ_CHECK(!t->Read(r, rec.data()));
        std::string text = memo->Read(rec.data() + note.offset, note.width);
        FUZZ_CHECK(text.size() <= kMaxMemoText && memo->Read(rec.data() + note.offset, note.width) == text);
        DecodeField(note, rec.data() + note.offset, t->TextCodePage(), memo);
    }
    return 0;
}
