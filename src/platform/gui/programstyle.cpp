#include "platform/gui/programstyle.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImageReader>
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
            if (arrows.isNull()) arrows = Arrows(kArrows[which]);
            if (!arrows.isNull()) return arrows;
        }
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}

void InstallProgramStyle() {
    static bool installed = false;
    if (!std::exchange(installed, true)) QApplication::setStyle(new ProgramStyle);
}

}  // namespace gui
