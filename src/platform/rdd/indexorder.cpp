#include "platform/rdd/indexorder.h"

#include <algorithm>

namespace rdd::idx {

Order::Order(OrderDef def) : def_(std::move(def)), set_(Less{this}) {}

int Order::Less::Cmp(uint32_t a, const Probe& b) const {
    const size_t w = order->def_.width;
    const size_t n = std::min(w, b.bytes.size());
    int c = std::memcmp(order->KeyOf(a), b.bytes.data(), n);
    if (c != 0) return c;
    if (w != b.bytes.size()) return w < b.bytes.size() ? -1 : 1;
    return a < b.recno ? -1 : (a > b.recno ? 1 : 0);
}

bool Order::Less::operator()(uint32_t a, uint32_t b) const {
    int c = std::memcmp(order->KeyOf(a), order->KeyOf(b), order->def_.width);
    return c != 0 ? c < 0 : a < b;
}

void Order::Reset(uint32_t count) {
    set_.clear();
    keys_.assign(size_t{count} * def_.width, ' ');
    in_.assign(count, 0);
}

void Order::SetDuringBuild(uint32_t recno, const std::string& key, bool in) {
    std::memcpy(keys_.data() + size_t{recno - 1} * def_.width, key.data(), def_.width);
    in_[recno - 1] = in ? 1 : 0;
}

void Order::FinishBuild() {
    std::vector<uint32_t> recs;
    recs.reserve(in_.size());
    for (uint32_t r = 1; r <= in_.size(); ++r)
        if (in_[r - 1]) recs.push_back(r);
    std::sort(recs.begin(), recs.end(), Less{this});
    set_.clear();
    for (uint32_t r : recs) set_.insert(set_.end(), r);
}

bool Order::LoadSorted(uint32_t count, const uint8_t* entries, size_t n) {
    Reset(count);
    const size_t w = def_.width, step = w + 4;
    uint32_t prev = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* e = entries + i * step;
        uint32_t r = (uint32_t{e[w]} << 24) | (uint32_t{e[w + 1]} << 16) | (uint32_t{e[w + 2]} << 8) | e[w + 3];
        if (r < 1 || r > count || in_[r - 1]) return false;
        std::memcpy(keys_.data() + size_t{r - 1} * w, e, w);
        in_[r - 1] = 1;
        if (i > 0 && !Less{this}(prev, r)) return false;
        set_.insert(set_.end(), r);
        prev = r;
    }
    return true;
}

void Order::Update(uint32_t recno, const std::string& key, bool in) {
    if (recno > in_.size()) {
        keys_.resize(size_t{recno} * def_.width, ' ');
        in_.resize(recno, 0);
    }
    if (in_[recno - 1]) set_.erase(recno);  // found through the old key
    std::memcpy(keys_.data() + size_t{recno - 1} * def_.width, key.data(), def_.width);
    in_[recno - 1] = in ? 1 : 0;
    if (in) set_.insert(recno);
}

Order::Iter Order::Position(uint32_t recno) const {
    if (Contains(recno)) return set_.find(recno);
    if (recno < 1 || recno > in_.size()) return set_.end();
    return set_.lower_bound(Probe{std::string_view(reinterpret_cast<const char*>(KeyOf(recno)), def_.width), recno});
}

}  // namespace rdd::idx
