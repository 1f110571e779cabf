#include "platform/rdd/dbserver.h"

#include <cstdio>
#include <cstring>

#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/error.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rdd {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

const rt::ClassDef& DBServer::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DBServer>("DBSERVER", &DataServer::StaticClass())
                                       .Method<&DBServer::Init>("INIT")
                                       .Method<&DBServer::Used>("USED")
                                       .Access<&DBServer::Used>("USED")
                                       .Method<&DBServer::Close>("CLOSE")
                                       .Method<&DBServer::GoTop>("GOTOP")
                                       .Method<&DBServer::GoBottom>("GOBOTTOM")
                                       .Method<&DBServer::Skip>("SKIP")
                                       .Method<&DBServer::GoTo>("GOTO")
                                       .Method<&DBServer::RecNo>("RECNO")
                                       .Access<&DBServer::RecNo>("RECNO")
                                       .Assign<&DBServer::SetRecNo>("RECNO")
                                       .Method<&DBServer::Eof>("EOF")
                                       .Access<&DBServer::Eof>("EOF")
                                       .Method<&DBServer::Bof>("BOF")
                                       .Access<&DBServer::Bof>("BOF")
                                       .Method<&DBServer::LastRec>("LASTREC")
                                       .Access<&DBServer::LastRec>("LASTREC")
                                       .Method<&DBServer::RecCount>("RECCOUNT")
                                       .Access<&DBServer::RecCount>("RECCOUNT")
                                       .Method<&DBServer::Append>("APPEND")
                                       .Method<&DBServer::FieldPut>("FIELDPUT")
                                       .Method<&DBServer::FieldGet>("FIELDGET")
                                       .Method<&DBServer::FieldPos>("FIELDPOS")
                                       .Method<&DBServer::FieldName>("FIELDNAME")
                                       .Method<&DBServer::FieldLen>("FIELDLEN")
                                       .Method<&DBServer::FieldDec>("FIELDDEC")
                                       .Method<&DBServer::FieldType>("FIELDTYPE")
                                       .Method<&DBServer::FCount>("FCOUNT")
                                       .Access<&DBServer::FCount>("FCOUNT")
                                       .Method<&DBServer::Delete>("DELETE")
                                       .Method<&DBServer::Recall>("RECALL")
                                       .Method<&DBServer::Deleted>("DELETED")
                                       .Access<&DBServer::Deleted>("DELETED")
                                       .Method<&DBServer::DBStruct>("DBSTRUCT")
                                       .Access<&DBServer::DBStruct>("DBSTRUCT")
                                       .Method<&DBServer::Commit>("COMMIT")
                                       .Method<&DBServer::Refresh>("REFRESH")
                                       .Method<&DBServer::Withdraw>("WITHDRAW")
                                       .Access<&DBServer::FileName>("FILENAME")
                                       .Method<&DBServer::CreateOrder>("CREATEORDER")
                                       .Method<&DBServer::OrderListAdd>("ORDERLISTADD")
                                       .Method<&DBServer::SetOrder>("SETORDER")
                                       .Method<&DBServer::OrderNumber>("ORDERNUMBER")
                                       .Method<&DBServer::OrderName>("ORDERNAME")
                                       .Method<&DBServer::OrderKey>("ORDERKEY")
                                       .Method<&DBServer::OrderFor>("ORDERFOR")
                                       .Method<&DBServer::OrderCount>("ORDERCOUNT")
                                       .Method<&DBServer::Seek>("SEEK")
                                       .Method<&DBServer::Found>("FOUND")
                                       .Access<&DBServer::Found>("FOUND")
                                       .Method<&DBServer::OrderKeyVal>("ORDERKEYVAL")
                                       .Access<&DBServer::OrderKeyVal>("ORDERKEYVAL")
                                       .Method<&DBServer::OrderKeyCount>("ORDERKEYCOUNT")
                                       .Method<&DBServer::Reindex>("REINDEX")
                                       // A field is a property of its server: oServer:BARCODE.
                                       .Dynamic(
                                           [](rt::Object& o, rt::Symbol name, rt::Usual& value) {
                                               auto& db = static_cast<DBServer&>(o);
                                               if (db.FieldPos(rt::Usual(name)) == 0) return false;
                                               value = db.FieldGet(rt::Usual(name));
                                               return true;
                                           },
                                           [](rt::Object& o, rt::Symbol name, const rt::Usual& value) {
                                               auto& db = static_cast<DBServer&>(o);
                                               if (db.FieldPos(rt::Usual(name)) == 0) return false;
                                               db.FieldPut(rt::Usual(name), value);
                                               return true;
                                           })
                                       .Done();
    return c;
}

