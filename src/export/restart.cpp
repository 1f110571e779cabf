#include "export/restart.h"

#include "platform/rdd/dbftable.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"

namespace exportdata {

int EraseTable(const std::string& path) {
    rdd::dbf::OpenMode exclusive;
    exclusive.shared = false;
    rdd::dbf::Fault fault;
    std::unique_ptr<rdd::dbf::Table> hold = rdd::dbf::Table::Open(rdd::TablePath(path, false), exclusive, fault);
    // A table that another open uses is refused; any other reason the open
    // fails (a damaged or unreadable file) is left to the erase itself.
    if (!hold && (fault.osCode == rt::kOsSharingViolation || fault.osCode == rt::kOsLockViolation))
        return rt::kOsSharingViolation;
    if (!rt::FErase(path)) return rt::FError() ? rt::FError() : rt::kOsGenFailure;
    return 0;
}

TableState ProbeTable(const std::string& path) {
    if (!rt::File(path)) return TableState::kMissing;
    rdd::dbf::OpenMode look;
    look.readOnly = true;
    rdd::dbf::Fault fault;
    if (rdd::dbf::Table::Open(rdd::TablePath(path, false), look, fault)) return TableState::kReadable;
    if (fault.osCode == rt::kOsSharingViolation || fault.osCode == rt::kOsLockViolation) return TableState::kInUse;
    return TableState::kDamaged;
}

}  // namespace exportdata
