#include "platform/grid/gridview.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <climits>

#include "platform/grid/celleditor.h"
#include "platform/grid/celltext.h"
#include "platform/grid/gridmodel.h"
#include "platform/grid/windowmodel.h"
#include "platform/gui/boundary.h"
#include "platform/rdd/dataserver.h"
#include "platform/runtime/error.h"

namespace grid {
namespace {

// Keeps edits from moving the server for a scope.
class NoMoves {
public:
    explicit NoMoves(GridModel* m) : model_(m), was_(m->MovesAllowed()) { m->SetMovesAllowed(false); }
    ~NoMoves() { model_->SetMovesAllowed(was_); }
    NoMoves(const NoMoves&) = delete;
    NoMoves& operator=(const NoMoves&) = delete;

private:
    GridModel* model_;
    bool was_;
};

}  // namespace

GridView::GridView(QWidget* parent) : QTableView(parent) {
    model_ = new GridModel(this);
    window_ = new WindowModel(model_, this);
    setModel(window_);
    delegate_ = new CellDelegate(window_, this);
    setItemDelegate(delegate_);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setTabKeyNavigation(false);  // Tab leaves the grid, as in a dialog
    setWordWrap(false);
    setFocusPolicy(Qt::StrongFocus);
    // The view follows the server and the keys itself (FollowServer,
    // moveCursor); Qt's scrolling to a window row could land on a stale one.
    setAutoScroll(false);
    SetHighlight(Highlight::kRow);
    SetLook(Look::kStandard);
    // Rows keep one height: the window's place follows from the scroll
    // position alone.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (current.isValid()) column_ = current.column();
                gui::FromQt([&] { CurrentRowChanged(current); });
                // The record-number column marks the current record.
                if (verticalHeader()->isVisible()) verticalHeader()->viewport()->update();
            });
    connect(this, &QAbstractItemView::pressed, this,
            [this](const QModelIndex& index) { gui::FromQt([&] { Pressed(index); }); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        gui::FromQt([this] {
            current_ = -1;  // FollowServer finds it again
            ApplyWidths();
            PlaceWindow(value_);
        });
    });
    // Rows keep one height: a row the user drags gives its height to all.
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int, int, int size) {
        if (resizingRows_ || size <= 0 || size == verticalHeader()->defaultSectionSize()) return;
        QScopedValueRollback<bool> guard(resizingRows_, true);
        verticalHeader()->setDefaultSectionSize(size);
        for (int i = 0; i < verticalHeader()->count(); ++i) verticalHeader()->resizeSection(i, size);
        gui::FromQt([this] { PlaceWindow(value_); });
    });
    // Rows added or taken: the window fills up or empties at its end.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, [this] { gui::FromQt([this] { PlaceWindow(value_); }); });
}

GridView::~GridView() {
    if (onDestroyed_) onDestroyed_();
    keeper_.reset();
}

RowSource* GridView::Source() const { return model_->Source(); }

void GridView::Bind(std::unique_ptr<RowSource> source) {
    {
        QScopedValueRollback<bool> guard(syncing_, true);
        model_->SetSource(std::move(source));
    }
    FollowServer();
}

void GridView::ServerNotified(int64_t code) {
    RowSource* s = Source();
    if (!s) return;
    // Row removals and resets move the view's current index by themselves:
    // those changes must not move the server back.
    QScopedValueRollback<bool> guard(syncing_, true);
    NoMoves noMoves(model_);
    if (code == rdd::kNotifyIntentToMove) {
        CommitOpenEditor();
        return;
    }
    s->Forget();  // whatever happened, the file may hold other bytes now
    switch (code) {
        case rdd::kNotifyClose: model_->ServerClosed(); return;
        case rdd::kNotifyFieldChange:  // in the current record's buffer
            model_->RecordChanged(s->CurrentRecord());
            return;
        case rdd::kNotifyDelete:  // the current record; the pointer stays on it
            model_->RecordDeleted(s->CurrentRecord());
            break;
        case rdd::kNotifyFileChange:  // anything may have changed
            model_->Reload();
            break;
        default:  // moves, appends: take in new records, then follow
            model_->SyncRows();
            break;
    }
    FollowServer();
    viewport()->update();
}

void GridView::Refresh() {
    RowSource* s = Source();
    if (!s) return;
    QScopedValueRollback<bool> guard(syncing_, true);
    NoMoves noMoves(model_);
    s->Forget();
    // A hiding map is rebuilt: records recalled or deleted by another user
    // show up right. Without hiding, a re-read is the count and a repaint.
    if (s->Map().Filtered() || s->NeedsRebuild()) model_->Reload();
    else model_->SyncRows();
    ApplyWidths();
    FollowServer();
    viewport()->update();
    horizontalHeader()->viewport()->update();
    verticalHeader()->viewport()->update();
}

