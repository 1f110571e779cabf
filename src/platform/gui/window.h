// Windows: the base of every top-level window, data window and dialog.
//
// A Window is a runtime object (so its methods are reached by symbol, for
// menu commands and late-bound calls) that owns one Qt widget. Qt events for
// the widget are translated into the message form (event.h) and handed to
// Dispatch; its result decides whether the widget still sees the event.
#pragma once

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

#include "platform/gui/dimension.h"
#include "platform/gui/event.h"
#include "platform/gui/handles.h"
#include "platform/gui/icon.h"
#include "platform/gui/point.h"
#include "platform/runtime/object.h"

class QWidget;
class QIcon;
class QObject;
class QTimer;

namespace gui {

struct DialogTemplate;
class Control;

class Window : public rt::Object {
    QZ_OBJECT(Window)
public:
    Window();
    ~Window() override;

    // Construction: INIT with the owner (a window object, the App object or
    // nil) and the class's own arguments. Runs PreInit, Build and PostInit
    // in that order, once.
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> args) { Init(rt::Args(args.begin(), args.size())); }
    virtual void PreInit(rt::Args) {}
    // Builds the window: each class calls its base's Build first, then adds
    // its own parts. The base takes the owner and makes the widget.
    virtual void Build(rt::Args args);
    virtual void PostInit(rt::Args) {}

    QWidget* Widget() const { return widget_; }
    rt::Usual Owner() const { return owner_; }
    Window* OwnerWindow() const;

    std::string Caption() const;
    std::string SetCaption(const std::string& caption);
    rt::Usual GetIcon() const { return icon_; }
    rt::Usual SetIcon(const rt::Usual& icon);
    rt::Usual GetIconSm() const { return iconSm_; }
    rt::Usual SetIconSm(const rt::Usual& icon);
    rt::Usual Size() const;
    rt::Usual SetSize(const rt::Usual& dimension);

    // Shows the window. Mode 0 shows it normally, 3 shows it centred on its
    // owner (or on the screen), 1 maximised, 2 minimised.
    virtual void Show(int64_t mode = 0);
    virtual void Hide();
    // Closes the window; its widget goes and the object lets go of itself.
    virtual void EndWindow();
    bool IsOpen() const;

    // The program ends its message loop when this window closes.
    bool QuitOnClose() const { return quitOnClose_; }
    bool SetQuitOnClose(bool on) { return quitOnClose_ = on; }

    // Event entry: called for every translated event of the window's widget
    // and of its controls (after the control's own Dispatch). Returns false to
    // keep the event from the widget.
    virtual bool Dispatch(Event& event);
    // A key press reached the window (default: nothing, let it through).
    virtual bool KeyDown(KeyEvent&) { return true; }
    // Edit focus changes of the window's edit controls.
    virtual void EditFocusChange(EditFocusChangeEvent&) {}
    // Closes the open windows this window owns, each through its own close
    // path; false when one of them stayed open. Runs before QueryClose.
    bool CloseOwnedWindows();
    // Asked before the window closes; false keeps it open.
    virtual bool QueryClose() { return true; }
    // Called once when the window has closed, however it closed.
    virtual void Close() {}
    // Shows a prompt (a menu item's description) where the window has room
    // for one; the default has none.
    virtual void ShowPrompt(const std::string&) {}
    // Files dropped on the window (after EnableDragDropClient).
    virtual void Drop(DragEvent&) {}
    void EnableDragDropClient(bool on = true);

    // Menu commands: a method of the window of that name, else a window
    // class of that name created with this window as owner and shown.
    virtual void MenuCommand(rt::Symbol command);

    // The window timer: TIMER (by symbol, so a class's own TIMER method
    // runs; the C++ default is Timer()) every interval, in seconds; a
    // one-shot timer runs once. Registering again replaces the timer. It is
    // a SetTimer window timer with the identifier kRegisteredTimerId and
    // stops when the window closes. Returns 1 when the timer is set.
    static constexpr uintptr_t kRegisteredTimerId = 0xFFFF;
    int64_t RegisterTimer(int64_t intervalSeconds, bool oneTime = false);
    void UnregisterTimer();
    virtual void Timer() {}

    // The window's handle (handles.h); 0 once the window has closed.
    HWND Handle() const;

    // Controls by template id and by name.
    void AddControl(const std::shared_ptr<Control>& control);
    Control* ControlById(int id) const;
    Control* ControlByName(rt::Symbol name) const;
    const std::vector<std::shared_ptr<Control>>& Controls() const { return controls_; }
    // The widget that holds the controls (the window itself, or its form).
    virtual QWidget* Surface() const { return widget_; }
    // GETSURFACEHANDLE: the handle of the surface (the form that holds the
    // controls of a data window or data dialog; a dialog window's own).
    HWND SurfaceHandle() const;
    // ACONTROLS: the window's controls in creation order, as an array.
    rt::Usual ControlArray() const;
    // The dialog template the controls are placed by; nullptr for none.
    virtual const DialogTemplate* Template() const { return nullptr; }

    // Entry of the event bridge; not for application code.
    bool DeliverEvent(QObject* receiver, QEvent* event);

protected:
    // Makes the widget; called by Init. The default is a plain QWidget.
    virtual QWidget* CreateWidget(QWidget* parent);
    void SetOwner(rt::Usual owner) { owner_ = std::move(owner); }
    // Marks the window closed, calls Close, lets the object go.
    void Closed();

private:
    QPointer<QWidget> widget_;
    rt::Usual owner_;
    rt::Usual icon_, iconSm_;
    bool quitOnClose_ = false;
    bool closed_ = false;
    bool dropEnabled_ = false;
    QObject* bridge_ = nullptr;
    bool registeredOneShot_ = false;
    std::vector<std::shared_ptr<Control>> controls_;
};

// The widget of a window object (or of a control object), nullptr for none.
QWidget* WidgetOf(const rt::Usual& windowOrControl);
// Keeps an open window alive until it closes.
void KeepOpen(const std::shared_ptr<Window>& window);
void ReleaseOpen(Window* window);
// The windows open now.
std::vector<std::shared_ptr<Window>> OpenWindows();

}  // namespace gui
