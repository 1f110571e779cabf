#include "platform/gui/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFile>
#include <QIcon>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "platform/gui/boundary.h"
#include "platform/gui/control.h"
#include "platform/gui/resource.h"
#include "platform/gui/timers.h"

namespace gui {
namespace {

// Hands the events of a widget to its window object. The widget outlives
// the object for a while (it is deleted later): events that arrive after the
// object has gone pass through untouched.
class EventBridge : public QObject {
public:
    explicit EventBridge(Window* window) : QObject(window->Widget()), window_(window), alive_(window->Self()) {}
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (alive_.expired()) return false;
        return FromQt([&] { return !window_->DeliverEvent(receiver, event); }, true);
    }

private:
    Window* window_;
    std::weak_ptr<rt::Object> alive_;
};

std::vector<std::shared_ptr<Window>>& Open() {
    static std::vector<std::shared_ptr<Window>> open;
    return open;
}

}  // namespace

// ---- Dimension and Icon -------------------------------------------------

const rt::ClassDef& Dimension::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Dimension>("DIMENSION")
                                       .IVar<&Dimension::Width>("WIDTH")
                                       .IVar<&Dimension::Height>("HEIGHT")
                                       .RawMethod("INIT",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto& d = static_cast<Dimension&>(o);
                                                      if (a.size() > 0) d.Width = a[0].AsLong();
                                                      if (a.size() > 1) d.Height = a[1].AsLong();
                                                      return rt::Usual();
                                                  })
                                       .Done();
    return c;
}

const rt::ClassDef& Point::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Point>("POINT")
                                       .IVar<&Point::X>("X")
                                       .IVar<&Point::Y>("Y")
                                       .RawMethod("INIT",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto& p = static_cast<Point&>(o);
                                                      if (a.size() > 0) p.X = a[0].AsLong();
                                                      if (a.size() > 1) p.Y = a[1].AsLong();
                                                      return rt::Usual();
                                                  })
                                       .Done();
    return c;
}

const rt::ClassDef& Icon::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Icon>("ICON").Access<&Icon::Handle>("HANDLE").Done();
    return c;
}

Icon::~Icon() {
    if (handle_) RetireHandle(handle_);
}

HWND Icon::Handle() const {
    if (!handle_) handle_ = IssueObjectHandle(const_cast<Icon*>(this)->Self());
    return handle_;
}

Icon::Icon(const std::string& resourceName) { Load(resourceName); }

void Icon::Load(const std::string& resourceName) {
    name_ = resourceName;
    QString base = QStringLiteral(":/icons/") + QString::fromStdString(resourceName);
    QStringList files;
    for (const char* ext : {".svg", ".png", ".ico"}) {
        QString path = base + QString::fromLatin1(ext);
        if (QFile::exists(path)) files << path;
    }
    icon_ = std::make_shared<QIcon>(SharedIcon(files));
}

void Icon::SetPicture(const std::string& name, QIcon picture) {
    name_ = name;
    icon_ = std::make_shared<QIcon>(std::move(picture));
}

const QIcon& Icon::Get() const {
    static const QIcon kNone;
    return icon_ ? *icon_ : kNone;
}

// ---- Window -------------------------------------------------------------

