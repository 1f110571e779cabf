// DBServer: a table opened as a data server. It keeps a record pointer and
// a buffer of the current record; field reads and writes go to the buffer,
// which is written when the pointer moves and made durable by Commit and
// Close. Records marked deleted are passed over while SetDeleted is on.
//
// Every failure becomes an Error handed to the error block; a retry answer
// tries the operation again, any other answer makes it give up (FALSE,
// nil or the default result) with nothing pretended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rdd/dataserver.h"
#include "platform/rdd/dbftable.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"

namespace rt {

class DBServer : public DataServer, public OpenTable {
    QZ_OBJECT(DBServer)
public:
    DBServer() = default;
    // Opens at once; see Init.
    DBServer(const Usual& file, const Usual& shared = Usual(), const Usual& readOnly = Usual());
    ~DBServer() override;

    // Opens the table: file name (the default directory when it has no
    // path, ".dbf" when it has no extension, letter case ignored), shared
    // flag (nil: the process default, !SetExclusive()), read-only flag.
    // A failed open raises an Error; when it is answered quietly, Used()
    // stays FALSE (and a sharing conflict sets NetErr).
    bool Init(const Usual& file, const Usual& shared, const Usual& readOnly);

    bool Used() const { return table_ != nullptr; }
    bool Close();

    bool GoTop();
    bool GoBottom();
    bool Skip(const Usual& count);  // nil: 1
    bool GoTo(int64_t recno);
    int64_t RecNo() const { return recno_; }
    int64_t SetRecNo(int64_t recno) {  // the RECNO assign
        GoTo(recno);
        return recno_;
    }
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int64_t LastRec();
    int64_t RecCount() { return LastRec(); }

    bool Append();
    Usual FieldPut(const Usual& field, const Usual& value);
    Usual FieldGet(const Usual& field) const;
    int64_t FieldPos(const Usual& field) const;  // by position, name or symbol; 0 if none
    std::string FieldName(int64_t pos) const;
    int64_t FieldLen(const Usual& field) const;
    int64_t FieldDec(const Usual& field) const;
    std::string FieldType(const Usual& field) const;
    int64_t FCount() const;
    bool Delete();
    bool Recall();
    bool Deleted() const;
    Usual DBStruct() const;
    bool Commit();
    bool Refresh();
    // Takes back the record appended last when it could not be made durable
    // (its commit failed and the error was not retried): in an exclusive open
    // it leaves the table, whether it was still in the buffer or written but
    // not synced; in a shared open, where others may have appended after it,
    // it is marked deleted. The pointer then goes to the last record and the
    // clients hear that the content changed. FALSE when nothing was taken back.
    bool Withdraw();

    const std::string& FileName() const { return path_; }
    bool Shared() const { return table_ && table_->Shared(); }
    bool ReadOnly() const { return table_ && table_->ReadOnly(); }
    const dbf::Table* Engine() const { return table_.get(); }

    void CloseForQuit() override { Close(); }

private:
    // Runs a step until it succeeds, or the error block declines to retry.
    template <class Step>
    bool Attempt(const char* operation, Step step);
    ErrorRef MakeTableError(const dbf::Fault& f, const char* operation, uint32_t tries) const;
    bool CheckUsed(const char* operation) const;

    dbf::Fault Flush();           // writes the buffer if it changed
    dbf::Fault FlushAndSync();
    dbf::Fault Load(uint32_t recno);
    void SetEofState();
    bool Hidden(uint32_t recno, bool& hidden);
    bool StepForward(int64_t n);
    bool StepBack(int64_t n);
    uint32_t Count() const;
    void CloseTable();

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
};

}  // namespace rt