DBServer::DBServer(const rt::Usual& file, const rt::Usual& shared, const rt::Usual& readOnly) {
    Init(file, shared, readOnly);
}

DBServer::~DBServer() {
    if (!table_) return;
    // A destructor cannot hand errors to the error block (it may leave
    // through a recovery scope); a failure is still reported.
    if (dbf::Fault f = FlushAndSync()) std::fprintf(stderr, "%s: %s\n", path_.c_str(), f.description.c_str());
    CloseTable();
}

rt::ErrorRef DBServer::MakeTableError(const dbf::Fault& f, const char* operation, uint32_t tries) const {
    rt::ErrorRef e = rt::MakeError(f.genCode, operation);
    e->SubSystem = "DBFCDX";
    e->OsCode = static_cast<uint32_t>(f.osCode);
    e->Description = (path_.empty() ? std::string() : path_ + ": ") + f.description;
    e->FileName = path_;
    e->CanDefault = true;
    e->CanRetry = f.canRetry;
    e->Tries = tries;
    if (auto self = std::const_pointer_cast<rt::Object>(weak_from_this().lock())) e->METHODSELF = rt::Usual(self);
    return e;
}

bool DBServer::RaiseNotUsed(const char* operation) const {
    rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenNoTable, "the table is not open"), operation, 1));
    return false;
}

bool DBServer::Init(const rt::Usual& file, const rt::Usual& shared, const rt::Usual& readOnly) {
    if (table_) Close();
    if (!file.IsString()) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenArg, "the file name is not text"), "DBSERVER:INIT", 1));
        return false;
    }
    path_ = TablePath(file.AsStr(), false);
    dbf::OpenMode mode;
    mode.shared = shared.IsLogic() ? shared.AsLogic() : !rt::SetExclusive();
    mode.readOnly = readOnly.AsLogic();
    mode.lockTries = rt::LockTries();
    for (uint32_t tries = 1;; ++tries) {
        dbf::Fault f;
        table_ = dbf::Table::Open(path_, mode, f);
        if (table_) break;
        rt::ErrorRef e = MakeTableError(f, "DBSERVER:INIT", tries);
        bool conflict = f.osCode == rt::kOsSharingViolation || f.osCode == rt::kOsLockViolation;
        rt::Usual answer = rt::RaiseError(e);
        if (rt::WantsRetry(*e, answer)) continue;
        // The quiet path of a sharing conflict: the caller tests NetErr.
        if (conflict) rt::NetErr(true);
        return false;
    }
    rt::NetErr(false);
    view_ = nullptr;
    buf_.assign(table_->RecordLen(), ' ');
    scratch_.assign(table_->RecordLen(), ' ');
    RegisterOpenTable(this);
    OpenOrders();
    {
        SuspendedNotifications<DataServer> quiet(*this);
        GoTop();
    }
    return true;
}

void DBServer::CloseTable() {
    orders_.reset();
    table_.reset();
    UnregisterOpenTable(this);
    dirty_ = appendPending_ = false;
    undurable_ = 0;
    recno_ = 0;
    eof_ = bof_ = true;
    view_ = nullptr;
}

bool DBServer::Close() {
    if (!table_) return true;
    bool ok = true;
    if (!table_->ReadOnly()) ok = Attempt("CLOSE", [&] { return FlushAndSync(); });
    if (ok && orders_ && !table_->ReadOnly()) ok = Attempt("CLOSE", [&] { return orders_->Compact(); });
    Notify(kNotifyClose);
    CloseTable();
    return ok;
}

