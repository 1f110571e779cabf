#include "platform/grid/grid.h"

#include "platform/grid/datagrid.h"
#include "platform/gui/datawindow.h"

namespace grid {

void Init() {
    // The registration of the class for creation by name happens here too,
    // so that CreateInstance(#DATAGRID) works before any grid was made.
    DataGrid::StaticClass();
    DataColumn::StaticClass();
    gui::SetTableViewFactory([](gui::DataWindow&, const rt::Usual& server) -> QWidget* {
        // The data window owns the widget; the view keeps the grid object.
        auto g = DataGrid::MakeDetached();
        g->SetRecordNumbers(rt::Usual(true));
        if (!g->Use(server)) g->Use(rt::Usual());
        return g->View();
    });
}

}  // namespace grid
