#include "platform/grid/rowmap.h"

#include <algorithm>

namespace grid {

void RowMap::ShowAll(uint32_t count) {
    filtered_ = false;
    count_ = count;
    std::vector<uint32_t>().swap(shown_);
}

void RowMap::ShowOnly(std::vector<uint32_t> shown, uint32_t count) {
    filtered_ = true;
    count_ = count;
    shown_ = std::move(shown);
    // Defensive: a caller's list that is out of order or out of range would
    // make the binary searches lie.
    if (!std::is_sorted(shown_.begin(), shown_.end())) std::sort(shown_.begin(), shown_.end());
    shown_.erase(std::unique(shown_.begin(), shown_.end()), shown_.end());
    shown_.erase(std::upper_bound(shown_.begin(), shown_.end(), count_), shown_.end());
    shown_.erase(shown_.begin(), std::upper_bound(shown_.begin(), shown_.end(), 0u));
}

uint32_t RowMap::RecordOf(int64_t row) const {
    if (row < 0 || row >= Rows()) return 0;
    return filtered_ ? shown_[static_cast<size_t>(row)] : static_cast<uint32_t>(row + 1);
}

int64_t RowMap::RowOf(uint32_t recno) const {
    if (recno < 1 || recno > count_) return -1;
    if (!filtered_) return int64_t{recno} - 1;
    auto it = std::lower_bound(shown_.begin(), shown_.end(), recno);
    if (it == shown_.end() || *it != recno) return -1;
    return it - shown_.begin();
}

int64_t RowMap::NearestRow(uint32_t recno) const {
    const int64_t rows = Rows();
    if (rows == 0) return -1;
    if (recno < 1) return 0;
    if (!filtered_) return std::min<int64_t>(recno, rows) - 1;
    auto it = std::lower_bound(shown_.begin(), shown_.end(), recno);
    return std::min<int64_t>(it - shown_.begin(), rows - 1);
}

int64_t RowMap::Extend(uint32_t newCount, const std::vector<uint32_t>& shownNew) {
    if (newCount <= count_) return 0;
    const uint32_t oldCount = count_;
    count_ = newCount;
    if (!filtered_) return int64_t{newCount} - oldCount;
    size_t before = shown_.size();
    for (uint32_t r : shownNew)
        if (r > oldCount && r <= newCount && (shown_.empty() || r > shown_.back())) shown_.push_back(r);
    return static_cast<int64_t>(shown_.size() - before);
}

int64_t RowMap::Hide(uint32_t recno) {
    if (!filtered_) return -1;
    int64_t row = RowOf(recno);
    if (row >= 0) shown_.erase(shown_.begin() + row);
    return row;
}

int64_t RowMap::Unhide(uint32_t recno) {
    if (!filtered_ || recno < 1 || recno > count_) return -1;
    auto it = std::lower_bound(shown_.begin(), shown_.end(), recno);
    if (it != shown_.end() && *it == recno) return -1;
    return shown_.insert(it, recno) - shown_.begin();
}

}  // namespace grid