uint32_t DBServer::Count() const { return table_->Count() + (appendPending_ ? 1 : 0); }

dbf::Fault DBServer::Flush() {
    if (!dirty_) return {};
    if (appendPending_) {
        if (dbf::Fault f = WriteRecord(table_->Count() + 1, true, buf_.data())) return f;
        appendPending_ = false;
        dirty_ = false;
        recno_ = table_->Count();
        undurable_ = recno_;
        return {};
    }
    if (table_->Shared())
        if (dbf::Fault f = table_->LockRecord(recno_)) return f;
    dbf::Fault f = WriteRecord(recno_, false, buf_.data());
    if (!f) f = table_->TouchHeader();
    if (table_->Shared()) table_->UnlockRecord(recno_);
    if (!f) dirty_ = false;
    return f;
}

dbf::Fault DBServer::FlushAndSync() {
    bool hadChanges = dirty_;
    if (dbf::Fault f = Flush()) return f;
    if (dbf::Fault f = table_->Sync()) {
        // After a failed sync the written pages may be dropped: write the
        // record again on the next attempt.
        if (hadChanges && !eof_) dirty_ = true;
        return f;
    }
    undurable_ = 0;
    return orders_ ? orders_->Sync() : dbf::Fault{};
}

dbf::Fault DBServer::Load(uint32_t recno) {
    view_ = nullptr;
    if (dbf::Fault f = table_->Read(recno, buf_.data())) return f;
    recno_ = recno;
    eof_ = false;
    dirty_ = false;
    return {};
}

void DBServer::SetEofState() {
    recno_ = Count() + 1;
    eof_ = true;
    dirty_ = false;
    view_ = nullptr;
    std::fill(buf_.begin(), buf_.end(), ' ');
}

bool DBServer::Hidden(uint32_t recno, bool& hidden) {
    hidden = false;
    if (!rt::SetDeleted()) return true;
    return ReadScratch(recno, hidden);
}

bool DBServer::ReadScratch(uint32_t recno, bool& deleted) {
    return Attempt("SKIP", [&] {
        dbf::Fault f = table_->Read(recno, scratch_.data());
        if (!f) deleted = scratch_[0] == dbf::kDeletedFlag;
        return f;
    });
}

bool DBServer::StepForward(int64_t n) {
    const uint32_t count = Count();
    if (!rt::SetDeleted()) {
        // Compared before adding, so that no count can overflow.
        if (n > int64_t{count} - recno_) {
            SetEofState();
            return true;
        }
        return Attempt("SKIP", [&] { return Load(static_cast<uint32_t>(recno_ + n)); });
    }
    for (int64_t i = 0; i < n; ++i) {
        uint32_t r = recno_ + 1;
        bool hidden = true;
        while (r <= count) {
            if (!ReadScratch(r, hidden)) return false;
            if (!hidden) break;
            ++r;
        }
        if (r > count) {
            SetEofState();
            return true;
        }
        // ReadScratch has just read record r into the scratch buffer: it becomes
        // the current record without a second read.
        view_ = nullptr;
        buf_.swap(scratch_);
        recno_ = r;
        eof_ = false;
        dirty_ = false;
    }
    return true;
}

bool DBServer::StepOnQuietly() {
    // A read fault takes the general path, which raises it.
    view_ = nullptr;
    if (table_->Read(recno_ + 1, buf_.data())) return false;
    ++recno_;
    bof_ = false;
    return true;
}

bool DBServer::StepBack(int64_t n) {
    uint32_t start = eof_ ? Count() + 1 : recno_;
    uint32_t at = start;
    for (int64_t i = 0; i < n; ++i) {
        uint32_t r = at - 1;
        bool hidden = false;
        while (r >= 1) {
            if (!Hidden(r, hidden)) return false;
            if (!hidden) break;
            --r;
        }
        if (r < 1) {
            // Ran into the top: stay on the first visible record.
            bof_ = true;
            break;
        }
        at = r;
    }
    if (at == start) {
        bof_ = true;
        return true;
    }
    return Attempt("SKIP", [&] { return Load(at); });
}

