#include "lib/data/wildcard.h"

#include <string>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"

namespace lib {
namespace {

constexpr size_t kMaxLen = 65535;  // lengths are 16-bit unsigned numbers

// Greedy two-pointer match (docs/wildcard.md proves it gives the answers of
// the recursive definition). On a mismatch only the most recent star is
// widened by one character: an earlier star never needs to take more.
bool Match(std::string_view v, std::string_view p) {
    size_t i = 0, j = 0;
    size_t star = std::string_view::npos, mark = 0;
    while (i < v.size()) {
        if (j < p.size() && p[j] == '*') {
            star = j++;
            mark = i;
        } else if (j < p.size() && (p[j] == '?' || p[j] == v[i])) {
            ++i;
            ++j;
        } else if (star != std::string_view::npos) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < p.size() && p[j] == '*') ++j;
    return j == p.size();
}

std::string KeyText(const rt::Usual& k) {
    if (k.IsString()) return k.AsStr();
    if (k.IsDate()) return rt::DToS(k.AsDate());
    if (k.IsNil()) return {};
    return rt::AsString(k);
}

}  // namespace

bool WildMatch(std::string_view value, std::string_view pattern) {
    if (value.size() > kMaxLen || pattern.size() > kMaxLen) {
        auto e = rt::MakeError(rt::kGenNumOverflow, "WILDMATCH");
        e->Description = "a text longer than 65535 characters cannot be matched";
        e->CanDefault = true;
        rt::RaiseError(e);
        return false;
    }
    return Match(value, pattern);
}

int64_t WildPos(std::string_view pattern) {
    size_t star = pattern.find('*');
    int64_t s = star == std::string_view::npos ? 0 : static_cast<int64_t>(star) + 1;
    if (s != 1) {
        size_t q = pattern.find('?');
        if (q != std::string_view::npos && static_cast<int64_t>(q) + 1 < s) return static_cast<int64_t>(q) + 1;
    }
    return s;
}

bool WildSeek(rt::DBServer& db, const rt::Usual& key) {
    db.Notify(rt::kNotifyIntentToMove);
    db.SuspendNotification();
    bool found = false;
    const int64_t n = key.IsString() ? WildPos(key.AsStr()) : 0;
    if (n > 0) {
        const std::string& pattern = key.AsStr();
        const std::string prefix = pattern.substr(0, static_cast<size_t>(n - 1));
        // With no order selected the seek raises the table's own error.
        found = n == 1 && db.OrderNumber() > 0 ? db.GoTop() : db.Seek(rt::Usual(prefix), rt::Usual());
        if (found) {
            std::string k = KeyText(db.OrderKeyVal());
            for (;;) {
                if (db.Eof()) {
                    found = false;  // an empty order holds no match
                    break;
                }
                found = WildMatch(k, pattern);
                if (found || k.compare(0, prefix.size(), prefix) != 0) break;
                if (!db.Skip(rt::Usual(1))) break;
                k = KeyText(db.OrderKeyVal());
            }
        }
    } else {
        found = db.Seek(key, rt::Usual());
    }
    db.Notify(rt::kNotifyRecordChange);
    db.ResetNotification();
    db.Refresh();
    return found;
}

const rt::ClassDef& FilterBlock::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FilterBlock>("FILTERBLOCK")
                                       .Method<&FilterBlock::Init>("INIT")
                                       .Method<&FilterBlock::Eval>("EVAL")
                                       .Method<&FilterBlock::Destroy>("DESTROY")
                                       .RawMethod("AXIT",
                                                  [](rt::Object& o, rt::Args) {
                                                      static_cast<FilterBlock&>(o).Destroy();
                                                      return rt::Usual();
                                                  })
                                       .IVar<&FilterBlock::odb>("ODB")
                                       .IVar<&FilterBlock::bexpr>("BEXPR")
                                       .Done();
    return c;
}

rt::ObjectRef FilterBlock::Init(const rt::Usual& server, const rt::Usual& condition) {
    odb = server;
    bexpr = condition;
    RegisterAxit();
    return Self();
}

rt::Usual FilterBlock::Eval() {
    if (!bexpr.IsCodeBlock()) return rt::Usual();
    return bexpr.Eval({odb});
}

void FilterBlock::Destroy() {
    odb = rt::Usual();
    bexpr = rt::Usual();
}

void RegisterWildcard() {
    static const bool done = [] {
        FilterBlock::StaticClass();
        rt::ExtendClass(rt::DBServer::StaticClass(), rt::Symbol("WILDSEEK"), [](rt::Object& o, rt::Args a) {
            return rt::Usual(WildSeek(static_cast<rt::DBServer&>(o), a.empty() ? rt::Usual() : a[0]));
        });
        return true;
    }();
    (void)done;
}

}  // namespace lib
