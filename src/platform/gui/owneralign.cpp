#include "platform/gui/owneralign.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <vector>

#include "platform/gui/boundary.h"

namespace gui {
namespace {

// One per owner surface, a child of it, so it goes with the surface.
class Aligner : public QObject {
public:
    explicit Aligner(QWidget* surface) : QObject(surface), surface_(surface) {
        setObjectName(QStringLiteral("qz_owner_alignment"));
        surface->installEventFilter(this);
    }
    void Set(QWidget* widget, int64_t alignment) {
        std::erase_if(entries_, [widget](const Entry& e) { return !e.widget || e.widget == widget; });
        if (alignment != OA_NONE) entries_.push_back({widget, alignment, widget->geometry(), surface_->size()});
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == surface_ && e->type() == QEvent::Resize) FromQt([this] { Apply(); });
        return false;
    }

private:
    struct Entry {
        QPointer<QWidget> widget;
        int64_t alignment;
        QRect start;  // the widget's geometry when it was registered
        QSize owner;  // the surface's size then
    };
    void Apply() {
        for (const Entry& e : entries_) {
            if (!e.widget) continue;
            const int dx = surface_->width() - e.owner.width(), dy = surface_->height() - e.owner.height();
            QRect g = e.start;
            if (e.alignment & OA_X) g.moveLeft(e.start.x() + dx);
            if (e.alignment & OA_Y) g.moveTop(e.start.y() + dy);
            if (e.alignment & OA_WIDTH) g.setWidth(std::max(1, e.start.width() + dx));
            if (e.alignment & OA_HEIGHT) g.setHeight(std::max(1, e.start.height() + dy));
            e.widget->setGeometry(g);
        }
    }
    QWidget* surface_;
    std::vector<Entry> entries_;
};

}  // namespace

void RegisterOwnerAlignment(QWidget* surface, QWidget* widget, int64_t alignment) {
    if (!surface || !widget) return;
    auto* a = surface->findChild<Aligner*>(QStringLiteral("qz_owner_alignment"), Qt::FindDirectChildrenOnly);
    if (!a) a = new Aligner(surface);
    a->Set(widget, alignment);
}

}  // namespace gui
