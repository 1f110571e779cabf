// The data grid control (class DATAGRID): a table view of a data server on
// a dialog template item, one column per field, one row per record, that
// follows the server's record pointer and moves it, and edits cells on a
// double click (each edit is written and committed at once).
//
//   auto grid = gui::MakeControl<grid::DataGrid>(window, ID_GRID);
//   grid->Use(rt::Usual(server));
//   grid->GetColumn(rt::Usual("BARCODE")) -> WIDTH := 210
//   grid->Refresh();
//
// The grid is a client of its server (NOTIFY) from Use until Use(nil) or
// until it is gone. See docs/grid.md.
#pragma once

#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "platform/grid/gridview.h"
#include "platform/gui/control.h"

namespace grid {

class DataGrid;

// A column of a grid, found by its field name.
class DataColumn : public rt::Object {
    QZ_OBJECT(DataColumn)
public:
    DataColumn() = default;
    DataColumn(std::weak_ptr<DataGrid> grid, std::string name) : grid_(std::move(grid)), name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    // The width in pixels (0 once the grid is gone). Assigning a negative
    // width goes back to the default width.
    int64_t Width() const;
    int64_t SetWidth(int64_t pixels);

private:
    std::weak_ptr<DataGrid> grid_;
    std::string name_;
};

class DataGrid : public gui::CustomControl {
    QZ_OBJECT(DataGrid)
public:
    DataGrid() = default;
    ~DataGrid() override;

    // A grid without an owner window, for a data window's table view: the
    // view keeps the grid object alive for as long as the view lives.
    static std::shared_ptr<DataGrid> MakeDetached();
    GridView* View() const { return view_; }

    // Binds a data server (nil: none). The grid registers as its client and
    // shows its records. A value that is not a server the grid can show
    // raises an error and leaves the grid as it was.
    bool Use(const rt::Usual& server);
    rt::Usual Server() const { return server_; }
    // The server's notifications; code 2 (about to move) is never refused.
    rt::Usual Notify(int64_t code, const rt::Usual& description);
    // Re-reads the rows and repaints; column widths show at once.
    void Refresh();

    // The column of a field (by name, symbol or 1-based position); nil when
    // the bound server has no such field.
    rt::Usual GetColumn(const rt::Usual& field);
    int64_t ColumnCount() const;
    int64_t ColumnWidth(const std::string& name) const;
    int64_t SetColumnWidth(const std::string& name, int64_t pixels);

    void EnableColumnMove(bool on);
    void EnableColumnResize(bool on);
    void EnableRowResize(bool on);

    // Designer settings. Each takes a symbol, a text or a logic value and
    // answers FALSE (after raising an argument error) for a value it does
    // not know:
    //   SetHighlight:     NONE/FALSE focus frame only, ROW/TRUE whole row, CELL
    //   SetScrollBars:    ALWAYS, AUTO/TRUE when needed, NONE/FALSE never
    //   SetRecordNumbers: TRUE/ALWAYS record numbers at the row starts, FALSE/NONE none
    //   SetScrollRange:   RECCOUNT/TRUE one scroll step a record, PIXEL/NONE/FALSE smooth
    //   SetLook:          EXCEL spreadsheet, STANDARD/TRUE grid lines, NONE/FALSE plain list
    bool SetHighlight(const rt::Usual& value);
    bool SetScrollBars(const rt::Usual& value);
    bool SetRecordNumbers(const rt::Usual& value);
    bool SetScrollRange(const rt::Usual& value);
    bool SetLook(const rt::Usual& value);

protected:
    QWidget* MakeWidget(QWidget* parent) override;

private:
    GridView* EnsureView(QWidget* parent);
    void ViewGone();
    void Unregister();
    bool RejectValue(const char* method, const rt::Usual& value, const char* expected);

    rt::Usual server_;
    QPointer<GridView> view_;
    std::vector<std::shared_ptr<DataColumn>> columns_;
};

}  // namespace grid
