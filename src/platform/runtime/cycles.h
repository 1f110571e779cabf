// Freeing values that keep each other alive.
//
// Values are reference counted, so an array put into itself, or a block
// that holds the parameters of the call that made it, would never be freed.
// The containers that can close such a cycle (arrays, objects, and the
// expression language's blocks and their parameter frames) are `Traced`,
// and CollectCycles frees the ones that only the others of them still hold.
//
// How: every traced container's strong count, less the references traced
// containers hold to it, is what the rest of the program holds. Those with
// some are alive, and so is all they hold, transitively; the rest are
// emptied, which drops the references that kept them.
//
// What a traced container does not report (a value in a C++ member an
// object does not list, what a C++ block captured) counts as held from
// outside, and is kept. So a collection never frees anything still in use;
// it may leave a cycle that runs through such a reference.
//
// The registry's links are stored disguised, so that the leak checker of
// the sanitizer builds does not take every traced container as reachable
// through them: a leaked one is still reported.
//
// A collection reads every traced container, so it must run while no other
// thread changes one: the fuzz target and the expression tools call it
// between evaluations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/runtime/usual.h"

namespace rt {

class Traced {
public:
    Traced() = default;
    Traced(const Traced&) = delete;
    Traced& operator=(const Traced&) = delete;
    virtual ~Traced();

    // The address other values know this container by (the payload that a
    // value's reference points at), matched against what TraceChildren
    // reports. (Names of their own, so that no class's Clear is taken for
    // these by accident.)
    virtual const void* TraceKey() const = 0;
    // Reports the key of every container this one holds a counted
    // reference to (once per reference).
    virtual void TraceChildren(const std::function<void(const void*)>& visit) const = 0;
    // Drops everything this container holds.
    virtual void TraceClear() = 0;

private:
    friend class TraceRegistry;
    friend void Track(const std::shared_ptr<Traced>& node);
    std::weak_ptr<Traced> self_;
    uintptr_t prev_ = 0;  // disguised (see above)
    uintptr_t next_ = 0;
    bool linked_ = false;
};

// Reports the container a value refers to, if it is one that can be traced
// (an array, an object or a block), by the key its container answers with.
inline void VisitHeld(const Usual& v, const std::function<void(const void*)>& visit) {
    if (v.IsArray()) visit(v.AsArray().get());
    else if (v.IsObject()) visit(v.AsObject().get());
    else if (v.IsCodeBlock()) visit(v.AsCodeBlock().get());
}

// Puts a container in the registry that CollectCycles walks (once: a
// second call does nothing).
void Track(const std::shared_ptr<Traced>& node);

template <class T, class... A>
std::shared_ptr<T> MakeTraced(A&&... args) {
    auto p = std::make_shared<T>(std::forward<A>(args)...);
    Track(p);
    return p;
}

// Frees every traced container that only other unreachable traced
// containers hold; returns how many were freed.
size_t CollectCycles();
// Traced containers alive now.
size_t TracedCount();

}  // namespace rt
