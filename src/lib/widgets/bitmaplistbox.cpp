#include "lib/widgets/bitmaplistbox.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

#include <algorithm>
#include <map>

#include "lib/widgets/bitmap.h"
#include "platform/gui/boundary.h"
#include "platform/gui/message.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/window.h"

namespace lib {
namespace {

struct OwnerProc {
    WindowProc previous;
    int users = 0;  // list boxes on this owner
};

std::map<gui::HWND, OwnerProc>& OwnerProcs() {
    // Never destroyed: a list box that outlives the static objects (one held
    // by a process-wide variable) still takes its entry out at its end.
    static auto* table = new std::map<gui::HWND, OwnerProc>;
    return *table;
}

// Asks the owner window to draw and measure the entries, as an owner-drawn
// list box does.
class OwnerDrawDelegate : public QStyledItemDelegate {
public:
    OwnerDrawDelegate(BitmapListBox* box, QObject* parent)
        : QStyledItemDelegate(parent), box_(box), alive_(box->Self()) {}
    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
        if (alive_.expired()) return;
        DrawItemRecord r;
        r.itemID = index.row();
        r.itemData = index.data(Qt::UserRole).toLongLong();
        r.painter = p;
        r.rect = opt.rect;
        r.selected = opt.state & QStyle::State_Selected;
        r.focused = opt.state & QStyle::State_HasFocus;
        Request(WM_DRAWITEM, reinterpret_cast<int64_t>(&r));
    }
    QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
        if (alive_.expired()) return QStyledItemDelegate::sizeHint(opt, index);
        MeasureItemRecord m;
        m.itemID = index.row();
        m.itemHeight = static_cast<int>(box_->NBITMAPHEIGHT);
        Request(WM_MEASUREITEM, reinterpret_cast<int64_t>(&m));
        return {opt.rect.width(), m.itemHeight};
    }

private:
    // Called from Qt's painting and layout: the owner's failure stays here.
    void Request(uint32_t msg, int64_t record) const {
        gui::FromQt([&] { Ask(msg, record); });
    }
    void Ask(uint32_t msg, int64_t record) const {
        gui::Window* owner = box_->Owner();
        if (!owner) return;
        const uint64_t id = static_cast<uint64_t>(box_->Id());
        // Once CLOSE has put the owner's own procedure back, the requests go
        // to it alone and nobody draws the entries (as in Win32); the error
        // box is for an installed procedure that lost its table entry.
        if (HasOwnerProc(owner->Handle())) BMLBWNDPROC(owner->Handle(), msg, id, record);
        else gui::SendMessageA(owner->Handle(), msg, id, record);
    }
    BitmapListBox* box_;
    std::weak_ptr<rt::Object> alive_;
};

class ViewportFilter : public QObject {
public:
    ViewportFilter(BitmapListBox* box, QObject* parent) : QObject(parent), box_(box), alive_(box->Self()) {}
    bool eventFilter(QObject*, QEvent* e) override {
        return !alive_.expired() && gui::FromQt([&] { return box_->ViewportEvent(e); }, true);
    }

private:
    BitmapListBox* box_;
    std::weak_ptr<rt::Object> alive_;
};

}  // namespace

size_t TREESEEK(const rt::Usual& nodes, int64_t id) {
    size_t lo = 1, hi = nodes.ALen();
    while (lo <= hi) {
        const size_t mid = (lo + hi) / 2;
        const rt::Usual& node = nodes.At(mid);
        if (node.ALen() < kNodeId) return 0;  // not a node array
        const int64_t at = node.At(kNodeId).AsLong();
        if (at == id) return mid;
        if (at < id) lo = mid + 1;
        else hi = mid - 1;
    }
    return 0;
}

bool HasOwnerProc(gui::HWND window) { return OwnerProcs().count(window) != 0; }

int64_t BMLBWNDPROC(gui::HWND window, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (msg == WM_DRAWITEM || msg == WM_MEASUREITEM) {
        auto* owner = dynamic_cast<gui::Window*>(gui::ObjectOfHandle(window).AsObject().get());
        if (gui::Control* child = owner ? owner->ControlById(static_cast<int>(wParam)) : nullptr)
            gui::SendMessageA(child->Handle(), msg, wParam, lParam);
    }
    auto it = OwnerProcs().find(window);
    if (it == OwnerProcs().end() || !it->second.previous) {
        gui::ShowMessageBox(nullptr, "Internal Error", "Integer return value failed!", gui::MB_OK, true);
        return 0;
    }
    return it->second.previous(window, msg, wParam, lParam);
}

