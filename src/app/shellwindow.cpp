#include "app/shellwindow.h"

#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPalette>
#include <QVBoxLayout>

#include "app/shellmenus.h"
#include "appkit/openwindows.h"
#include "export/commands.h"
#include "export/restart.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/resource.h"
#include "platform/gui/stddialogs.h"
#include "platform/rdd/dbserver.h"
#include "platform/runtime/files.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace app {
namespace {

constexpr int kFormViewItem = 22359;
constexpr int kTableViewItem = 22360;

// The face of the window while no table is shown: the program's icon and
// name, and where to start.
QWidget* MakeWelcome() {
    auto* panel = new QWidget;
    panel->setObjectName("welcome");
    auto* layout = new QVBoxLayout(panel);
    layout->addStretch(1);
    auto* icon = new QLabel;
    icon->setPixmap(gui::SharedIcon({QStringLiteral(":/icons/__AAAICON.svg")}).pixmap(72, 72));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* title = new QLabel(QStringLiteral("Quorvex Stocktake Utility"));
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    title->setFont(f);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* hint = new QLabel(QStringLiteral("Press Shift+S, or choose Options \u25B8 Scan Data, to start counting."));
    hint->setObjectName("hint");
    hint->setAlignment(Qt::AlignCenter);
    QPalette grey = hint->palette();  // a palette, not a style sheet: no style sheet engine at start
    grey.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    hint->setPalette(grey);
    layout->addWidget(hint);
    layout->addStretch(2);
    return panel;
}

gui::ToolBar* ToolBarOf(const rt::Usual& menu) {
    auto* m = dynamic_cast<gui::Menu*>(menu.AsObject().get());
    return m ? dynamic_cast<gui::ToolBar*>(m->GetToolBar().AsObject().get()) : nullptr;
}

}  // namespace

const rt::ClassDef& StandardSDIWindow::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<StandardSDIWindow>("STANDARDSDIWINDOW", &gui::DataWindow::StaticClass())
            .Method<&StandardSDIWindow::DOOPENFILE>("DOOPENFILE")
            .Method<&StandardSDIWindow::FILEEXIT>("FILEEXIT")
            .Method<&StandardSDIWindow::FILEOPEN>("FILEOPEN")
            .Method<&StandardSDIWindow::FILEPRINTERSETUP>("FILEPRINTERSETUP")
            .Method<&StandardSDIWindow::FILECLOSE>("FILECLOSE")
            .Method<&StandardSDIWindow::FILEPRINT>("FILEPRINT")
            .Method<&StandardSDIWindow::VIEWTABLE>("VIEWTABLE")
            .Method<&StandardSDIWindow::VIEWFORM>("VIEWFORM")
            .Method<&StandardSDIWindow::CSVEXPORT>("CSVEXPORT")
            .Method<&StandardSDIWindow::DATARESTART>("DATARESTART")
            .Done();
    return c;
}

void StandardSDIWindow::Build(rt::Args args) {
    rt::SetDeleted(true);
    gui::DataWindow::Build(args);
    EnableDragDropClient(true);
    SetIcon(rt::Usual(rt::New<gui::Icon>("101")));
    auto menu = rt::New<EmptySDIMenu>();
    menu->Init(rt::Usual(Self()));
    SetMenu(rt::Usual(menu));
    SetCaption("Standard SDI Application");
    EnableStatusBar(true);
    SetDisplayTime(true);
    SetQuitOnClose(true);
    SetSize(rt::Usual(rt::New<gui::Dimension>(500, 250)));
    printingDevice_ = rt::Usual(rt::New<gui::PrintingDevice>());
    SetCentral(MakeWelcome());
}

rt::Usual StandardSDIWindow::StandardMenu() {
    // Made when a table is first shown: at start only the empty menu is
    // seen, and the window comes up without building the other's toolbar.
    if (standardMenu_.IsNil()) {
        auto standard = rt::New<StandardSDIMenu>();
        standard->Init(rt::Usual(Self()));
        standardMenu_ = rt::Usual(standard);
    }
    return standardMenu_;
}

bool StandardSDIWindow::Browsing() const { return standardMenu_.IsObject() && GetMenu() == standardMenu_; }

