// PECalendar: a month calendar drawn here (title with arrows, etched grid,
// weekday headings with the first and last columns red, day numbers, the
// highlight), moved with the keyboard and the mouse; dlgPECalendar: the
// modal "Calendar" dialog placed under the date edit that opened it.
#pragma once

#include <QRect>
#include <QString>

#include <array>
#include <memory>
#include <string>

#include "platform/gui/control.h"
#include "platform/gui/dialogwindow.h"
#include "platform/gui/menu.h"
#include "platform/runtime/usual.h"

class QPainter;
class QSpinBox;
class QMenu;

namespace lib {

class RightSle;

// The first day of the week of the user's locale (LC_TIME first_weekday):
// 1 Sunday ... 7 Saturday; `fallback` when the locale does not say.
int LocaleFirstDayOfWeek(int fallback);

class PeCalendar : public gui::CustomControl {
    QZ_OBJECT(PeCalendar)
public:
    PeCalendar() = default;
    // INIT(owner, id [, point, dimension]): current date today.
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }

    rt::Date CurrentDate() const { return current_; }
    rt::Date SetCurrentDate(rt::Date d);
    int64_t FirstDayOfWeek() const { return firstDay_; }
    int64_t SetFirstDayOfTheWeek(int64_t dow);
    void MoveDays(int64_t n);
    void MoveMonths(int64_t n);
    void MoveYears(int64_t n);
    int64_t CastDate2Column(rt::Date d) const;
    rt::Date CastRowCol2Date(int64_t row, int64_t col) const;
    int64_t CurrentRowNumber() const;
    int64_t CurrentColumnNumber() const { return CastDate2Column(current_); }
    std::string MonthName(int month) const { return monthNames_[static_cast<size_t>(month - 1)]; }
    // The heading of a column (1-7): three letters of its weekday's name.
    QString Heading(int col) const { return dayNames_[static_cast<size_t>((firstDay_ - 1 + col - 1) % 7)].left(3); }

    // Keys by virtual-key code; false when the key is not the calendar's.
    bool KeyDown(uint32_t vk);
    // Escape closes the owner without a date, Enter with the current one.
    void KeyUp(uint32_t vk);
    void MouseDown(QPoint p);
    void MouseDoubleClick(QPoint p);
    // The date of the day cell under a point, empty off the shown month.
    rt::Date DayAt(QPoint p) const;
    // HIGHLIGHTDAY, UNHIGHLIGHTDAY: the selection mark on or off (a move
    // puts it back).
    void HighlightDay();
    void UnhighlightDay();
    bool Highlighted() const { return highlight_; }
    void Redraw();
    void EditMonth();
    void EditYear();
    void EndYearEdit();
    void Paint(QPainter& p);

    // The cell rectangle of a week row (1-6) and column (1-7); row 0 is
    // the headings.
    QRect CellRect(int row, int col) const;
    static constexpr int kHeaderHeight = 25;

protected:
    QWidget* MakeWidget(QWidget* parent) override;

private:
    void SelectIntoOwner(rt::Date d);
    void CloseOwner();
    // The given month of the given year, the day kept where it can be.
    void MoveTo(int year, int month);
    QRect Grid() const;
    rt::Date current_;
    int64_t firstDay_ = 1;
    std::array<std::string, 12> monthNames_;
    std::array<QString, 7> dayNames_;  // Sunday first
    QRect monthBox_, yearBox_;
    QSpinBox* yearEdit_ = nullptr;
    bool highlight_ = true;
};

class DlgPeCalendar : public gui::DialogWindow {
    QZ_OBJECT(DlgPeCalendar)
public:
    DlgPeCalendar() = default;
    // INIT(owner, date edit).
    void Build(rt::Args args) override;
    void PostInit(rt::Args args) override;
    PeCalendar* Calendar() const { return calendar_.get(); }
    rt::Usual ODATESLE;
    rt::Date DSELECTED;

protected:
    std::string TemplateName() const override { return "_dlgPECalendar"; }

private:
    std::shared_ptr<PeCalendar> calendar_;
};

// The right-click menu of a date edit: the menu resource
// "PEDateSleContextMenu" with "&Today" (7754) and "&Calendar..." (7755).
class PeDateSleContextMenu : public gui::Menu {
    QZ_OBJECT(PeDateSleContextMenu)
public:
    PeDateSleContextMenu() { Load("PEDateSleContextMenu"); }
    // The items as a pop-up menu; each action's data is its item id.
    static QMenu* MakePopup(QWidget* parent);
};

// Registers the template "_dlgPECalendar" and the date edit's context menu.
void RegisterCalendarResources();

}  // namespace lib
