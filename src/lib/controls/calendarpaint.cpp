// The calendar's surface: the widget that hands paint, key, focus and
// mouse events to PeCalendar, the grid's geometry, and the painting of the
// title, the weekday headings, the days and the highlight.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

#include "lib/controls/calendar.h"
#include "lib/controls/ownerref.h"
#include "platform/gui/boundary.h"
#include "platform/gui/vkeys.h"
#include "platform/runtime/dates.h"

namespace lib {
namespace {

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

}  // namespace

QWidget* PeCalendar::MakeWidget(QWidget* parent) { return new CalendarWidget(this, parent); }

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

rt::Date PeCalendar::DayAt(QPoint pt) const {
    const QRect g = Grid();
    const int cw = std::max(1, g.width() / 7), ch = std::max(1, g.height() / 7);
    if (pt.x() < g.left() || pt.y() < g.top()) return {};
    const int row = (pt.y() - g.top()) / ch, col = (pt.x() - g.left()) / cw + 1;
    if (row < 1 || row > 6 || col < 1 || col > 7) return {};
    const rt::Date d = CastRowCol2Date(row, col);
    return rt::Month(d) == rt::Month(current_) && rt::Year(d) == rt::Year(current_) ? d : rt::Date();
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
    for (int col = 1; col <= 7; ++col) {
        p.setPen(col == 1 || col == 7 ? QColor(255, 0, 0) : QColor(0, 0, 0));
        p.drawText(CellRect(0, col), Qt::AlignCenter, Heading(col));
    }

    // Day numbers and the highlight.
    p.setFont(w->font());
    const int y = rt::Year(current_), m = rt::Month(current_);
    for (int day = 1; day <= rt::DaysInMonth(y, m); ++day) {
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
        p.drawText(cell, Qt::AlignCenter, QString::number(day));  // no blank before 1 to 9: centred
    }
}

}  // namespace lib
