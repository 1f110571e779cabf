#include "lib/data/wildcard.h"

#include <string>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/numbers.h"

namespace lib {
namespace {

constexpr size_t kMaxLen = 65535;  // lengths are 16-bit unsigned numbers

// The matcher works on characters: bytes when the texts are plain ASCII,
// else one 32-bit unit per UTF-8 character (see Characters).
template <class C>
using View = std::basic_string_view<C>;

// Whether segment `seg` (no "*"; "?" matches any character) matches the
// text at `at` (the text holds at least seg.size() characters there).
template <class C>
bool SegmentAt(View<C> v, size_t at, View<C> seg) {
    for (size_t k = 0; k < seg.size(); ++k)
        if (seg[k] != C('?') && seg[k] != v[at + k]) return false;
    return true;
}

// The leftmost position >= from at which the segment matches and ends by
// `limit`; npos when none.
template <class C>
size_t FindSegment(View<C> v, size_t from, size_t limit, View<C> seg) {
    if (seg.size() > limit || from > limit - seg.size()) return View<C>::npos;
    if (seg.find(C('?')) == View<C>::npos) return v.substr(0, limit).find(seg, from);
    for (size_t at = from; at + seg.size() <= limit; ++at)
        if (SegmentAt(v, at, seg)) return at;
    return View<C>::npos;
}

// The pattern as segments between runs of stars (docs/wildcard.md proves
// that this gives the answers of the recursive definition): the first
// segment must start the text, the last must end it, and each one between
// is placed at its leftmost place after the one before. Leftmost is never
// worse: whatever fits after a later place fits after an earlier one.
template <class C>
bool Match(View<C> v, View<C> p) {
    size_t star = p.find(C('*'));
    if (star == View<C>::npos) return v.size() == p.size() && SegmentAt(v, 0, p);
    View<C> head = p.substr(0, star);
    size_t lastStar = p.rfind(C('*'));
    View<C> tail = p.substr(lastStar + 1);
    if (head.size() + tail.size() > v.size()) return false;
    if (!SegmentAt(v, 0, head) || !SegmentAt(v, v.size() - tail.size(), tail)) return false;
    size_t pos = head.size();
    const size_t limit = v.size() - tail.size();
    size_t i = star;
    while (i < lastStar) {
        while (i < lastStar && p[i] == C('*')) ++i;
        if (i >= lastStar) break;
        size_t end = p.find(C('*'), i);
        View<C> seg = p.substr(i, end - i);
        size_t at = FindSegment(v, pos, limit, seg);
        if (at == View<C>::npos) return false;
        pos = at + seg.size();
        i = end;
    }
    return true;
}

bool Ascii(std::string_view s) {
    unsigned char any = 0;  // no early exit: the loop vectorises
    for (unsigned char c : s) any |= c;
    return any < 0x80;
}

// The text as one unit per character: a well-formed UTF-8 sequence becomes
// its code point; a byte that starts none (a stray continuation byte, a
// truncated or overlong sequence, text of another code page) stands alone,
// as a unit above every code point, so it matches only itself.
std::u32string Characters(std::string_view s) {
    std::u32string out(s.size(), U'\0');
    size_t n = 0;
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    auto cont = [&](size_t k) { return k < s.size() && (at(k) & 0xC0) == 0x80; };
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = at(i);
        char32_t cp = b;
        size_t len = 1;
        if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
            cp = (b & 0x1Fu) << 6 | (at(i + 1) & 0x3Fu);
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
            cp = (b & 0x0Fu) << 12 | (at(i + 1) & 0x3Fu) << 6 | (at(i + 2) & 0x3Fu);
            len = 3;
        } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = (b & 0x07u) << 18 | (at(i + 1) & 0x3Fu) << 12 | (at(i + 2) & 0x3Fu) << 6 | (at(i + 3) & 0x3Fu);
            len = 4;
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        if (b >= 0x80 && (len == 1 || (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                          (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
            cp = 0x110000 + b;
            len = 1;
        }
        out[n++] = cp;
        i += len;
    }
    out.resize(n);
    return out;
}

// Whether every byte of the text belongs to a well-formed UTF-8 character.
bool WellFormed(std::string_view s) {
    if (Ascii(s)) return true;
    for (char32_t c : Characters(s))
        if (c >= 0x110000) return false;
    return true;
}

std::string KeyText(const rt::Usual& k) {
    if (k.IsString()) return k.AsStr();
    if (k.IsDate()) return rt::DToS(k.AsDate());
    if (k.IsNil()) return {};
    return rt::AsString(k);
}

}  // namespace

// Bytes serve as characters when both texts are ASCII, and also when the
// pattern has no "?" and is well-formed UTF-8: its literal runs are then
// whole characters, which (UTF-8 being self-synchronising) match the value's
// bytes exactly where they match its characters, and "*" spans whatever
// lies between.
bool WildMatch(std::string_view value, std::string_view pattern) {
    const bool bytes = pattern.find('?') == std::string_view::npos ? WellFormed(pattern)
                                                                   : Ascii(pattern) && Ascii(value);
    std::u32string v, p;
    size_t valueLen = value.size();
    if (!bytes || valueLen > kMaxLen) {
        v = Characters(value);
        valueLen = v.size();
    }
    if (!bytes) p = Characters(pattern);
    if (valueLen > kMaxLen || (bytes ? pattern.size() : p.size()) > kMaxLen) {
        auto e = rt::MakeError(rt::kGenNumOverflow, "WILDMATCH");
        e->Description = "a text longer than 65535 characters cannot be matched";
        e->CanDefault = true;
        rt::RaiseError(e);
        return false;
    }
    return bytes ? Match<char>(value, pattern) : Match<char32_t>(v, p);
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

namespace {

// The seek itself, with the clients already told and silenced.
bool SeekPattern(rdd::DBServer& db, const rt::Usual& key) {
    const int64_t n = key.IsString() ? WildPos(key.AsStr()) : 0;
    if (n <= 0) return db.Seek(key, rt::Usual());
    const std::string& pattern = key.AsStr();
    const std::string prefix = pattern.substr(0, static_cast<size_t>(n - 1));
    // With no order selected the seek raises the table's own error.
    if (!(n == 1 && db.OrderNumber() > 0 ? db.GoTop() : db.Seek(rt::Usual(prefix), rt::Usual()))) return false;
    std::string k = KeyText(db.OrderKeyVal());
    for (;;) {
        if (db.Eof()) return false;  // an empty order holds no match
        if (WildMatch(k, pattern)) return true;
        if (k.compare(0, prefix.size(), prefix) != 0) return false;
        if (!db.Skip(rt::Usual(1))) return false;
        k = KeyText(db.OrderKeyVal());
    }
}

}  // namespace

bool WildSeek(rdd::DBServer& db, const rt::Usual& key) {
    db.Notify(rdd::kNotifyIntentToMove);
    bool found;
    {
        // Resumed however the seek ends: a table error may break out of it.
        rdd::SuspendedNotifications<rdd::DataServer> quiet(db);
        found = SeekPattern(db, key);
        db.Notify(rdd::kNotifyRecordChange);
    }
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
        rt::RegisterFunction("WILDMATCH", [](rt::Args a) {
            for (size_t i = 0; i < 2; ++i)
                if (a.size() <= i || !a[i].IsString())
                    return rt::ArgFault("WILDMATCH", i + 1, a.size() > i ? a[i] : rt::Usual(), "STRING");
            return rt::Usual(WildMatch(a[0].AsStr(), a[1].AsStr()));
        });
        rt::RegisterFunction("WILDPOS", [](rt::Args a) {
            if (a.empty() || !a[0].IsString())
                return rt::ArgFault("WILDPOS", 1, a.empty() ? rt::Usual() : a[0], "STRING");
            return rt::Usual(WildPos(a[0].AsStr()));
        });
        rt::ExtendClass(rdd::DBServer::StaticClass(), rt::Symbol("WILDSEEK"), [](rt::Object& o, rt::Args a) {
            return rt::Usual(WildSeek(static_cast<rdd::DBServer&>(o), a.empty() ? rt::Usual() : a[0]));
        });
        return true;
    }();
    (void)done;
}

}  // namespace lib
