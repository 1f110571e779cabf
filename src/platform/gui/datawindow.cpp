#include "platform/gui/datawindow.h"

#include <algorithm>
#include <string_view>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/gui/boundary.h"
#include "platform/gui/control.h"
#include "platform/gui/menu.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/resource.h"
#include "platform/gui/stddialogs.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"

namespace gui {
namespace {

TableViewFactory& Factory() {
    static TableViewFactory factory;
    return factory;
}

const rt::Symbol kGoTop("GOTOP"), kGoBottom("GOBOTTOM"), kSkip("SKIP"), kAppend("APPEND"), kDelete("DELETE"),
    kFieldGet("FIELDGET"), kFieldPut("FIELDPUT"), kCommit("COMMIT"), kDbStruct("DBSTRUCT"), kRegister("REGISTERCLIENT"),
    kUnregister("UNREGISTERCLIENT"), kClose("CLOSE"), kUsed("USED");

QKeySequence SequenceOf(const AcceleratorEntry& e) {
    int key = QtKeyFromVirtualKey(e.virtualKey);
    int mods = 0;
    if (e.modifiers & kAccelShift) mods |= Qt::ShiftModifier;
    if (e.modifiers & kAccelControl) mods |= Qt::ControlModifier;
    if (e.modifiers & kAccelAlt) mods |= Qt::AltModifier;
    return QKeySequence(key | mods);
}

// Lets the window's accelerators have the keys that an edit would otherwise
// keep for itself (Ctrl+Home and Ctrl+End move the cursor in a line edit).
class AcceleratorsFirst : public QObject {
public:
    AcceleratorsFirst(const std::vector<QShortcut*>& shortcuts, QObject* parent)
        : QObject(parent), shortcuts_(shortcuts) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
        for (const QShortcut* s : shortcuts_) {
            if (s->key() != pressed) continue;
            event->ignore();  // not wanted by the edit: the shortcut runs
            return true;
        }
        return false;
    }

private:
    const std::vector<QShortcut*>& shortcuts_;
};

// A frame between a data dialog and its form surface.
class FormFrame : public Window {
    QZ_OBJECT(FormFrame)
public:
    FormFrame() = default;
};

const rt::ClassDef& FormFrame::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FormFrame>("__FORMFRAME", &Window::StaticClass()).Done();
    return c;
}

class SurfaceWindow : public FormDialogWindow {
public:
    QWidget* CreateWidget(QWidget*) override {
        Window* frame = OwnerWindow();
        return new QWidget(frame ? frame->Widget() : nullptr);
    }
};

class FrameWindow : public FormFrame {
public:
    explicit FrameWindow(QWidget* host) : host_(host) {}
    QWidget* CreateWidget(QWidget*) override { return new QWidget(host_); }

private:
    QWidget* host_;
};

}  // namespace

void SetTableViewFactory(TableViewFactory factory) { Factory() = std::move(factory); }

const rt::ClassDef& DataWindow::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataWindow>("DATAWINDOW", &Window::StaticClass())
                                       .Access<&DataWindow::GetMenu>("MENU")
                                       .Method<&DataWindow::SurfaceHandle>("GETSURFACEHANDLE")
                                       .Access<&DataWindow::ControlArray>("ACONTROLS")
                                       .Assign<&DataWindow::SetMenu>("MENU")
                                       .Access<&DataWindow::GetToolBar>("TOOLBAR")
                                       .Assign<&DataWindow::SetToolBar>("TOOLBAR")
                                       .Method<&DataWindow::EnableStatusBar>("ENABLESTATUSBAR")
                                       .Access<&DataWindow::DisplayTime>("DISPLAYTIME")
                                       .Assign<&DataWindow::SetDisplayTime>("DISPLAYTIME")
                                       .Method<&DataWindow::Use>("USE")
                                       .Access<&DataWindow::Server>("SERVER")
                                       .Method<&DataWindow::ViewForm>("VIEWFORM")
                                       .Method<&DataWindow::ViewTable>("VIEWTABLE")
                                       .Method<&DataWindow::Print>("PRINT")
                                       .Method<&DataWindow::GoTop>("GOTOP")
                                       .Method<&DataWindow::GoBottom>("GOBOTTOM")
                                       .Method<&DataWindow::SkipNext>("SKIPNEXT")
                                       .Method<&DataWindow::SkipPrevious>("SKIPPREVIOUS")
                                       .Method<&DataWindow::Append>("APPEND")
                                       .Method<&DataWindow::Delete>("DELETE")
                                       .Method<&DataWindow::Cut>("CUT")
                                       .Method<&DataWindow::Copy>("COPY")
                                       .Method<&DataWindow::Paste>("PASTE")
                                       .Access<&DataWindow::LegacyKeys>("LEGACYKEYS")
                                       .Assign<&DataWindow::SetLegacyKeys>("LEGACYKEYS")
                                       .Method<&DataWindow::Notify>("NOTIFY")
                                       .Done();
    return c;
}

