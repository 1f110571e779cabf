#include "lib/controls/calendar.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSpinBox>

#include <utility>

#include <langinfo.h>
#include <locale.h>

#include "errors/international.h"
#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/ownerref.h"
#include "lib/controls/rightsle.h"
#include "platform/gui/boundary.h"
#include "platform/gui/datawindow.h"
#include "platform/gui/resource.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/settings.h"

namespace lib {
namespace {

constexpr int kCalendarId = 100;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

class CalendarWidget : public QWidget {
public:
    CalendarWidget(PeCalendar* c, QWidget* parent) : QWidget(parent), owner_(c) {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (auto c = owner_.Get()) gui::FromQt([&] { c->Paint(p); });
    }
    // Qt's handlers: what the calendar's own throw stays here (gui/boundary.h).
    void keyPressEvent(QKeyEvent* e) override {
        gui::FromQt([&] { KeyPress(e); });
    }
    void KeyPress(QKeyEvent* e) {
        auto c = owner_.Get();
        const uint32_t vk = gui::VirtualKeyFromQt(e->key(), e->modifiers().testFlag(Qt::KeypadModifier));
        if (c && vk == gui::VK_ESCAPE) return c->KeyUp(vk);
        // Enter acts on its release, and only when this calendar saw it go
        // down: the release of the Enter that chose "&Calendar..." in a menu
        // must not close the calendar that choice opened.
        if (vk == gui::VK_RETURN && hasFocus()) enterDown_ = true;
        if (!c || !c->KeyDown(vk)) QWidget::keyPressEvent(e);
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        const uint32_t vk = gui::VirtualKeyFromQt(e->key(), e->modifiers().testFlag(Qt::KeypadModifier));
        if (e->isAutoRepeat() || (vk == gui::VK_RETURN && !std::exchange(enterDown_, false))) return;
        if (auto c = owner_.Get()) gui::FromQt([&] { c->KeyUp(vk); });
    }
    void focusOutEvent(QFocusEvent* e) override {
        enterDown_ = false;
        QWidget::focusOutEvent(e);
    }
    // Getting the focus back ends a year entry, before the click or key
    // that brought the focus acts.
    void focusInEvent(QFocusEvent* e) override {
        if (auto c = owner_.Get()) gui::FromQt([&] { c->EndYearEdit(); });
        QWidget::focusInEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (auto c = owner_.Get(); c && e->button() == Qt::LeftButton)
            gui::FromQt([&] { c->MouseDown(e->position().toPoint()); });
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (auto c = owner_.Get(); c && e->button() == Qt::LeftButton)
            gui::FromQt([&] { c->MouseDoubleClick(e->position().toPoint()); });
    }
    bool focusNextPrevChild(bool) override { return false; }  // the arrows and Tab stay here

private:
    OwnerRef<PeCalendar> owner_;
    bool enterDown_ = false;
};

// A mouse method of the calendar called late-bound with a mouse event: the
// point is in the event's long parameter (x low word, y high word).
rt::MethodFn MouseMethod(void (PeCalendar::*fn)(QPoint)) {
    return [fn](rt::Object& o, rt::Args a) {
        if (gui::Event* e = gui::EventArg(a))
            (static_cast<PeCalendar&>(o).*fn)(QPoint(static_cast<int16_t>(e->lParam & 0xFFFF),
                                                    static_cast<int16_t>((e->lParam >> 16) & 0xFFFF)));
        return rt::Usual(o.Self());
    };
}

}  // namespace

int LocaleFirstDayOfWeek(int fallback) {
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return fallback;
    // glibc: first_weekday (1-7) counts from the day week-1stday names
    // (a date written as the number YYYYMMDD).
    const int first = static_cast<unsigned char>(nl_langinfo_l(_NL_TIME_FIRST_WEEKDAY, loc)[0]);
    const auto origin = static_cast<int>(reinterpret_cast<intptr_t>(nl_langinfo_l(_NL_TIME_WEEK_1STDAY, loc)));
    freelocale(loc);
    if (first < 1 || first > 7) return fallback;
    const rt::Date day0 = rt::MakeDate(origin / 10000, origin / 100 % 100, origin % 100);
    if (day0.IsEmpty()) return fallback;
    // As the regional setting is read: a Monday start gives 2, a Sunday
    // start 1 (DOW's numbers); any other day leaves the value as it was.
    const int64_t dow = (rt::DOW(day0) - 1 + first - 1) % 7 + 1;
    return dow == 1 || dow == 2 ? static_cast<int>(dow) : fallback;
}

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

const rt::ClassDef& PeCalendar::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<PeCalendar>("PECALENDAR", &gui::CustomControl::StaticClass())
            .RawMethod("INIT", InitMethod<PeCalendar>())
            .Access<&PeCalendar::CurrentDate>("CURRENTDATE")
            .Assign<&PeCalendar::SetCurrentDate>("CURRENTDATE")
            .Access<&PeCalendar::FirstDayOfWeek>("FIRSTDAYOFWEEK")
            .Assign<&PeCalendar::SetFirstDayOfTheWeek>("FIRSTDAYOFTHEWEEK")
            .Method<&PeCalendar::MoveDays>("MOVEDAYS")
            .Method<&PeCalendar::MoveMonths>("MOVEMONTHS")
            .Method<&PeCalendar::MoveYears>("MOVEYEARS")
            .Method<&PeCalendar::CastDate2Column>("CASTDATE2COLUMN")
            .Method<&PeCalendar::CastRowCol2Date>("CASTROWCOL2DATE")
            .Access<&PeCalendar::CurrentRowNumber>("CURRENTROWNUMBER")
            .Access<&PeCalendar::CurrentColumnNumber>("CURRENTCOLUMNNUMBER")
            .Method<&PeCalendar::EditMonth>("EDITMONTH")
            .Method<&PeCalendar::EditYear>("EDITYEAR")
            .Method<&PeCalendar::HighlightDay>("HIGHLIGHTDAY")
            .Method<&PeCalendar::UnhighlightDay>("UNHIGHLIGHTDAY")
            .RawMethod("EXPOSE",
                       [](rt::Object& o, rt::Args) {
                           static_cast<PeCalendar&>(o).Redraw();
                           return rt::Usual(o.Self());
                       })
            .RawMethod("KEYDOWN",
                       [](rt::Object& o, rt::Args a) {
                           auto* k = dynamic_cast<gui::KeyEvent*>(gui::EventArg(a));
                           return rt::Usual(k && static_cast<PeCalendar&>(o).KeyDown(k->KEYCODE()));
                       })
            .RawMethod("MOUSEBUTTONDOWN", MouseMethod(&PeCalendar::MouseDown))
            .RawMethod("MOUSEBUTTONDOUBLECLICK", MouseMethod(&PeCalendar::MouseDoubleClick))
            .Done();
    return c;
}

