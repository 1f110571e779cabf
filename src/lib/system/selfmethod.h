// Late-bound methods that answer the object itself (as the library's INIT,
// START, STOP, DESTROY ... do) around C++ members that answer nothing.
#pragma once

#include <type_traits>

#include "platform/runtime/object.h"

namespace lib {

// Fn is a member taking nothing or the raw argument list.
template <auto Fn>
rt::MethodFn AnswerSelf() {
    using C = typename rt::detail::MemberTraits<decltype(Fn)>::Cls;
    return [](rt::Object& o, rt::Args a) {
        auto& c = static_cast<C&>(o);
        if constexpr (std::is_invocable_v<decltype(Fn), C&, rt::Args>) (c.*Fn)(a);
        else (c.*Fn)();
        return rt::Usual(o.Self());
    };
}

}  // namespace lib