QItemSelectionModel::SelectionFlags GridView::SelectFlags() const {
    if (selectionMode() == QAbstractItemView::NoSelection) return QItemSelectionModel::NoUpdate;
    QItemSelectionModel::SelectionFlags f = QItemSelectionModel::ClearAndSelect;
    if (selectionBehavior() == QAbstractItemView::SelectRows) f |= QItemSelectionModel::Rows;
    return f;
}

int GridView::FirstVisibleColumn() const {
    for (int v = 0; v < horizontalHeader()->count(); ++v) {
        int logical = horizontalHeader()->logicalIndex(v);
        if (!isColumnHidden(logical)) return logical;
    }
    return 0;
}

void GridView::CommitOpenEditor() {
    QLineEdit* editor = delegate_->OpenEditor();
    if (!editor) return;
    delegate_->Write(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GridView::FollowServer() {
    QScopedValueRollback<bool> guard(syncing_, true);
    NoMoves noMoves(model_);
    RowSource* s = Source();
    const uint32_t recno = s ? s->CurrentRecord() : 0;
    int row = recno ? model_->RowOf(recno) : -1;
    // A current record that is not shown (deleted and hidden) puts the
    // highlight on the row that took its place; the server stays.
    if (row < 0 && recno) row = model_->NearestRow(recno);
    if (row < 0 || model_->columnCount() == 0) {
        current_ = -1;
        selectionModel()->clear();
        return;
    }
    current_ = row;
    ScrollToRow(row, EnsureVisible);
}

int GridView::CurrentColumn() const {
    if (currentIndex().isValid()) return currentIndex().column();
    return column_ >= 0 && column_ < model_->columnCount() ? column_ : FirstVisibleColumn();
}

int GridView::RowHeight() const { return std::max(1, verticalHeader()->defaultSectionSize()); }

int GridView::WholeRows() const { return std::max(1, viewport()->height() / RowHeight()); }

void GridView::SetScrollPerRecord(bool on) {
    const int h = RowHeight();
    const int64_t top = verticalScrollMode() == ScrollPerItem ? value_ : value_ / h;
    setVerticalScrollMode(on ? ScrollPerItem : ScrollPerPixel);
    PlaceWindow(on ? top : top * h);
}

QModelIndex GridView::ShowRow(int row, int column) {
    ScrollToRow(row, EnsureVisible);
    const int at = window_->WindowRowOf(row);
    return at >= 0 ? window_->index(at, column) : QModelIndex();
}

void GridView::ScrollToRow(int row, ScrollHint hint) {
    const bool perRecord = verticalScrollMode() == ScrollPerItem;
    const int64_t h = RowHeight();
    // In the bar's unit: where the row starts, how much shows.
    const int64_t start = perRecord ? row : row * h;
    const int64_t size = perRecord ? 1 : h;
    const int64_t page = perRecord ? WholeRows() : viewport()->height();
    int64_t value = value_;
    switch (hint) {
        case PositionAtTop: value = start; break;
        case PositionAtBottom: value = start + size - page; break;
        case PositionAtCenter: value = start - (page - size) / 2; break;
        default:
            if (start < value) value = start;
            else if (start + size > value + page) value = start + size - page;
            break;
    }
    PlaceWindow(value);
}

void GridView::PlaceWindow(int64_t value) {
    const bool perRecord = verticalScrollMode() == ScrollPerItem;
    const int64_t total = model_->rowCount();
    const int64_t h = RowHeight();
    const int64_t height = std::max(0, viewport()->height());
    const int64_t whole = WholeRows();
    int64_t most = perRecord ? total - whole : total * h - height;
    most = std::clamp<int64_t>(most, 0, INT_MAX);
    value = std::clamp<int64_t>(value, 0, most);
    const int64_t top = perRecord ? value : value / h;
    const int64_t shift = perRecord ? 0 : value % h;
    // The rows that show, the last one perhaps in part; at least one, so that
    // a view not laid out yet still holds its current row.
    const int64_t count = std::min(std::max<int64_t>(1, (height + shift + h - 1) / h), total - top);
    if (top != window_->First() && delegate_ && delegate_->OpenEditor())
        CommitOpenEditor();  // it would move to another record
    // Set first: what the window's announcements set off places it here too.
    value_ = value;
    {
        QScopedValueRollback<bool> placing(placing_, true);
        PlaceRows(top, count, most, shift);
    }
    FitRecordNumbers();
}

void GridView::PlaceRows(int64_t top, int64_t count, int64_t most, int64_t shift) {
    const bool perRecord = verticalScrollMode() == ScrollPerItem;
    {
        QScopedValueRollback<bool> guard(syncing_, true);
        NoMoves noMoves(model_);
        window_->Place(static_cast<int>(top), static_cast<int>(std::max<int64_t>(count, 0)));
        const int at = current_ >= 0 ? window_->WindowRowOf(current_) : -1;
        if (at < 0) {
            if (currentIndex().isValid()) selectionModel()->clear();
        } else {
            selectionModel()->setCurrentIndex(window_->index(at, CurrentColumn()), SelectFlags());
        }
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(most));
    bar->setPageStep(perRecord ? WholeRows() : std::max(1, viewport()->height()));
    bar->setSingleStep(perRecord ? 1 : RowHeight());
    bar->setValue(static_cast<int>(value_));
    verticalHeader()->setOffset(static_cast<int>(shift));
    viewport()->update();
    verticalHeader()->viewport()->update();
}

// The record-number column is as wide as the largest record number needs,
// wherever the window is: scrolling never makes the columns jump.
void GridView::FitRecordNumbers() {
    const int64_t rows = model_->rowCount();
    const uint32_t largest = rows > 0 ? model_->RecordOf(static_cast<int>(rows - 1)) : 0;
    const int digits = static_cast<int>(QString::number(largest).size());
    if (digits == numberDigits_) return;
    numberDigits_ = digits;
    QFont bold = verticalHeader()->font();
    bold.setBold(true);  // the current record's number
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, verticalHeader());
    verticalHeader()->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(QString(digits, QLatin1Char('9'))) +
                                      2 * margin + 4);
    updateGeometries();
}

