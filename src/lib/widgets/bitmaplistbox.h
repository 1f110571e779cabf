// BitmapListBox: an owner-drawn list box whose entries (nodes) each show a
// picture (bitmap handle, icon handle or bitmap file) and a text, with a
// value attached. The nodes live in the control's node array in id order;
// the list box holds only each node's id as item data, so entries can be
// reordered by dragging while the array stays sorted for TREESEEK.
//
// The draw and measure requests go, as owner-drawn list boxes do, to the
// owner window: BMLBWNDPROC, installed once per owner, sends them on to the
// child control whose id they carry and then calls the owner's previous
// procedure.
#pragma once

#include <QPainter>

#include <functional>

#include "lib/widgets/listbox.h"

namespace lib {

enum : uint32_t { WM_DRAWITEM = 0x2B, WM_MEASUREITEM = 0x2C };
enum PictureKind : int64_t { kPictureBitmap = 1, kPictureIcon = 2, kPictureFile = 4 };

// The draw request's record (lParam of WM_DRAWITEM points at one).
struct DrawItemRecord {
    int itemID = -1;
    int64_t itemData = 0;
    QPainter* painter = nullptr;
    QRect rect;
    bool selected = false;
    bool focused = false;
};
// The measure request's record (lParam of WM_MEASUREITEM).
struct MeasureItemRecord {
    int itemID = -1;
    int itemHeight = 0;
};

// Node positions (1-based, as the node array counts).
enum NodeElement : size_t { kNodeId = 1, kNodeText, kNodeValue, kNodeHandle, kNodeKind, kNodeFile };

// Position of the node with that id in the node array (halving over the
// ascending ids), 0 when none.
size_t TREESEEK(const rt::Usual& nodes, int64_t id);

// The owner window procedure: draw and measure requests to the child with
// id wParam, then the owner's previous procedure. Without one the beep and
// the box "Internal Error" / "Integer return value failed!".
int64_t BMLBWNDPROC(gui::HWND window, uint32_t msg, uint64_t wParam, int64_t lParam);
using WindowProc = std::function<int64_t(gui::HWND, uint32_t, uint64_t, int64_t)>;
// The owner procedure table (one entry per owner window with a list box).
bool HasOwnerProc(gui::HWND window);

class BitmapListBox : public ListBox {
    QZ_OBJECT(BitmapListBox)
public:
    BitmapListBox() = default;
    ~BitmapListBox() override;
    // INIT(owner, id[, point, dimension]), as the list box is made.
    void Init(rt::Args args);
    void Init(gui::Window& owner, int id);

    int64_t ADDNODE(const std::string& text, const rt::Usual& value, int64_t handle, int64_t kind,
                    const std::string& fileName, int64_t position);
    // Removes the node (default: the active one). BONDELETE, when set, is
    // asked first with the node; FALSE keeps it.
    bool REMOVENODE(int64_t id = 0);
    void LISTCLEAR();
    int64_t GETACTIVEID() const;
    rt::Usual GETACTIVEVALUE() const;
    int64_t GETDROPPEDID() const;
    rt::Usual GETDROPPEDVALUE() const;
    void SETACTIVETEXT(const std::string& text);
    void SETACTIVEVALUE(const rt::Usual& value);
    bool Empty() const { return nodes_.ALen() == 0; }
    const rt::Usual& ALISTBOX() const { return nodes_; }
    void REFRESH();
    void DRAWITEM(const DrawItemRecord& record);
    void MOUSEBUTTONDOUBLECLICK();
    // Up and Down move the caret, Delete removes the active node; true
    // when the key was the list box's.
    bool TVKEYDOWN(uint32_t virtualKey);
    // The entry under a point of the list (its row; the last entry for a
    // point below them, -1 for an empty list).
    int LBUTTONDOWN(QPoint at);
    void CLOSE();
    bool Dispatch(gui::Event& event) override;
    // Mouse events of the list's viewport (clicks, double clicks, drags).
    bool ViewportEvent(QEvent* event);

    bool MULTILINE = false;
    int64_t NBITMAPWIDTH = 32, NBITMAPHEIGHT = 32;
    rt::Usual BONMOUSEDBLCLK, BONDELETE, BONMOVENODE, BONMOUSEDROP;
    bool LDRAGDROPON = false, LCANACTIVATE = false;
    int64_t NACTIVEINDEX = -1, NDROPINDEX = -1;

private:
    int RowOfId(int64_t id) const;
    const rt::Usual* NodeAtRow(int row) const;
    void Drop(int from, int to);

    rt::Usual nodes_ = rt::Usual::Array();
    int64_t lastId_ = 0;
    bool focused_ = false, mouseDown_ = false, dragging_ = false;
    int pressRow_ = -1;
    QPoint pressAt_;
    gui::HWND ownerHandle_ = 0;
};

}  // namespace lib
