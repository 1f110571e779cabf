// Read-only access to the memo file beside a table (.DBT or .FPT), so that
// tables made elsewhere can be browsed with their memo text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/rdd/dbfheader.h"

namespace rdd::dbf {

class MemoFile {
public:
    // The memo file beside the table: the same name with .dbt or .fpt, in
    // any letter case; nullptr when there is none.
    static std::unique_ptr<MemoFile> OpenBeside(const std::string& tablePath, MemoKind kind);
    ~MemoFile();
    MemoFile(const MemoFile&) = delete;
    MemoFile& operator=(const MemoFile&) = delete;

    // The memo a field's bytes refer to; "" for none or a reference that
    // points outside the file.
    std::string Read(const uint8_t* ref, int width) const;
    const std::string& Path() const { return path_; }

private:
    MemoFile(int fd, MemoKind kind, std::string path);
    std::string ReadDbt(uint64_t block) const;
    std::string ReadFpt(uint64_t block) const;
    // Whether n bytes at offset lie within the file.
    bool Within(uint64_t offset, uint64_t n) const;
    bool ReadAt(uint64_t offset, void* dst, size_t n) const;

    int fd_ = -1;
    MemoKind kind_;
    std::string path_;
    uint64_t size_ = 0;
    uint32_t blockSize_ = 512;
};

}  // namespace rdd::dbf
