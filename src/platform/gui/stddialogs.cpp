#include "platform/gui/stddialogs.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/gui/testhooks.h"
#include "platform/gui/window.h"

namespace gui {

const rt::ClassDef& OpenDialog::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<OpenDialog>("OPENDIALOG")
                                       .Method<&OpenDialog::Show>("SHOW")
                                       .Access<&OpenDialog::FileName>("FILENAME")
                                       .Access<&OpenDialog::ReadOnly>("READONLY")
                                       .Done();
    return c;
}

const rt::ClassDef& SaveAsDialog::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<SaveAsDialog>("SAVEASDIALOG")
                                       .Method<&SaveAsDialog::Show>("SHOW")
                                       .Access<&SaveAsDialog::FileName>("FILENAME")
                                       .Done();
    return c;
}

const rt::ClassDef& PrintingDevice::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<PrintingDevice>("PRINTINGDEVICE")
                                       .Method<&PrintingDevice::Setup>("SETUP")
                                       .Done();
    return c;
}

bool OpenDialog::Show(int64_t) {
    fileName_.clear();
    readOnly_ = false;
    if (TestHooks::On()) {
        TestHooks::Dialogs().push_back(ShownDialog{"open", filter_, 0});
        TestHooks::TakeFileAnswer(fileName_, readOnly_);
        return !fileName_.empty();
    }
    QFileDialog dialog(WidgetOf(owner_));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromStdString(filter_));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName_ = dialog.selectedFiles().first().toStdString();
    return true;
}

bool SaveAsDialog::Show(int64_t) {
    fileName_.clear();
    if (TestHooks::On()) {
        TestHooks::Dialogs().push_back(ShownDialog{"save", proposed_, flags_});
        bool ignored = false;
        TestHooks::TakeFileAnswer(fileName_, ignored);
        return !fileName_.empty();
    }
    // The process's current directory is never changed by this dialog.
    QString name = QFileDialog::getSaveFileName(WidgetOf(owner_), QString(),
                                                QString::fromStdString(proposed_));
    fileName_ = name.toStdString();
    return !fileName_.empty();
}

PrintingDevice::PrintingDevice() = default;
PrintingDevice::~PrintingDevice() = default;

QPrinter* PrintingDevice::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>();
    return printer_.get();
}

bool PrintingDevice::Setup() {
    if (TestHooks::On()) {
        TestHooks::Dialogs().push_back(ShownDialog{"printer", {}, 0});
        return false;
    }
    QPrintDialog dialog(Printer());
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace gui
