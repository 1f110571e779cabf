#include "scan/datareader.h"

#include "app/msgboxes.h"
#include "app/programicon.h"
#include "platform/grid/datagrid.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/vkeys.h"
#include "platform/rdd/dbserver.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/text.h"
#include "scan/datafile.h"

namespace scan {
namespace {

const rt::Symbol kQuantityName("SINGLELINEEDIT2");

template <class T>
std::shared_ptr<T> Named(gui::Window& owner, int id, const char* name) {
    auto c = gui::MakeControl<T>(owner, id);
    c->SetHyperLabel(rt::Usual(rt::New<gui::HyperLabel>(rt::Symbol(name))));
    return c;
}

rt::DBServer* ServerOf(const rt::Usual& table) {
    return dynamic_cast<rt::DBServer*>(table.AsObject().get());
}

}  // namespace

const rt::ClassDef& DataReader::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<DataReader>("DATAREADER", &gui::DataDialog::StaticClass())
            .Method<&DataReader::PBOKAY>("PBOKAY")
            .Method<&DataReader::ONFUNCTIONKEY>("ONFUNCTIONKEY")
            .Method<&DataReader::PBACCEPT>("PBACCEPT")
            .Done();
    return c;
}

// Registered at start so that the menu command DATAREADER finds the class.
[[maybe_unused]] const rt::ClassDef& kDataReaderClass = DataReader::StaticClass();

void DataReader::Build(rt::Args args) {
    // INIT's arguments are (owner, control id, table, extra); the data
    // dialog takes (owner, template name, control id).
    rt::Usual none;
    const rt::Usual base[] = {args.size() > 0 ? args[0] : none, rt::Usual("DataReader"),
                              args.size() > 1 ? args[1] : none};
    gui::DataDialog::Build(rt::Args(base, 3));

    barcode_ = Named<gui::SingleLineEdit>(*this, 100, "SINGLELINEEDIT1");
    barcode_->SetTextLimit(15);
    quantity_ = Named<gui::SingleLineEdit>(*this, 101, "SINGLELINEEDIT2");
    quantity_->SetTextLimit(12);
    okay_ = Named<gui::PushButton>(*this, 102, "PBOKAY");
    okay_->SetCaption("End Scanning");

    grid_ = Named<grid::DataGrid>(*this, 103, "DATAGRID1");
    grid_->SetHighlight(rt::Usual(rt::Symbol("NONE")));
    grid_->SetScrollBars(rt::Usual(rt::Symbol("ALWAYS")));
    grid_->SetRecordNumbers(rt::Usual(true));
    grid_->SetScrollRange(rt::Usual(rt::Symbol("RECCOUNT")));
    grid_->SetLook(rt::Usual(rt::Symbol("EXCEL")));
    grid_->EnableColumnMove(false);
    grid_->EnableColumnResize(false);
    grid_->EnableRowResize(false);

    scanBox_ = Named<gui::GroupBox>(*this, 104, "GROUPBOX1");
    scanBox_->SetCaption("Scan Item");
    quantityBox_ = Named<gui::GroupBox>(*this, 105, "GROUPBOX2");
    quantityBox_->SetCaption("Quantity");
    countLabel_ = Named<gui::FixedText>(*this, 106, "FIXEDTEXT1");
    countLabel_->SetCaption("Enter Count");
    helpLine_ = Named<gui::FixedText>(*this, 107, "FIXEDTEXT2");
    helpLine_->SetCaption("Double click on data cell to edit, DEL to delete record, ESC to exit.");
    helpLine_->SetTextColor(4);
    // The group boxes are drawn behind the fields they frame.
    scanBox_->Widget()->lower();
    quantityBox_->Widget()->lower();

    SetCaption("Scanned Data");
    SetIcon(rt::Usual(rt::New<app::AAAIcon>()));
    SetIconSm(rt::Usual(rt::New<app::AAAIcon>()));
    if (args.size() > 2 && args[2].IsObject()) Use(args[2]);
}

void DataReader::PostInit(rt::Args) {
    auto table = rt::New<rt::DBServer>(rt::Usual(GetDataFileName()), rt::Usual(false), rt::Usual());
    grid_->Use(rt::Usual(table));
    if (table->Used()) table->GoBottom();
    SetLegacyKeys(true);
    for (auto [field, width] : {std::pair{"BARCODE", 210}, std::pair{"QTY", 90}}) {
        rt::Usual column = grid_->GetColumn(rt::Usual(field));
        if (auto* c = dynamic_cast<grid::DataColumn*>(column.AsObject().get())) c->SetWidth(width);
    }
    grid_->Refresh();
    barcode_->SetFocus();
}

