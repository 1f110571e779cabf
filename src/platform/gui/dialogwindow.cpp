#include "platform/gui/dialogwindow.h"

#include <QDialog>
#include <QScreen>

#include "platform/gui/boundary.h"
#include "platform/gui/resource.h"
#include "platform/gui/testhooks.h"

namespace gui {

const rt::ClassDef& DialogWindow::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DialogWindow>("DIALOGWINDOW", &Window::StaticClass())
                                       .Method<&DialogWindow::EndDialog>("ENDDIALOG")
                                       .Method<&DialogWindow::SurfaceHandle>("GETSURFACEHANDLE")
                                       .Access<&DialogWindow::Result>("RESULT")
                                       .Done();
    return c;
}

QWidget* DialogWindow::CreateWidget(QWidget*) {
    auto* d = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    d->setSizeGripEnabled(false);
    return d;
}

QDialog* DialogWindow::Dialog() const { return qobject_cast<QDialog*>(Widget()); }

void DialogWindow::Build(rt::Args args) {
    Window::Build(args);
    std::string name = args.size() > 1 && args[1].IsString() ? args[1].AsStr() : TemplateName();
    modal_ = args.size() > 2 && args[2].IsLogic() ? args[2].AsLogic() : true;
    template_ = FindDialog(name);
    if (template_) {
        QRect r = DialogUnitsToPixels(*template_, 0, 0, template_->cx, template_->cy);
        Widget()->setFixedSize(r.size());
        Widget()->setFont(DialogFont(*template_));
        if (!template_->caption.empty()) SetCaption(template_->caption);
        if (template_->popup) Widget()->setWindowFlags(Widget()->windowFlags() | Qt::FramelessWindowHint);
        if (template_->centred && Widget()->screen()) {
            const QRect area = Widget()->screen()->availableGeometry();
            Widget()->move(area.center() - QPoint(r.width() / 2, r.height() / 2));
        }
    }
    QObject::connect(Dialog(), &QDialog::finished, Widget(), [this](int) {
        auto keep = Self();
        FromQt([this] { Closed(); });
    });
}

void DialogWindow::Show(int64_t mode) {
    QDialog* d = Dialog();
    if (!d) return;
    if (!modal_ || TestHooks::On()) {
        // Under the test hooks a modal dialog is shown without its own loop;
        // the test drives it and ends it with EndDialog.
        Window::Show(mode);
        return;
    }
    KeepOpen(std::static_pointer_cast<Window>(Self()));
    auto keep = Self();
    d->setModal(true);
    if (mode == 3) Window::Show(3);
    ExecModal(*d);
}

void DialogWindow::EndDialog(int64_t result) {
    result_ = result;
    if (QDialog* d = Dialog(); d && d->isVisible()) d->done(static_cast<int>(result));
    else EndWindow();
}

}  // namespace gui
