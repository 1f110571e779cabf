// One index order in memory: the key of every record and the records that
// pass the order's condition, sorted by key and then record number.
//
// The keys live in one flat array (record n at (n - 1) * width); the sorted
// set holds record numbers only and compares through that array, so an
// entry costs a set node and its key bytes. A record's key is changed by
// taking its number out of the set, writing the new key, and putting it back.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rdd/indexkey.h"
#include "platform/runtime/usual.h"

namespace rdd::idx {

// What an order is made of, as the index file keeps it.
struct OrderDef {
    std::string name;     // upper case
    std::string keyText;  // the key expression as written
    std::string forText;  // the condition; empty for none
    KeyType type = KeyType::kChar;
    uint32_t width = 0;
};

class Order {
public:
    explicit Order(OrderDef def);
    Order(const Order&) = delete;  // the set's comparator points at its order
    Order& operator=(const Order&) = delete;

    const OrderDef& Def() const { return def_; }
    size_t Width() const { return def_.width; }
    // Number of keys in the order (records that pass the condition).
    size_t KeyCount() const { return set_.size(); }
    // Number of records the order knows of.
    uint32_t RecordCount() const { return static_cast<uint32_t>(in_.size()); }

    // Compiled key and condition (code blocks); nil until compiled.
    rt::Usual keyBlock;
    rt::Usual forBlock;

    // Empties the order and makes room for `count` records.
    void Reset(uint32_t count);
    // During a build: record `recno` has this key (width bytes) and passes
    // the condition or not. Finish sorts what was set.
    void SetDuringBuild(uint32_t recno, const std::string& key, bool in);
    void FinishBuild();
    // Loads sorted entries as written in the index file: FALSE when they are
    // not sorted or name a record twice or out of range.
    [[nodiscard]] bool LoadSorted(uint32_t count, const uint8_t* entries, size_t n);

    // Sets the key of a record (appending when recno is one past the end).
    void Update(uint32_t recno, const std::string& key, bool in);

    bool Contains(uint32_t recno) const { return recno >= 1 && recno <= in_.size() && in_[recno - 1]; }
    const uint8_t* KeyOf(uint32_t recno) const { return keys_.data() + size_t{recno - 1} * def_.width; }

    // The sorted entries: record numbers in key order.
    struct Probe {
        std::string_view bytes;
        uint32_t recno;
    };
    struct Less {
        using is_transparent = void;
        const Order* order;
        int Cmp(uint32_t a, const Probe& b) const;
        bool operator()(uint32_t a, uint32_t b) const;
        bool operator()(uint32_t a, const Probe& b) const { return Cmp(a, b) < 0; }
        bool operator()(const Probe& a, uint32_t b) const { return Cmp(b, a) > 0; }
    };
    using Set = std::set<uint32_t, Less>;
    using Iter = Set::const_iterator;
    Iter Begin() const { return set_.begin(); }
    Iter End() const { return set_.end(); }
    // The first entry whose key is not below `bytes` (any length).
    Iter LowerBound(std::string_view bytes) const { return set_.lower_bound(Probe{bytes, 0}); }
    // The entry of a record, or where it would be (its key, its number).
    Iter Position(uint32_t recno) const;
    bool StartsWith(uint32_t recno, std::string_view prefix) const {
        return prefix.size() <= def_.width && std::memcmp(KeyOf(recno), prefix.data(), prefix.size()) == 0;
    }

private:
    OrderDef def_;
    std::vector<uint8_t> keys_;
    std::vector<uint8_t> in_;
    Set set_;
};

}  // namespace rdd::idx
