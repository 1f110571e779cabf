// The rows the view shows: a window of consecutive rows of the grid's
// model, as many as fit in the viewport. The table view holds this model, so
// Qt's per-row bookkeeping (the row header's sections, its positions) covers
// the window's few rows and not every record: binding, appending and
// scrolling cost the same for ten records and for a million.
//
// Row r of the window is row First() + r of the grid's model; everything
// else (columns, cell values, header texts, writes) is the grid model's.
#pragma once

#include <QAbstractTableModel>

namespace grid {

class GridModel;

class WindowModel : public QAbstractTableModel {
public:
    WindowModel(GridModel* rows, QObject* parent);

    GridModel* Rows() const { return rows_; }
    int First() const { return first_; }
    int Count() const { return count_; }
    // The grid model's row of a window row and back (-1 outside the window).
    int RowOf(int windowRow) const { return first_ + windowRow; }
    int WindowRowOf(int row) const { return row >= first_ && row < first_ + count_ ? row - first_ : -1; }

    // Shows `count` rows from `first` on. Rows that change hands are
    // announced as changed; rows added or taken at the end as inserted or
    // removed.
    void Place(int first, int count);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    QModelIndex RowsIndex(const QModelIndex& index) const;
    void RowsChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    GridModel* rows_;
    int first_ = 0;
    int count_ = 0;
    int columns_ = 0;
};

}  // namespace grid
