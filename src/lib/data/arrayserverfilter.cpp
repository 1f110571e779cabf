// ArrayServer: the filter, seek and sort.
#include <algorithm>
#include <numeric>

#include "lib/data/arrayserver.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"

namespace lib {

using rt::Usual;

// ---- filter, seek, sort ----------------------------------------------------

// Puts a filter in place (or takes it away) and goes to the first visible
// row. A filter that raises while the first row is judged is taken back,
// with the position it found: the server stays as it was.
bool ArrayServer::ChangeFilter(const Usual& block, const std::string& text, bool active) {
    WriteBack();
    // Taken back unless the new filter found its first row.
    struct Undo {
        ArrayServer& s;
        Usual block;
        std::string text;
        bool active, eof, bof;
        uint32_t recno;
        bool done = false;
        ~Undo() {
            if (done) return;
            s.filterBlock_ = block;
            s.filterText_ = text;
            s.filterActive_ = active;
            s.eof_ = eof;
            s.bof_ = bof;
            s.recno_ = recno;
        }
    } undo{*this, filterBlock_, filterText_, filterActive_, eof_, bof_, recno_};
    {
        Quiet quiet(*this);
        filterBlock_ = block;
        filterText_ = text;
        filterActive_ = active;
        // Row 1 is passed over when it is hidden for either reason, as GOTOP does.
        FirstVisible();
        if (!eof_) LoadCopy();
        undo.done = true;
    }
    Notify(rdd::kNotifyGoTop);
    return filterActive_;
}

bool ArrayServer::SetFilter(const Usual& block, const Usual& text) {
    if (!Guard()) return filterActive_;
    return ChangeFilter(block, text.AsStr(), true);
}

bool ArrayServer::ClearFilter() {
    if (!Guard()) return !filterActive_;
    return !ChangeFilter(Usual(), std::string(), false);
}

// A filter text names fields of this server; the block judges the row at
// the current record number, the one navigation is deciding on. A name that
// is neither a field, nor a session variable, nor a field of the current
// work area is refused here, with an Error like a syntax fault, rather than
// at the first row judged: NIL then, and the filter stays as it was.
Usual ArrayServer::FieldBindingBlock(const std::string& text) {
    std::weak_ptr<rt::Object> weak = weak_from_this();
    std::vector<std::pair<std::string, std::string>> unknown;
    rt::FieldLookup fields = [this, weak, &unknown](std::string_view alias,
                                                    std::string_view name) -> std::optional<rt::FieldBinding> {
        int64_t pos = alias.empty() ? FieldPos(Usual(rt::Symbol(name))) : 0;
        if (pos == 0) {
            unknown.emplace_back(alias, name);
            return std::nullopt;
        }
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
    Usual block = rt::CompileBlock("{||" + text + "}", fields);
    if (!block.IsCodeBlock()) return block;
    rt::FieldLookup area = rt::CurrentFieldLookup();
    for (const auto& [alias, name] : unknown) {
        if (area && area(alias, name)) continue;
        std::string shown = alias.empty() ? name : alias + "->" + name;
        auto e = rt::MakeError(rt::kGenNoVar, "FILTER");
        e->Description = shown + " is neither a field of the server nor a variable";
        e->CanDefault = true;
        rt::RaiseError(e);
        return Usual();
    }
    return block;
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
    WriteBack();
    {
        Quiet quiet(*this);
        auto& rows = *rows_.AsArray();
        auto key = [&](size_t i) -> Usual {
            const Usual& r = rows[i];
            return static_cast<size_t>(pos) <= r.ALen() ? r.At(static_cast<size_t>(pos)) : Usual();
        };
        std::vector<size_t> order(rows.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return rt::Compare(key(a), key(b)) < 0; });
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
    }
    Notify(rdd::kNotifyGoTop);
    return true;
}

}  // namespace lib
