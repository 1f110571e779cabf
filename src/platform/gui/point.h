// A position of a window or control, a runtime object for late-bound callers.
#pragma once

#include <cstdint>

#include "platform/runtime/object.h"

namespace gui {

// A position in pixels, from the top left corner of the owner's surface.
class Point : public rt::Object {
    QZ_OBJECT(Point)
public:
    Point() = default;
    Point(int64_t x, int64_t y) : X(x), Y(y) {}
    int64_t X = 0;
    int64_t Y = 0;
};

}  // namespace gui
