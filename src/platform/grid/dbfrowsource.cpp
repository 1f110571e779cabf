#include "platform/grid/dbfrowsource.h"

#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/settings.h"

namespace grid {

DbfRowSource::DbfRowSource(std::shared_ptr<rdd::DBServer> server) : server_(std::move(server)) { Rebuild(); }

void DbfRowSource::Rebuild() {
    reader_.Close();
    engine_ = server_ && server_->Used() ? server_->Engine() : nullptr;
    if (!engine_) {
        map_.ShowAll(0);
        return;
    }
    fields_ = engine_->Fields();
    columns_.clear();
    for (const rdd::dbf::FieldDesc& f : fields_) columns_.push_back({f.name, f.type, f.width, f.decimals});
    // A file that cannot be opened a second time leaves only the current
    // record readable; the rows are still there to move to.
    reader_.Open(engine_->Path(), engine_->Header().headerLen, engine_->RecordLen());
    const uint32_t count = static_cast<uint32_t>(server_->LastRec());
    if (!rt::SetDeleted()) {
        map_.ShowAll(count);
        return;
    }
    std::vector<uint32_t> shown;
    shown.reserve(count);
    if (!reader_.ScanLive(1, count, shown)) {
        // The flags cannot be read: show every record rather than hide
        // records that may be live.
        map_.ShowAll(count);
        return;
    }
    // Room for appends, so that a scan does not copy the whole map.
    if (shown.capacity() < shown.size() + 1024) shown.reserve(shown.size() + shown.size() / 16 + 1024);
    map_.ShowOnly(std::move(shown), count);
}

bool DbfRowSource::NeedsRebuild() {
    if (!server_) return false;
    if (!Open()) return server_->Used() || map_.Rows() > 0;
    if (server_->Engine() != engine_) return true;  // opened again, maybe another file
    if (rt::SetDeleted() != map_.Filtered()) return true;
    return static_cast<uint32_t>(server_->LastRec()) < map_.Records();
}

int64_t DbfRowSource::Grow() {
    if (!Open()) return 0;
    const uint32_t count = static_cast<uint32_t>(server_->LastRec());
    if (count <= map_.Records()) return 0;
    std::vector<uint32_t> shown;
    if (map_.Filtered() && !reader_.ScanLive(map_.Records() + 1, count, shown))
        for (uint32_t r = map_.Records() + 1; r <= count; ++r) shown.push_back(r);
    return map_.Extend(count, shown);
}

int64_t DbfRowSource::RecordDeleted(uint32_t recno) { return map_.Hide(recno); }

void DbfRowSource::Closed() {
    engine_ = nullptr;
    reader_.Close();
    map_.ShowAll(0);
}

uint32_t DbfRowSource::CurrentRecord() const {
    if (!Open() || server_->Eof()) return 0;
    return static_cast<uint32_t>(server_->RecNo());
}

rt::Usual DbfRowSource::Value(int64_t row, int column) {
    if (!Open() || column < 0 || static_cast<size_t>(column) >= fields_.size()) return rt::Usual();
    const uint32_t recno = map_.RecordOf(row);
    if (recno == 0) return rt::Usual();
    if (recno == CurrentRecord()) return server_->FieldGet(rt::Usual(int64_t{column} + 1));
    const uint8_t* bytes = reader_.Record(recno);
    if (!bytes) return rt::Usual();
    const rdd::dbf::FieldDesc& f = fields_[static_cast<size_t>(column)];
    return rdd::dbf::DecodeField(f, bytes + f.offset, engine_->TextCodePage(), engine_->Memo());
}

bool DbfRowSource::RowDeleted(int64_t row) {
    const uint32_t recno = map_.RecordOf(row);
    if (!Open() || recno == 0) return false;
    if (recno == CurrentRecord()) return server_->Deleted();
    const uint8_t* bytes = reader_.Record(recno);
    return bytes && bytes[0] == rdd::dbf::kDeletedFlag;
}

bool DbfRowSource::Editable(int column) const {
    if (!Open() || server_->ReadOnly() || column < 0 || static_cast<size_t>(column) >= columns_.size()) return false;
    switch (columns_[static_cast<size_t>(column)].type) {
        case 'C':
        case 'N':
        case 'F':
        case 'D':
        case 'L': return true;
        default: return false;  // memo and foreign types are shown, not written
    }
}

bool DbfRowSource::MoveTo(uint32_t recno) {
    if (!Open() || recno == 0) return false;
    if (CurrentRecord() == recno) return true;
    server_->GoTo(recno);
    return CurrentRecord() == recno;
}

bool DbfRowSource::Put(uint32_t recno, int column, const rt::Usual& value) {
    if (!Editable(column) || !MoveTo(recno)) return false;
    rt::Usual stored = server_->FieldPut(rt::Usual(int64_t{column} + 1), value);
    // FieldPut answers nil when it raised an error (a nil value stores
    // blanks and answers nil as well).
    if (stored.IsNil() && !value.IsNil()) return false;
    return server_->Commit();
}

}  // namespace grid