bool DBServer::GoTop() {
    if (!CheckUsed("GOTOP") || !MayMove()) return false;
    if (!Attempt("GOTOP", [&] { return Flush(); })) return false;
    if (!Attempt("GOTOP", [&] { return table_->RefreshCount(); })) return false;
    bof_ = false;
    if (ActiveOrder()) {
        if (!OrderTop()) return false;
    } else if (Count() == 0) {
        SetEofState();
        bof_ = true;
    } else {
        bool hidden = false;
        if (!Hidden(1, hidden)) return false;
        if (!hidden) {
            if (!Attempt("GOTOP", [&] { return Load(1); })) return false;
        } else {
            recno_ = 1;
            eof_ = false;
            if (!StepForward(1)) return false;
            if (eof_) bof_ = true;
        }
    }
    Notify(kNotifyGoTop);
    return true;
}

bool DBServer::GoBottom() {
    if (!CheckUsed("GOBOTTOM") || !MayMove()) return false;
    if (!Attempt("GOBOTTOM", [&] { return Flush(); })) return false;
    if (!Attempt("GOBOTTOM", [&] { return table_->RefreshCount(); })) return false;
    bof_ = false;
    uint32_t count = Count();
    if (ActiveOrder()) {
        if (!OrderBottom()) return false;
    } else if (count == 0) {
        SetEofState();
        bof_ = true;
    } else {
        bool hidden = false;
        if (!Hidden(count, hidden)) return false;
        if (!hidden) {
            if (!Attempt("GOBOTTOM", [&] { return Load(count); })) return false;
        } else {
            SetEofState();
            if (!StepBack(1)) return false;
        }
    }
    Notify(kNotifyGoBottom);
    return true;
}

bool DBServer::SkipOther(const rt::Usual& count) {
    int64_t n = count.IsNumeric() ? count.AsLong() : 1;
    if (!CheckUsed("SKIP") || !MayMove()) return false;
    if (!Attempt("SKIP", [&] { return Flush(); })) return false;
    if (table_->Shared() && !Attempt("SKIP", [&] { return table_->RefreshCount(); })) return false;
    if (!CatchUpOrders("SKIP")) return false;
    bool ok = true;
    if (n == 0) {
        if (!eof_) ok = Attempt("SKIP", [&] { return Load(recno_); });
    } else if (n > 0) {
        bof_ = false;
        if (!eof_) ok = ActiveOrder() ? OrderForward(n) : StepForward(n);
    } else {
        bof_ = false;
        int64_t back = n == INT64_MIN ? INT64_MAX : -n;  // -INT64_MIN does not exist
        ok = ActiveOrder() ? OrderBack(back) : StepBack(back);
    }
    if (Heard()) Notify(kNotifyRecordChange);
    return ok;
}

bool DBServer::GoTo(int64_t recno) {
    if (!CheckUsed("GOTO") || !MayMove()) return false;
    if (!Attempt("GOTO", [&] { return Flush(); })) return false;
    if (!Attempt("GOTO", [&] { return table_->RefreshCount(); })) return false;
    bof_ = false;
    bool ok = true;
    if (recno >= 1 && recno <= Count()) ok = Attempt("GOTO", [&] { return Load(static_cast<uint32_t>(recno)); });
    else SetEofState();
    Notify(kNotifyRecordChange);
    return ok;
}

int64_t DBServer::LastRec() {
    if (!table_) return 0;
    // A shared table grows under other users. A count that cannot be read
    // is raised like any other read fault; the count known so far answers.
    if (table_->Shared()) Attempt("LASTREC", [&] { return table_->RefreshCount(); });
    return Count();
}

