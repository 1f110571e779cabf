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
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The text as one unit per character: a well-formed UTF-8 sequence becomes
// its code point; a byte that starts none (a stray continuation byte, a
// truncated or overlong sequence, text of another code page) stands alone,
// as a unit above every code point, so it matches only itself.
std::u32string Characters(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80                 ? 1
                     : b >= 0xC2 && b <= 0xDF ? 2
                     : b >= 0xE0 && b <= 0xEF ? 3
                     : b >= 0xF0 && b <= 0xF4 ? 4
                                              : 0;
        char32_t cp = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!ok) {
            out.push_back(static_cast<char32_t>(0x110000 + b));
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

std::string KeyText(const rt::Usual& k) {
    if (k.IsString()) return k.AsStr();
    if (k.IsDate()) return rt::DToS(k.AsDate());
    if (k.IsNil()) return {};
    return rt::AsString(k);
}

}  // namespace

bool WildMatch(std::string_view value, std::string_view pattern) {
    const bool ascii = Ascii(value) && Ascii(pattern);
    std::u32string v, p;
    if (!ascii) {
        v = Characters(value);
        p = Characters(pattern);
    }
    if ((ascii ? value.size() : v.size()) > kMaxLen || (ascii ? pattern.size() : p.size()) > kMaxLen) {
        auto e = rt::MakeError(rt::kGenNumOverflow, "WILDMATCH");
        e->Description = "a text longer than 65535 characters cannot be matched";
        e->CanDefault = true;
        rt::RaiseError(e);
        return false;
    }
    return ascii ? Match<char>(value, pattern) : Match<char32_t>(v, p);
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
