// Build step: draws the program's SVG icons ahead as pictures, at the sizes
// the program asks for, so that it can show them at start without reading
// an SVG or decoding a picture (platform/gui/predrawn.h).
//
//   qz_predraw OUTDIR SIDES SVG...
// For each SVG, writes OUTDIR/<name>/<side>.argb for each side of the
// comma-separated SIDES, drawn as the program would draw the SVG at that
// size: the picture's pixels as Qt holds them in memory (premultiplied
// ARGB32, 32-bit words in this machine's byte order, row after row, no
// header). Fails on a picture that does not read, is not square, or does
// not write.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    // Drawing needs no screen: the offscreen platform unless one is named.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: qz_predraw OUTDIR SIDES SVG...\n");
        return 2;
    }
    QList<int> sides;
    for (const QString& s : args[2].split(QLatin1Char(','))) {
        bool ok = false;
        const int side = s.toInt(&ok);
        if (!ok || side <= 0) {
            std::fprintf(stderr, "qz_predraw: not a size: %s\n", qPrintable(s));
            return 2;
        }
        sides << side;
    }
    for (const QString& svg : args.mid(3)) {
        // The icon the program makes of the file, through the same SVG
        // icon engine, drawn at each side.
        const QIcon icon(svg);
        if (icon.isNull() || icon.actualSize(QSize(1024, 1024)) != QSize(1024, 1024)) {
            std::fprintf(stderr, "qz_predraw: %s does not read as a square picture\n", qPrintable(svg));
            return 1;
        }
        const QString folder = args[1] + QLatin1Char('/') + QFileInfo(svg).completeBaseName();
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "qz_predraw: cannot make %s\n", qPrintable(folder));
            return 1;
        }
        for (int side : sides) {
            const QImage picture =
                icon.pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const QString out = folder + QStringLiteral("/%1.argb").arg(side);
            QFile file(out);
            const qsizetype bytes = qsizetype(side) * side * 4;
            if (picture.size() != QSize(side, side) || picture.bytesPerLine() != side * 4 ||
                !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(reinterpret_cast<const char*>(picture.constBits()), bytes) != bytes || !file.flush()) {
                std::fprintf(stderr, "qz_predraw: cannot draw %s at %d pixels into %s\n", qPrintable(svg), side,
                             qPrintable(out));
                return 1;
            }
        }
    }
    return 0;
}