bool DBServer::Append() {
    if (!CheckUsed("APPEND")) return false;
    if (table_->ReadOnly()) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenReadOnly, "the table is open read-only"), "APPEND", 1));
        return false;
    }
    if (!MayMove()) return false;
    if (!Attempt("APPEND", [&] { return Flush(); })) return false;
    std::vector<uint8_t> blank(table_->RecordLen(), ' ');
    if (table_->Shared()) {
        // Shared: the new record is written at once under the append lock,
        // so that each user's record gets its own number.
        bool ok = Attempt("APPEND", [&] {
            if (dbf::Fault f = table_->LockHeader()) return f;
            dbf::Fault f = table_->RefreshCount();
            if (!f) f = WriteRecord(table_->Count() + 1, true, blank.data());
            table_->UnlockHeader();
            return f;
        });
        if (!ok) return false;
        undurable_ = table_->Count();
        if (!Attempt("APPEND", [&] { return Load(table_->Count()); })) return false;
    } else {
        view_ = nullptr;
        buf_ = blank;
        appendPending_ = true;
        dirty_ = true;
        recno_ = table_->Count() + 1;
        eof_ = false;
    }
    bof_ = false;
    Notify(kNotifyAppend);
    return true;
}

int64_t DBServer::FieldPosOther(const rt::Usual& field) const {
    if (!table_) return 0;
    const auto& fields = table_->Fields();
    if (field.IsNumeric()) {
        int64_t n = field.AsLong();
        return n >= 1 && n <= static_cast<int64_t>(fields.size()) ? n : 0;
    }
    std::string name;
    if (field.IsSymbol()) name = field.AsSymbol().Name();
    else if (field.IsString()) name = rt::AllTrim(field.AsStr());
    else return 0;
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameNoCase(fields[i].name, name)) return static_cast<int64_t>(i + 1);
    return 0;
}

rt::Usual DBServer::FieldGetOther(const rt::Usual& field) const {
    if (!CheckUsed("FIELDGET")) return rt::Usual();
    int64_t pos = FieldPos(field);
    if (pos == 0) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenArg, "no such field"), "FIELDGET", 1));
        return rt::Usual();
    }
    const dbf::FieldDesc& f = table_->Fields()[static_cast<size_t>(pos - 1)];
    const uint8_t* rec = (evalRec_ ? evalRec_ : Record()) + f.offset;
    if (IsPlainText(f, rec)) return PlainText(f, rec);
    return dbf::DecodeField(f, rec, table_->TextCodePage(), table_->Memo());
}

rt::Usual DBServer::FieldPut(const rt::Usual& field, const rt::Usual& value) {
    if (!CheckUsed("FIELDPUT")) return rt::Usual();
    int64_t pos = FieldPos(field);
    dbf::Fault fault;
    if (pos == 0) fault = dbf::MakeFault(rt::kGenArg, "no such field");
    else if (table_->ReadOnly()) fault = dbf::MakeFault(rt::kGenReadOnly, "the table is open read-only");
    if (fault) {
        rt::RaiseError(MakeTableError(fault, "FIELDPUT", 1));
        return rt::Usual();
    }
    if (eof_) return rt::Usual();  // nothing to store into past the last record
    const dbf::FieldDesc& f = table_->Fields()[static_cast<size_t>(pos - 1)];
    std::vector<uint8_t> bytes(static_cast<size_t>(f.width));
    if (dbf::Fault e = dbf::EncodeField(f, value, bytes.data(), table_->TextCodePage())) {
        rt::RaiseError(MakeTableError(e, "FIELDPUT", 1));
        return rt::Usual();
    }
    view_ = nullptr;
    std::memcpy(buf_.data() + f.offset, bytes.data(), bytes.size());
    dirty_ = true;
    Notify(kNotifyFieldChange, rt::Usual(rt::Symbol(f.name)));
    return value;
}

std::string DBServer::FieldName(int64_t pos) const {
    if (!table_ || pos < 1 || pos > static_cast<int64_t>(table_->Fields().size())) return {};
    return table_->Fields()[static_cast<size_t>(pos - 1)].name;
}

int64_t DBServer::FieldLen(const rt::Usual& field) const {
    int64_t pos = FieldPos(field);
    return pos ? table_->Fields()[static_cast<size_t>(pos - 1)].width : 0;
}