void GridView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != window_) return;
    const int row = window_->RowOf(index.row());
    ScrollToRow(row, hint);
    const QModelIndex now = window_->index(window_->WindowRowOf(row), index.column());
    if (!now.isValid()) return;
    // Qt's own scrolling for the columns; the rows stay where they are.
    QScopedValueRollback<bool> placing(placing_, true);
    const int offset = verticalHeader()->offset();
    QTableView::scrollTo(now, EnsureVisible);
    verticalScrollBar()->setValue(static_cast<int>(value_));
    verticalHeader()->setOffset(offset);
}

void GridView::scrollContentsBy(int dx, int dy) {
    // The vertical bar is the view's own: its value places the window.
    if (dy && !placing_) gui::FromQt([this] { PlaceWindow(verticalScrollBar()->value()); });
    if (dx) QTableView::scrollContentsBy(dx, 0);
}

void GridView::updateGeometries() {
    {
        // Qt sizes the bar for the window's rows; the view sets it again.
        QScopedValueRollback<bool> placing(placing_, true);
        QTableView::updateGeometries();
    }
    PlaceWindow(value_);
}

void GridView::CurrentRowChanged(const QModelIndex& current) {
    if (syncing_ || !current.isValid()) return;
    current_ = window_->RowOf(current.row());
    MoveServerTo(current_);
}

void GridView::Pressed(const QModelIndex& index) {
    // A click on the row that is current already but is not the server's
    // record (the highlight took the place of a hidden record) moves the
    // server; any other click moved it through the current-row change.
    if (!index.isValid() || !Source() || index.row() != currentIndex().row()) return;
    const int row = window_->RowOf(index.row());
    if (model_->RecordOf(row) != Source()->CurrentRecord()) MoveServerTo(row);
}

void GridView::MoveServerTo(int row) {
    RowSource* s = Source();
    const uint32_t recno = model_->RecordOf(row);
    if (!s || recno == 0 || s->CurrentRecord() == recno) return;
    bool moved = false;
    // The move may raise an error whose handler leaves through a recovery
    // scope: that jump ends here, inside this event.
    rt::BeginSequence([&] { moved = s->MoveTo(recno); });
    if (moved) return;
    // Refused by a client or failed: the highlight goes back to the
    // server's record, now and once the mouse or key handling that asked
    // for the move is done with the selection.
    FollowServer();
    QTimer::singleShot(0, this, [this] { gui::FromQt([this] { FollowServer(); }); });
}

bool GridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool opens = trigger == AllEditTriggers || (editTriggers() & trigger);
    if (!opens || !index.isValid() || !Source()) return QTableView::edit(index, trigger, event);
    const int row = window_->RowOf(index.row());
    if (model_->RecordOf(row) != Source()->CurrentRecord()) {
        gui::FromQt([&] { MoveServerTo(row); });
        if (model_->RecordOf(row) != Source()->CurrentRecord()) return false;  // refused
    }
    // Following the server may have scrolled: the record's cell where it is now.
    const QModelIndex now = ShowRow(row, index.column());
    return now.isValid() && QTableView::edit(now, trigger, event);
}