rt::Usual DataReader::Table() const { return grid_ ? grid_->Server() : rt::Usual(); }

void DataReader::EditFocusChange(gui::EditFocusChangeEvent& event) {
    gui::DataDialog::EditFocusChange(event);
    if (event.NameSym() == kQuantityName) PBACCEPT();
}

void DataReader::PBACCEPT() {
    // A question box can move the focus while the step runs; the step does
    // not run inside itself.
    if (accepting_) return;
    accepting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{accepting_};

    std::string barcode = barcode_->TextValue();
    std::string quantity = quantity_->TextValue();
    if (rt::AllTrim(barcode).empty() || quantity.empty()) return;
    rt::Usual count = rt::Val(quantity);
    if (!(count.AsDouble() > 0)) {
        std::string text = "Item " + rt::AllTrim(barcode) + " has a possible invalid quantity\r\n" +
                           "Are you sure you want to save it as " + quantity + "?";
        if (!app::QZProceed("Quantity Warning", text)) {
            quantity_->SetTextValue("");
            quantity_->SetFocus();
            return;
        }
    }
    rt::DBServer* table = ServerOf(Table());
    if (!table || !table->Used()) return;  // the open failed and was reported
    // The record is durable before the fields clear: a failed append, write
    // or commit has gone to the error handler and the text stays for a retry.
    if (!table->Append()) return;
    table->FieldPut(rt::Usual("BARCODE"), rt::Usual(barcode));
    table->FieldPut(rt::Usual("QTY"), rt::Usual(quantity));
    if (!table->Commit()) return;
    quantity_->SetTextValue("");
    barcode_->SetTextValue("");
    barcode_->SetFocus();
}

bool DataReader::ONFUNCTIONKEY(int64_t key) {
    rt::DBServer* table = ServerOf(Table());
    bool open = table && table->Used();
    switch (key) {
        case gui::VK_UP:
            if (open) table->Skip(rt::Usual(-1));
            break;
        case gui::VK_DOWN:
            if (open) table->Skip(rt::Usual(1));
            break;
        case gui::VK_PRIOR:
            if (open) table->GoTop();
            break;
        case gui::VK_NEXT:
            if (open) table->GoBottom();
            break;
        case gui::VK_ESCAPE: {
            gui::WarningBox ask(rt::Usual(), "END SCANNING", "OK to close the scanning screen?", 0x24);
            if (ask.Show() == gui::IDYES) {
                gui::TextBox done(rt::Usual(Self()), "CLOSING SCAN SCREEN",
                                  "Your scanned data has been saved.");
                done.Show();
                EndWindow();
            }
            break;
        }
        case gui::VK_DELETE: {
            gui::WarningBox ask(rt::Usual(), "DELETE RECORD", "OK to delete this record?", 0x24);
            if (ask.Show() == gui::IDYES && open && !table->Eof() && !table->Deleted()) {
                table->Delete();
                table->Commit();
                // The deleted record leaves the grid: the pointer moves to
                // the record that takes its row, so that the grid's current
                // row and the table agree.
                table->Skip(rt::Usual(1));
                if (table->Eof()) table->GoBottom();
            }
            break;
        }
        default: break;
    }
    return true;
}

bool DataReader::KeyDown(gui::KeyEvent& event) {
    // Up and Down have skipped one record in ONFUNCTIONKEY already; the grid,
    // when it has the focus, must not move the table a second record.
    if (grid_ && event.hWnd == gui::HandleOf(grid_->Widget()) &&
        (event.wParam == gui::VK_UP || event.wParam == gui::VK_DOWN))
        return false;
    return gui::DataDialog::KeyDown(event);
}

void DataReader::PBOKAY() { EndWindow(); }

void DataReader::Close() {
    // A scan typed but not yet accepted is stored before the screen goes:
    // closing it says the scanned data has been saved.
    if (quantity_ && barcode_) PBACCEPT();
    rt::Usual table = Table();
    if (grid_) grid_->Use(rt::Usual());
    if (rt::DBServer* t = ServerOf(table)) t->Close();
    gui::DataDialog::Close();
}

}  // namespace scan