int64_t DBServer::FieldDec(const rt::Usual& field) const {
    int64_t pos = FieldPos(field);
    return pos ? table_->Fields()[static_cast<size_t>(pos - 1)].decimals : 0;
}

std::string DBServer::FieldType(const rt::Usual& field) const {
    int64_t pos = FieldPos(field);
    return pos ? std::string(1, table_->Fields()[static_cast<size_t>(pos - 1)].type) : std::string();
}

int64_t DBServer::FCount() const { return table_ ? static_cast<int64_t>(table_->Fields().size()) : 0; }

bool DBServer::Delete() {
    if (!CheckUsed("DELETE") || eof_) return false;
    if (table_->ReadOnly()) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenReadOnly, "the table is open read-only"), "DELETE", 1));
        return false;
    }
    // A deletion the operator confirmed is made durable at once.
    view_ = nullptr;
    buf_[0] = dbf::kDeletedFlag;
    dirty_ = true;
    if (!Attempt("DELETE", [&] { return FlushAndSync(); })) return false;
    Notify(kNotifyDelete);
    return true;
}

bool DBServer::Recall() {
    if (!CheckUsed("RECALL") || eof_) return false;
    if (table_->ReadOnly()) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenReadOnly, "the table is open read-only"), "RECALL", 1));
        return false;
    }
    view_ = nullptr;
    buf_[0] = dbf::kLiveFlag;
    dirty_ = true;
    return Attempt("RECALL", [&] { return FlushAndSync(); });
}

bool DBServer::Deleted() const {
    if (evalRec_) return evalRec_[0] == dbf::kDeletedFlag;
    return table_ && !eof_ && buf_[0] == dbf::kDeletedFlag;
}

rt::Usual DBServer::DBStruct() const {
    rt::Usual a = rt::Usual::Array();
    if (!table_) return a;
    for (const dbf::FieldDesc& f : table_->Fields())
        a.AAdd(rt::Usual::Array({rt::Usual(f.name), rt::Usual(std::string(1, f.type)), rt::Usual(int64_t{f.width}),
                                 rt::Usual(int64_t{f.decimals})}));
    return a;
}

bool DBServer::Commit() {
    if (!CheckUsed("COMMIT")) return false;
    if (table_->ReadOnly()) return true;
    return Attempt("COMMIT", [&] { return FlushAndSync(); });
}

bool DBServer::Withdraw() {
    if (!table_ || table_->ReadOnly()) return false;
    bool taken = false;
    if (appendPending_) {
        // Never written: the buffer is all there is of it.
        appendPending_ = false;
        taken = true;
    } else if (undurable_ != 0) {
        const uint32_t recno = undurable_;
        if (!table_->Shared() && recno == table_->Count()) {
            taken = Attempt("WITHDRAW", [&] { return table_->DropLast(); });
            // The orders took the record's key when it was written: built
            // again from what the table now holds.
            if (taken && orders_ && orders_->Count() > 0) Attempt("WITHDRAW", [&] { return orders_->Reindex(); });
        } else {
            taken = Attempt("WITHDRAW", [&] {
                if (dbf::Fault f = table_->Read(recno, scratch_.data())) return f;
                scratch_[0] = dbf::kDeletedFlag;
                if (dbf::Fault f = WriteRecord(recno, false, scratch_.data())) return f;
                return table_->Sync();
            });
        }
        if (taken) undurable_ = 0;
    }
    if (!taken) return false;
    SetEofState();
    // To the last record quietly: the clients hear one notice, that the
    // content changed.
    {
        SuspendedNotifications<DataServer> quiet(*this);
        GoBottom();
    }
    Notify(kNotifyFileChange);
    return true;
}

bool DBServer::Refresh() {
    if (!CheckUsed("REFRESH")) return false;
    bool ok = true;
    if (appendPending_) {
        view_ = nullptr;
        std::fill(buf_.begin(), buf_.end(), ' ');  // still a blank record to be written
    } else if (!eof_) {
        ok = Attempt("REFRESH", [&] { return Load(recno_); });
    }
    Notify(kNotifyRecordChange);
    return ok;
}

}  // namespace rdd
