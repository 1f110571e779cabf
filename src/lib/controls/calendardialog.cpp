// The "Calendar" dialog with its template, and the date edit's context
// menu.
#include <QEvent>
#include <QMenu>
#include <QScreen>
#include <QStyle>

#include <utility>

#include "lib/controls/calendar.h"
#include "lib/controls/rightsle.h"
#include "platform/gui/datawindow.h"
#include "platform/gui/resource.h"
#include "platform/runtime/dates.h"

namespace lib {
namespace {

constexpr int kCalendarId = 100;  // the calendar control on the dialog's template

// A window's outer size: its frame once it has one, else its size with a
// title bar and frame of the style's measures.
QSize FramedSize(const QWidget* w) {
    const QRect frame = w->frameGeometry();
    if (frame.height() > w->height()) return frame.size();
    const int border = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return {w->width() + 2 * border, w->height() + w->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * border};
}

// Keeps a window placed above a field from covering it once the window
// manager has put its frame round it.
class KeepAbove : public QObject {
public:
    KeepAbove(QWidget* w, int fieldTop) : QObject(w), fieldTop_(fieldTop) {}
    bool eventFilter(QObject* o, QEvent* ev) override {
        if (ev->type() == QEvent::Move || ev->type() == QEvent::Show) {
            auto* w = static_cast<QWidget*>(o);
            const QRect frame = w->frameGeometry();
            if (frame.height() > w->height() && frame.bottom() >= fieldTop_)
                w->move(frame.x(), fieldTop_ - frame.height());
        }
        return false;
    }

private:
    int fieldTop_;
};

}  // namespace

void RegisterCalendarResources() {
    gui::DialogTemplate t;
    t.name = "_dlgPECalendar";
    t.caption = "Calendar";
    t.cx = 153;
    t.cy = 88;
    t.items.push_back({kCalendarId, "custom", "", 1, 0, 150, 87, gui::kStyleTabStop});
    gui::RegisterDialog(std::move(t));
    gui::MenuResource menu;
    menu.name = "PEDateSleContextMenu";
    using Item = gui::MenuItemResource;
    menu.items = {{Item::kPopupBegin, 0, "&File", "", "", ""},
                  {Item::kItem, 7754, "&Today", "FILENEW", "Create a new file", ""},
                  {Item::kItem, 7755, "&Calendar...", "FILEOPEN", "Open a file", ""},
                  {Item::kPopupEnd, 0, "", "", "", ""}};
    gui::RegisterMenu(std::move(menu));
}

const rt::ClassDef& PeDateSleContextMenu::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<PeDateSleContextMenu>("PEDATESLECONTEXTMENU", &gui::Menu::StaticClass()).Done();
    return c;
}

QMenu* PeDateSleContextMenu::MakePopup(QWidget* parent) {
    auto* menu = new QMenu(parent);
    if (const gui::MenuResource* r = gui::FindMenu("PEDateSleContextMenu"))
        for (const auto& item : r->items)
            if (item.kind == gui::MenuItemResource::kItem)
                menu->addAction(QString::fromStdString(gui::CaptionText(item.caption)))->setData(item.id);
    return menu;
}

const rt::ClassDef& DlgPeCalendar::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DlgPeCalendar>("DLGPECALENDAR", &gui::DialogWindow::StaticClass())
                                       .IVar<&DlgPeCalendar::ODATESLE>("ODATESLE")
                                       .IVar<&DlgPeCalendar::DSELECTED>("DSELECTED")
                                       .Done();
    return c;
}

void DlgPeCalendar::Build(rt::Args args) {
    const rt::Usual dialogArgs[] = {args.empty() ? rt::Usual() : args[0], rt::Usual(), rt::Usual(true)};
    gui::DialogWindow::Build(rt::Args(dialogArgs, 3));
    calendar_ = rt::New<PeCalendar>();
    const rt::Usual calArgs[] = {rt::Usual(Self()), rt::Usual(int64_t{kCalendarId})};
    calendar_->Init(rt::Args(calArgs, 2));
}

void DlgPeCalendar::PostInit(rt::Args args) {
    ODATESLE = args.size() > 1 ? args[1] : rt::Usual();
    auto* edit = dynamic_cast<RightSle*>(ODATESLE.AsObject().get());
    if (!edit || !edit->Widget() || !calendar_) return;
    QWidget* e = edit->Widget();
    const QPoint below = e->mapToGlobal(QPoint(0, e->height()));
    QPoint at = below;
    if (!edit->LALIGNCALENDARLEFT) at.setX(e->mapToGlobal(QPoint(e->width(), 0)).x() - Widget()->width());
    // Kept on the field's screen: above the field when there is no room
    // below it, and pulled in from the sides.
    // The window's height counts its title bar and frame: not yet known
    // before the window manager has framed it, so estimated, and the
    // placement above the field is corrected once the frame is there.
    bool above = false;
    const int fieldTop = e->mapToGlobal(QPoint(0, 0)).y();
    if (const QScreen* screen = e->screen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = FramedSize(Widget());
        if (at.y() + size.height() > area.bottom() + 1) {
            at.setY(fieldTop - size.height());
            above = true;
        }
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        at.setY(std::max(at.y(), area.top()));
    }
    Widget()->move(at);
    if (above) Widget()->installEventFilter(new KeepAbove(Widget(), fieldTop));
    const rt::Date d = rt::CToD(edit->TextValue());
    calendar_->SetCurrentDate(d.IsEmpty() ? rt::Today() : d);
    if (edit->FIRSTDAYOFTHEWEEK >= 1 && edit->FIRSTDAYOFTHEWEEK <= 7)
        calendar_->SetFirstDayOfTheWeek(edit->FIRSTDAYOFTHEWEEK);
    calendar_->SetFocus();
}

}  // namespace lib
