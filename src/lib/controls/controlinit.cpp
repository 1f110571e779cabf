#include "lib/controls/controlinit.h"

#include <QWidget>

namespace lib {

bool CreateFromArgs(gui::Control& c, rt::Args args) {
    auto* owner = args.empty() ? nullptr : dynamic_cast<gui::Window*>(args[0].AsObject().get());
    if (!owner || !owner->Widget()) return false;
    c.Create(*owner, args.size() > 1 ? static_cast<int>(args[1].AsLong()) : 0);
    PlaceFromArgs(c, args);
    return true;
}

void PlaceFromArgs(gui::Control& c, rt::Args args) {
    if (!c.Widget()) return;
    if (args.size() > 2)
        if (auto* p = dynamic_cast<gui::Point*>(args[2].AsObject().get()))
            c.Widget()->move(static_cast<int>(p->X), static_cast<int>(p->Y));
    if (args.size() > 3)
        if (auto* d = dynamic_cast<gui::Dimension*>(args[3].AsObject().get()))
            c.Widget()->resize(static_cast<int>(d->Width), static_cast<int>(d->Height));
    if (args.size() > 4 && args[4].IsString()) c.SetCaption(args[4].AsStr());
}

}  // namespace lib
