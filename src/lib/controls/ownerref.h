// A widget's weak link back to the control object that made it: the widget
// may outlive the object (a control object lets go while its window still
// shows), and then its callbacks do nothing.
#pragma once

#include <memory>

#include "platform/runtime/object.h"

namespace lib {

template <class C>
class OwnerRef {
public:
    explicit OwnerRef(C* c) : alive_(c->Self()), c_(c) {}
    // The control, kept alive for the call; nullptr once it has gone.
    std::shared_ptr<C> Get() const {
        auto keep = alive_.lock();
        return keep ? std::shared_ptr<C>(keep, c_) : nullptr;
    }

private:
    std::weak_ptr<rt::Object> alive_;
    C* c_;
};

}  // namespace lib
