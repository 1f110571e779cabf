#include "platform/grid/gridview.h"

#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

#include "platform/grid/celleditor.h"
#include "platform/grid/celltext.h"
#include "platform/grid/gridmodel.h"
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
    setModel(model_);
    delegate_ = new CellDelegate(model_, this);
    setItemDelegate(delegate_);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setTabKeyNavigation(false);  // Tab leaves the grid, as in a dialog
    setWordWrap(false);
    setFocusPolicy(Qt::StrongFocus);
    SetHighlight(Highlight::kRow);
    SetLook(Look::kStandard);
    // Rows keep one height: the header then needs no per-row measuring, so
    // a table of a million records lays out at once.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                gui::FromQt([&] { CurrentRowChanged(current); });
                // The record-number column marks the current record.
                if (verticalHeader()->isVisible()) verticalHeader()->viewport()->update();
            });
    connect(this, &QAbstractItemView::pressed, this,
            [this](const QModelIndex& index) { gui::FromQt([&] { Pressed(index); }); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { gui::FromQt([this] { ApplyWidths(); }); });
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
        selectionModel()->clear();
        return;
    }
    const int column = currentIndex().isValid() ? currentIndex().column() : FirstVisibleColumn();
    const QModelIndex index = model_->index(row, column);
    selectionModel()->setCurrentIndex(index, SelectFlags());
    scrollTo(index, QAbstractItemView::EnsureVisible);
}

void GridView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dy) KeepWholeTopRow();
}

void GridView::updateGeometries() {
    QTableView::updateGeometries();
    KeepWholeTopRow();
}

// Scrolled a record at a time, the view shows whole rows from the top: at
// the end of the range Qt lines the last row up with the bottom edge, which
// leaves the top row half under the header. The range already lets the
// last rows fit below a whole top row.
void GridView::KeepWholeTopRow() {
    if (verticalScrollMode() != ScrollPerItem) return;
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() <= 0 || bar->value() != bar->maximum()) return;
    QHeaderView* rows = verticalHeader();
    const int wanted = rows->sectionPosition(rows->logicalIndex(bar->value()));
    if (wanted < 0 || rows->offset() == wanted) return;
    rows->setOffset(wanted);
    viewport()->update();
}

void GridView::CurrentRowChanged(const QModelIndex& current) {
    if (syncing_ || !current.isValid()) return;
    MoveServerTo(current.row());
}

void GridView::Pressed(const QModelIndex& index) {
    // A click on the row that is current already but is not the server's
    // record (the highlight took the place of a hidden record) moves the
    // server; any other click moved it through the current-row change.
    if (!index.isValid() || !Source() || index.row() != currentIndex().row()) return;
    if (model_->RecordOf(index.row()) != Source()->CurrentRecord()) MoveServerTo(index.row());
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
    if (opens && index.isValid() && Source() && model_->RecordOf(index.row()) != Source()->CurrentRecord()) {
        gui::FromQt([&] { MoveServerTo(index.row()); });
        if (model_->RecordOf(index.row()) != Source()->CurrentRecord()) return false;  // refused
    }
    return QTableView::edit(index, trigger, event);
}

QModelIndex GridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model_->rowCount();
    if (rows == 0) return {};
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : FirstVisibleColumn();
    switch (action) {
        case MoveHome: return model_->index(0, column);
        case MoveEnd: return model_->index(rows - 1, column);
        case MoveUp:
        case MovePageUp:
            // Past the last record: back onto the last one.
            if (!current.isValid()) return model_->index(rows - 1, column);
            break;
        case MoveDown:
        case MovePageDown:
            if (!current.isValid()) return {};
            break;
        default: break;
    }
    return QTableView::moveCursor(action, modifiers);
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
