// The scanning screen: a barcode field, a quantity field and a grid on the
// scan data file. Every accepted scan is appended and committed at once.
#pragma once

#include <QElapsedTimer>

#include "platform/gui/control.h"
#include "platform/gui/datawindow.h"

class QObject;

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
    // What became of a scan waiting in the fields.
    enum class Outcome {
        kNothing,  // no scan was waiting (a field is empty)
        kStored,   // stored and durable; the fields are cleared
        kKept,     // not stored (refused, or the write failed): the fields keep it
    };
    // The accept step. Closing, a "Quantity Warning" answered No keeps the
    // fields as they are (the screen stays open) instead of clearing the count.
    Outcome Accept(bool closing);
    // The screen closes only when no scan is left waiting in its fields.
    bool QueryClose() override;
    // Key handling before the key reaches the focused control; always true.
    bool ONFUNCTIONKEY(int64_t key);
    // Keeps Up and Down from the grid: ONFUNCTIONKEY has moved the table.
    bool KeyDown(gui::KeyEvent& event) override;
    // A whole reader scan: into an empty barcode field, then on to the count.
    void TakeScan(const std::string& code);
    // Rings the bell and shows a line under the fields (instead of the help
    // line, which comes back with a scan stored a while later).
    void Notice(const std::string& text);
    std::string NoticeText() const { return helpLine_ ? helpLine_->Caption() : std::string(); }
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
    bool armed_ = false;                   // the box guard is on for this screen
    std::unique_ptr<QObject> readerKeys_;  // sorts the keys into reader scans and typing
    QElapsedTimer noticeShown_;
};

}  // namespace scan