QWidget* PeCalendar::MakeWidget(QWidget* parent) { return new CalendarWidget(this, parent); }

void PeCalendar::Init(rt::Args args) {
    // Month names as the user's regional settings give them. Switching to
    // those settings also sets the date picture and the separators, which
    // the program's own settings must keep: they are put back afterwards.
    // Every setting that switch makes: the date picture, century and
    // epoch (two-digit years), the decimals, the separators and the clock.
    const std::string picture = rt::SetDateFrmt(), am = rt::SetAMExt(), pm = rt::SetPMExt();
    const bool century = rt::SetCentury(), ampm = rt::SetAmPm();
    const int epoch = rt::SetEpoch(), decimals = rt::SetDecimal(), dict = rt::_SetDict();
    const int dec = rt::SetDecimalSep(), ths = rt::SetThousandSep(), timeSep = rt::SetTimeSep();
    const rt::Symbol mode = errors::SetInternational(rt::Usual(rt::Symbol("WINDOWS")));
    for (int m = 1; m <= 12; ++m) monthNames_[static_cast<size_t>(m - 1)] = rt::CMonth(rt::MakeDate(2000, m, 1));
    errors::SetInternational(rt::Usual(mode));
    rt::SetCentury(century);
    rt::SetDateFrmt(picture);
    rt::SetEpoch(epoch);
    rt::SetDecimal(decimals);
    rt::_SetDict(dict);
    rt::SetDecimalSep(dec);
    rt::SetThousandSep(ths);
    rt::SetTimeSep(timeSep);
    rt::SetAmPm(ampm);
    rt::SetAMExt(am);
    rt::SetPMExt(pm);
    firstDay_ = LocaleFirstDayOfWeek(static_cast<int>(firstDay_));
    current_ = rt::Today();
    if (!CreateFromArgs(*this, args)) return;
}

void PeCalendar::Redraw() {
    if (Widget()) Widget()->update();
}

