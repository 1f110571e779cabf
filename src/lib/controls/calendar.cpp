// PeCalendar: its class, its start (month names from the regional
// settings), its keys and mouse clicks, and the month and year entry.
#include "lib/controls/calendar.h"

#include <QLocale>
#include <QSpinBox>

#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/ownerref.h"
#include "platform/gui/boundary.h"
#include "platform/gui/datawindow.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/dates.h"

namespace lib {
namespace {

// A mouse method of the calendar called late-bound with a mouse event: the
// point is in the event's long parameter (x low word, y high word).
rt::MethodFn MouseMethod(void (PeCalendar::*fn)(QPoint)) {
    return [fn](rt::Object& o, rt::Args a) {
        if (gui::Event* e = gui::EventArg(a))
            (static_cast<PeCalendar&>(o).*
             fn)(QPoint(static_cast<int16_t>(e->lParam & 0xFFFF), static_cast<int16_t>((e->lParam >> 16) & 0xFFFF)));
        return rt::Usual(o.Self());
    };
}

}  // namespace

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

void PeCalendar::Init(rt::Args args) {
    // Month and weekday names as the user's regional settings give them:
    // read from the system's locale itself, so that no setting of the
    // program is switched to get them (switching to the regional settings
    // would also change how the program writes dates and numbers).
    const QLocale system;  // the system's, unless the program chose another
    for (int m = 1; m <= 12; ++m)
        monthNames_[static_cast<size_t>(m - 1)] = system.standaloneMonthName(m, QLocale::LongFormat).toStdString();
    for (int dow = 1; dow <= 7; ++dow)  // 1 Sunday, as DOW counts; Qt counts from Monday
        dayNames_[static_cast<size_t>(dow - 1)] = system.standaloneDayName(dow == 1 ? 7 : dow - 1, QLocale::LongFormat);
    firstDay_ = LocaleFirstDayOfWeek(static_cast<int>(firstDay_));
    current_ = rt::Today();
    if (!CreateFromArgs(*this, args)) return;
}

void PeCalendar::Redraw() {
    if (Widget()) Widget()->update();
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
                                        rt::DaysInMonth(rt::Year(current_), rt::Month(current_))));
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

}  // namespace lib
