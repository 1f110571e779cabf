// DBServer: a table opened as a data server. It keeps a record pointer and
// a buffer of the current record; field reads and writes go to the buffer,
// which is written when the pointer moves and made durable by Commit and
// Close. Records marked deleted are passed over while SetDeleted is on.
//
// Every failure becomes an Error handed to the error block; a retry answer
// tries the operation again, any other answer makes it give up (FALSE,
// nil or the default result) with nothing pretended.
//
// Index orders (docs/indexes.md): the table's own index file opens with the
// table; with an order selected, GoTop, GoBottom and Skip follow the key
// order and Seek finds a key. Every record written updates the orders.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/rdd/dataserver.h"
#include "platform/rdd/dbftable.h"
#include "platform/rdd/orderlist.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/settings.h"

namespace rdd {

class DBServer : public DataServer, public OpenTable {
    QZ_OBJECT(DBServer)
public:
    DBServer() = default;
    // Opens at once; see Init.
    DBServer(const rt::Usual& file, const rt::Usual& shared = rt::Usual(), const rt::Usual& readOnly = rt::Usual());
    ~DBServer() override;

    // Opens the table: file name (the default directory when it has no
    // path, ".dbf" when it has no extension, letter case ignored), shared
    // flag (nil: the process default, !SetExclusive()), read-only flag.
    // A failed open raises an Error; when it is answered quietly, Used()
    // stays FALSE (and a sharing conflict sets NetErr).
    bool Init(const rt::Usual& file, const rt::Usual& shared, const rt::Usual& readOnly);

    bool Used() const { return table_ != nullptr; }
    bool Close();

    bool GoTop();
    bool GoBottom();
    // nil: 1. One record on in a plain scan, out of the read cache, is
    // answered here (see Quiet); every other step takes the general path.
    bool Skip(const rt::Usual& count) {
        const int64_t* whole = std::get_if<int64_t>(&count.Raw());
        if (whole && *whole == 1 && Quiet()) {
            if (const uint8_t* next = table_->Cached(recno_ + 1)) {
                CopyRecord(buf_.data(), next, buf_.size());
                ++recno_;
                bof_ = false;
                view_ = next;
                viewGeneration_ = table_->CacheGeneration();
                return true;
            }
            if (StepOnQuietly()) return true;  // past the cache
        }
        return SkipOther(count);
    }
    bool GoTo(int64_t recno);
    int64_t RecNo() const { return evalRec_ ? evalRecno_ : recno_; }
    int64_t SetRecNo(int64_t recno) {  // the RECNO assign
        GoTo(recno);
        return recno_;
    }
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int64_t LastRec();
    int64_t RecCount() { return LastRec(); }

    bool Append();
    rt::Usual FieldPut(const rt::Usual& field, const rt::Usual& value);
    // A field by number holding ASCII text, as a scan reads it, is answered
    // here; every other field, and a name, go out of line.
    rt::Usual FieldGet(const rt::Usual& field) const {
        if (std::holds_alternative<int64_t>(field.Raw()))
            if (int64_t pos = FieldPos(field)) {
                const dbf::FieldDesc& f = table_->Fields()[static_cast<size_t>(pos - 1)];
                const uint8_t* at = (evalRec_ ? evalRec_ : Record()) + f.offset;
                if (IsPlainText(f, at)) return PlainText(f, at);
            }
        return FieldGetOther(field);
    }
    // By position, name or symbol; 0 if none. A whole number, as a scan
    // asks, is answered here without the general lookup.
    int64_t FieldPos(const rt::Usual& field) const {
        const int64_t* n = std::get_if<int64_t>(&field.Raw());
        if (!n || !table_) return FieldPosOther(field);
        return *n >= 1 && static_cast<uint64_t>(*n) <= table_->Fields().size() ? *n : 0;
    }
    std::string FieldName(int64_t pos) const;
    int64_t FieldLen(const rt::Usual& field) const;
    int64_t FieldDec(const rt::Usual& field) const;
    std::string FieldType(const rt::Usual& field) const;
    int64_t FCount() const;
    bool Delete();
    bool Recall();
    bool Deleted() const;
    rt::Usual DBStruct() const;
    bool Commit();
    bool Refresh();
    // Takes back the record appended last when it could not be made durable
    // (its commit failed and the error was not retried): in an exclusive open
    // it leaves the table, whether it was still in the buffer or written but
    // not synced; in a shared open, where others may have appended after it,
    // it is marked deleted. The pointer then goes to the last record and the
    // clients hear that the content changed. FALSE when nothing was taken back.
    bool Withdraw();

    // Orders (dbserverorder.cpp). CreateOrder(name, index file or nil for
    // the table's own, key expression, condition or nil) builds the order,
    // writes it and selects it.
    bool CreateOrder(const rt::Usual& name, const rt::Usual& file, const rt::Usual& key, const rt::Usual& condition);
    // The same with the key and condition given as code blocks (the texts
    // are what the index file keeps).
    bool CreateOrderWith(const std::string& name, const rt::Usual& file, const std::string& keyText,
                         const rt::Usual& keyBlock, const std::string& forText, const rt::Usual& forBlock);
    bool OrderListAdd(const rt::Usual& file);  // opens another index file
    bool SetOrder(const rt::Usual& order);     // name or number; 0 the natural order
    int64_t OrderNumber() const;               // 0 when none is selected
    std::string OrderName(const rt::Usual& order) const;
    std::string OrderKey(const rt::Usual& order) const;  // the key expression
    std::string OrderFor(const rt::Usual& order) const;  // the condition
    int64_t OrderCount() const;
    // Seek(key, soft seek or nil for SetSoftSeek()): TRUE when found.
    bool Seek(const rt::Usual& key, const rt::Usual& softSeek) override;
    bool Found() const { return found_; }
    rt::Usual OrderKeyVal() const;                  // key of the current record
    int64_t OrderKeyCount(const rt::Usual& order);  // keys in the order
    bool Reindex();
    // The orders themselves (tests and tools).
    const idx::OrderList* Orders() const { return orders_.get(); }

