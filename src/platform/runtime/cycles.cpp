// The registry of traced containers and the collection of cycles among
// them (see cycles.h).
#include "platform/runtime/cycles.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace rt {

namespace {

// A link as stored: the address with its bits turned, which no leak checker
// takes for a pointer.
constexpr uintptr_t kDisguise = ~uintptr_t{0};
uintptr_t Hide(Traced* n) { return reinterpret_cast<uintptr_t>(n) ^ kDisguise; }

}  // namespace

class TraceRegistry {
public:
    static TraceRegistry& Get() {
        static TraceRegistry* registry = new TraceRegistry;  // outlives every static value
        return *registry;
    }

    void Link(Traced* n) {
        std::lock_guard lock(mutex_);
        n->prev_ = Hide(nullptr);
        n->next_ = head_;
        if (Traced* h = Show(head_)) h->prev_ = Hide(n);
        head_ = Hide(n);
        n->linked_ = true;
        ++count_;
    }
    void Unlink(Traced* n) {
        std::lock_guard lock(mutex_);
        Traced* prev = Show(n->prev_);
        Traced* next = Show(n->next_);
        if (prev) prev->next_ = n->next_;
        else head_ = n->next_;
        if (next) next->prev_ = n->prev_;
        n->linked_ = false;
        --count_;
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

    // The containers that nothing outside the traced ones holds, each held
    // once more by the result so that none goes while they are emptied.
    std::vector<std::shared_ptr<Traced>> Unreachable() {
        std::lock_guard lock(mutex_);
        struct Entry {
            Traced* node;
            long outside;  // references not accounted for by traced containers
            bool alive = false;
        };
        std::vector<Entry> nodes;
        nodes.reserve(count_);
        std::unordered_map<const void*, size_t> byKey;
        byKey.reserve(count_);
        for (Traced* n = Show(head_); n; n = Show(n->next_)) {
            long strong = n->self_.use_count();
            if (strong == 0) continue;  // being destroyed: its holdings go anyway
            byKey.emplace(n->TraceKey(), nodes.size());
            nodes.push_back({n, strong});
        }
        for (const Entry& e : nodes)
            e.node->TraceChildren([&](const void* key) {
                if (auto it = byKey.find(key); it != byKey.end()) --nodes[it->second].outside;
            });
        std::vector<size_t> work;
        for (size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i].outside > 0) {
                nodes[i].alive = true;
                work.push_back(i);
            }
        while (!work.empty()) {
            size_t i = work.back();
            work.pop_back();
            nodes[i].node->TraceChildren([&](const void* key) {
                auto it = byKey.find(key);
                if (it == byKey.end() || nodes[it->second].alive) return;
                nodes[it->second].alive = true;
                work.push_back(it->second);
            });
        }
        std::vector<std::shared_ptr<Traced>> garbage;
        for (const Entry& e : nodes)
            if (!e.alive)
                if (auto held = e.node->self_.lock()) garbage.push_back(std::move(held));
        return garbage;
    }

private:
    static Traced* Show(uintptr_t link) { return reinterpret_cast<Traced*>(link ^ kDisguise); }

    std::mutex mutex_;
    uintptr_t head_ = Hide(nullptr);
    size_t count_ = 0;
};

Traced::~Traced() {
    if (linked_) TraceRegistry::Get().Unlink(this);
}

void Track(const std::shared_ptr<Traced>& node) {
    if (node->linked_) return;
    node->self_ = node;
    TraceRegistry::Get().Link(node.get());
}

size_t CollectCycles() {
    // Emptied outside the registry's lock: what they held may be destroyed
    // now, traced containers among it, which unlink themselves.
    std::vector<std::shared_ptr<Traced>> garbage = TraceRegistry::Get().Unreachable();
    for (const auto& g : garbage) g->TraceClear();
    return garbage.size();
}

size_t TracedCount() { return TraceRegistry::Get().Count(); }

}  // namespace rt
