#include "platform/gui/boundary.h"

#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

namespace gui {
namespace {

struct Loop {
    OwnLoop* owner;
    std::function<void()> end;
    int scopeDepth;  // recovery scopes active when it started
    bool ended = false;
};

// The loops of ours that run on this thread, innermost last.
thread_local std::vector<Loop> tLoops;

// Tells what was dropped for want of a frame to take it.
void Drop() noexcept {
    try {
        rt::ThrowParked();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "an event handler failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "an event handler failed\n");
    }
}

}  // namespace

void ParkFromQt() noexcept {
    rt::ParkException(std::current_exception());
    if (tLoops.empty()) {
        if (!rt::CanBreak()) Drop();
        return;
    }
    // A loop started outside the innermost recovery scope stays: the scope,
    // begun by a handler of that loop, takes the exception where its body
    // returns.
    Loop& innermost = tLoops.back();
    if (innermost.scopeDepth < rt::ScopeDepth()) return;
    if (std::exchange(innermost.ended, true)) return;
    try {
        innermost.end();
    } catch (...) {
        // Ending a loop does not fail; should it, the exception already
        // parked still goes out when the loop returns.
    }
}

OwnLoop::OwnLoop(std::function<void()> end) { tLoops.push_back(Loop{this, std::move(end), rt::ScopeDepth()}); }

OwnLoop::~OwnLoop() {
    // Loops end innermost first; the search only guards against misuse.
    for (auto it = tLoops.rbegin(); it != tLoops.rend(); ++it) {
        if (it->owner == this) {
            tLoops.erase(std::next(it).base());
            return;
        }
    }
}

}  // namespace gui
