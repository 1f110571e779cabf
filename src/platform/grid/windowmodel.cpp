#include "platform/grid/windowmodel.h"

#include <algorithm>

#include "platform/grid/gridmodel.h"

namespace grid {

WindowModel::WindowModel(GridModel* rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows) {
    // A reset of the rows (a new source, a re-read) empties the window; the
    // view places it again.
    connect(rows_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(rows_, &QAbstractItemModel::modelReset, this, [this] {
        first_ = 0;
        count_ = 0;
        columns_ = rows_->columnCount();
        endResetModel();
    });
    connect(rows_, &QAbstractItemModel::dataChanged, this, &WindowModel::RowsChanged);
    // A row added or taken moves the rows after it: those in the window
    // change; the view then fills or trims the window.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(rows_, signal, this, [this](const QModelIndex&, int first, int) {
            if (count_ == 0 || columns_ == 0 || first > first_ + count_ - 1) return;
            const int from = std::max(first - first_, 0);
            emit dataChanged(index(from, 0), index(count_ - 1, columns_ - 1));
            emit headerDataChanged(Qt::Vertical, from, count_ - 1);
        });
}

void WindowModel::Place(int first, int count) {
    first = std::max(first, 0);
    count = std::max(count, 0);
    const int kept = std::min(count_, count);
    const bool moved = first != first_;
    if (count < count_) {
        beginRemoveRows({}, count, count_ - 1);
        first_ = first;
        count_ = count;
        endRemoveRows();
    } else if (count > count_) {
        beginInsertRows({}, count_, count - 1);
        first_ = first;
        count_ = count;
        endInsertRows();
    }
    first_ = first;
    if (moved && kept > 0 && columns_ > 0) {
        emit dataChanged(index(0, 0), index(kept - 1, columns_ - 1));
        emit headerDataChanged(Qt::Vertical, 0, kept - 1);
    }
}

void WindowModel::RowsChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight) {
    const int top = std::max(topLeft.row(), first_);
    const int bottom = std::min(bottomRight.row(), first_ + count_ - 1);
    if (top > bottom) return;
    emit dataChanged(index(top - first_, topLeft.column()), index(bottom - first_, bottomRight.column()));
}

QModelIndex WindowModel::RowsIndex(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= count_) return {};
    return rows_->index(first_ + index.row(), index.column());
}

int WindowModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count_; }
int WindowModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant WindowModel::data(const QModelIndex& index, int role) const {
    const QModelIndex at = RowsIndex(index);
    return at.isValid() ? rows_->data(at, role) : QVariant();
}

QVariant WindowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) return rows_->headerData(section, orientation, role);
    if (section < 0 || section >= count_) return {};
    return rows_->headerData(first_ + section, orientation, role);
}

Qt::ItemFlags WindowModel::flags(const QModelIndex& index) const {
    const QModelIndex at = RowsIndex(index);
    return at.isValid() ? rows_->flags(at) : Qt::NoItemFlags;
}

bool WindowModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const QModelIndex at = RowsIndex(index);
    return at.isValid() && rows_->setData(at, value, role);
}

}  // namespace grid
