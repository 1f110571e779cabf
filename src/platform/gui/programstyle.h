#pragma once
// The application's style: the one Qt would take (the desktop's, or the one
// named by -style or QT_STYLE_OVERRIDE), with the arrows of a tool bar's
// or menu bar's extension button read without the image format plugins.
//
// Qt's own styles load those arrows by file name through a reader left to
// find out the format, which loads and asks every image format plugin (the
// SVG one brings in Qt's SVG library, the JPEG one libjpeg): about 2 ms of
// the first menu bar's making, before the first window can be shown. The
// arrows are Qt's PNG resources; read as PNG, they are the same pictures.
// They are read when first drawn: a bar shows them only when it runs out
// of room.
#include <QProxyStyle>

namespace gui {

class ProgramStyle final : public QProxyStyle {
public:
    ProgramStyle();
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    // Left to right, right to left, vertical: each made at its first use,
    // its pictures read when first drawn.
    mutable QIcon arrows_[3];
};

// Makes a ProgramStyle the application's style: once, before any widget.
void InstallProgramStyle();

}  // namespace gui
