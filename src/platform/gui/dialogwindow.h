// Dialog windows laid out from a dialog template, modal or modeless.
#pragma once

#include "platform/gui/window.h"

class QDialog;

namespace gui {

class DialogWindow : public Window {
    QZ_OBJECT(DialogWindow)
public:
    DialogWindow() = default;
    // INIT(owner, template name or nil for the class's own name, modal flag).
    void Build(rt::Args args) override;
    const DialogTemplate* Template() const override { return template_; }
    bool IsModal() const { return modal_; }
    // Shows the dialog; a modal one returns when it ends, with its result.
    void Show(int64_t mode = 0) override;
    // Ends the dialog with a result (what a modal Show returns in Result).
    void EndDialog(int64_t result = 0);
    int64_t Result() const { return result_; }
    QDialog* Dialog() const;

protected:
    QWidget* CreateWidget(QWidget* parent) override;
    virtual std::string TemplateName() const { return Class().name.Name(); }

private:
    const DialogTemplate* template_ = nullptr;
    bool modal_ = true;
    int64_t result_ = 0;
};

}  // namespace gui
