// The cell editor: a QLineEdit limited to the field (its width in bytes and
// the characters its type can hold). It remembers the record it was opened
// on, so the text goes to that record even when rows move while it is open,
// and writes nothing when the text was not changed.
#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;

namespace grid {

class WindowModel;

class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(WindowModel* model, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // The editor open now, nullptr for none.
    QLineEdit* OpenEditor() const { return open_; }
    // Writes the editor's text to its record when it was changed. False
    // when a changed text could not be stored.
    bool Write(QLineEdit* editor) const;

private:
    WindowModel* model_;  // the view's rows
    mutable QPointer<QLineEdit> open_;
};

}  // namespace grid
