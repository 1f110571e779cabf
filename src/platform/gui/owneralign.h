// Owner alignment: a control that follows its owner window's size. When the
// owner's surface grows or shrinks, a registered control keeps its distance
// to the right edge (OA_X), to the bottom edge (OA_Y), or grows with the
// owner (OA_WIDTH, OA_HEIGHT); the flags combine. OA_NONE takes a control out.
#pragma once

#include <cstdint>

class QWidget;

namespace gui {

enum OwnerAlignmentFlag : int64_t {
    OA_NONE = 0,
    OA_X = 1,       // moves right and left with the owner's right edge
    OA_Y = 2,       // moves down and up with the owner's bottom edge
    OA_WIDTH = 4,   // its width grows and shrinks with the owner's
    OA_HEIGHT = 8,  // its height grows and shrinks with the owner's
};

// Registers the widget (a child of surface) with that alignment, measured
// from the geometries both have now; registering again replaces the entry.
void RegisterOwnerAlignment(QWidget* surface, QWidget* widget, int64_t alignment);

}  // namespace gui
