#include "export/commands.h"

#include <chrono>
#include <thread>

#include "export/archive.h"
#include "export/restart.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/stddialogs.h"
#include "platform/gui/window.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "scan/datafile.h"

namespace exportdata {
namespace {

constexpr uint32_t kYesNoQuestion = gui::MB_YESNO | gui::MB_ICONQUESTION;  // 0x24
constexpr uint32_t kNoChangeDir = 8;  // the dialog leaves the current directory alone
constexpr int kCentred = 3;

void ShowFailure(gui::Window* owner, const std::string& caption, const std::string& text) {
    rt::Usual ownerObject = owner ? rt::Usual(owner->Self()) : rt::Usual();
    gui::WarningBox(ownerObject, caption, text).Show();
}

}  // namespace

bool DBF2CSV(const std::string& table, const std::string& csvName, rt::Usual fieldList) {
    gui::SaveAsDialog dialog(rt::Usual(), ProposedCsvName(csvName), kNoChangeDir);
    if (!dialog.Show(kCentred)) return false;
    std::string chosen = dialog.FileName();
    if (chosen.empty()) return false;
    if (CsvFault f = TableToCsvFile(table, chosen, fieldList)) {
        // The operator is shown the table as it is named on disk.
        ShowFailure(nullptr, "EXPORT FAILED", DescribeFault(f, rt::ResolvePath(table), chosen));
        return false;
    }
    return true;
}

void CsvExport(gui::Window& shell) {
    gui::TextBox ask(rt::Usual(), "Export to CSV", "OK to export the scanned data?", kYesNoQuestion);
    if (ask.Show() != gui::IDYES) return;
    if (!DBF2CSV(scan::GetDataFileName())) return;
    int err = 0;
    std::string archive = CopyScannedDataFile(&err);
    if (err != 0) {
        ShowFailure(&shell, "ARCHIVE FAILED",
                    "The scanned data was exported, but the scanned data file could not be archived as " + archive +
                        ". " + rt::DosErrString(err) + " Do not restart the scan file before it has been copied.");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    gui::WarningBox(rt::Usual(shell.Self()), "RESTART REMINDER",
                    "The active scanned data file has been archived as " + archive +
                        "\r\n\r\nBefore you start scanning again, you may need to restart the scan file.")
        .Show();
}

void DataRestart(gui::Window& shell) {
    gui::TextBox ask(rt::Usual(), "DELETE ALL SCANNED RECORDS", "OK to restart the scanned data file?", kYesNoQuestion);
    if (ask.Show() != gui::IDYES) return;
    std::string path = scan::GetDataFileName();
    const std::string shown = scan::DataFileOnDisk();
    if (int err = EraseTable(path)) {
        ShowFailure(&shell, "RESTART FAILED",
                    "Unable to remove " + shown + ". " + rt::DosErrString(err) +
                        " The scanned records have been kept.");
        return;
    }
    if (!scan::MakeScannedDataFile()) {
        ShowFailure(&shell, "RESTART FAILED",
                    "The scanned records have been removed, but a new empty scan data file could not be "
                    "created as " +
                        shown + ". Scanning cannot start until it can be created.");
        return;
    }
    gui::TextBox(rt::Usual(shell.Self()), "DATA FILE RESTARTED", "All scanned records have been removed.").Show();
}

}  // namespace exportdata