const rt::ClassDef& BitmapListBox::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<BitmapListBox>("BITMAPLISTBOX", &ListBox::StaticClass())
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<BitmapListBox&>(o).Init(a);
                           return rt::Usual(o.Self());
                       })
            .Method<&BitmapListBox::ADDNODE>("ADDNODE")
            .Method<&BitmapListBox::REMOVENODE>("REMOVENODE")
            .Method<&BitmapListBox::LISTCLEAR>("LISTCLEAR")
            .Method<&BitmapListBox::GETACTIVEID>("GETACTIVEID")
            .Method<&BitmapListBox::GETACTIVEVALUE>("GETACTIVEVALUE")
            .Method<&BitmapListBox::GETDROPPEDID>("GETDROPPEDID")
            .Method<&BitmapListBox::GETDROPPEDVALUE>("GETDROPPEDVALUE")
            .Method<&BitmapListBox::SETACTIVETEXT>("SETACTIVETEXT")
            .Method<&BitmapListBox::SETACTIVEVALUE>("SETACTIVEVALUE")
            .Access<&BitmapListBox::Empty>("EMPTY")
            .Access<&BitmapListBox::ALISTBOX>("ALISTBOX")
            .Method<&BitmapListBox::REFRESH>("REFRESH")
            .Method<&BitmapListBox::REFRESH>("REDRAW")
            .Method<&BitmapListBox::REFRESH>("PAINT")
            .Method<&BitmapListBox::MOUSEBUTTONDOUBLECLICK>("MOUSEBUTTONDOUBLECLICK")
            .RawMethod("TVKEYDOWN",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* k = gui::EventArg(a);
                           return rt::Usual(k &&
                                            static_cast<BitmapListBox&>(o).TVKEYDOWN(static_cast<uint32_t>(k->wParam)));
                       })
            .RawMethod("LBUTTONDOWN",
                       [](rt::Object& o, rt::Args a) {
                           // The click point of a button message: x low word, y high word.
                           gui::Event* e = gui::EventArg(a);
                           if (!e) return rt::Usual(int64_t{-1});
                           const QPoint at(static_cast<int16_t>(e->lParam & 0xFFFF),
                                           static_cast<int16_t>((e->lParam >> 16) & 0xFFFF));
                           return rt::Usual(int64_t{static_cast<BitmapListBox&>(o).LBUTTONDOWN(at)});
                       })
            .Method<&BitmapListBox::CLOSE>("CLOSE")
            .IVar<&BitmapListBox::MULTILINE>("MULTILINE")
            .IVar<&BitmapListBox::NBITMAPWIDTH>("NBITMAPWIDTH")
            .IVar<&BitmapListBox::NBITMAPHEIGHT>("NBITMAPHEIGHT")
            .IVar<&BitmapListBox::BONMOUSEDBLCLK>("BONMOUSEDBLCLK")
            .IVar<&BitmapListBox::BONDELETE>("BONDELETE")
            .IVar<&BitmapListBox::BONMOVENODE>("BONMOVENODE")
            .IVar<&BitmapListBox::BONMOUSEDROP>("BONMOUSEDROP")
            .IVar<&BitmapListBox::LDRAGDROPON>("LDRAGDROPON")
            .IVar<&BitmapListBox::LCANACTIVATE>("LCANACTIVATE")
            .IVar<&BitmapListBox::NACTIVEINDEX>("NACTIVEINDEX")
            .IVar<&BitmapListBox::NDROPINDEX>("NDROPINDEX")
            .Done();
    return c;
}

BitmapListBox::~BitmapListBox() { CLOSE(); }

void BitmapListBox::Init(rt::Args args) {
    auto* owner = args.size() > 0 ? dynamic_cast<gui::Window*>(args[0].AsObject().get()) : nullptr;
    if (!owner || !owner->Widget()) return;
    Init(*owner, args.size() > 1 ? static_cast<int>(args[1].AsLong()) : 0);
    gui::PlaceFromArgs(*this, args.first(std::min<size_t>(args.size(), 4)));
}

void BitmapListBox::Init(gui::Window& owner, int id) {
    Create(owner, id);
    QListWidget* l = List();
    l->setItemDelegate(new OwnerDrawDelegate(this, l));
    l->viewport()->installEventFilter(new ViewportFilter(this, l));
    QObject::connect(l, &QListWidget::currentRowChanged, l, [alive = std::weak_ptr<rt::Object>(Self()), this](int row) {
        if (!alive.expired()) NACTIVEINDEX = row;
    });
    QObject::connect(l, &QObject::destroyed, [alive = std::weak_ptr<rt::Object>(Self()), this] {
        if (!alive.expired()) gui::FromQt([this] { CLOSE(); });
    });
    ownerHandle_ = owner.Handle();
    OwnerProc& entry = OwnerProcs()[ownerHandle_];
    if (!entry.previous)
        entry.previous = [](gui::HWND h, uint32_t m, uint64_t w, int64_t lp) { return gui::SendMessageA(h, m, w, lp); };
    ++entry.users;
}

