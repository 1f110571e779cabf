#include "tools/qzgallery/report.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTimer>
#include <QWidget>

#include <map>

#include "lib/controls/calendar.h"
#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/tabcontrol.h"
#include "lib/widgets/wintipofday.h"
#include "platform/gui/control.h"
#include "platform/gui/handles.h"
#include "platform/runtime/dates.h"

namespace gallery {
namespace {

gui::Control* ControlOf(const QWidget* w) {
    for (; w; w = w->parentWidget())
        if (auto* c = dynamic_cast<gui::Control*>(gui::ObjectFromHandle(gui::HandleOf(w)).AsObject().get())) return c;
    return nullptr;
}

std::string Rect(const QWidget* w) {
    const QPoint p = w->mapToGlobal(QPoint(0, 0));
    return std::to_string(p.x()) + " " + std::to_string(p.y()) + " " + std::to_string(w->width()) + " " +
           std::to_string(w->height());
}

std::string Text(gui::Control& c) {
    if (auto* cal = dynamic_cast<lib::PeCalendar*>(&c)) return rt::DToC(cal->CurrentDate());
    if (auto* list = dynamic_cast<lib::BitmapListBox*>(&c)) {
        std::string rows;
        for (int r = 0; list->List() && r < list->List()->count(); ++r) {
            const size_t at = lib::TREESEEK(list->ALISTBOX(), list->List()->item(r)->data(Qt::UserRole).toLongLong());
            rows += (r ? " / " : "") + (at ? list->ALISTBOX().At(at).At(lib::kNodeValue).AsStr() : std::string("?"));
        }
        return rows + " | caret " + std::to_string(list->List() ? list->List()->currentRow() : -1);
    }
    if (auto* t = dynamic_cast<lib::TabControl*>(&c))
        return t->Bar() ? t->Bar()->tabText(t->Bar()->currentIndex()).remove(QLatin1Char('&')).toStdString() : "";
    if (auto* b = dynamic_cast<lib::CheckBox*>(&c)) return b->Caption() + (b->Checked() ? " [x]" : " [ ]");
    if (auto* e = dynamic_cast<gui::SingleLineEdit*>(&c)) return e->TextValue();
    return c.Caption();
}

class Reporter : public QObject {
public:
    Reporter(std::string path, std::vector<std::pair<std::string, gui::Window*>> pages)
        : QObject(qApp), path_(std::move(path)), pages_(std::move(pages)) {
        auto* t = new QTimer(this);
        connect(t, &QTimer::timeout, this, &Reporter::Write);
        connect(qApp, &QCoreApplication::aboutToQuit, this, &Reporter::Write);
        t->start(50);
    }

private:
    std::string KeyOf(gui::Control& c) const {
        gui::Window* owner = c.Owner();
        for (const auto& [name, page] : pages_)
            if (page == owner) return name + "." + std::to_string(c.Id());
        const QWidget* top = c.Widget() ? c.Widget()->window() : nullptr;
        return (top ? top->windowTitle().toStdString() : std::string("?")) + "." + std::to_string(c.Id());
    }

    void Write() {
        std::string out;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!top->isVisible() || top->windowTitle().isEmpty()) continue;
            out += "window: " + top->windowTitle().toStdString() + " @ " + Rect(top) + "\n";
            std::map<std::string, std::string> lines;  // sorted, so the file changes only with the screen
            for (QWidget* w : top->findChildren<QWidget*>()) {
                gui::Control* c = ControlOf(w);
                if (!c || c->Widget() != w || !w->isVisible()) continue;
                const std::string key = KeyOf(*c);
                lines[key] = Text(*c);
                lines[key + "@"] = Rect(w);
            }
            for (const auto& [k, v] : lines) out += k + ": " + v + "\n";
        }
        if (QWidget* a = QApplication::activeWindow()) out += "active: " + a->windowTitle().toStdString() + "\n";
        if (gui::Control* f = ControlOf(QApplication::focusWidget())) out += "focus: " + KeyOf(*f) + "\n";
        if (auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
            out += "caret: " + std::to_string(e->cursorPosition()) + " selected " +
                   std::to_string(e->selectedText().size()) + "\n";
        if (out == last_) return;
        last_ = out;
        QFile f(QString::fromStdString(path_ + ".new"));
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(out.data(), static_cast<qint64>(out.size()));
        f.close();
        QFile::remove(QString::fromStdString(path_));
        f.rename(QString::fromStdString(path_));
    }

    std::string path_, last_;
    std::vector<std::pair<std::string, gui::Window*>> pages_;
};

}  // namespace

void StartReport(const std::string& path, std::vector<std::pair<std::string, gui::Window*>> pages) {
    new Reporter(path, std::move(pages));
}

}  // namespace gallery
