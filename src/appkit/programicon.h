// The program icon, used as large and small icon of every window.
#pragma once

#include "platform/gui/window.h"

namespace appkit {

class AAAIcon : public gui::Icon {
    QZ_OBJECT(AAAIcon)
public:
    AAAIcon();
};

}  // namespace appkit
