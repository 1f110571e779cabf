// libFuzzer target for the DBF reader: any bytes as a table file, opened
// read-only, every record and field read. Must never crash, hang or write.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbftable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = ::memfd_create("fuzz.dbf", MFD_CLOEXEC);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t w = ::write(fd, data + done, size - done);
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    rdd::dbf::Fault fault;
    auto table = rdd::dbf::Table::Open(path, rdd::dbf::OpenMode{true, true, 1}, fault);
    if (table) {
        std::vector<uint8_t> rec(table->RecordLen());
        uint32_t n = table->Count() < 10000 ? table->Count() : 10000;
        for (uint32_t r = 1; r <= n; ++r) {
            if (table->Read(r, rec.data())) break;
            for (const auto& f : table->Fields()) {
                if (f.offset + static_cast<size_t>(f.width) > rec.size()) __builtin_trap();
                rdd::dbf::DecodeField(f, rec.data() + f.offset, table->TextCodePage(), table->Memo());
            }
        }
    } else if (fault.description.empty()) {
        __builtin_trap();  // a refusal must say why
    }
    table.reset();
    ::close(fd);
    return 0;
}
