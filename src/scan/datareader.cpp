#include "scan/datareader.h"

#include <algorithm>

#include <QApplication>
#include <QLineEdit>

#include "appkit/msgboxes.h"
#include "appkit/programicon.h"
#include "platform/grid/datagrid.h"
#include "platform/gui/burstguard.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/vkeys.h"
#include "platform/rdd/dbserver.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"
#include "scan/datafile.h"
#include "scan/readerinput.h"

namespace scan {
namespace {

const rt::Symbol kQuantityName("SINGLELINEEDIT2");
const char* const kHelpText = "Double click on data cell to edit, DEL to delete record, ESC to exit.";
// The widths of the table's fields: what does not fit is not taken.
constexpr size_t kBarcodeWidth = 15;
constexpr size_t kCountWidth = 10;
// A notice under the fields stays at least this long.
constexpr int64_t kNoticeMs = 10000;

template <class T>
std::shared_ptr<T> Named(gui::Window& owner, int id, const char* name) {
    auto c = gui::MakeControl<T>(owner, id);
    c->SetHyperLabel(rt::Usual(rt::New<gui::HyperLabel>(rt::Symbol(name))));
    return c;
}

rdd::DBServer* ServerOf(const rt::Usual& table) { return dynamic_cast<rdd::DBServer*>(table.AsObject().get()); }

}  // namespace

const rt::ClassDef& DataReader::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataReader>("DATAREADER", &gui::DataDialog::StaticClass())
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
    barcode_->SetTextLimit(kBarcodeWidth);
    quantity_ = Named<gui::SingleLineEdit>(*this, 101, "SINGLELINEEDIT2");
    // The count takes what the table's field holds whole.
    quantity_->SetTextLimit(kCountWidth);
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
    helpLine_->SetCaption(kHelpText);
    helpLine_->SetTextColor(4);
    // The group boxes are drawn behind the fields they frame.
    scanBox_->Widget()->lower();
    quantityBox_->Widget()->lower();

    SetCaption("Scanned Data");
    SetIcon(rt::Usual(rt::New<appkit::AAAIcon>()));
    SetIconSm(rt::Usual(rt::New<appkit::AAAIcon>()));
    if (args.size() > 2 && args[2].IsObject()) Use(args[2]);
}

void DataReader::PostInit(rt::Args) {
    auto table = rt::New<rdd::DBServer>(rt::Usual(GetDataFileName()), rt::Usual(false), rt::Usual());
    if (!table->Used()) {
        // A screen without its table would take scans and store none. A
        // sharing conflict was answered quietly: say who holds the file. Any
        // other failure has been shown by the error handler.
        if (rt::NetErr())
            gui::TextBox(Owner(), "SCAN DATA FILE IN USE",
                         "The scan data file " + DataFileOnDisk() +
                             " is open in another scanning screen or program. Close it there, then "
                             "open the scanning screen again.")
                .Show();
        EndWindow();
        return;
    }
    grid_->Use(rt::Usual(table));
    table->GoBottom();
    SetLegacyKeys(true);
    for (auto [field, width] : {std::pair{"BARCODE", 210}, std::pair{"QTY", 90}}) {
        rt::Usual column = grid_->GetColumn(rt::Usual(field));
        if (auto* c = dynamic_cast<grid::DataColumn*>(column.AsObject().get())) c->SetWidth(width);
    }
    grid_->Refresh();
    // While the screen is open a reader may be typing: boxes wait for a
    // deliberate answer, and stray keys find the barcode field.
    gui::burst::Arm();
    armed_ = true;
    ReaderInput::Hooks hooks;
    hooks.scan = [this](const std::string& code) { TakeScan(code); };
    hooks.missed = [this](int count, const std::string& last) {
        Notice("Not taken while a message was up: " + std::to_string(count) +
               (count == 1 ? " scan, " : " scans, last ") + last + ".");
    };
    readerKeys_ = std::make_unique<ReaderInput>(Widget(), barcode_->Edit(), quantity_->Edit(), okay_->Widget(),
                                                grid_->Widget(), std::move(hooks));
    QCoreApplication::instance()->installEventFilter(readerKeys_.get());
    barcode_->SetFocus();
}

rt::Usual DataReader::Table() const { return grid_ ? grid_->Server() : rt::Usual(); }

void DataReader::EditFocusChange(gui::EditFocusChangeEvent& event) {
    gui::DataDialog::EditFocusChange(event);
    if (event.NameSym() == kQuantityName) PBACCEPT();
}

void DataReader::PBACCEPT() { Accept(false); }