void StandardSDIWindow::DOOPENFILE(const std::string& fileName, const rt::Usual& readOnly) {
    if (fileName.size() > 3 && rt::Upper(rt::Right(fileName, 4)) == ".DBF") {
        auto server = rt::New<rdd::DBServer>(rt::Usual(fileName), rt::Usual(!rt::SetExclusive()),
                                             readOnly.IsLogic() ? readOnly : rt::Usual(false));
        // A table that did not open is not attached, and the window stays as
        // it was; the operator is told why when the error handler has not
        // said so (a table in use is answered quietly).
        if (!server->Used()) {
            if (exportdata::ProbeTable(fileName) == exportdata::TableState::kInUse) {
                const char* user = appkit::OpenScanningScreen() ? "the scanning screen" : "another program";
                gui::TextBox box(rt::Usual(Self()), "File Open Error",
                                 "Cannot open " + rt::ResolvePath(fileName) + " - it is in use by " + user + ".",
                                 gui::MB_OK);
                box.SetBeep(true);
                box.Show();
            }
            return;
        }
        if (!Browsing()) {
            if (auto* hint = Widget()->findChild<QLabel*>("hint")) hint->hide();
            SetMenu(StandardMenu());
            if (gui::ToolBar* bar = ToolBarOf(standardMenu_)) bar->PressItem(kFormViewItem);
        }
        Use(rt::Usual(server));
        SetCaption("Browse Database: " + fileName);
        return;
    }
    gui::TextBox box(rt::Usual(Self()), "File Open Error", "Cannot open " + fileName + " - Not a DBF file", gui::MB_OK);
    box.SetBeep(true);
    box.Show();
}

void StandardSDIWindow::Drop(gui::DragEvent& event) {
    std::string first = event.FileName(1);
    if (!first.empty() && rt::File(first)) DOOPENFILE(first, rt::Usual());
}

void StandardSDIWindow::FILEEXIT() { EndWindow(); }

void StandardSDIWindow::FILEOPEN() {
    if (!Server().IsObject()) {
        gui::OpenDialog dialog(rt::Usual(Self()), "*.dbf");
        dialog.Show();
        if (!dialog.FileName().empty()) DOOPENFILE(dialog.FileName(), rt::Usual(dialog.ReadOnly()));
        return;
    }
    // A table is open: OK closes it and offers the open dialog again,
    // Cancel keeps it.
    gui::TextBox box(rt::Usual(Self()), "Warning", "A DBF file is already open!\nDo you want close it?",
                     gui::MB_OKCANCEL);
    if (box.Show() != gui::IDOK) return;
    FILECLOSE();
    FILEOPEN();
}

void StandardSDIWindow::FILEPRINTERSETUP() {
    if (auto* device = dynamic_cast<gui::PrintingDevice*>(printingDevice_.AsObject().get())) device->Setup();
}

void StandardSDIWindow::FILECLOSE() {
    rt::Usual server = Server();
    Use(rt::Usual());
    if (auto* db = dynamic_cast<rdd::DBServer*>(server.AsObject().get())) db->Close();
}

void StandardSDIWindow::FILEPRINT() { Print(printingDevice_); }

void StandardSDIWindow::VIEWTABLE() {
    if (gui::ToolBar* bar = ToolBarOf(GetMenu())) {
        bar->UnPressItem(kFormViewItem);
        bar->PressItem(kTableViewItem);
    }
    ViewTable();
}

void StandardSDIWindow::VIEWFORM() {
    if (gui::ToolBar* bar = ToolBarOf(GetMenu())) {
        bar->UnPressItem(kTableViewItem);
        bar->PressItem(kFormViewItem);
    }
    ViewForm();
}

void StandardSDIWindow::CSVEXPORT() { exportdata::CsvExport(*this); }

void StandardSDIWindow::DATARESTART() { exportdata::DataRestart(*this); }

void StandardSDIWindow::MenuCommand(rt::Symbol command) {
    static const rt::Symbol kScanScreen("DATAREADER");
    if (command == kScanScreen) {
        if (gui::Window* open = appkit::OpenScanningScreen(this)) {
            QWidget* widget = open->Widget();
            widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
            widget->show();
            widget->raise();
            widget->activateWindow();
            return;
        }
    }
    gui::DataWindow::MenuCommand(command);
}

}  // namespace app