rt::Date PeCalendar::SetCurrentDate(rt::Date d) {
    if (!d.IsEmpty()) current_ = d;
    highlight_ = true;
    Redraw();
    return current_;
}

int64_t PeCalendar::SetFirstDayOfTheWeek(int64_t dow) {
    if (dow >= 1 && dow <= 7) firstDay_ = dow;
    Redraw();
    return firstDay_;
}

void PeCalendar::MoveDays(int64_t n) { SetCurrentDate(rt::AddDays(current_, n)); }

void PeCalendar::MoveMonths(int64_t n) {
    int y = rt::Year(current_);
    int64_t m = rt::Month(current_) + n;
    while (m < 1) m += 12, --y;
    while (m > 12) m -= 12, ++y;
    const int mm = static_cast<int>(m);
    SetCurrentDate(rt::MakeDate(y, mm, std::min(rt::Day(current_), DaysIn(y, mm))));
}

void PeCalendar::MoveYears(int64_t n) {
    const int y = rt::Year(current_) + static_cast<int>(n), m = rt::Month(current_);
    SetCurrentDate(rt::MakeDate(y, m, std::min(rt::Day(current_), DaysIn(y, m))));
}

int64_t PeCalendar::CastDate2Column(rt::Date d) const {
    int64_t col = rt::DOW(d) - (firstDay_ - 1);
    return col < 1 ? col + 7 : col;
}

rt::Date PeCalendar::CastRowCol2Date(int64_t row, int64_t col) const {
    const rt::Date first = rt::MakeDate(rt::Year(current_), rt::Month(current_), 1);
    return rt::AddDays(first, 7 * (row - 1) + (col - CastDate2Column(first)));
}

int64_t PeCalendar::CurrentRowNumber() const {
    const rt::Date first = rt::MakeDate(rt::Year(current_), rt::Month(current_), 1);
    return (CastDate2Column(first) + rt::Day(current_) - 2) / 7 + 1;
}

bool PeCalendar::KeyDown(uint32_t vk) {
    switch (vk) {
        case gui::VK_RIGHT: MoveDays(1); break;
        case gui::VK_LEFT: MoveDays(-1); break;
        case gui::VK_UP: MoveDays(-7); break;
        case gui::VK_DOWN: MoveDays(7); break;
        case gui::VK_PRIOR: MoveMonths(-1); break;
        case gui::VK_NEXT: MoveMonths(1); break;
        case gui::VK_HOME: SetCurrentDate(rt::MakeDate(rt::Year(current_), rt::Month(current_), 1)); break;
        case gui::VK_END:
            SetCurrentDate(rt::MakeDate(rt::Year(current_), rt::Month(current_),
                                        DaysIn(rt::Year(current_), rt::Month(current_))));
            break;
        default: return false;
    }
    return true;
}

void PeCalendar::SelectIntoOwner(rt::Date d) {
    if (auto* dlg = dynamic_cast<DlgPeCalendar*>(Owner())) dlg->DSELECTED = d;
}

void PeCalendar::CloseOwner() {
    gui::Window* w = Owner();
    if (auto* dlg = dynamic_cast<gui::DialogWindow*>(w)) dlg->EndDialog(0);
    else if (w) w->EndWindow();
}

void PeCalendar::KeyUp(uint32_t vk) {
    if (vk == gui::VK_ESCAPE) CloseOwner();
    if (vk == gui::VK_RETURN) {
        SelectIntoOwner(current_);
        CloseOwner();
    }
}

QRect PeCalendar::Grid() const {
    const QSize s = Widget() ? Widget()->size() : QSize(0, 0);
    const int w = s.width() / 7 * 7;
    const int h = std::max(0, s.height() - kHeaderHeight) / 7 * 7;
    return QRect(0, kHeaderHeight, w, h);
}

QRect PeCalendar::CellRect(int row, int col) const {
    const QRect g = Grid();
    const int cw = g.width() / 7, ch = g.height() / 7;
    return QRect(g.left() + (col - 1) * cw, g.top() + row * ch, cw, ch);
}

