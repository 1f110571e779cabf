#include "platform/grid/gridmodel.h"

#include <QColor>
#include <QFont>

#include <climits>

#include "platform/grid/celltext.h"
#include "platform/gui/boundary.h"
#include "platform/runtime/error.h"

namespace grid {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}
GridModel::~GridModel() = default;

int GridModel::ToInt(int64_t n) const {
    // Qt counts rows in int; a table beyond that shows its first INT_MAX rows.
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

void GridModel::SetSource(std::unique_ptr<RowSource> source) {
    beginResetModel();
    source_ = std::move(source);
    rows_ = source_ ? ToInt(source_->Map().Rows()) : 0;
    columns_ = source_ ? static_cast<int>(source_->Columns().size()) : 0;
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant GridModel::data(const QModelIndex& index, int role) const {
    // Called by Qt: what the row source throws stays on this side (gui/boundary.h).
    return gui::FromQt(
        [&]() -> QVariant {
            if (!source_ || !index.isValid() || index.row() >= rows_ || index.column() >= columns_) return {};
            const ColumnInfo& column = source_->Columns()[static_cast<size_t>(index.column())];
            switch (role) {
                case Qt::DisplayRole:
                case Qt::EditRole:
                case Qt::ToolTipRole: {
                    ++cellReads_;
                    rt::Usual v = source_->Value(index.row(), index.column());
                    if (role == Qt::EditRole) return EditText(column, v);
                    QString text = DisplayText(column, v);
                    if (role == Qt::ToolTipRole && (column.type == 'M' || text.size() > 40)) return EditText(column, v);
                    return role == Qt::ToolTipRole ? QVariant() : QVariant(text);
                }
                case Qt::TextAlignmentRole:
                    return QVariant::fromValue(
                        (column.type == 'N' || column.type == 'F' ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
                case Qt::FontRole:
                    if (source_->RowDeleted(index.row())) {
                        QFont f;
                        f.setStrikeOut(true);
                        return f;
                    }
                    return {};
                case Qt::ForegroundRole:
                    if (source_->RowDeleted(index.row())) return QColor(Qt::gray);
                    return {};
                default: return {};
            }
        },
        QVariant());
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!source_) return {};
    if (orientation == Qt::Horizontal) {
        if (role != Qt::DisplayRole || section < 0 || section >= columns_) return {};
        return QString::fromStdString(source_->Columns()[static_cast<size_t>(section)].name);
    }
    // The record numbers; the current record's is marked, so the operator
    // sees which record Delete acts on whatever the highlight shows.
    uint32_t recno = RecordOf(section);
    if (!recno) return {};
    bool current = recno == source_->CurrentRecord();
    if (role == Qt::DisplayRole) return QVariant(static_cast<qulonglong>(recno));
    if (!current) return {};
    if (role == Qt::FontRole) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role == Qt::BackgroundRole) return QColor(0x33, 0x66, 0xCC);
    if (role == Qt::ForegroundRole) return QColor(Qt::white);
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!source_ || !index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (source_->Editable(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rows_) return false;
    return gui::FromQt([&] { return WriteCell(RecordOf(index.row()), index.column(), value.toString()); }, false);
}

bool GridModel::WriteCell(uint32_t recno, int column, const QString& text) {
    if (!source_ || recno == 0 || column < 0 || column >= columns_) return false;
    if (!movesAllowed_ && source_->CurrentRecord() != recno) return false;
    const rt::Usual value = ParseInput(source_->Columns()[static_cast<size_t>(column)], text);
    bool stored = false;
    // An error handler may leave through a recovery scope; that jump must
    // end here, not cross the Qt event dispatch that called us.
    rt::BeginSequence([&] { stored = source_->Put(recno, column, value); });
    source_->Forget();
    RecordChanged(recno);
    return stored;
}

void GridModel::Reload() {
    beginResetModel();
    if (source_) source_->Rebuild();
    rows_ = source_ ? ToInt(source_->Map().Rows()) : 0;
    columns_ = source_ ? static_cast<int>(source_->Columns().size()) : 0;
    endResetModel();
}

void GridModel::SyncRows() {
    if (!source_) return;
    if (source_->NeedsRebuild()) {
        Reload();
        return;
    }
    if (source_->Grow() <= 0) return;
    const int rows = ToInt(source_->Map().Rows());
    if (rows <= rows_) return;
    beginInsertRows({}, rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
}

void GridModel::RecordDeleted(uint32_t recno) {
    if (!source_) return;
    const int64_t row = source_->RecordDeleted(recno);
    if (row < 0 || row >= rows_) {
        RecordChanged(recno);  // still shown: repaint it as deleted
        return;
    }
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    rows_ = ToInt(source_->Map().Rows());
    endRemoveRows();
}

void GridModel::RecordChanged(uint32_t recno) {
    const int row = RowOf(recno);
    if (row >= 0 && columns_ > 0) emit dataChanged(index(row, 0), index(row, columns_ - 1));
}

void GridModel::ServerClosed() {
    beginResetModel();
    if (source_) source_->Closed();
    rows_ = 0;
    endResetModel();
}

uint32_t GridModel::RecordOf(int row) const { return source_ ? source_->Map().RecordOf(row) : 0; }

int GridModel::RowOf(uint32_t recno) const {
    const int64_t row = source_ ? source_->Map().RowOf(recno) : -1;
    return row >= 0 && row < rows_ ? static_cast<int>(row) : -1;
}

int GridModel::NearestRow(uint32_t recno) const {
    const int64_t row = source_ ? source_->Map().NearestRow(recno) : -1;
    return row >= 0 && row < rows_ ? static_cast<int>(row) : (rows_ > 0 ? rows_ - 1 : -1);
}

}  // namespace grid
