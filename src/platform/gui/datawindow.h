// Data windows: a main window with menu, tool bar and status bar that shows
// a data server in a form view or a table view; and data dialogs, data
// windows laid out from a dialog template.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QStackedWidget>

#include <functional>
#include <vector>

#include "platform/gui/window.h"

class QMainWindow;
class QStackedWidget;
class QLabel;
class QLineEdit;
class QShortcut;
class QWidget;

namespace gui {

class DataWindow;

// Makes the table view of a data window (the grid library provides it).
using TableViewFactory = std::function<QWidget*(DataWindow& window, const rt::Usual& server)>;
void SetTableViewFactory(TableViewFactory factory);

class DataWindow : public Window {
    QZ_OBJECT(DataWindow)
public:
    DataWindow();
    ~DataWindow() override;
    void Build(rt::Args args) override;

    // The menu object (a Menu); setting it installs its tool bar and
    // accelerator table with it.
    rt::Usual GetMenu() const { return menu_; }
    rt::Usual SetMenu(const rt::Usual& menu);
    rt::Usual GetToolBar() const { return toolBar_; }
    rt::Usual SetToolBar(const rt::Usual& toolBar);

    bool EnableStatusBar(bool on = true);
    bool DisplayTime() const { return displayTime_; }
    bool SetDisplayTime(bool on);
    std::string StatusText() const;
    void ShowPrompt(const std::string& text) override;

    // Attaches a data server (nil detaches it) and shows it in the current
    // view; the window becomes a client of the server.
    virtual bool Use(const rt::Usual& server);
    rt::Usual Server() const { return server_; }
    void ViewForm();
    void ViewTable();
    bool IsTableView() const { return tableView_; }
    // Prints the window's view on the printing device.
    void Print(const rt::Usual& printingDevice);

    // Record commands on the attached server.
    void GoTop();
    void GoBottom();
    void SkipNext();
    void SkipPrevious();
    void Append();
    void Delete();
    // Stores the form fields the operator changed into the current record.
    void CommitPendingEdits();
    // Clipboard commands on the focused edit.
    void Cut();
    void Copy();
    void Paste();

    // Enter in an edit control moves to the next control, as Tab does.
    bool LegacyKeys() const { return legacyKeys_; }
    bool SetLegacyKeys(bool on) { return legacyKeys_ = on; }
    bool Dispatch(Event& event) override;

    // Data-server notifications (the window is a client of its server).
    rt::Usual Notify(int64_t code, const rt::Usual& description);

    void Close() override;
    QMainWindow* MainWindow() const;

protected:
    QWidget* CreateWidget(QWidget* parent) override;
    // The widget in the middle of the window.
    void SetCentral(QWidget* w);
    QStackedWidget* Views() const { return views_; }

private:
    void RefreshForm();
    void CommitEdit(size_t index);
    void BuildForm();
    void InstallAccelerators();

    rt::Usual menu_, toolBar_, server_;
    bool displayTime_ = false;
    bool legacyKeys_ = false;
    bool tableView_ = false;
    QPointer<QWidget> menuHost_;
    QPointer<QStackedWidget> views_;
    QPointer<QWidget> formView_;
    QPointer<QWidget> tableViewWidget_;
    QPointer<QLabel> timeLabel_;
    std::vector<QLineEdit*> formEdits_;
    std::vector<std::string> formTypes_;  // each edit's field type letter
    QPointer<QObject> acceleratorsFirst_;
    std::vector<QShortcut*> shortcuts_;
};

// The form surface inside a data dialog: its controls' parent. Its owner is
// a frame object whose owner is the data dialog.
class FormDialogWindow : public Window {
    QZ_OBJECT(FormDialogWindow)
public:
    FormDialogWindow() = default;
};

class DataDialog : public DataWindow {
    QZ_OBJECT(DataDialog)
public:
    DataDialog() = default;
    // INIT(owner, template name or nil for the class's own name, control id, ...).
    void Build(rt::Args args) override;
    QWidget* Surface() const override;
    const DialogTemplate* Template() const override { return template_; }
    rt::Usual Form() const { return form_; }

protected:
    // The template's name when none is given: the class's own name.
    virtual std::string TemplateName() const;

private:
    const DialogTemplate* template_ = nullptr;
    rt::Usual frame_, form_;
};

}  // namespace gui
