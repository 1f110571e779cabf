// The library controls' pictures, drawn in code: the icon triples of the
// ready-made icon buttons, the calculator's icon and the calendar button's
// up and down bitmaps. Each is known by its resource name.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>

#include "platform/gui/window.h"

namespace lib {

// The picture of that name at size x size pixels (a null pixmap for a
// name that is not drawn here). Icon names: ICOOKUP, ICOOKDOWN,
// ICOOKDISABLED, the same for CANCEL, NO and HELP, and POPUPCALCICO;
// bitmap names IBM_CALUP, IBM_CALDN.
QPixmap DrawArtwork(const std::string& name, int size);
bool IsDrawnArtwork(const std::string& name);
// The icon of that name at the sizes a window and a button use.
QIcon DrawnIcon(const std::string& name);

// An icon object whose picture is drawn here: the class of each name above
// (ICOOKUP, ..., POPUPCALCICO) makes one of its own name.
class ArtworkIcon : public gui::Icon {
    QZ_OBJECT(ArtworkIcon)
public:
    ArtworkIcon() = default;
    explicit ArtworkIcon(const std::string& name) { Use(name); }
    void Use(const std::string& name) { SetPicture(name, DrawnIcon(name)); }
};

// Registers one icon class per drawn icon name, each an ArtworkIcon of its
// own name, so that CreateInstance(#ICOOKUP) gives that icon.
void RegisterArtworkIcons();

}  // namespace lib