    const std::string& FileName() const { return path_; }
    bool Shared() const { return table_ && table_->Shared(); }
    bool ReadOnly() const { return table_ && table_->ReadOnly(); }
    const dbf::Table* Engine() const { return table_.get(); }

    void CloseForQuit() override { Close(); }

private:
    // Runs a step until it succeeds, or the error block declines to retry.
    template <class Step>
    bool Attempt(const char* operation, Step step);
    rt::ErrorRef MakeTableError(const dbf::Fault& f, const char* operation, uint32_t tries) const;
    bool CheckUsed(const char* operation) const { return table_ || RaiseNotUsed(operation); }
    bool RaiseNotUsed(const char* operation) const;         // raises "the table is not open", answers false
    bool SkipOther(const rt::Usual& count);                 // Skip but the quiet step
    rt::Usual FieldGetOther(const rt::Usual& field) const;  // FieldGet but of plain text by number
    int64_t FieldPosOther(const rt::Usual& field) const;    // FieldPos of all but a whole number
    // A character field of ASCII text is its bytes as they are: no code page
    // to apply.
    static bool IsPlainText(const dbf::FieldDesc& f, const uint8_t* at) {
        return f.type == 'C' && rt::IsAscii(at, static_cast<size_t>(f.width));
    }
    static rt::Usual PlainText(const dbf::FieldDesc& f, const uint8_t* at) {
        return rt::Usual(std::string_view(reinterpret_cast<const char*>(at), static_cast<size_t>(f.width)));
    }

    dbf::Fault Flush();  // writes the buffer if it changed
    dbf::Fault FlushAndSync();
    dbf::Fault Load(uint32_t recno);
    void SetEofState();
    bool Hidden(uint32_t recno, bool& hidden);
    // Reads a record into scratch_; deleted tells its deletion flag.
    bool ReadScratch(uint32_t recno, bool& deleted);
    bool StepForward(int64_t n);
    // Whether one record on is nothing but a read: a scan through the whole
    // table in natural order, with nothing to write, no client to ask or
    // tell, no other user who could have added records or moved an order,
    // no deleted records to pass over, and a record after this one. The
    // step then does what the general path does in that case, without the
    // steps that have nothing to do.
    bool Quiet() const {
        return table_ && !dirty_ && !eof_ && !Heard() && !table_->Shared() && !(orders_ && orders_->Selected() != 0) &&
               recno_ < table_->Count() && !rt::SetDeleted();
    }
    bool StepOnQuietly();  // the quiet step, Quiet() given, from the file; false: take the general path
    // The current record's bytes to read a field from: the read cache's
    // copy of the quiet step's record while the cache still holds it, so
    // that a field read right after the step does not wait for the bytes
    // just stored into the buffer; else the buffer.
    const uint8_t* Record() const {
        return view_ && viewGeneration_ == table_->CacheGeneration() ? view_ : buf_.data();
    }
    // A record copied with fixed-size moves the compiler makes inline: two
    // overlapping 16-byte halves for a record of 16 to 32 bytes (a scan
    // table's is 26), the library's copy for any other.
    static void CopyRecord(uint8_t* dst, const uint8_t* src, size_t n) {
        if (n >= 16 && n <= 32) {
            std::memcpy(dst, src, 16);
            std::memcpy(dst + n - 16, src + n - 16, 16);
        } else {
            std::memcpy(dst, src, n);
        }
    }
    bool StepBack(int64_t n);
    uint32_t Count() const;
    void CloseTable();
    void OpenOrders();
    rt::Usual CompileKey(const std::string& text, dbf::Fault& fault);
    std::string AliasName() const;
    rt::Usual EvalOnRecord(const rt::Usual& block, const uint8_t* record, uint32_t recno);
    dbf::Fault WriteRecord(uint32_t recno, bool append, const uint8_t* bytes);
    idx::Order* ActiveOrder() const { return orders_ ? orders_->Active() : nullptr; }
    idx::Order* OrderArg(const rt::Usual& order) const;
    bool CatchUpOrders(const char* operation);
    bool OrderTop();
    bool OrderBottom();
    bool OrderForward(int64_t n);
    bool OrderBack(int64_t n);
    std::string IndexPath(const rt::Usual& file) const;

    std::unique_ptr<dbf::Table> table_;
    std::string path_;
    std::vector<uint8_t> buf_;
    std::vector<uint8_t> scratch_;
    uint32_t recno_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    bool dirty_ = false;
    bool appendPending_ = false;  // exclusive opens write a new record at its first flush
    uint32_t undurable_ = 0;      // a record appended and written, not yet synced
    bool found_ = false;
    std::unique_ptr<idx::OrderList> orders_;
    // While a key is evaluated for another record than the current one.
    const uint8_t* evalRec_ = nullptr;
    // The quiet step's record in the read cache (Record): the same bytes as
    // the buffer, since every other write to the buffer clears it.
    const uint8_t* view_ = nullptr;
    uint64_t viewGeneration_ = 0;
    uint32_t evalRecno_ = 0;
};

template <class Step>
bool DBServer::Attempt(const char* operation, Step step) {
    for (uint32_t tries = 1;; ++tries) {
        dbf::Fault f = step();
        if (!f) return true;
        rt::ErrorRef e = MakeTableError(f, operation, tries);
        if (!rt::WantsRetry(*e, rt::RaiseError(e))) return false;
    }
}

}  // namespace rdd
