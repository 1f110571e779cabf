// The size of a window or control, a runtime object for late-bound callers.
#pragma once

#include <cstdint>

#include "platform/runtime/object.h"

namespace gui {

// A width and height in pixels.
class Dimension : public rt::Object {
    QZ_OBJECT(Dimension)
public:
    Dimension() = default;
    Dimension(int64_t w, int64_t h) : Width(w), Height(h) {}
    int64_t Width = 0;
    int64_t Height = 0;
};

}  // namespace gui
