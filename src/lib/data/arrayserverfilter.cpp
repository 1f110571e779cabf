// ArrayServer: the filter, seek and sort.
#include <algorithm>
#include <numeric>

#include "lib/data/arrayserver.h"
#include "platform/runtime/macro.h"

namespace lib {

using rt::Usual;

// ---- filter, seek, sort ----------------------------------------------------

bool ArrayServer::SetFilter(const Usual& block, const Usual& text) {
    if (!Guard()) return filterActive_;
    SuspendNotification();
    WriteBack();
    filterBlock_ = block;
    filterText_ = text.AsStr();
    filterActive_ = true;
    // Row 1 is passed over when it is hidden for either reason, as GOTOP does.
    FirstVisible();
    if (!eof_) LoadCopy();
    ResetNotification();
    Notify(rdd::kNotifyGoTop);
    return filterActive_;
}

bool ArrayServer::ClearFilter() {
    if (!Guard()) return !filterActive_;
    SuspendNotification();
    WriteBack();
    filterBlock_ = Usual();
    filterText_.clear();
    filterActive_ = false;
    FirstVisible();
    if (!eof_) LoadCopy();
    ResetNotification();
    Notify(rdd::kNotifyGoTop);
    return !filterActive_;
}

// A filter text names fields of this server; the block judges the row at
// the current record number, the one navigation is deciding on.
Usual ArrayServer::FieldBindingBlock(const std::string& text) {
    std::weak_ptr<rt::Object> weak = weak_from_this();
    rt::FieldLookup fields = [this, weak](std::string_view alias,
                                          std::string_view name) -> std::optional<rt::FieldBinding> {
        if (!alias.empty()) return std::nullopt;
        int64_t pos = FieldPos(Usual(rt::Symbol(name)));
        if (pos == 0) return std::nullopt;
        rt::FieldBinding b;
        b.get = [weak, pos]() -> Usual {
            auto self = std::static_pointer_cast<ArrayServer>(weak.lock());
            if (!self) return Usual();
            auto row = self->RowAt(self->recno_);
            if (!row || static_cast<size_t>(pos) > row->size()) return self->DefaultValue(Usual(pos));
            return (*row)[static_cast<size_t>(pos - 1)];
        };
        return b;
    };
    return rt::CompileBlock("{||" + text + "}", fields);
}

std::string ArrayServer::SetFilterText(const Usual& filter) {
    if (filter.IsString()) {
        Usual block = FieldBindingBlock(filter.AsStr());
        if (block.IsCodeBlock()) SetFilter(block, filter);
    } else if (filter.IsCodeBlock()) {
        SetFilter(filter, Usual(std::string()));
    }
    return filterText_;
}

bool ArrayServer::Seek(const Usual& key) {
    if (!Guard()) return !eof_;
    WriteBack();
    uint32_t found = 0;
    for (uint32_t i = 1; i <= count_ && found == 0; ++i) {
        const Usual& row = rows_.At(i);
        bool hit;
        if (key.IsCodeBlock()) {
            Usual v = key.Eval({row});
            hit = v.IsLogic() && v.AsLogic();
        } else {
            hit = row.ALen() >= 1 && rt::NonExactEquals(row.At(1), key);
        }
        if (hit) found = i;
    }
    if (found == 0) {
        recno_ = count_ + 1;
        eof_ = true;
    } else {
        recno_ = found;
        while (recno_ <= count_ && Hidden()) ++recno_;
        if (recno_ > count_) {
            recno_ = count_ + 1;
            eof_ = true;
        } else {
            eof_ = bof_ = false;
            LoadCopy();
        }
    }
    Notify(rdd::kNotifyRecordChange);
    return !eof_;
}

bool ArrayServer::Sort(const Usual& field) {
    if (!Guard()) return true;
    int64_t pos = FieldPos(field);
    if (pos <= 0) return true;
    SuspendNotification();
    WriteBack();
    auto& rows = *rows_.AsArray();
    auto key = [&](size_t i) -> Usual {
        const Usual& r = rows[i];
        return static_cast<size_t>(pos) <= r.ALen() ? r.At(static_cast<size_t>(pos)) : Usual();
    };
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rt::Compare(key(a), key(b)) < 0; });
    // The deletion flags travel with their rows.
    std::vector<Usual> sorted;
    std::vector<bool> flags;
    sorted.reserve(rows.size());
    for (size_t i : order) {
        sorted.push_back(rows[i]);
        flags.push_back(i < deleted_.size() && deleted_[i]);
    }
    rows = std::move(sorted);
    deleted_ = std::move(flags);
    FirstVisible();
    if (!eof_) LoadCopy();
    ResetNotification();
    Notify(rdd::kNotifyGoTop);
    return true;
}

}  // namespace lib
