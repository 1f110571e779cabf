// Controls: the widgets placed on a window, each a runtime object with a
// template id and a name symbol (its HyperLabel).
#pragma once

#include <QPointer>
#include <QWidget>

#include <string>

#include "platform/gui/event.h"
#include "platform/runtime/hyperlabel.h"
#include "platform/runtime/object.h"

class QWidget;
class QLineEdit;
class QPushButton;
class QLabel;
class QGroupBox;
class QTextEdit;

namespace gui {

class Window;

// A command name with caption, description and help context (kept in the
// runtime, so that data servers below this layer can carry one too).
using HyperLabel = rt::HyperLabel;

class Control : public rt::Object {
    QZ_OBJECT(Control)
public:
    Control() = default;
    ~Control() override;

    // Makes the control's widget on the owner's surface, placed on the
    // owner's template item of that id, registers the control with its owner
    // and links its widget handle. Its text starts as the template's.
    void Create(Window& owner, int id);
    // The same for a widget made elsewhere.
    void Attach(Window& owner, int id, QWidget* widget);

    int Id() const { return id_; }
    rt::Symbol NameSym() const { return name_; }
    void SetName(rt::Symbol name) { name_ = name; }
    rt::Usual GetHyperLabel() const { return hyperLabel_; }
    rt::Usual SetHyperLabel(const rt::Usual& label);
    // The owner window; nullptr once that window object is gone (the
    // control may be kept longer by whoever holds it).
    Window* Owner() const { return ownerAlive_.expired() ? nullptr : owner_; }
    rt::Usual OwnerObject() const;
    QWidget* Widget() const { return widget_; }
    // The control's handle (handles.h); 0 once the control is destroyed.
    HWND Handle() const;
    // Destroys the control's widget: its handle retires (its timers stop)
    // and the widget goes. The object may be kept; it shows nothing more.
    virtual void Destroy();

    virtual std::string Caption() const;
    virtual std::string SetCaption(const std::string& text);
    // Virtual, so that a control with a companion (an edit with its button)
    // shows, hides, enables and disables both.
    virtual void Show();
    virtual void Hide();
    virtual void Enable();
    virtual void Disable();
    // OWNERALIGNMENT: follows the owner's size (owneralign.h flags).
    virtual int64_t SetOwnerAlignment(int64_t alignment);
    bool IsEnabled() const;
    void SetFocus();
    // Text colour by the colour constants 0-15 (0 black, 4 the dark red of
    // the standard sixteen-colour palette, ...).
    void SetTextColor(int colorConstant);

    // Translated events of the control's widget; false keeps the event from
    // the widget. The default passes focus changes of edit controls to the
    // owner and lets everything through.
    virtual bool Dispatch(Event& event);
    virtual bool IsEdit() const { return false; }

    bool DeliverEvent(QObject* receiver, QEvent* event);

protected:
    // Makes the widget (Create calls it).
    virtual QWidget* MakeWidget(QWidget* parent);
    // Called when the control has been attached (after geometry is set).
    virtual void Attached() {}

private:
    int id_ = 0;
    rt::Symbol name_;
    rt::Usual hyperLabel_;
    Window* owner_ = nullptr;
    std::weak_ptr<rt::Object> ownerAlive_;
    QPointer<QWidget> widget_;
};

class SingleLineEdit : public Control {
    QZ_OBJECT(SingleLineEdit)
public:
    SingleLineEdit() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    std::string TextValue() const;
    std::string SetTextValue(const std::string& text);
    int64_t TextLimit() const;
    int64_t SetTextLimit(int64_t limit);
    bool IsEdit() const override { return true; }
    QLineEdit* Edit() const;
    std::string Caption() const override { return TextValue(); }
    std::string SetCaption(const std::string& text) override { return SetTextValue(text); }
};

class PushButton : public Control {
    QZ_OBJECT(PushButton)
public:
    PushButton() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    QPushButton* Button() const;
    // Calls the owner's method named by the button's name symbol.
    void Click();
};

class FixedText : public Control {
    QZ_OBJECT(FixedText)
public:
    FixedText() = default;
    QWidget* MakeWidget(QWidget* parent) override;
};

class GroupBox : public Control {
    QZ_OBJECT(GroupBox)
public:
    GroupBox() = default;
    QWidget* MakeWidget(QWidget* parent) override;
};

class FixedBitmap : public Control {
    QZ_OBJECT(FixedBitmap)
public:
    FixedBitmap() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    // Shows the bitmap resource of that name (resources/bitmaps/<name>.png).
    void SetBitmap(const std::string& resourceName);
};

class RichEdit : public Control {
    QZ_OBJECT(RichEdit)
public:
    RichEdit() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    QTextEdit* Editor() const;
    std::string TextValue() const;
    std::string SetTextValue(const std::string& text);
    bool ReadOnly() const;
    bool SetReadOnly(bool on);
    bool IsEdit() const override { return true; }
};

// Hosts a widget made elsewhere (the grid) on a template item.
class CustomControl : public Control {
    QZ_OBJECT(CustomControl)
public:
    CustomControl() = default;
};

// Makes a control of class T on the owner's template item `id`.
template <class T>
std::shared_ptr<T> MakeControl(Window& owner, int id) {
    auto c = rt::New<T>();
    c->Create(owner, id);
    return c;
}

// INIT(owner, id [, point, dimension, caption]): creates the control's
// widget; false (nothing made) without an owner window that shows.
bool CreateFromArgs(Control& c, rt::Args args);
// Places a control made without a template item: the dimension (argument
// 4) and the caption (argument 5) when they are given.
void PlaceFromArgs(Control& c, rt::Args args);

// A colour constant 0-15 as RGB.
uint32_t ColorConstantRgb(int colorConstant);

}  // namespace gui
