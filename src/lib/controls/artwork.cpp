#include "lib/controls/artwork.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <utility>

namespace lib {
namespace {

enum class Look { Up, Down, Disabled };

// Colours of a picture in its three states: the down picture is a shade
// darker and sits one pixel lower right, the disabled one is grey.
QColor Tint(QColor c, Look look) {
    if (look == Look::Down) return c.darker(125);
    if (look == Look::Disabled) {
        const int g = qGray(c.rgb());
        return QColor(150 + g / 6, 150 + g / 6, 150 + g / 6);
    }
    return c;
}

void Disc(QPainter& p, const QRectF& r, QColor fill, Look look) {
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.7);
    g.setColorAt(0, Tint(fill.lighter(150), look));
    g.setColorAt(1, Tint(fill, look));
    p.setBrush(g);
    p.setPen(QPen(Tint(fill.darker(160), look), r.width() / 14.0));
    p.drawEllipse(r);
}

void DrawOk(QPainter& p, double s, Look look) {
    QPainterPath tick;
    tick.moveTo(0.14 * s, 0.55 * s);
    tick.lineTo(0.40 * s, 0.80 * s);
    tick.lineTo(0.88 * s, 0.22 * s);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Tint(QColor(0, 90, 0), look), s * 0.22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.setPen(QPen(Tint(QColor(40, 185, 40), look), s * 0.13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

void DrawCancel(QPainter& p, double s, Look look) {
    const double a = 0.2 * s, b = 0.8 * s;
    for (auto [w, c] : {std::pair{0.24, QColor(120, 0, 0)}, std::pair{0.14, QColor(225, 40, 30)}}) {
        p.setPen(QPen(Tint(c, look), s * w, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(a, a), QPointF(b, b));
        p.drawLine(QPointF(a, b), QPointF(b, a));
    }
}

void DrawNo(QPainter& p, double s, Look look) {
    const QRectF r(0.1 * s, 0.1 * s, 0.8 * s, 0.8 * s);
    p.setBrush(Tint(QColor(255, 255, 255), look));
    p.setPen(QPen(Tint(QColor(200, 30, 30), look), s * 0.13));
    p.drawEllipse(r);
    p.drawLine(QPointF(0.25 * s, 0.75 * s), QPointF(0.75 * s, 0.25 * s));
}

void DrawHelp(QPainter& p, double s, Look look) {
    Disc(p, QRectF(0.06 * s, 0.06 * s, 0.88 * s, 0.88 * s), QColor(40, 90, 200), look);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(static_cast<int>(s * 0.7));
    p.setFont(f);
    p.setPen(Tint(QColor(255, 255, 255), look == Look::Disabled ? look : Look::Up));
    p.drawText(QRectF(0, 0, s, s * 1.02), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawCalculator(QPainter& p, double s) {
    const QRectF body(0.16 * s, 0.04 * s, 0.68 * s, 0.92 * s);
    p.setPen(QPen(QColor(40, 40, 40), s / 24));
    p.setBrush(QColor(70, 80, 95));
    p.drawRoundedRect(body, s / 12, s / 12);
    p.setBrush(QColor(190, 220, 190));
    p.drawRect(QRectF(0.24 * s, 0.11 * s, 0.52 * s, 0.2 * s));
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            p.setBrush(col == 2 ? QColor(240, 150, 60) : QColor(235, 235, 235));
            p.drawRect(QRectF((0.24 + col * 0.18) * s, (0.39 + row * 0.18) * s, 0.13 * s, 0.12 * s));
        }
}

// The calendar button: a small calendar sheet with a red heading, on a
// raised (up) or sunken (down) button face.
void DrawCalendarButton(QPainter& p, double s, bool down) {
    const QRectF face(0, 0, s, s);
    p.fillRect(face, QColor(225, 225, 225));
    const QColor light(255, 255, 255), dark(120, 120, 120);
    p.setPen(QPen(down ? dark : light, 1));
    p.drawLine(QPointF(0.5, s - 1), QPointF(0.5, 0.5));
    p.drawLine(QPointF(0.5, 0.5), QPointF(s - 1, 0.5));
    p.setPen(QPen(down ? light : dark, 1));
    p.drawLine(QPointF(s - 0.5, 0.5), QPointF(s - 0.5, s - 0.5));
    p.drawLine(QPointF(0.5, s - 0.5), QPointF(s - 0.5, s - 0.5));
    const double o = down ? 1 : 0;
    const QRectF sheet(0.2 * s + o, 0.22 * s + o, 0.6 * s, 0.58 * s);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.fillRect(QRectF(sheet.left(), sheet.top(), sheet.width(), sheet.height() * 0.28), QColor(200, 30, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    const double cell = sheet.width() / 4;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(sheet.left() + cell * (0.6 + col * 1.1),
                              sheet.top() + sheet.height() * (0.42 + row * 0.27), cell * 0.6, sheet.height() * 0.14));
}

struct Entry {
    const char* name;
    void (*draw)(QPainter&, double, Look);
    Look look;
};

constexpr std::array<Entry, 12> kIcons = {{
    {"ICOOKUP", DrawOk, Look::Up},
    {"ICOOKDOWN", DrawOk, Look::Down},
    {"ICOOKDISABLED", DrawOk, Look::Disabled},
    {"ICOCANCELUP", DrawCancel, Look::Up},
    {"ICOCANCELDOWN", DrawCancel, Look::Down},
    {"ICOCANCELDISABLED", DrawCancel, Look::Disabled},
    {"ICONOUP", DrawNo, Look::Up},
    {"ICONODOWN", DrawNo, Look::Down},
    {"ICONODISABLED", DrawNo, Look::Disabled},
    {"ICOHELPUP", DrawHelp, Look::Up},
    {"ICOHELPDOWN", DrawHelp, Look::Down},
    {"ICOHELPDISABLED", DrawHelp, Look::Disabled},
}};

}  // namespace

bool IsDrawnArtwork(const std::string& name) { return !DrawArtwork(name, 4).isNull(); }

QPixmap DrawArtwork(const std::string& name, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    for (const Entry& e : kIcons)
        if (name == e.name) {
            if (e.look == Look::Down) p.translate(size / 16.0, size / 16.0);
            e.draw(p, size, e.look);
            return pm;
        }
    if (name == "POPUPCALCICO") {
        DrawCalculator(p, size);
        return pm;
    }
    if (name == "IBM_CALUP" || name == "IBM_CALDN") {
        p.setRenderHint(QPainter::Antialiasing, false);
        DrawCalendarButton(p, size, name == "IBM_CALDN");
        return pm;
    }
    p.end();
    return {};
}

QIcon DrawnIcon(const std::string& name) {
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48}) {
        QPixmap pm = DrawArtwork(name, size);
        if (pm.isNull()) return {};
        icon.addPixmap(pm);
    }
    return icon;
}

const rt::ClassDef& ArtworkIcon::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ArtworkIcon>("ARTWORKICON", &gui::Icon::StaticClass()).Done();
    return c;
}

namespace {

constexpr std::array<const char*, 13> kIconClasses = {
    "ICOOKUP",   "ICOOKDOWN",     "ICOOKDISABLED", "ICOCANCELUP", "ICOCANCELDOWN",   "ICOCANCELDISABLED", "ICONOUP",
    "ICONODOWN", "ICONODISABLED", "ICOHELPUP",     "ICOHELPDOWN", "ICOHELPDISABLED", "POPUPCALCICO"};

// The icon class of one drawn name.
template <size_t N>
class NamedIcon : public ArtworkIcon {
    QZ_OBJECT(NamedIcon)
public:
    NamedIcon() : ArtworkIcon(kIconClasses[N]) {}
};

template <size_t N>
const rt::ClassDef& NamedIcon<N>::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<NamedIcon<N>>(kIconClasses[N], &ArtworkIcon::StaticClass()).Done();
    return c;
}

template <size_t... I>
void RegisterAll(std::index_sequence<I...>) {
    (NamedIcon<I>::StaticClass(), ...);
}

}  // namespace

void RegisterArtworkIcons() {
    ArtworkIcon::StaticClass();
    RegisterAll(std::make_index_sequence<kIconClasses.size()>{});
}

}  // namespace lib