void PeCalendar::MouseDown(QPoint pt) {
    SetFocus();
    EndYearEdit();  // the year typed counts before the click acts
    QWidget* w = Widget();
    if (!w) return;
    if (pt.y() < kHeaderHeight) {
        if (pt.x() < 20) MoveMonths(-1);
        else if (pt.x() >= w->width() - 20) MoveMonths(1);
        else if (monthBox_.contains(pt)) EditMonth();
        else if (yearBox_.contains(pt)) EditYear();
        return;
    }
    if (const rt::Date d = DayAt(pt); !d.IsEmpty()) SetCurrentDate(d);
}

rt::Date PeCalendar::DayAt(QPoint pt) const {
    const QRect g = Grid();
    const int cw = std::max(1, g.width() / 7), ch = std::max(1, g.height() / 7);
    if (pt.x() < g.left() || pt.y() < g.top()) return {};
    const int row = (pt.y() - g.top()) / ch, col = (pt.x() - g.left()) / cw + 1;
    if (row < 1 || row > 6 || col < 1 || col > 7) return {};
    const rt::Date d = CastRowCol2Date(row, col);
    return rt::Month(d) == rt::Month(current_) && rt::Year(d) == rt::Year(current_) ? d : rt::Date();
}

void PeCalendar::MouseDoubleClick(QPoint pt) {
    MouseDown(pt);
    // Only a day of the shown month is handed back: a double click on the
    // title, the headings or an empty cell picks nothing.
    const rt::Date d = DayAt(pt);
    if (d.IsEmpty()) return;
    SelectIntoOwner(d);
    CloseOwner();
}

void PeCalendar::HighlightDay() {
    highlight_ = true;
    Redraw();
}

void PeCalendar::UnhighlightDay() {
    highlight_ = false;
    Redraw();
}

void PeCalendar::EditMonth() {
    QWidget* w = Widget();
    if (!w) return;
    QMenu menu(w);
    for (int m = 1; m <= 12; ++m) menu.addAction(QString::fromStdString(MonthName(m)))->setData(3000 + m);
    if (QAction* a = menu.exec(w->mapToGlobal(monthBox_.bottomLeft())))
        MoveMonths(a->data().toInt() - 3000 - rt::Month(current_));
}

void PeCalendar::EditYear() {
    QWidget* w = Widget();
    if (!w || yearEdit_) return;
    yearEdit_ = new QSpinBox(w);
    yearEdit_->setRange(1753, 9999);
    yearEdit_->setValue(rt::Year(current_));
    // As tall as the title strip lets it be: cut down to the text's height,
    // the spin box clips its own digits and the year typed cannot be read.
    const QSize hint = yearEdit_->sizeHint();
    const int h = std::min(kHeaderHeight, hint.height());
    yearEdit_->setGeometry(yearBox_.x() - 4, (kHeaderHeight - h) / 2, std::max(yearBox_.width() + 34, hint.width()), h);
    // Queued: the Enter that ends the year entry finishes its way up (to the
    // calendar, which then does not have the focus) before the calendar
    // takes the focus back, so that it does not also hand back the day.
    QObject::connect(
        yearEdit_, &QSpinBox::editingFinished, w,
        [self = OwnerRef<PeCalendar>(this)] {
            if (auto c = self.Get()) gui::FromQt([&] { c->EndYearEdit(); });
        },
        Qt::QueuedConnection);
    yearEdit_->show();
    yearEdit_->setFocus();
    yearEdit_->selectAll();
}

void PeCalendar::EndYearEdit() {
    if (!yearEdit_) return;
    QSpinBox* e = yearEdit_;
    yearEdit_ = nullptr;
    MoveYears(e->value() - rt::Year(current_));
    e->hide();
    e->deleteLater();
    SetFocus();
}

