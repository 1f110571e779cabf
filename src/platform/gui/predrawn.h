#pragma once
// Icons from scalable pictures (SVG) that were also drawn ahead, at build
// time, at the sizes the program asks for. A size drawn ahead is taken as
// it is stored, and neither the SVG reader nor its plugin is loaded, nor a
// picture decoded; any other size (another scale of the screen, a size not
// foreseen) is drawn from the SVG as before, so the icon still scales.
//
// The pictures drawn ahead of ":/<dir>/<name>.svg" are resources named
// ":/predrawn/<dir>/<name>/<side>.argb": square, of <side> pixels, the
// pixels as Qt holds them in memory (premultiplied ARGB32), uncompressed.
#include <QIcon>
#include <QString>

namespace gui {

// The icon of the picture file: one served from its pictures drawn ahead
// when there are any, else a plain QIcon of the file. GUI thread only.
QIcon PredrawnIcon(const QString& file);

// Where the pictures drawn ahead of that file are (empty for a file that
// is not a resource SVG).
QString PredrawnFolder(const QString& file);

}  // namespace gui
