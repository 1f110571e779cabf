// The grid's table view: follows the server's record pointer (the current
// row is the server's current record) and moves the server when the user
// moves the current row, with the mouse or the keys.
//
// The view holds only the rows on screen (a WindowModel over the grid's
// model) and keeps the vertical scroll bar itself: the bar counts the grid
// model's rows (or their pixels), and scrolling moves the window. Rows are
// numbered as in Model() everywhere in this interface; Qt's own indexes
// (currentIndex(), indexAt(), the selection) are the window's.
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
class WindowModel;

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
    // The current row (a row of Model()), -1 for none.
    int CurrentRow() const { return current_; }
    // Scrolls until a row of Model() shows whole; the view's index of its
    // cell in `column`.
    QModelIndex ShowRow(int row, int column = 0);
    // One scroll step a record (true) or a pixel.
    void SetScrollPerRecord(bool on);
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
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Editors open only on the server's current record (moving the server
    // there first), so that what is typed has a record to go to.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    // Shows the rows at a scroll position (the bar's unit: rows or pixels),
    // and the current row when it is among them.
    void PlaceWindow(int64_t value);
    void PlaceRows(int64_t top, int64_t count, int64_t most, int64_t shift);
    void ScrollToRow(int row, ScrollHint hint);
    int RowHeight() const;
    int WholeRows() const;
    int CurrentColumn() const;
    void FitRecordNumbers();
    void CommitOpenEditor();
    void CurrentRowChanged(const QModelIndex& current);
    void Pressed(const QModelIndex& index);
    void MoveServerTo(int row);
    void ApplyWidths();
    int DefaultWidth(int column) const;
    int FirstVisibleColumn() const;
    QItemSelectionModel::SelectionFlags SelectFlags() const;

    GridModel* model_ = nullptr;
    WindowModel* window_ = nullptr;
    CellDelegate* delegate_ = nullptr;
    int current_ = -1;      // the current row of model_
    int column_ = -1;       // the current column, kept while the row is off screen
    int64_t value_ = 0;     // the scroll position
    bool placing_ = false;  // the view moves the scroll bar: no window moves
    int numberDigits_ = 0;
    bool resizingRows_ = false;  // the record numbers' width the header is sized for
    QHash<QString, int> widths_;
    Highlight highlight_ = Highlight::kRow;
    Look look_ = Look::kStandard;
    bool syncing_ = false;  // the view follows the server: no moves back
    std::function<void()> onDestroyed_;
    std::shared_ptr<void> keeper_;
};

}  // namespace grid