DataReader::Outcome DataReader::Accept(bool closing) {
    // A box of the step runs its own event loop; the step does not run
    // inside itself, and the screen does not close under it.
    if (accepting_) return closing ? Outcome::kKept : Outcome::kNothing;
    accepting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{accepting_};

    std::string barcode = barcode_->TextValue();
    const std::string typed = quantity_->TextValue();
    if (rt::AllTrim(barcode).empty() || typed.empty()) return Outcome::kNothing;
    // The count is stored as every reader of the table reads it: digits and
    // a decimal point. Text that is no such count (pasted) is refused.
    std::string quantity = StoredCount(typed, static_cast<char>(rt::SetDecimalSep()));
    if (quantity.empty() || quantity.size() > kCountWidth) {
        Notice("Not a count: \"" + typed + "\". Type digits and the decimal mark.");
        quantity_->SetFocus();
        quantity_->Edit()->selectAll();
        return Outcome::kKept;
    }
    rt::Usual count = rt::Val(quantity);
    if (!(count.AsDouble() > 0)) {
        std::string text = "Item " + rt::AllTrim(barcode) + " has a possible invalid quantity\r\n" +
                           "Are you sure you want to save it as " + typed + "?";
        if (!appkit::QZProceed("Quantity Warning", text)) {
            if (!closing) quantity_->SetTextValue("");
            quantity_->SetFocus();
            return Outcome::kKept;
        }
    }
    rdd::DBServer* table = ServerOf(Table());
    if (!table || !table->Used()) return Outcome::kKept;
    // The grid hears of the record only once it is durable: while the write
    // is tried (and a failure is shown) it goes on showing what is on disk.
    if (!table->Notify(rdd::kNotifyIntentToMove).AsLogic()) return Outcome::kKept;
    table->SuspendNotification();
    bool stored = table->Append();
    stored = stored && !table->FieldPut(rt::Usual("BARCODE"), rt::Usual(barcode)).IsNil();
    stored = stored && !table->FieldPut(rt::Usual("QTY"), rt::Usual(quantity)).IsNil();
    stored = stored && table->Commit();
    table->ResetNotification();
    if (!stored) {
        // The error handler has shown the failure and was not asked to
        // retry: the record leaves the table again, so that the next accept
        // stores the scan once. The fields keep it; Enter in the count tries
        // again.
        table->Withdraw();
        quantity_->SetFocus();
        return Outcome::kKept;
    }
    table->Notify(rdd::kNotifyAppend);
    quantity_->SetTextValue("");
    barcode_->SetTextValue("");
    barcode_->SetFocus();
    if (noticeShown_.isValid() && noticeShown_.elapsed() >= kNoticeMs) {
        helpLine_->SetCaption(kHelpText);
        noticeShown_.invalidate();
    }
    return Outcome::kStored;
}

void DataReader::TakeScan(const std::string& code) {
    // The field holds characters of the table's single-byte code page: a
    // letter beyond ASCII takes one place however many UTF-8 bytes it has.
    const auto chars = std::count_if(code.begin(), code.end(), [](char c) { return (c & 0xC0) != 0x80; });
    if (static_cast<size_t>(chars) > kBarcodeWidth) {
        Notice("Not taken: a scan longer than " + std::to_string(kBarcodeWidth) + " characters.");
        return;
    }
    // A barcode still waiting is replaced, never joined; the operator hears
    // and reads which one. A count typed before any barcode stays: it is
    // this scan's.
    const std::string waiting = barcode_->TextValue();
    if (!rt::AllTrim(waiting).empty()) {
        const std::string count = quantity_->TextValue();
        Notice("Not stored: " + rt::AllTrim(waiting) + (count.empty() ? " (no count)" : " (count " + count + ")") +
               ", replaced by a new scan.");
        quantity_->SetTextValue("");
    }
    barcode_->SetTextValue(code);
    // Into the count, as the reader's Enter goes; the field gaining the focus
    // runs the accept step, which stores a count typed ahead.
    if (quantity_->Edit()->hasFocus()) Accept(false);
    else quantity_->SetFocus();
}

void DataReader::Notice(const std::string& text) {
    QApplication::beep();
    helpLine_->SetCaption(text);
    noticeShown_.start();
}

bool DataReader::QueryClose() {
    rdd::DBServer* table = ServerOf(Table());
    if (!table || !table->Used()) return true;  // nothing can be stored
    return Accept(true) != Outcome::kKept;
}

bool DataReader::ONFUNCTIONKEY(int64_t key) {
    rdd::DBServer* table = ServerOf(Table());
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
            // The waiting scan is stored before the screen says so; when it
            // cannot be, the screen stays open with the fields as they are.
            if (ask.Show() == gui::IDYES && Accept(true) != Outcome::kKept) {
                gui::TextBox done(rt::Usual(Self()), "CLOSING SCAN SCREEN", "Your scanned data has been saved.");
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
    // QueryClose has stored a waiting scan; a screen closed without asking
    // (never shown) stores it here.
    if (quantity_ && barcode_) Accept(true);
    readerKeys_.reset();
    if (armed_) gui::burst::Disarm();
    armed_ = false;
    rt::Usual table = Table();
    if (grid_) grid_->Use(rt::Usual());
    if (rdd::DBServer* t = ServerOf(table)) t->Close();
    gui::DataDialog::Close();
}

}  // namespace scan
