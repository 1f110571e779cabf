#include "export/commands.h"

#include <chrono>
#include <thread>

#include "appkit/openwindows.h"
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

// What the operator can do about a table that would not open.
std::string WhyNotOpened(const std::string& table) {
    switch (ProbeTable(table)) {
        case TableState::kInUse:
            return appkit::OpenScanningScreen()
                       ? " It is in use by the scanning screen: close that screen, then export again."
                       : " It is in use by another program: close it there, then export again.";
        case TableState::kDamaged:
            return " It is damaged and cannot be read; Restart Data keeps it under an archive name, from which its "
                   "intact records can be recovered.";
        case TableState::kMissing: return " There is no such file.";
        case TableState::kReadable: break;
    }
    return {};
}

}  // namespace

bool DBF2CSV(const std::string& table, const std::string& csvName, rt::Usual fieldList) {
    gui::SaveAsDialog dialog(rt::Usual(), ProposedCsvName(csvName), kNoChangeDir);
    if (!dialog.Show(kCentred)) return false;
    std::string chosen = dialog.FileName();
    if (chosen.empty()) return false;
    if (CsvFault f = TableToCsvFile(table, chosen, fieldList)) {
        // The operator is shown the table as it is named on disk.
        std::string text = DescribeFault(f, rt::ResolvePath(table), chosen);
        if (f.kind == CsvFault::kTableNotOpened) text += WhyNotOpened(table);
        ShowFailure(nullptr, "EXPORT FAILED", text);
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
                    "The scanned data was exported, but the scanned data file could not be archived as " +
                        rt::ResolvePathForCreate(archive) + ". " + rt::DosErrString(err) +
                        " Do not restart the scan file before it has been copied.");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    gui::WarningBox(rt::Usual(shell.Self()), "RESTART REMINDER",
                    "The active scanned data file has been archived as " + rt::ResolvePath(archive) +
                        "\r\n\r\nBefore you start scanning again, you may need to restart the scan file.")
        .Show();
}

void DataRestart(gui::Window& shell) {
    gui::TextBox ask(rt::Usual(), "DELETE ALL SCANNED RECORDS", "OK to restart the scanned data file?", kYesNoQuestion);
    if (ask.Show() != gui::IDYES) return;
    std::string path = scan::GetDataFileName();
    const std::string shown = scan::DataFileOnDisk();
    // A file that cannot be read still holds what was scanned: it is kept
    // under an archive name before it is replaced, so its intact records
    // can be recovered (qzdbf recover).
    std::string kept;
    if (ProbeTable(path) == TableState::kDamaged) {
        int err = 0;
        std::string archive = CopyScannedDataFile(&err);
        if (err != 0) {
            ShowFailure(&shell, "RESTART FAILED",
                        "The scanned data file " + shown + " cannot be read, and it could not be kept as " +
                            rt::ResolvePathForCreate(archive) + ". " + rt::DosErrString(err) +
                            " Nothing has been removed.");
            return;
        }
        kept = rt::ResolvePath(archive);
    }
    if (int err = EraseTable(path)) {
        ShowFailure(&shell, "RESTART FAILED",
                    "Unable to remove " + shown + ". " + rt::DosErrString(err) +
                        (err == rt::kOsSharingViolation ? " It is in use: close the scanning screen first." : "") +
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
    std::string text = "All scanned records have been removed.";
    if (!kept.empty())
        text += "\r\n\r\nThe scanned data file could not be read; it has been kept as " + kept +
                ", from which its intact records can be recovered.";
    gui::TextBox(rt::Usual(shell.Self()), "DATA FILE RESTARTED", text).Show();
}

}  // namespace exportdata
