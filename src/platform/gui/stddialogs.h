// Standard dialogs: open and save file dialogs, and the printing device.
#pragma once

#include <memory>
#include <string>

#include "platform/runtime/object.h"

class QPrinter;

namespace gui {

class OpenDialog : public rt::Object {
    QZ_OBJECT(OpenDialog)
public:
    OpenDialog() = default;
    OpenDialog(rt::Usual owner, std::string filter) : owner_(std::move(owner)), filter_(std::move(filter)) {}
    // Shows the dialog; true when a file was chosen.
    bool Show(int64_t mode = 0);
    std::string FileName() const { return fileName_; }
    bool ReadOnly() const { return readOnly_; }

private:
    rt::Usual owner_;
    std::string filter_;
    std::string fileName_;
    bool readOnly_ = false;
};

class SaveAsDialog : public rt::Object {
    QZ_OBJECT(SaveAsDialog)
public:
    SaveAsDialog() = default;
    SaveAsDialog(rt::Usual owner, std::string proposed, uint32_t flags = 0)
        : owner_(std::move(owner)), proposed_(std::move(proposed)), flags_(flags) {}
    // Shows the dialog; true when a name was confirmed.
    bool Show(int64_t mode = 0);
    // The chosen name, "" after cancel.
    std::string FileName() const { return fileName_; }

private:
    rt::Usual owner_;
    std::string proposed_;
    uint32_t flags_ = 0;
    std::string fileName_;
};

class PrintingDevice : public rt::Object {
    QZ_OBJECT(PrintingDevice)
public:
    PrintingDevice();
    ~PrintingDevice() override;
    // The printer set-up dialog (choices only, nothing is printed); true
    // when confirmed.
    bool Setup();
    // The printer, made when first asked for.
    QPrinter* Printer();
    // Drops the printer (one that failed to start); the next one is fresh.
    void Discard();

private:
    std::unique_ptr<QPrinter> printer_;
};

}  // namespace gui
