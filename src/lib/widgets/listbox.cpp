#include "lib/widgets/listbox.h"

#include <QListWidget>

namespace lib {
namespace {
bool IsListBoxMessage(uint32_t m) { return m >= LB_ADDSTRING && m <= LB_GETCARETINDEX; }
}  // namespace

const rt::ClassDef& ListBox::StaticClass() {
    // DISPATCH answers the list box messages with their numbers, so that
    // SendMessageA gives them back; other events go the control's way.
    static const rt::ClassDef& c =
        rt::ClassBuilder<ListBox>("LISTBOX", &gui::Control::StaticClass())
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           if (!e) return rt::Usual(true);
                           auto& box = static_cast<ListBox&>(o);
                           if (IsListBoxMessage(e->uMsg))
                               return rt::Usual(box.LbMessage(e->uMsg, e->wParam, e->lParam));
                           return rt::Usual(box.Dispatch(*e));
                       })
            .Done();
    return c;
}

QWidget* ListBox::MakeWidget(QWidget* parent) {
    auto* l = new QListWidget(parent);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setUniformItemSizes(false);
    return l;
}

QListWidget* ListBox::List() const { return qobject_cast<QListWidget*>(Widget()); }

int64_t ListBox::LbMessage(uint32_t msg, uint64_t wParam, int64_t lParam) {
    QListWidget* l = List();
    if (!l) return LB_ERR;
    const int count = l->count();
    const int index = static_cast<int>(static_cast<int64_t>(wParam));
    const bool inRange = index >= 0 && index < count;
    switch (msg) {
        case LB_ADDSTRING:
        case LB_INSERTSTRING: {
            auto* item = new QListWidgetItem;
            item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(lParam));
            const int at = msg == LB_ADDSTRING || index < 0 || index > count ? count : index;
            l->insertItem(at, item);
            return at;
        }
        case LB_DELETESTRING:
            if (!inRange) return LB_ERR;
            delete l->takeItem(index);
            return l->count();
        case LB_RESETCONTENT: l->clear(); return 0;
        case LB_GETCOUNT: return count;
        case LB_GETTOPINDEX: {
            QListWidgetItem* top = l->itemAt(1, 1);
            return top ? l->row(top) : 0;
        }
        case LB_GETITEMRECT: {
            if (!inRange || !lParam) return LB_ERR;
            const QRect r = l->visualItemRect(l->item(index));
            *reinterpret_cast<ListRect*>(lParam) = {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
            return 1;
        }
        case LB_GETITEMDATA: return inRange ? l->item(index)->data(Qt::UserRole).toLongLong() : LB_ERR;
        case LB_SETITEMDATA:
            if (!inRange) return LB_ERR;
            l->item(index)->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(lParam));
            return 1;
        case LB_SETCARETINDEX:
            if (!inRange) return LB_ERR;
            l->setCurrentRow(index);
            return 0;
        case LB_GETCARETINDEX: return l->currentRow() < 0 ? 0 : l->currentRow();
        default: return LB_ERR;
    }
}

}  // namespace lib