void BitmapListBox::CLOSE() {
    if (!ownerHandle_) return;
    auto it = OwnerProcs().find(ownerHandle_);
    // The owner keeps the procedure while another list box on it needs it.
    if (it != OwnerProcs().end() && --it->second.users <= 0) OwnerProcs().erase(it);
    ownerHandle_ = 0;
}

int64_t BitmapListBox::ADDNODE(const std::string& text, const rt::Usual& value, int64_t handle, int64_t kind,
                               const std::string& fileName, int64_t position) {
    const int64_t id = ++lastId_;
    nodes_.AAdd(rt::Usual::Array(
        {rt::Usual(id), rt::Usual(text), value, rt::Usual(handle), rt::Usual(kind), rt::Usual(fileName)}));
    if (position != 0) LbMessage(LB_INSERTSTRING, static_cast<uint64_t>(position), id);
    else LbMessage(LB_ADDSTRING, 0, id);
    return id;
}

int BitmapListBox::RowOfId(int64_t id) const {
    QListWidget* l = List();
    for (int r = 0; l && r < l->count(); ++r)
        if (l->item(r)->data(Qt::UserRole).toLongLong() == id) return r;
    return -1;
}

const rt::Usual* BitmapListBox::NodeAtRow(int row) const {
    const int64_t id = const_cast<BitmapListBox*>(this)->LbMessage(LB_GETITEMDATA, static_cast<uint64_t>(row), 0);
    const size_t at = id == LB_ERR ? 0 : TREESEEK(nodes_, id);
    return at ? &nodes_.At(at) : nullptr;
}

bool BitmapListBox::REMOVENODE(int64_t id) {
    if (id == 0) id = GETACTIVEID();
    size_t at = TREESEEK(nodes_, id);
    if (!at) return false;
    if (BONDELETE.IsCodeBlock()) {
        const rt::Usual node = nodes_.At(at);
        const rt::Usual answer = BONDELETE.Eval({node});
        if (answer.IsLogic() && !answer.AsLogic()) return false;
        // The block may have added, removed or cleared nodes: the node is
        // looked up again, and one that is gone already is left alone.
        at = TREESEEK(nodes_, id);
        if (!at) return false;
    }
    if (int row = RowOfId(id); row >= 0) LbMessage(LB_DELETESTRING, static_cast<uint64_t>(row), 0);
    nodes_.AsArray()->erase(nodes_.AsArray()->begin() + static_cast<long>(at - 1));
    NACTIVEINDEX = List() ? List()->currentRow() : -1;
    return true;
}

void BitmapListBox::LISTCLEAR() {
    nodes_.AsArray()->clear();
    LbMessage(LB_RESETCONTENT, 0, 0);
    NACTIVEINDEX = NDROPINDEX = -1;
}

int64_t BitmapListBox::GETACTIVEID() const {
    const int64_t id =
        const_cast<BitmapListBox*>(this)->LbMessage(LB_GETITEMDATA, static_cast<uint64_t>(NACTIVEINDEX), 0);
    return id == LB_ERR ? 0 : id;
}

rt::Usual BitmapListBox::GETACTIVEVALUE() const {
    const size_t at = TREESEEK(nodes_, GETACTIVEID());
    return at ? nodes_.At(at).At(kNodeValue) : rt::Usual();
}

int64_t BitmapListBox::GETDROPPEDID() const {
    const int64_t id =
        const_cast<BitmapListBox*>(this)->LbMessage(LB_GETITEMDATA, static_cast<uint64_t>(NDROPINDEX), 0);
    return id == LB_ERR ? 0 : id;
}

rt::Usual BitmapListBox::GETDROPPEDVALUE() const {
    const size_t at = TREESEEK(nodes_, GETDROPPEDID());
    return at ? nodes_.At(at).At(kNodeValue) : rt::Usual();
}

void BitmapListBox::SETACTIVETEXT(const std::string& text) {
    if (size_t at = TREESEEK(nodes_, GETACTIVEID())) nodes_.At(at).At(kNodeText) = rt::Usual(text);
    REFRESH();
}

