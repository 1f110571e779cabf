// What the entry controls' INIT share: making the control on the owner
// window named by the first argument, placed by the template item of the
// second (or by the dimension given), and the late-bound INIT that does it.
#pragma once

#include <memory>

#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace lib {

// INIT(owner, id [, point, dimension, caption]) and the placing by point
// and dimension, shared with the widget classes.
using gui::CreateFromArgs;
using gui::PlaceFromArgs;

// The late-bound INIT of a class whose C++ Init takes the raw arguments.
template <class T>
rt::MethodFn InitMethod() {
    return [](rt::Object& o, rt::Args a) {
        static_cast<T&>(o).Init(a);
        return rt::Usual(o.Self());
    };
}

// Creates a control of class T on the owner with INIT's usual arguments.
template <class T>
std::shared_ptr<T> MakeLibControl(gui::Window& owner, int id) {
    auto c = rt::New<T>();
    const rt::Usual args[] = {rt::Usual(owner.Self()), rt::Usual(int64_t{id})};
    c->Init(rt::Args(args, 2));
    return c;
}

}  // namespace lib
