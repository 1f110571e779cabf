// libFuzzer target for the DBF reader: any bytes as a table file, opened
// read-only, every record and field read. When the header has memo fields,
// the same bytes serve as its memo file too, so that the fields' block
// numbers lead somewhere. Must never crash, hang or write; the records it
// counts must lie within the file and every field within the record.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbftable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rdd::dbf;
    fuzz::ClearFolder();
    fuzz::PutFile("t.dbf", data, size);
    Layout parsed;
    Fault parseFault;
    if (ParseHeader(std::span<const uint8_t>(data, size), size, parsed, parseFault) && parsed.memo != MemoKind::kNone)
        fuzz::PutFile(parsed.memo == MemoKind::kFpt ? "t.fpt" : "t.dbt", data, size);

    Fault fault;
    auto table = Table::Open(fuzz::PathOf("t.dbf"), OpenMode{true, true, 1}, fault);
    if (!table) {
        FUZZ_CHECK(!fault.description.empty());  // a refusal must say why
        return 0;
    }
    const Layout& h = table->Header();
    FUZZ_CHECK(h.headerLen + uint64_t{table->Count()} * h.recordLen <= size);
    FUZZ_CHECK(h.memo == MemoKind::kNone || table->Memo());
    std::vector<uint8_t> rec(table->RecordLen());
    for (const auto& f : table->Fields())
        FUZZ_CHECK(f.offset >= 1 && f.width >= 1 && f.offset + static_cast<size_t>(f.width) <= rec.size());
    uint32_t n = table->Count() < 10000 ? table->Count() : 10000;
    for (uint32_t r = 1; r <= n; ++r) {
        if (table->Read(r, rec.data())) break;
        for (const auto& f : table->Fields())
            DecodeField(f, rec.data() + f.offset, table->TextCodePage(), table->Memo());
    }
    return 0;
}
