#include "appkit/programicon.h"

namespace appkit {

const rt::ClassDef& AAAIcon::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<AAAIcon>("__AAAICON", &gui::Icon::StaticClass()).Done();
    return c;
}

AAAIcon::AAAIcon() { Load("__AAAICON"); }

}  // namespace appkit