DataWindow::DataWindow() = default;
DataWindow::~DataWindow() = default;

QWidget* DataWindow::CreateWidget(QWidget*) {
    auto* main = new QMainWindow;
    menuHost_ = new QWidget;
    auto* hostLayout = new QVBoxLayout(menuHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->setSpacing(0);
    main->setMenuWidget(menuHost_);
    views_ = new QStackedWidget;
    main->setCentralWidget(views_);
    acceleratorsFirst_ = new AcceleratorsFirst(shortcuts_, main);
    return main;
}

QMainWindow* DataWindow::MainWindow() const { return qobject_cast<QMainWindow*>(Widget()); }

void DataWindow::Build(rt::Args args) {
    Window::Build(args);
    menuHost_->hide();  // until a menu is set
}

void DataWindow::SetCentral(QWidget* w) {
    views_->addWidget(w);
    views_->setCurrentWidget(w);
}

rt::Usual DataWindow::SetMenu(const rt::Usual& menu) {
    if (auto* old = dynamic_cast<Menu*>(menu_.AsObject().get()); old && old->Bar()) {
        old->Bar()->hide();
        old->Bar()->setParent(nullptr);
        old->SetTarget(nullptr);
    }
    menu_ = menu;
    auto* m = dynamic_cast<Menu*>(menu.AsObject().get());
    if (m && m->Bar()) {
        m->SetTarget(this);
        menuHost_->layout()->addWidget(m->Bar());
        m->Bar()->show();
        menuHost_->show();
    } else {
        menuHost_->hide();
    }
    SetToolBar(m ? m->GetToolBar() : rt::Usual());
    InstallAccelerators();
    return menu;
}

rt::Usual DataWindow::SetToolBar(const rt::Usual& toolBar) {
    QMainWindow* main = MainWindow();
    if (auto* old = dynamic_cast<ToolBar*>(toolBar_.AsObject().get()); old && old->Bar()) {
        main->removeToolBar(old->Bar());
        old->Bar()->setParent(nullptr);
        old->SetTarget(nullptr);
    }
    toolBar_ = toolBar;
    if (auto* t = dynamic_cast<ToolBar*>(toolBar.AsObject().get()); t && t->Bar()) {
        t->SetTarget(this);
        main->addToolBar(Qt::TopToolBarArea, t->Bar());
        t->Bar()->show();
    }
    return toolBar;
}

void DataWindow::InstallAccelerators() {
    for (QShortcut* s : shortcuts_) delete s;
    shortcuts_.clear();
    auto* m = dynamic_cast<Menu*>(menu_.AsObject().get());
    if (!m) return;
    auto* acc = dynamic_cast<Accelerator*>(m->GetAccelerator().AsObject().get());
    if (!acc) return;
    for (const AcceleratorEntry& e : acc->Entries()) {
        auto* s = new QShortcut(SequenceOf(e), Widget());
        s->setContext(Qt::WindowShortcut);
        int id = e.itemId;
        QObject::connect(s, &QShortcut::activated, Widget(), [this, id] {
            FromQt([&] {
                if (auto* menu = dynamic_cast<Menu*>(menu_.AsObject().get())) menu->Choose(id);
            });
        });
        shortcuts_.push_back(s);
    }
}

bool DataWindow::EnableStatusBar(bool on) {
    MainWindow()->statusBar()->setVisible(on);
    return on;
}

bool DataWindow::SetDisplayTime(bool on) {
    displayTime_ = on;
    QStatusBar* bar = MainWindow()->statusBar();
    if (on && !timeLabel_) {
        timeLabel_ = new QLabel;
        timeLabel_->setFrameShape(QFrame::StyledPanel);
        timeLabel_->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(timeLabel_);
        auto* timer = new QTimer(timeLabel_);
        auto tick = [label = timeLabel_.data()] {
            label->setText(QStringLiteral(" %1 ").arg(QString::fromStdString(rt::Time())));
        };
        QObject::connect(timer, &QTimer::timeout, timeLabel_, [tick] { FromQt(tick); });
        timer->start(1000);
        tick();
    }
    if (timeLabel_) timeLabel_->setVisible(on);
    return on;
}

std::string DataWindow::StatusText() const { return MainWindow()->statusBar()->currentMessage().toStdString(); }

void DataWindow::ShowPrompt(const std::string& text) {
    MainWindow()->statusBar()->showMessage(QString::fromStdString(text));
}

bool DataWindow::Use(const rt::Usual& server) {
    rt::Usual self(Self());
    if (server_.IsObject()) {
        CommitPendingEdits();  // what was typed goes to the table it was typed for
        rt::Send(server_, kUnregister, std::vector<rt::Usual>{self});
        if (formView_) delete formView_.data();
        if (tableViewWidget_) delete tableViewWidget_.data();
        formEdits_.clear();
        formTypes_.clear();
    }
    server_ = server;
    if (!server_.IsObject()) return true;
    rt::Send(server_, kRegister, std::vector<rt::Usual>{self});
    BuildForm();
    if (Factory()) {
        tableViewWidget_ = Factory()(*this, server_);
        if (tableViewWidget_) views_->addWidget(tableViewWidget_);
    }
    if (tableView_ && tableViewWidget_) {
        views_->setCurrentWidget(tableViewWidget_);
    } else {
        views_->setCurrentWidget(formView_);
        // The operator can type into the first field at once.
        if (!formEdits_.empty()) formEdits_.front()->setFocus(Qt::OtherFocusReason);
    }
    return true;
}

namespace {

// The value of a form edit's text for a field of that type letter: a number
// (a decimal comma read as the point; blanks: no number), a date in the
// date picture, a logic value, or the text.
rt::Usual FormValue(const std::string& type, const QString& text) {
    std::string t = text.trimmed().toStdString();
    if (type == "N" || type == "F") {
        std::replace(t.begin(), t.end(), ',', '.');
        return t.empty() ? rt::Usual() : rt::Val(t);
    }
    if (type == "D") return rt::Usual(rt::CToD(t));
    if (type == "L") return rt::Usual(!t.empty() && std::string_view("TtYy").find(t[0]) != std::string_view::npos);
    return rt::Usual(text.toStdString());
}

}  // namespace

void DataWindow::BuildForm() {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget;
    auto* layout = new QFormLayout(inner);
    rt::Usual structure = rt::Send(server_, kDbStruct, std::vector<rt::Usual>{});
    for (size_t i = 1; i <= structure.ALen(); ++i) {
        const rt::Usual& field = structure.At(i);
        std::string name = field.ALen() > 0 ? field.At(1).AsStr() : std::string();
        std::string type = field.ALen() > 1 ? field.At(2).AsStr() : std::string();
        int64_t width = field.ALen() > 2 ? field.At(3).AsLong() : 10;
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromStdString(name));
        edit->setReadOnly(type == "M");
        if (type == "C" && width > 0) edit->setMaxLength(static_cast<int>(width));
        edit->setMinimumWidth(static_cast<int>(std::min<int64_t>(width, 60) * 8));
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [this, i] { FromQt([&] { CommitEdit(i - 1); }); });
        // The window's accelerators (Ctrl+Home, Ctrl+End...) outrank the
        // edit's own use of the same keys.
        edit->installEventFilter(acceleratorsFirst_);
        layout->addRow(QString::fromStdString(name), edit);
        formEdits_.push_back(edit);
        formTypes_.push_back(type);
    }
    scroll->setWidget(inner);
    formView_ = scroll;
    views_->addWidget(scroll);
    RefreshForm();
}

