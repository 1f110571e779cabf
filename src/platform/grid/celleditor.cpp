#include "platform/grid/celleditor.h"

#include <QLineEdit>

#include "platform/grid/celltext.h"
#include "platform/grid/gridmodel.h"
#include "platform/grid/windowmodel.h"

namespace grid {
namespace {

// Properties the editor carries from opening to writing.
constexpr const char* kRecordProperty = "qzRecord";
constexpr const char* kColumnProperty = "qzColumn";
constexpr const char* kOriginalProperty = "qzOriginal";

}  // namespace

CellDelegate::CellDelegate(WindowModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
    RowSource* source = model_->Rows()->Source();
    if (!source || !index.isValid() || index.column() >= static_cast<int>(source->Columns().size())) return nullptr;
    const ColumnInfo& column = source->Columns()[static_cast<size_t>(index.column())];
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setMaxLength(InputLimit(column));
    edit->setValidator(new FieldValidator(column, edit));
    edit->setAlignment(column.type == 'N' || column.type == 'F' ? Qt::AlignRight : Qt::AlignLeft);
    edit->setProperty(kRecordProperty, static_cast<qulonglong>(model_->Rows()->RecordOf(model_->RowOf(index.row()))));
    edit->setProperty(kColumnProperty, index.column());
    open_ = edit;
    return edit;
}

void CellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == open_) open_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void CellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) return;
    // Only when the editor opens: a repaint while it is open must not throw
    // away what is being typed.
    if (edit->property(kOriginalProperty).isValid()) return;
    const QString text = index.data(Qt::EditRole).toString();
    edit->setProperty(kOriginalProperty, text);
    edit->setText(text);
    edit->selectAll();
}

void CellDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const {
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) Write(edit);
}

bool CellDelegate::Write(QLineEdit* edit) const {
    // Unchanged text writes nothing: opening and leaving a cell must not
    // rewrite the field (nor re-encode text the grid only reads).
    if (edit->text() == edit->property(kOriginalProperty).toString()) return true;
    auto recno = static_cast<uint32_t>(edit->property(kRecordProperty).toULongLong());
    if (recno == 0) return false;
    // Tried once: the view may hand the same editor over again as it closes
    // it, and a refused text is not refused (and reported) twice.
    edit->setProperty(kOriginalProperty, edit->text());
    return model_->Rows()->WriteCell(recno, edit->property(kColumnProperty).toInt(), edit->text());
}

}  // namespace grid
