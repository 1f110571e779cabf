#include "platform/gui/programstyle.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

#include <utility>

namespace gui {
namespace {

// Qt's pictures of the extension arrows, left to right, right to left and
// vertical: each name carries the size.
const char* const kArrows[3][3] = {{"toolbar-ext-h-8", "toolbar-ext-h-16", "toolbar-ext-h-32"},
                                   {"toolbar-ext-h-rtl-8", "toolbar-ext-h-rtl-16", "toolbar-ext-h-rtl-32"},
                                   {"toolbar-ext-v-5", "toolbar-ext-v-10", "toolbar-ext-v-20"}};

// The icon of those pictures, or a null one when any is missing (another
// Qt, whose style then draws the arrow itself).
QIcon Arrows(const char* const (&names)[3]) {
    QIcon icon;
    for (const char* name : names) {
        QImageReader reader(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1.png").arg(QLatin1String(name)), "png");
        reader.setAutoDetectImageFormat(false);
        const QImage picture = reader.read();
        if (picture.isNull()) return {};
        icon.addPixmap(QPixmap::fromImage(picture));
    }
    return icon;
}

// The arrows are wanted only when a bar runs out of room, but every tool
// bar and menu bar sets them on its extension button when it is made: the
// pictures are read at the first drawing or measuring (about 1 ms, most of
// it Qt finding its PNG reader), not at the making of the first window.
class LateArrows final : public QIconEngine {
public:
    LateArrows(int which, const QStyle* base) : which_(which), base_(base) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, 1.0, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override { return new LateArrows(*this); }
    QString key() const override { return QStringLiteral("qzscan-late-arrows"); }
    bool isNull() override { return false; }

private:
    const QIcon& Icon() {
        if (!read_) {
            read_ = true;
            icon_ = Arrows(kArrows[which_]);
            // Another Qt without those pictures: its style's own arrow.
            if (icon_.isNull() && base_)
                icon_ = base_->standardIcon(which_ == 2 ? QStyle::SP_ToolBarVerticalExtensionButton
                                                        : QStyle::SP_ToolBarHorizontalExtensionButton);
        }
        return icon_;
    }

    int which_;
    QPointer<const QStyle> base_;
    bool read_ = false;
    QIcon icon_;
};

}  // namespace

ProgramStyle::ProgramStyle() = default;

QIcon ProgramStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const {
    // Only Qt's own styles draw the arrows from those pictures; another
    // style keeps its own.
    if (icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton) {
        const QString base = baseStyle()->name();
        if (base == QLatin1String("fusion") || base == QLatin1String("windows")) {
            const bool rtl = option ? option->direction == Qt::RightToLeft : QGuiApplication::isRightToLeft();
            const int which = icon == SP_ToolBarVerticalExtensionButton ? 2 : rtl ? 1 : 0;
            QIcon& arrows = arrows_[which];
            if (arrows.isNull()) arrows = QIcon(new LateArrows(which, baseStyle()));
            return arrows;
        }
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}

void InstallProgramStyle() {
    static bool installed = false;
    if (!std::exchange(installed, true)) QApplication::setStyle(new ProgramStyle);
}

}  // namespace gui
