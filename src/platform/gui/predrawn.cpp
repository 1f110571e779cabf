#include "platform/gui/predrawn.h"

#include <QDir>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QResource>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace gui {
namespace {

// The sides drawn ahead answer pixmaps of exactly that square size, each
// made from its stored pixels the first time it is asked (at start most
// are asked only when painted, after the window is up). Another mode than
// the normal one is made from that picture as for any picture (the style
// greys the disabled one). Every other size goes to the SVG, read the
// first time one is asked.
class PredrawnEngine final : public QIconEngine {
public:
    PredrawnEngine(QString svg, std::map<int, QString> drawn) : svg_(std::move(svg)), files_(std::move(drawn)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        // The size asked is in device pixels: the pictures are asked for at
        // a ratio of 1.
        auto file = files_.find(size.width());
        if (size.width() != size.height() || file == files_.end()) return Scalable().pixmap(size, 1.0, mode, state);
        QPixmap& picture = pictures_[size.width()];
        if (picture.isNull()) {
            // Stored uncompressed, the pixels are read in place.
            const QByteArray pixels = QResource(file->second).uncompressedData();
            const int side = size.width();
            if (pixels.size() != qsizetype(side) * side * 4)  // not what was drawn: the SVG draws it
                return Scalable().pixmap(size, 1.0, mode, state);
            // A copy: the pixmap may share the image's memory, which is the
            // resource's only while the resource is stored uncompressed.
            picture = QPixmap::fromImage(QImage(reinterpret_cast<const uchar*>(pixels.constData()), side, side,
                                                side * 4, QImage::Format_ARGB32_Premultiplied)
                                             .copy());
        }
        if (mode == QIcon::Normal || picture.isNull()) return picture;
        QPixmap& other = others_[{size.width(), mode}];  // one picture for both states
        if (other.isNull()) {
            QIcon one;
            one.addPixmap(picture);
            other = one.pixmap(size, 1.0, mode, state);
        }
        return other;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap picture = pixmap(rect.size() * scale, mode, state);
        picture.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, picture);
    }

    // Scalable, square: any size is served, as the largest square in it.
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }

    // None, as for the SVG alone: the icon is not a set of fixed sizes.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {}; }

    QString key() const override { return QStringLiteral("predrawn"); }
    QIconEngine* clone() const override { return new PredrawnEngine(svg_, files_); }

private:
    QIcon& Scalable() {
        if (!scalable_) scalable_.emplace(svg_);
        return *scalable_;
    }

    QString svg_;
    std::map<int, QString> files_;
    std::map<int, QPixmap> pictures_;
    std::map<std::pair<int, int>, QPixmap> others_;
    std::optional<QIcon> scalable_;
};

}  // namespace

QString PredrawnFolder(const QString& file) {
    if (!file.startsWith(QLatin1String(":/")) || !file.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) return {};
    return QStringLiteral(":/predrawn/") + file.mid(2, file.size() - 6);
}

QIcon PredrawnIcon(const QString& file) {
    const QString folder = PredrawnFolder(file);
    std::map<int, QString> drawn;
    if (!folder.isEmpty()) {
        // No name filter: it would be a regular expression to compile.
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            if (!name.endsWith(QLatin1String(".argb"))) continue;
            bool ok = false;
            const int side = name.chopped(5).toInt(&ok);
            if (ok && side > 0) drawn[side] = folder + QLatin1Char('/') + name;
        }
    }
    if (drawn.empty()) return QIcon(file);
    return QIcon(new PredrawnEngine(file, std::move(drawn)));
}

}  // namespace gui