const rt::ClassDef& Window::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Window>("WINDOW")
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<Window&>(o).Init(a);
                           return rt::Usual(o.Self());
                       })
            .Method<&Window::Show>("SHOW")
            .Method<&Window::Hide>("HIDE")
            .Method<&Window::EndWindow>("ENDWINDOW")
            .Access<&Window::Owner>("OWNER")
            .Access<&Window::Caption>("CAPTION")
            .Assign<&Window::SetCaption>("CAPTION")
            .Access<&Window::GetIcon>("ICON")
            .Assign<&Window::SetIcon>("ICON")
            .Access<&Window::GetIconSm>("ICONSM")
            .Assign<&Window::SetIconSm>("ICONSM")
            .Access<&Window::Size>("SIZE")
            .Assign<&Window::SetSize>("SIZE")
            .Access<&Window::QuitOnClose>("QUITONCLOSE")
            .Assign<&Window::SetQuitOnClose>("QUITONCLOSE")
            .Method<&Window::EnableDragDropClient>("ENABLEDRAGDROPCLIENT")
            .Method<&Window::MenuCommand>("MENUCOMMAND")
            .Method<&Window::RegisterTimer>("REGISTERTIMER")
            .Method<&Window::UnregisterTimer>("UNREGISTERTIMER")
            .Method<&Window::Timer>("TIMER")
            .Access<&Window::Handle>("HANDLE")
            .RawMethod("PREINIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<Window&>(o).PreInit(a);
                           return rt::Usual();
                       })
            .RawMethod("POSTINIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<Window&>(o).PostInit(a);
                           return rt::Usual();
                       })
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           auto e = a.empty() ? nullptr : std::dynamic_pointer_cast<Event>(a[0].AsObject());
                           return rt::Usual(e ? static_cast<Window&>(o).Dispatch(*e) : true);
                       })
            .RawMethod("DROP",
                       [](rt::Object& o, rt::Args a) {
                           auto e = a.empty() ? nullptr : std::dynamic_pointer_cast<DragEvent>(a[0].AsObject());
                           if (e) static_cast<Window&>(o).Drop(*e);
                           return rt::Usual();
                       })
            .RawMethod("EDITFOCUSCHANGE",
                       [](rt::Object& o, rt::Args a) {
                           auto e = a.empty() ? nullptr
                                              : std::dynamic_pointer_cast<EditFocusChangeEvent>(a[0].AsObject());
                           if (e) static_cast<Window&>(o).EditFocusChange(*e);
                           return rt::Usual();
                       })
            .Done();
    return c;
}

Window::Window() = default;

Window::~Window() {
    if (widget_) {
        // The object is going: its widget's events and its timers must no
        // longer reach it (retiring the handle stops the timers).
        if (bridge_) widget_->removeEventFilter(bridge_);
        UnlinkHandle(widget_);
        widget_->hide();
        widget_->deleteLater();
    }
}

void Window::Init(rt::Args args) {
    if (widget_) return;  // INIT runs once
    PreInit(args);
    Build(args);
    PostInit(args);
}

void Window::Build(rt::Args args) {
    owner_ = args.empty() ? rt::Usual() : args[0];
    QWidget* parent = nullptr;  // top-level windows; ownership is by object
    widget_ = CreateWidget(parent);
    widget_->setAttribute(Qt::WA_QuitOnClose, false);
    if (Window* owner = OwnerWindow(); owner && owner->Widget() && widget_->isWindow()) {
        // Keep the owner's window above: a top-level child window of it.
        widget_->setParent(owner->Widget(), widget_->windowFlags() | Qt::Window);
    }
    LinkHandle(widget_, Self());
    bridge_ = new EventBridge(this);
    widget_->installEventFilter(bridge_);
}

QWidget* Window::CreateWidget(QWidget* parent) { return new QWidget(parent); }

Window* Window::OwnerWindow() const {
    return owner_.IsObject() ? dynamic_cast<Window*>(owner_.AsObject().get()) : nullptr;
}

std::string Window::Caption() const { return widget_ ? widget_->windowTitle().toStdString() : std::string(); }

std::string Window::SetCaption(const std::string& caption) {
    if (widget_) widget_->setWindowTitle(QString::fromStdString(caption));
    return caption;
}

rt::Usual Window::SetIcon(const rt::Usual& icon) {
    icon_ = icon;
    if (auto* i = dynamic_cast<Icon*>(icon.AsObject().get()); i && widget_)
        widget_->setWindowIcon(WindowIconOf(i->Get()));
    return icon;
}

rt::Usual Window::SetIconSm(const rt::Usual& icon) {
    // Qt keeps one icon with all its sizes; the small icon adds its pictures.
    iconSm_ = icon;
    if (auto* i = dynamic_cast<Icon*>(icon.AsObject().get()); i && widget_ && icon_.IsNil())
        widget_->setWindowIcon(WindowIconOf(i->Get()));
    return icon;
}