void BitmapListBox::SETACTIVEVALUE(const rt::Usual& value) {
    if (size_t at = TREESEEK(nodes_, GETACTIVEID())) nodes_.At(at).At(kNodeValue) = value;
    REFRESH();
}

void BitmapListBox::REFRESH() {
    if (QListWidget* l = List()) {
        l->doItemsLayout();
        l->viewport()->update();
    }
}

void BitmapListBox::DRAWITEM(const DrawItemRecord& r) {
    QPainter* p = r.painter;
    const size_t at = TREESEEK(nodes_, r.itemData);
    if (!p || !at) return;
    const rt::Usual& node = nodes_.At(at);
    const QPalette pal = List() ? List()->palette() : QApplication::palette();
    const QColor bg = pal.color(r.selected ? QPalette::Highlight : QPalette::Base);
    const QColor fg = pal.color(r.selected ? QPalette::HighlightedText : QPalette::Text);
    const int w = static_cast<int>(NBITMAPWIDTH), h = static_cast<int>(NBITMAPHEIGHT);
    const QRect cell(r.rect.left(), r.rect.top(), w, std::min(h, r.rect.height()));
    p->fillRect(cell, pal.color(QPalette::Base));
    QPixmap pic;
    switch (node.At(kNodeKind).AsLong()) {
        case kPictureBitmap:
        case kPictureIcon:
            pic = PixmapOfHandle(static_cast<gui::HWND>(node.At(kNodeHandle).AsLong()), cell.size());
            break;
        case kPictureFile: pic = CachedImageFromFile(node.At(kNodeFile).AsStr()); break;
        default: break;
    }
    if (!pic.isNull()) {
        p->save();
        p->setClipRect(cell);
        // A picture smaller than the cell sits in its middle.
        const QPoint origin = cell.topLeft() + QPoint(std::max(0, (w - pic.width()) / 2),
                                                      std::max(0, (cell.height() - pic.height()) / 2));
        p->drawPixmap(origin, pic);
        p->restore();
    }
    const QRect textRect(r.rect.left() + w, r.rect.top(), r.rect.width() - w, r.rect.height());
    p->fillRect(textRect, bg);
    p->setPen(fg);
    QString text = QString::fromStdString(node.At(kNodeText).AsStr());
    const QRect inner = textRect.adjusted(4, 0, -2, 0);
    if (MULTILINE) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        p->drawText(inner, Qt::AlignCenter | Qt::TextWordWrap, text);
    } else {
        p->drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    if (r.selected) {
        NACTIVEINDEX = r.itemID;
        if (focused_ && List()) {
            QStyleOptionFocusRect o;
            o.rect = textRect;
            o.backgroundColor = bg;
            List()->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, p, List());
        }
    }
    // The drop mark: above the entry the dragged one would go before, or
    // below the last entry for a drop past it.
    if (dragging_) {
        const QColor mark = pal.color(QPalette::Text);
        if (NDROPINDEX == r.itemID) p->fillRect(QRect(r.rect.left(), r.rect.top(), r.rect.width(), 2), mark);
        else if (NDROPINDEX == r.itemID + 1 && NDROPINDEX == LbMessage(LB_GETCOUNT, 0, 0))
            p->fillRect(QRect(r.rect.left(), r.rect.bottom() - 1, r.rect.width(), 2), mark);
    }
}

void BitmapListBox::MOUSEBUTTONDOUBLECLICK() {
    const int caret = static_cast<int>(LbMessage(LB_GETCARETINDEX, 0, 0));
    const rt::Usual* node = NodeAtRow(caret);
    if (node && BONMOUSEDBLCLK.IsCodeBlock()) BONMOUSEDBLCLK.Eval({*node});
}

bool BitmapListBox::TVKEYDOWN(uint32_t vk) {
    const int64_t count = LbMessage(LB_GETCOUNT, 0, 0);
    const int64_t caret = LbMessage(LB_GETCARETINDEX, 0, 0);
    // With no caret yet, either arrow puts it on the first entry.
    if ((vk == gui::VK_DOWN || vk == gui::VK_UP) && List() && List()->currentRow() < 0) {
        if (count > 0) LbMessage(LB_SETCARETINDEX, 0, 0);
        return true;
    }
    if (vk == gui::VK_DOWN) {
        if (caret + 1 < count) LbMessage(LB_SETCARETINDEX, static_cast<uint64_t>(caret + 1), 0);
        return true;
    }
    if (vk == gui::VK_UP) {
        if (caret > 0) LbMessage(LB_SETCARETINDEX, static_cast<uint64_t>(caret - 1), 0);
        return true;
    }
    if (vk == gui::VK_DELETE) {
        REMOVENODE();
        return true;
    }
    return false;
}

