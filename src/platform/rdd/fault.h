// A failure inside the table engine, before it becomes an Error object: the
// engine reports, the table object and the creation function raise.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace rdd::dbf {

// A fault nobody looks at is a failure reported as success: every result of
// this type must be read (or visibly dropped, saying why that is safe).
struct [[nodiscard]] Fault {
    uint32_t genCode = 0;     // general error code (rt::GenCode)
    int osCode = 0;           // Windows error number, 0 when none
    std::string description;  // names the fault; the file is added by the raiser
    bool canRetry = false;

    explicit operator bool() const { return genCode != 0; }
};

inline Fault MakeFault(uint32_t genCode, std::string description, int osCode = 0, bool canRetry = false) {
    return Fault{genCode, osCode, std::move(description), canRetry};
}

}  // namespace rdd::dbf