void DataWindow::CommitEdit(size_t index) {
    if (index >= formEdits_.size() || !server_.IsObject()) return;
    QLineEdit* edit = formEdits_[index];
    if (!edit->isModified()) return;
    edit->setModified(false);
    rt::Send(server_, kFieldPut,
             std::vector<rt::Usual>{rt::Usual(static_cast<int64_t>(index + 1)),
                                    FormValue(formTypes_[index], edit->text())});
    rt::Send(server_, kCommit, std::vector<rt::Usual>{});
}

void DataWindow::CommitPendingEdits() {
    for (size_t i = 0; i < formEdits_.size(); ++i) CommitEdit(i);
}

void DataWindow::RefreshForm() {
    if (!server_.IsObject()) return;
    for (size_t i = 0; i < formEdits_.size(); ++i) {
        rt::Usual v = rt::Send(server_, kFieldGet, std::vector<rt::Usual>{rt::Usual(static_cast<int64_t>(i + 1))});
        QString text;
        // The blanks that pad a character field to its width are not shown
        // (the cursor would stand after them); storing pads them again.
        if (v.IsString()) {
            text = QString::fromStdString(v.AsStr());
            while (text.endsWith(QLatin1Char(' '))) text.chop(1);
        } else if (v.IsDate()) text = QString::fromStdString(rt::DToC(v.AsDate()));
        else if (v.IsLogic()) text = v.AsLogic() ? QStringLiteral("T") : QStringLiteral("F");
        else if (v.IsLong()) text = QString::number(v.AsLong());
        else if (v.IsFloat()) text = QString::number(v.AsDouble(), 'f', std::max<int>(0, v.AsFloat().decimals));
        formEdits_[i]->setText(text);
        formEdits_[i]->setModified(false);
    }
}