rt::Usual Window::Size() const {
    QSize s = widget_ ? widget_->size() : QSize();
    return rt::Usual(rt::New<Dimension>(s.width(), s.height()));
}

rt::Usual Window::SetSize(const rt::Usual& dimension) {
    if (auto* d = dynamic_cast<Dimension*>(dimension.AsObject().get()); d && widget_)
        widget_->resize(static_cast<int>(d->Width), static_cast<int>(d->Height));
    return dimension;
}

void Window::Show(int64_t mode) {
    if (!widget_) return;
    if (widget_->isWindow()) KeepOpen(std::static_pointer_cast<Window>(Self()));
    if (mode == 3) {
        QRect area = widget_->screen() ? widget_->screen()->availableGeometry() : QRect();
        // Centred on the owner as the screen shows it: an owner that is a
        // part of another window (a page of tabs) has its place in parent
        // coordinates, which taken as the screen's put the window off it.
        if (Window* owner = OwnerWindow(); owner && owner->Widget() && owner->Widget()->isVisible()) {
            QWidget* o = owner->Widget();
            area = o->isWindow() ? o->frameGeometry() : QRect(o->mapToGlobal(QPoint(0, 0)), o->size());
        }
        // A window never sized before takes the size its layout wants now,
        // not at its first show: centred by a wrong size, it lands aside.
        if (!widget_->isVisible() && !widget_->testAttribute(Qt::WA_Resized)) widget_->adjustSize();
        QRect frame = widget_->frameGeometry();
        widget_->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    switch (mode) {
        case 1: widget_->showMaximized(); break;
        case 2: widget_->showMinimized(); break;
        default: widget_->show(); break;
    }
    widget_->raise();
    widget_->activateWindow();
}

void Window::Hide() {
    if (widget_) widget_->hide();
}

void Window::EndWindow() {
    if (closed_) return;
    if (widget_ && widget_->isVisible()) {
        widget_->close();  // runs QueryClose and Closed through the event bridge
        return;
    }
    Closed();
}

bool Window::IsOpen() const { return widget_ && !closed_; }

bool Window::CloseOwnedWindows() {
    // Each owned window closes through its own path (its QueryClose may
    // store what it holds, or refuse); one that stays open keeps this one
    // open too.
    for (const std::shared_ptr<Window>& w : OpenWindows()) {
        if (w.get() == this || w->OwnerWindow() != this || !w->IsOpen()) continue;
        w->EndWindow();
        if (w->IsOpen()) return false;
    }
    return true;
}

void Window::Closed() {
    if (closed_) return;
    closed_ = true;
    auto keep = Self();  // the object must outlive this call
    Close();
    // A closed window is gone for the message layer: its handle and its
    // controls' handles retire, which stops their timers and refuses
    // messages still addressed to them.
    for (const auto& c : controls_)
        if (c->Widget()) UnlinkHandle(c->Widget());
    if (widget_) UnlinkHandle(widget_);
    if (widget_) widget_->hide();
    ReleaseOpen(this);
    if (quitOnClose_) QCoreApplication::exit(0);
}

bool Window::Dispatch(Event& event) {
    if (event.uMsg == WM_TIMER && event.wParam == kRegisteredTimerId) {
        // The window timer of RegisterTimer: a one-shot timer ends before
        // TIMER runs (TIMER may register it again).
        if (registeredOneShot_) UnregisterTimer();
        static const rt::Symbol kTimer("TIMER");
        rt::Usual self(Self());
        rt::Send(self, kTimer);
        return false;
    }
    if (auto* k = dynamic_cast<KeyEvent*>(&event); k && k->uMsg == 0x0100) return KeyDown(*k);
    return true;
}

bool Window::DeliverEvent(QObject* receiver, QEvent* event) {
    auto keep = Self();
    if (receiver != widget_) return true;
    switch (event->type()) {
        case QEvent::Close:
            if (closed_) return true;
            if (!CloseOwnedWindows() || !QueryClose()) {
                event->ignore();
                return false;
            }
            Closed();
            return true;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (dropEnabled_) {
                auto* d = static_cast<QDropEvent*>(event);
                if (d->mimeData()->hasUrls()) {
                    d->acceptProposedAction();
                    return false;
                }
            }
            return true;
        case QEvent::Drop:
            if (dropEnabled_) {
                rt::Usual e = TranslateEvent(receiver, event);
                auto drag = std::dynamic_pointer_cast<DragEvent>(e.AsObject());
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                if (drag) {
                    rt::Usual self(keep);
                    rt::Send(self, rt::Symbol("DROP"), std::vector<rt::Usual>{e});
                }
                return false;
            }
            return true;
        default: break;
    }
    rt::Usual e = TranslateEvent(receiver, event);
    if (auto* ev = dynamic_cast<Event*>(e.AsObject().get())) return Dispatch(*ev);
    return true;
}

void Window::EnableDragDropClient(bool on) {
    dropEnabled_ = on;
    if (widget_) widget_->setAcceptDrops(on);
}

void Window::MenuCommand(rt::Symbol command) {
    if (command.IsNull()) return;
    rt::Usual self(Self());
    if (rt::IsMethod(self, command)) {
        rt::Send(self, command);
        return;
    }
    const rt::ClassDef* cls = rt::FindClass(command);
    if (!cls || !cls->factory || !cls->IsA(rt::Symbol("WINDOW"))) return;  // no handler
    rt::Usual created = rt::CreateInstance(command, std::vector<rt::Usual>{self});
    // A window opened by a command appears centred on the window it belongs to.
    if (auto* w = dynamic_cast<Window*>(created.AsObject().get()); w && w->IsOpen()) w->Show(3);
}

static_assert(Window::kRegisteredTimerId == gui::kRegisteredTimerId);

int64_t Window::RegisterTimer(int64_t intervalSeconds, bool oneTime) {
    if (!widget_ || closed_) return 0;
    registeredOneShot_ = oneTime;
    const int64_t ms = std::clamp<int64_t>(intervalSeconds, 0, 0x7FFFFFFF / 1000) * 1000;
    return SetTimer(Handle(), kRegisteredTimerId, static_cast<uint32_t>(ms)) ? 1 : 0;
}

void Window::UnregisterTimer() {
    if (widget_) KillTimer(HandleOf(widget_), kRegisteredTimerId);
}

HWND Window::Handle() const { return widget_ && !closed_ ? HandleOf(widget_) : 0; }

void Window::AddControl(const std::shared_ptr<Control>& control) { controls_.push_back(control); }

Control* Window::ControlById(int id) const {
    for (const auto& c : controls_)
        if (c->Id() == id) return c.get();
    return nullptr;
}

Control* Window::ControlByName(rt::Symbol name) const {
    for (const auto& c : controls_)
        if (c->NameSym() == name) return c.get();
    return nullptr;
}

// ---- Handles and open windows ------------------------------------------

QWidget* WidgetOf(const rt::Usual& object) {
    if (auto* w = dynamic_cast<Window*>(object.AsObject().get())) return w->Widget();
    if (auto* c = dynamic_cast<Control*>(object.AsObject().get())) return c->Widget();
    return nullptr;
}

void KeepOpen(const std::shared_ptr<Window>& window) {
    for (const auto& w : Open())
        if (w == window) return;
    Open().push_back(window);
}

void ReleaseOpen(Window* window) {
    auto& open = Open();
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (it->get() == window) {
            // Let go after the current event: the window may be mid-call.
            auto keep = *it;
            open.erase(it);
            QTimer::singleShot(0, [keep] {});
            return;
        }
    }
}

std::vector<std::shared_ptr<Window>> OpenWindows() { return Open(); }

HWND Window::SurfaceHandle() const {
    QWidget* s = Surface();
    return s ? HandleOf(s) : 0;
}

rt::Usual Window::ControlArray() const {
    rt::Usual a = rt::Usual::Array();
    for (const auto& c : controls_) a.AAdd(rt::Usual(c));
    return a;
}

}  // namespace gui
