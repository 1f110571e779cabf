// What the grid's model needs of a data server: its columns, the rows it
// shows (a RowMap), cell values read without moving the server, and the few
// calls that do move or write it. DbfRowSource serves a DBServer; a server
// that holds its rows in memory implements the same interface.
//
// The map is a snapshot: it changes only through the upkeep calls below,
// which the model makes between its begin/end row announcements, so the
// view's idea of the row count is never behind the map's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/grid/rowmap.h"
#include "platform/runtime/usual.h"

namespace grid {

struct ColumnInfo {
    std::string name;  // the field name, upper case
    char type = 'C';   // C N F D L M ...
    int width = 0;     // in characters (bytes)
    int decimals = 0;
};

class RowSource {
public:
    virtual ~RowSource() = default;

    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    virtual const RowMap& Map() const = 0;
    // The server object (for late-bound callers).
    virtual rt::Usual Server() const = 0;

    // A cell's value; nil for a row or column outside the source. Never
    // moves the server's record pointer.
    virtual rt::Usual Value(int64_t row, int column) = 0;
    // Whether a shown row's record is marked deleted.
    virtual bool RowDeleted(int64_t row) = 0;
    // Whether a column can be edited (the table is writable and the field
    // type can be written).
    virtual bool Editable(int column) const = 0;

    // The server's current record; 0 when it is past the end (or closed).
    virtual uint32_t CurrentRecord() const = 0;
    // Moves the server to a record. False when a client refused the move or
    // it failed (the server has raised the error).
    virtual bool MoveTo(uint32_t recno) = 0;
    // Writes one field of a record and makes it durable. Moves the server to
    // that record first. False when the move was refused or the server
    // raised an error.
    virtual bool Put(uint32_t recno, int column, const rt::Usual& value) = 0;

    // ---- Map upkeep ----
    // Re-reads everything (columns, count, hidden records).
    virtual void Rebuild() = 0;
    // Whether the map no longer fits the server: the record count went down
    // or hiding of deleted records was switched. The model then rebuilds.
    virtual bool NeedsRebuild() = 0;
    // Takes in records added to the server since the last upkeep; returns
    // the rows added at the end.
    virtual int64_t Grow() = 0;
    // The record was marked deleted; returns the row removed, -1 when the
    // row stays (deleted records are shown).
    virtual int64_t RecordDeleted(uint32_t recno) = 0;
    // Drops cached record bytes (the file may have changed).
    virtual void Forget() = 0;
    // The server closed: the source shows nothing until Rebuild finds it open.
    virtual void Closed() = 0;
};

}  // namespace grid