rt::Usual DataWindow::Notify(int64_t code, const rt::Usual&) {
    if (code == 0) {  // the server is closing
        server_ = rt::Usual();
        return rt::Usual();
    }
    if (code == 2) return rt::Usual(true);
    RefreshForm();
    return rt::Usual();
}

void DataWindow::ViewForm() {
    tableView_ = false;
    if (formView_) views_->setCurrentWidget(formView_);
}

void DataWindow::ViewTable() {
    CommitPendingEdits();
    tableView_ = true;
    if (tableViewWidget_) views_->setCurrentWidget(tableViewWidget_);
}

void DataWindow::Print(const rt::Usual& printingDevice) {
    auto* device = dynamic_cast<PrintingDevice*>(printingDevice.AsObject().get());
    if (!device) return;
    QPrinter* printer = device->Printer();
    if (TestHooks::On()) {
        TestHooks::Dialogs().push_back(ShownDialog{"print", Caption(), 0});
        // Tests print only into a file they name, never on a real printer.
        if (printer->outputFileName().isEmpty()) return;
    }
    QWidget* view = views_->currentWidget();
    if (!view) return;
    QPainter painter;
    if (!painter.begin(printer)) {
        // A printer that did not start is not used again: the next Print
        // (after Print Setup) starts on a fresh one.
        std::string what = !printer->printerName().isEmpty() ? "on the printer " + printer->printerName().toStdString()
                           : !printer->outputFileName().isEmpty() ? "into " + printer->outputFileName().toStdString()
                                                                  : std::string("without a printer");
        device->Discard();
        WarningBox box(rt::Usual(Self()), "PRINT ERROR",
                       "Printing could not start " + what + ".\nChoose a printer with Print Setup and try again.");
        box.Show();
        return;
    }
    double scale = std::min(painter.viewport().width() / double(std::max(1, view->width())), 4.0);
    painter.scale(scale, scale);
    view->render(&painter);
    painter.end();
}

