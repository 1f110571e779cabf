// The grid's table view: follows the server's record pointer (the current
// row is the server's current record) and moves the server when the user
// moves the current row, with the mouse or the keys.
//
// Keys: Up/Down one record, PageUp/PageDown a screenful, Home/End (with or
// without Control) the first/last record; Left/Right change the column.
// Typing does not search or start an edit (a barcode scanner typing into
// the grid must not jump around or overwrite cells); double click or F2
// edits the cell.
#pragma once

#include <QHash>
#include <QTableView>

#include <functional>
#include <memory>

#include "platform/grid/rowsource.h"

namespace grid {

class CellDelegate;
class GridModel;

// How the current row shows.
enum class Highlight { kNone, kRow, kCell };
// The look of the grid.
enum class Look { kPlain, kStandard, kSpreadsheet };

class GridView : public QTableView {
public:
    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;

    GridModel* Model() const { return model_; }
    RowSource* Source() const;
    // Shows a source (nullptr: none) and selects the server's record.
    void Bind(std::unique_ptr<RowSource> source);

    // The server told something (a notification code, see dataserver.h).
    // Before a move (code 2) an open editor's text is written into the
    // record it edits, which is still the current one.
    void ServerNotified(int64_t code);
    // Re-reads the rows, shows the widths, selects the server's record.
    void Refresh();
    // Selects the server's current record and scrolls to it, without
    // moving the server.
    void FollowServer();

    // Column widths by field name, kept across re-reads. A width below 0
    // goes back to the default (from the field width).
    int ColumnWidth(const QString& name) const;
    void SetColumnWidth(const QString& name, int pixels);

    void SetHighlight(Highlight h);
    Highlight GetHighlight() const { return highlight_; }
    void SetLook(Look look);
    Look GetLook() const { return look_; }

    // Called from the destructor (the grid object lets go of the view), and
    // an object kept alive as long as the view (a grid made for a window).
    void SetOnDestroyed(std::function<void()> fn) { onDestroyed_ = std::move(fn); }
    void Keep(std::shared_ptr<void> keeper) { keeper_ = std::move(keeper); }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyboardSearch(const QString&) override {}
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    // Editors open only on the server's current record (moving the server
    // there first), so that what is typed has a record to go to.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    void KeepWholeTopRow();
    void CommitOpenEditor();
    void CurrentRowChanged(const QModelIndex& current);
    void Pressed(const QModelIndex& index);
    void MoveServerTo(int row);
    void ApplyWidths();
    int DefaultWidth(int column) const;
    int FirstVisibleColumn() const;
    QItemSelectionModel::SelectionFlags SelectFlags() const;

    GridModel* model_ = nullptr;
    CellDelegate* delegate_ = nullptr;
    QHash<QString, int> widths_;
    Highlight highlight_ = Highlight::kRow;
    Look look_ = Look::kStandard;
    bool syncing_ = false;  // the view follows the server: no moves back
    std::function<void()> onDestroyed_;
    std::shared_ptr<void> keeper_;
};

}  // namespace grid
