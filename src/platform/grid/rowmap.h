// The rows a grid shows, as record numbers: row r (0-based) shows record
// RecordOf(r). While nothing is hidden the map is the identity and holds no
// storage; while deleted records are hidden it holds the ascending list of
// the shown record numbers (4 bytes a row), found by binary search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace grid {

class RowMap {
public:
    // Every record 1..count is a row.
    void ShowAll(uint32_t count);
    // Only `shown` (ascending, each within 1..count) are rows.
    void ShowOnly(std::vector<uint32_t> shown, uint32_t count);

    bool Filtered() const { return filtered_; }
    // The records the map covers: 1..Records().
    uint32_t Records() const { return count_; }
    int64_t Rows() const { return filtered_ ? static_cast<int64_t>(shown_.size()) : count_; }

    // The record of a row; 0 for a row outside the map.
    uint32_t RecordOf(int64_t row) const;
    // The row of a record; -1 when the record is not shown.
    int64_t RowOf(uint32_t recno) const;
    // The row of the record, or of the first shown record after it, or the
    // last row when none follows; -1 for an empty map.
    int64_t NearestRow(uint32_t recno) const;

    // Records Records()+1..newCount were added; of those, `shownNew`
    // (ascending) are shown (ignored while nothing is hidden). Returns the
    // number of rows added at the end.
    int64_t Extend(uint32_t newCount, const std::vector<uint32_t>& shownNew);
    // Stops showing a record (it was deleted). Returns the row it had, -1
    // when it was not shown or nothing is hidden.
    int64_t Hide(uint32_t recno);
    // Shows a hidden record again. Returns its new row, -1 when it was
    // shown already, lies outside the map or nothing is hidden.
    int64_t Unhide(uint32_t recno);

    // Heap bytes the map holds.
    size_t MemoryBytes() const { return shown_.capacity() * sizeof(uint32_t); }

private:
    bool filtered_ = false;
    uint32_t count_ = 0;
    std::vector<uint32_t> shown_;
};

}  // namespace grid
