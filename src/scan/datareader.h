// The scanning screen: a barcode field, a quantity field and a grid on the
// scan data file. Every accepted scan is appended and committed at once.
#pragma once

#include "platform/gui/control.h"
#include "platform/gui/datawindow.h"

namespace grid {
class DataGrid;
}

namespace scan {

class DataReader : public gui::DataDialog {
    QZ_OBJECT(DataReader)
public:
    DataReader() = default;

    // INIT(owner, control id, table object, extra): builds the controls;
    // attaches the table when one is given.
    void Build(rt::Args args) override;
    // Opens the scan data file exclusively, binds it to the grid, goes to
    // the last record and puts the focus in the barcode field.
    void PostInit(rt::Args args) override;
    // Runs the accept step when the quantity field gains or loses the focus.
    void EditFocusChange(gui::EditFocusChangeEvent& event) override;
    // Accepts one scan: checks the count, appends the record and commits it.
    void PBACCEPT();
    // Key handling before the key reaches the focused control; always true.
    bool ONFUNCTIONKEY(int64_t key);
    // Keeps Up and Down from the grid: ONFUNCTIONKEY has moved the table.
    bool KeyDown(gui::KeyEvent& event) override;
    // "End Scanning": closes the screen.
    void PBOKAY();
    // Stores a scan still waiting in the fields, then closes the table.
    void Close() override;

    gui::SingleLineEdit* BarcodeField() const { return barcode_.get(); }
    gui::SingleLineEdit* QuantityField() const { return quantity_.get(); }
    gui::PushButton* OkayButton() const { return okay_.get(); }
    grid::DataGrid* Grid() const { return grid_.get(); }
    // The grid's table object.
    rt::Usual Table() const;

private:
    std::shared_ptr<gui::SingleLineEdit> barcode_, quantity_;
    std::shared_ptr<gui::PushButton> okay_;
    std::shared_ptr<grid::DataGrid> grid_;
    std::shared_ptr<gui::GroupBox> scanBox_, quantityBox_;
    std::shared_ptr<gui::FixedText> countLabel_, helpLine_;
    bool accepting_ = false;
};

}  // namespace scan
