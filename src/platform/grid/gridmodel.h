// The Qt model over a RowSource: one column per field in field order, headed
// by the field name, one row per shown record. Rows are read when the view
// asks for them (only the rows on screen), through the source's own read
// path, so painting never moves the server.
//
// The row count the view sees is the model's own snapshot; the upkeep calls
// change the source's map and announce the change to the view in one step.
#pragma once

#include <QAbstractTableModel>

#include <memory>

#include "platform/grid/rowsource.h"

namespace grid {

class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    // Takes a source (nullptr: none) and resets the view.
    void SetSource(std::unique_ptr<RowSource> source);
    RowSource* Source() const { return source_.get(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes typed text (EditRole) into the index's record.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Writes typed text into a field of a record: the record an editor was
    // opened on, even when rows moved while it was open. False when nothing
    // was stored (the server refused or raised an error).
    bool WriteCell(uint32_t recno, int column, const QString& text);

    // ---- Upkeep, on the server's notifications ----
    // Everything may have changed: rebuild the source's map and reset.
    void Reload();
    // Records appended or the map outgrown: add rows at the end (or reload
    // when the source no longer fits its map).
    void SyncRows();
    // The record was marked deleted: remove its row, or repaint it.
    void RecordDeleted(uint32_t recno);
    // A record's values changed: repaint its row.
    void RecordChanged(uint32_t recno);
    // The server closed.
    void ServerClosed();

    // The record of a row and back (see RowMap).
    uint32_t RecordOf(int row) const;
    int RowOf(uint32_t recno) const;
    int NearestRow(uint32_t recno) const;

    // While the view follows the server (inside the server's notifications)
    // an edit may only go into the server's current record: moving the
    // server from inside its own notification would pull the pointer from
    // under the caller that is moving it.
    void SetMovesAllowed(bool on) { movesAllowed_ = on; }
    bool MovesAllowed() const { return movesAllowed_; }

    // data() calls that read a cell value, for tests and measurements.
    uint64_t CellReads() const { return cellReads_; }

private:
    int ToInt(int64_t n) const;

    std::unique_ptr<RowSource> source_;
    int rows_ = 0;
    int columns_ = 0;
    bool movesAllowed_ = true;
    mutable uint64_t cellReads_ = 0;
};

}  // namespace grid