int BitmapListBox::LBUTTONDOWN(QPoint at) {
    const int64_t count = LbMessage(LB_GETCOUNT, 0, 0);
    if (count <= 0) return -1;
    for (int64_t i = LbMessage(LB_GETTOPINDEX, 0, 0); i < count; ++i) {
        ListRect r;
        LbMessage(LB_GETITEMRECT, static_cast<uint64_t>(i), reinterpret_cast<int64_t>(&r));
        if (at.y() < r.bottom) return static_cast<int>(i);
    }
    return static_cast<int>(count - 1);
}

bool BitmapListBox::Dispatch(gui::Event& e) {
    switch (e.uMsg) {
        case WM_DRAWITEM:
            if (e.lParam) DRAWITEM(*reinterpret_cast<const DrawItemRecord*>(e.lParam));
            return false;
        case WM_MEASUREITEM:
            if (e.lParam) reinterpret_cast<MeasureItemRecord*>(e.lParam)->itemHeight = static_cast<int>(NBITMAPHEIGHT);
            return false;
        case gui::WM_SETFOCUS: focused_ = true; break;
        case gui::WM_KILLFOCUS: focused_ = false; break;
        case gui::WM_KEYDOWN:
            if (TVKEYDOWN(static_cast<uint32_t>(e.wParam))) return false;
            break;
        default: break;
    }
    return ListBox::Dispatch(e);
}

bool BitmapListBox::ViewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(event);
            if (m->button() != Qt::LeftButton) return false;
            mouseDown_ = true;
            pressAt_ = m->position().toPoint();
            pressRow_ = LBUTTONDOWN(pressAt_);
            // Only a press on an entry can drag it; one on the empty space
            // below the entries moves nothing.
            if (List() && !List()->indexAt(pressAt_).isValid()) pressRow_ = -1;
            return false;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(event);
            if (!mouseDown_ || !LDRAGDROPON || pressRow_ < 0) return false;
            const QPoint at = m->position().toPoint();
            if (!dragging_ && (at - pressAt_).manhattanLength() < QApplication::startDragDistance()) return true;
            dragging_ = true;
            // The drop target: the entry under the point, or past the last
            // one; none while the point is outside the list.
            const int row = LBUTTONDOWN(at);
            ListRect last;
            LbMessage(LB_GETITEMRECT, static_cast<uint64_t>(row), reinterpret_cast<int64_t>(&last));
            if (List() && !List()->viewport()->rect().contains(at)) NDROPINDEX = -1;
            else NDROPINDEX = at.y() >= last.bottom ? row + 1 : row;
            REFRESH();
            return true;
        }
        case QEvent::MouseButtonRelease: {
            mouseDown_ = false;
            if (!dragging_) return false;
            dragging_ = false;
            // A drop outside the list moves nothing.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (List() && List()->viewport()->rect().contains(at)) Drop(pressRow_, static_cast<int>(NDROPINDEX));
            else NDROPINDEX = -1;
            REFRESH();
            return true;
        }
        case QEvent::MouseButtonDblClick: {
            // Only a double click on an entry is one; the caret goes to it
            // before the block sees it.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (!List() || !List()->indexAt(at).isValid()) return false;
            const int row = LBUTTONDOWN(at);
            if (row >= 0) LbMessage(LB_SETCARETINDEX, static_cast<uint64_t>(row), 0);
            MOUSEBUTTONDOUBLECLICK();
            return false;
        }
        default: return false;
    }
}

void BitmapListBox::Drop(int from, int to) {
    QListWidget* l = List();
    const rt::Usual* node = NodeAtRow(from);
    if (!l || !node || to < 0) return;
    const rt::Usual dragged = *node;
    if (BONMOUSEDROP.IsCodeBlock()) {
        const rt::Usual answer = BONMOUSEDROP.Eval({rt::Usual(Self()), dragged, rt::Usual(int64_t{to})});
        if (answer.IsLogic() && !answer.AsLogic()) return;
        // The block may have changed the list: the entry is found again by
        // its id, and a drop place past the end becomes the end.
        from = RowOfId(dragged.At(kNodeId).AsLong());
        if (from < 0) return;
        to = std::min(to, l->count());
    }
    const int target = to > from ? to - 1 : to;
    if (target == from) return;
    QListWidgetItem* item = l->takeItem(from);
    l->insertItem(target, item);
    l->setCurrentRow(target);
    if (BONMOVENODE.IsCodeBlock()) BONMOVENODE.Eval({dragged, rt::Usual(int64_t{from}), rt::Usual(int64_t{target})});
}

}  // namespace lib
