#include "platform/gui/stddialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "platform/gui/boundary.h"
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
    static const rt::ClassDef& c =
        rt::ClassBuilder<PrintingDevice>("PRINTINGDEVICE").Method<&PrintingDevice::Setup>("SETUP").Done();
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
    // Win32 matches the filter regardless of case: "*.dbf" shows STOCK.DBF.
    QString filter = QString::fromStdString(filter_);
    dialog.setNameFilter(filter.toUpper() == filter ? filter : filter + QLatin1Char(' ') + filter.toUpper());
    // The read-only choice of the Win32 open dialog: Qt's own dialog (a
    // desktop's native one could not carry it) with the box below the rest.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* readOnly = new QCheckBox(QObject::tr("Open as &read-only"), &dialog);
    readOnly->setObjectName(QStringLiteral("readOnly"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(readOnly, grid->rowCount(), 0, 1, grid->columnCount());
    else if (dialog.layout()) dialog.layout()->addWidget(readOnly);
    if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName_ = dialog.selectedFiles().first().toStdString();
    readOnly_ = readOnly->isChecked();
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
    // Qt runs its loop: an exception parked meanwhile closes the box Qt shows.
    rt::ThrowParked();
    QString name;
    {
        OwnLoop loop([] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        name = QFileDialog::getSaveFileName(WidgetOf(owner_), QString(), QString::fromStdString(proposed_));
    }
    rt::ThrowParked();
    fileName_ = name.toStdString();
    return !fileName_.empty();
}

PrintingDevice::PrintingDevice() = default;
PrintingDevice::~PrintingDevice() = default;

QPrinter* PrintingDevice::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>();
    return printer_.get();
}

void PrintingDevice::Discard() { printer_.reset(); }

bool PrintingDevice::Setup() {
    if (TestHooks::On()) {
        TestHooks::Dialogs().push_back(ShownDialog{"printer", {}, 0});
        return false;
    }
    QPrintDialog dialog(Printer(), QApplication::activeWindow());
    // A set-up dialog: the printer and its page, no range or copies to
    // print, and an OK button where Qt's print dialog has "Print".
    dialog.setWindowTitle(QObject::tr("Print Setup"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    for (auto* buttons : dialog.findChildren<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QObject::tr("OK"));
    return ExecModal(dialog) == QDialog::Accepted;
}

}  // namespace gui