void PeCalendar::Paint(QPainter& p) {
    QWidget* w = Widget();
    if (!w) return;
    const QPalette& pal = w->palette();
    const QRect all = w->rect();
    p.fillRect(all, pal.color(QPalette::Base));
    // The 3-D box and the title strip.
    const QRect header(0, 0, all.width(), kHeaderHeight);
    p.fillRect(header, pal.color(QPalette::Button));
    p.setPen(Qt::white);
    p.drawLine(0, 0, all.width() - 1, 0);
    p.drawLine(0, 0, 0, all.height() - 1);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(all.width() - 1, 0, all.width() - 1, all.height() - 1);
    p.drawLine(0, all.height() - 1, all.width() - 1, all.height() - 1);
    p.drawLine(0, kHeaderHeight - 1, all.width() - 1, kHeaderHeight - 1);

    // The title: month name and year, remembered for clicks.
    QFont bold = w->font();
    bold.setBold(true);
    p.setFont(bold);
    const QFontMetrics fm(bold);
    const QString month = QString::fromStdString(MonthName(rt::Month(current_)));
    const QString year = QString::number(rt::Year(current_));
    const int mw = fm.horizontalAdvance(month), sw = fm.horizontalAdvance(QLatin1Char(' ')),
              yw = fm.horizontalAdvance(year);
    const int x0 = (all.width() - (mw + sw + yw)) / 2, ty = (kHeaderHeight - fm.height()) / 2;
    monthBox_ = QRect(x0, ty, mw, fm.height());
    yearBox_ = QRect(x0 + mw + sw, ty, yw, fm.height());
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(monthBox_, Qt::AlignCenter, month);
    p.drawText(yearBox_, Qt::AlignCenter, year);

    // The arrows.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(pal.color(QPalette::WindowText));
    const int cy = kHeaderHeight / 2;
    p.drawPolygon(QPolygon({QPoint(6, cy), QPoint(13, cy - 6), QPoint(13, cy + 6)}));
    const int r = all.width() - 6;
    p.drawPolygon(QPolygon({QPoint(r, cy), QPoint(r - 7, cy - 6), QPoint(r - 7, cy + 6)}));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);  // the focus frame of the highlight is not filled

    // The etched grid.
    const QRect g = Grid();
    for (int k = 1; k <= 6; ++k) {
        const int y = g.top() + k * (g.height() / 7), x = g.left() + k * (g.width() / 7);
        p.setPen(Qt::white);
        p.drawLine(g.left() + 1, y, g.left() + g.width() - 2, y);
        p.drawLine(x, g.top(), x, g.top() + g.height() - 1);
        p.setPen(QColor(128, 128, 128));
        p.drawLine(g.left() + 1, y + 1, g.left() + g.width() - 2, y + 1);
        p.drawLine(x + 1, g.top(), x + 1, g.top() + g.height() - 1);
    }

    // Headings: three letters of the weekday, the outer columns red.
    p.setFont(bold);
    const rt::Date sunday = rt::MakeDate(1996, 10, 20);
    for (int col = 1; col <= 7; ++col) {
        const std::string name = rt::CDoW(rt::AddDays(sunday, (firstDay_ - 1) + (col - 1)));
        p.setPen(col == 1 || col == 7 ? QColor(255, 0, 0) : QColor(0, 0, 0));
        p.drawText(CellRect(0, col), Qt::AlignCenter, QString::fromStdString(name.substr(0, 3)));
    }

    // Day numbers and the highlight.
    p.setFont(w->font());
    const int y = rt::Year(current_), m = rt::Month(current_);
    for (int day = 1; day <= DaysIn(y, m); ++day) {
        const rt::Date d = rt::MakeDate(y, m, day);
        const int col = static_cast<int>(CastDate2Column(d));
        const int row = static_cast<int>((CastDate2Column(rt::MakeDate(y, m, 1)) + day - 2) / 7 + 1);
        const QRect cell = CellRect(row, col).adjusted(2, 2, -1, -1);
        const bool selected = highlight_ && day == rt::Day(current_);
        if (selected) {
            p.fillRect(cell, pal.color(QPalette::Highlight));
            if (w->hasFocus()) {
                p.setPen(QPen(pal.color(QPalette::HighlightedText), 1, Qt::DotLine));
                p.drawRect(cell.adjusted(1, 1, -2, -2));
            }
        }
        p.setPen(selected ? pal.color(QPalette::HighlightedText) : QColor(0, 0, 0));
        p.drawText(cell, Qt::AlignCenter, QString::asprintf("%2d", day));
    }
}

// ---- the dialog ---------------------------------------------------------

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
    if (const QScreen* screen = e->screen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = Widget()->size();
        if (at.y() + size.height() > area.bottom() + 1) at.setY(e->mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        at.setY(std::max(at.y(), area.top()));
    }
    Widget()->move(at);
    const rt::Date d = rt::CToD(edit->TextValue());
    calendar_->SetCurrentDate(d.IsEmpty() ? rt::Today() : d);
    if (edit->FIRSTDAYOFTHEWEEK >= 1 && edit->FIRSTDAYOFTHEWEEK <= 7) calendar_->SetFirstDayOfTheWeek(edit->FIRSTDAYOFTHEWEEK);
    calendar_->SetFocus();
}

}  // namespace lib