QModelIndex GridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model_->rowCount();
    if (rows == 0) return {};
    const int column = CurrentColumn();
    const int page = WholeRows();
    int row = current_;
    switch (action) {
        case MoveHome: row = 0; break;
        case MoveEnd: row = rows - 1; break;
        case MoveUp:
        case MovePageUp:
            // Past the last record: back onto the last one.
            row = current_ < 0 ? rows - 1 : std::max(0, current_ - (action == MoveUp ? 1 : page));
            break;
        case MoveDown:
        case MovePageDown:
            // On the last record Down stays there: no move past the end.
            if (current_ < 0) return {};
            row = std::min(rows - 1, current_ + (action == MoveDown ? 1 : page));
            break;
        default:
            // Left, Right: Qt's own, in the current row.
            if (current_ < 0) return {};
            ShowRow(current_, column);
            return QTableView::moveCursor(action, modifiers);
    }
    // Made current here, where the window has just been placed for it (which
    // moves the server); Qt then finds nothing left to do.
    const QModelIndex target = ShowRow(row, column);
    if (target.isValid() && target != currentIndex()) selectionModel()->setCurrentIndex(target, SelectFlags());
    return target;
}

bool GridView::viewportEvent(QEvent* event) {
    // Each repaint reads what the file holds now.
    if (event->type() == QEvent::Paint && Source()) gui::FromQt([this] { Source()->Forget(); });
    return QTableView::viewportEvent(event);
}

int GridView::DefaultWidth(int column) const {
    const RowSource* s = Source();
    if (!s || column < 0 || column >= static_cast<int>(s->Columns().size())) return 80;
    const ColumnInfo& c = s->Columns()[static_cast<size_t>(column)];
    int chars = c.type == 'D' ? InputLimit(c) : c.type == 'L' ? 1 : c.type == 'M' ? 30 : c.width;
    chars = std::clamp(std::max<int>(chars, static_cast<int>(c.name.size())), 1, 40);
    return std::max(40, fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars + 16);
}

void GridView::ApplyWidths() {
    const RowSource* s = Source();
    if (!s) return;
    const auto& columns = s->Columns();
    for (int c = 0; c < static_cast<int>(columns.size()) && c < horizontalHeader()->count(); ++c) {
        const int w = widths_.value(QString::fromStdString(columns[static_cast<size_t>(c)].name), -1);
        horizontalHeader()->resizeSection(c, w >= 0 ? w : DefaultWidth(c));
    }
}

int GridView::ColumnWidth(const QString& name) const {
    const RowSource* s = Source();
    if (s) {
        const auto& columns = s->Columns();
        for (int c = 0; c < static_cast<int>(columns.size()) && c < horizontalHeader()->count(); ++c)
            if (QString::fromStdString(columns[static_cast<size_t>(c)].name) == name)
                return horizontalHeader()->sectionSize(c);
    }
    return widths_.value(name, 0);
}

void GridView::SetColumnWidth(const QString& name, int pixels) {
    if (pixels < 0) widths_.remove(name);
    else widths_[name] = pixels;
    ApplyWidths();
}

void GridView::SetHighlight(Highlight h) {
    highlight_ = h;
    switch (h) {
        case Highlight::kNone:
            // No fill: the current cell keeps its focus frame only.
            setSelectionMode(QAbstractItemView::NoSelection);
            break;
        case Highlight::kRow:
            setSelectionMode(QAbstractItemView::SingleSelection);
            setSelectionBehavior(QAbstractItemView::SelectRows);
            break;
        case Highlight::kCell:
            setSelectionMode(QAbstractItemView::SingleSelection);
            setSelectionBehavior(QAbstractItemView::SelectItems);
            break;
    }
    if (selectionModel()) {
        selectionModel()->clearSelection();
        if (Source()) FollowServer();
    }
}

void GridView::SetLook(Look look) {
    look_ = look;
    const bool sheet = look == Look::kSpreadsheet;
    setShowGrid(look != Look::kPlain);
    setGridStyle(Qt::SolidLine);
    setAlternatingRowColors(look == Look::kPlain);
    horizontalHeader()->setHighlightSections(sheet);
    verticalHeader()->setHighlightSections(sheet);
    horizontalHeader()->setDefaultAlignment(sheet ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + (sheet ? 4 : 6));
}

}  // namespace grid