// Every record command first stores what the operator typed into the form:
// a tool-bar button or an accelerator leaves the focus in the edit, so the
// edit's own end-of-editing never comes before the record moves.
void DataWindow::GoTop() {
    CommitPendingEdits();
    rt::Send(server_, kGoTop, std::vector<rt::Usual>{});
}
void DataWindow::GoBottom() {
    CommitPendingEdits();
    rt::Send(server_, kGoBottom, std::vector<rt::Usual>{});
}
void DataWindow::SkipNext() {
    CommitPendingEdits();
    rt::Send(server_, kSkip, std::vector<rt::Usual>{rt::Usual(1)});
}
void DataWindow::SkipPrevious() {
    CommitPendingEdits();
    rt::Send(server_, kSkip, std::vector<rt::Usual>{rt::Usual(-1)});
}

void DataWindow::Append() {
    if (!server_.IsObject()) return;
    CommitPendingEdits();
    rt::Send(server_, kAppend, std::vector<rt::Usual>{});
    rt::Send(server_, kCommit, std::vector<rt::Usual>{});
}

void DataWindow::Delete() {
    if (!server_.IsObject()) return;
    CommitPendingEdits();
    rt::Send(server_, kDelete, std::vector<rt::Usual>{});
    rt::Send(server_, kCommit, std::vector<rt::Usual>{});
}

void DataWindow::Cut() {
    if (auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget())) e->cut();
}
void DataWindow::Copy() {
    if (auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget())) e->copy();
}
void DataWindow::Paste() {
    if (auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget())) e->paste();
}

bool DataWindow::Dispatch(Event& event) {
    if (legacyKeys_ && event.uMsg == WM_KEYDOWN && event.wParam == VK_RETURN) {
        QObject* focused = WidgetFromHandle(event.hWnd);
        if (auto* edit = qobject_cast<QLineEdit*>(focused); edit && edit->window() == Widget()) {
            // Enter moves on like Tab: the next control that takes the focus.
            QWidget* next = edit->nextInFocusChain();
            while (next && next != edit &&
                   !((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && next->isVisibleTo(Widget())))
                next = next->nextInFocusChain();
            if (next && next != edit) next->setFocus(Qt::TabFocusReason);
            return false;
        }
    }
    return Window::Dispatch(event);
}

void DataWindow::Close() {
    // The window's table goes with it: later commands need the file closed.
    if (server_.IsObject()) {
        rt::Usual server = server_;
        Use(rt::Usual());
        if (rt::IsMethod(server, kClose)) rt::Send(server, kClose, std::vector<rt::Usual>{});
    }
}

// ---- Data dialogs -------------------------------------------------------

const rt::ClassDef& FormDialogWindow::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<FormDialogWindow>("__FORMDIALOGWINDOW", &Window::StaticClass()).Done();
    return c;
}

const rt::ClassDef& DataDialog::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataDialog>("DATADIALOG", &DataWindow::StaticClass()).Done();
    return c;
}

std::string DataDialog::TemplateName() const { return Class().name.Name(); }

void DataDialog::Build(rt::Args args) {
    DataWindow::Build(args);
    std::string name = args.size() > 1 && args[1].IsString() ? args[1].AsStr() : TemplateName();
    template_ = FindDialog(name);
    auto frame = rt::New<FrameWindow>(Views());
    frame->Init({rt::Usual(Self())});
    frame_ = rt::Usual(frame);
    auto surface = rt::New<SurfaceWindow>();
    surface->Init({frame_});
    form_ = rt::Usual(surface);
    QWidget* page = frame->Widget();
    surface->Widget()->setParent(page);
    SetCentral(page);
    if (template_) {
        QRect r = DialogUnitsToPixels(*template_, 0, 0, template_->cx, template_->cy);
        page->setFixedSize(r.size());
        surface->Widget()->setGeometry(r);
        surface->Widget()->setFont(DialogFont(*template_));
        if (!template_->caption.empty()) SetCaption(template_->caption);
    }
    MainWindow()->statusBar()->hide();
}

QWidget* DataDialog::Surface() const {
    auto* surface = dynamic_cast<Window*>(form_.AsObject().get());
    return surface ? surface->Widget() : Widget();
}

}  // namespace gui
