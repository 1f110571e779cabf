#include "platform/runtime/hyperlabel.h"

namespace rt {

const ClassDef& HyperLabel::StaticClass() {
    static const ClassDef& c = ClassBuilder<HyperLabel>("HYPERLABEL")
                                   .IVar<&HyperLabel::NameSym>("NAMESYM")
                                   .IVar<&HyperLabel::Caption>("CAPTION")
                                   .IVar<&HyperLabel::Description>("DESCRIPTION")
                                   .IVar<&HyperLabel::HelpContext>("HELPCONTEXT")
                                   .RawMethod("INIT",
                                              [](Object& o, Args a) {
                                                  auto& h = static_cast<HyperLabel&>(o);
                                                  if (a.size() > 0) h.NameSym = a[0].AsSymbol();
                                                  if (a.size() > 1) h.Caption = a[1].AsStr();
                                                  if (a.size() > 2) h.Description = a[2].AsStr();
                                                  if (a.size() > 3) h.HelpContext = a[3].AsStr();
                                                  return Usual();
                                              })
                                   .Done();
    return c;
}

}  // namespace rt
