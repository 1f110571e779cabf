// A name with caption, description and help context: what names a menu
// command, a control or a data server (HYPERLABEL).
#pragma once

#include <string>

#include "platform/runtime/object.h"

namespace rt {

class HyperLabel : public Object {
    QZ_OBJECT(HyperLabel)
public:
    HyperLabel() = default;
    HyperLabel(Symbol name, std::string caption = {}, std::string description = {}, std::string helpContext = {})
        : NameSym(name),
          Caption(std::move(caption)),
          Description(std::move(description)),
          HelpContext(std::move(helpContext)) {}
    Symbol NameSym;
    std::string Caption;
    std::string Description;
    std::string HelpContext;
};

}  // namespace rt
