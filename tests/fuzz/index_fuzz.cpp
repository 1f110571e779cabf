// libFuzzer target for the index files: the input after its first byte is
// an index file opened with a small valid table, as the table's own file or
// (bit 3 of byte 0) added with OrderListAdd; bit 2 opens the table
// read-only. So that the fuzzer gets past the checksums, bit 0 writes the
// file's header, section and journal checksums right, and bit 1 gives the
// snapshot and every journal entry the table's stamp.
//
// The file must open, or be refused or set aside with a reason, never
// crash. Every order must then walk forwards and backwards within bounds,
// in key order, through exactly its keys, and every key must be found by
// Seek. Where the fuzzer cannot have made wrong keys look right (bit 0
// clear: a changed key breaks its checksum), orders of plain expressions
// must be what a rebuild from the table gives, and Seek must find each key.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/indexfile.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/memvar.h"

namespace {

using rt::Usual;

constexpr size_t kMaxOrdersChecked = 64;

std::vector<std::string>& Errors() {
    static std::vector<std::string> seen;
    return seen;
}

struct Fixture {
    std::vector<uint8_t> table;  // the table file's bytes
    rdd::idx::Stamp stamp;       // and its stamp
};

Usual Field(const char* name, const char* type, int width, int dec = 0) {
    return Usual::Array({Usual(name), Usual(type), Usual(width), Usual(dec)});
}

Fixture Setup() {
    rt::ErrorBlock(Usual::Block([](rt::Args a) {
        auto e = std::dynamic_pointer_cast<rt::Error>(a[0].AsObject());
        Errors().push_back(e ? e->Description : std::string());
        return Usual(false);
    }));
    const std::string path = fuzz::PathOf("t.dbf");
    Usual structure = Usual::Array({Field("NAME", "C", 8), Field("PRICE", "N", 8, 2), Field("COUNT", "N", 5),
                                    Field("DAY", "D", 8), Field("OK", "L", 1)});
    if (!rdd::DBCreate(path, structure).AsLogic()) std::abort();
    {
        auto db = rt::New<rdd::DBServer>(Usual(path), Usual(false), Usual(false));
        const char* names[] = {"pear", "Apple", "fig", "apple", "date", "kiwi"};
        for (int i = 0; i < 6; ++i) {
            db->Append();
            db->FieldPut(Usual("NAME"), Usual(names[i]));
            db->FieldPut(Usual("PRICE"), Usual(i * -1.5));
            db->FieldPut(Usual("COUNT"), Usual(int64_t{(i * 7) % 5}));
            db->FieldPut(Usual("DAY"), Usual(rt::MakeDate(2024, 1, 1 + i)));
            db->FieldPut(Usual("OK"), Usual(i % 2 == 1));
        }
        db->Close();
    }
    Fixture fx;
    rdd::dbf::Fault f;
    auto t = rdd::dbf::Table::Open(path, rdd::dbf::OpenMode{false, true, 1}, f);
    if (!t) std::abort();
    std::vector<uint8_t> rec(t->RecordLen());
    fx.stamp.count = t->Count();
    for (uint32_t r = 1; r <= t->Count(); ++r) {
        if (t->Read(r, rec.data())) std::abort();
        fx.stamp.checksum ^= rdd::idx::RecordHash(r, rec.data(), rec.size());
    }
    t.reset();
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) std::abort();
    for (int c; (c = std::fgetc(in)) != EOF;) fx.table.push_back(static_cast<uint8_t>(c));
    std::fclose(in);
    Errors().clear();
    return fx;
}

uint32_t Get32(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutStamp(uint8_t* p, rdd::idx::Stamp s) {
    Put32(p, s.count);
    Put32(p + 4, static_cast<uint32_t>(s.checksum));
    Put32(p + 8, static_cast<uint32_t>(s.checksum >> 32));
}

// Makes the checksums (and, with `stamp`, the stamps) of an index file
// right, as far as its lengths allow (docs/indexes.md has the layout).
void Forge(std::vector<uint8_t>& b, bool crcs, const rdd::idx::Stamp* stamp) {
    using rdd::idx::Crc32;
    if (b.size() < 64) return;
    const uint64_t defLen = Get32(&b[20]), entLen = Get32(&b[24]);
    if (stamp) PutStamp(&b[36], *stamp);
    if (crcs && 64 + defLen <= b.size()) Put32(&b[28], Crc32(&b[64], defLen));
    if (crcs && 64 + defLen + entLen <= b.size()) Put32(&b[32], Crc32(&b[64 + defLen], entLen));
    if (crcs) Put32(&b[12], Crc32(&b[16], 48, Crc32(&b[0], 12)));
    for (uint64_t at = 64 + defLen + entLen; at + 4 <= b.size();) {
        const uint64_t body = Get32(&b[at]);
        if (body < 16 || at + 8 + body > b.size()) break;
        if (stamp) PutStamp(&b[at + 8], *stamp);
        if (crcs) Put32(&b[at + 4 + body], Crc32(&b[at + 4], body));
        at += 8 + body;
    }
}

// Whether an expression only reads this table's fields through a few pure
// functions (so a rebuild must give the same keys).
bool Plain(const std::string& text) {
    static const char* const kWords[] = {"NAME", "PRICE", "COUNT",   "DAY",    "OK",   "UPPER", "LOWER", "STR",
                                         "DTOS", "LEFT",  "RIGHT",   "SUBSTR", "TRIM", "RTRIM", "RECNO", "IIF",
                                         "VAL",  "LEN",   "DELETED", "T",      "F",    "AND",   "OR",    "NOT"};
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalpha(c) || c == '_') {
            size_t j = i;
            std::string word;
            while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
                word += static_cast<char>(std::toupper(static_cast<unsigned char>(text[j++])));
            if (std::none_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return word == w; }))
                return false;
            i = j;
        } else if (std::isdigit(c) || std::strchr(" +-*/()<>=!.,'\"", c)) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// The record numbers of an order, top to bottom, checked on the way.
std::vector<uint32_t> Walk(rdd::DBServer& db, const rdd::idx::Order& o, uint32_t count) {
    std::vector<uint32_t> fwd, back;
    for (db.GoTop(); !db.Eof() && fwd.size() <= count; db.Skip(Usual(1)))
        fwd.push_back(static_cast<uint32_t>(db.RecNo()));
    db.GoBottom();
    while (!db.Eof() && back.size() <= count) {
        back.push_back(static_cast<uint32_t>(db.RecNo()));
        db.Skip(Usual(-1));
        if (db.Bof()) break;  // a step back from the first stays there
    }
    std::reverse(back.begin(), back.end());
    FUZZ_CHECK(fwd == back && fwd.size() == o.KeyCount());
    for (size_t i = 0; i < fwd.size(); ++i) {
        FUZZ_CHECK(o.Contains(fwd[i]) && fwd[i] <= count);
        FUZZ_CHECK(i == 0 || rdd::idx::Order::Less{&o}(fwd[i - 1], fwd[i]));
    }
    return fwd;
}

// The key bytes of the order's entries, in order.
std::vector<uint8_t> Keys(const rdd::idx::Order& o) {
    std::vector<uint8_t> keys;
    for (auto it = o.Begin(); it != o.End(); ++it) keys.insert(keys.end(), o.KeyOf(*it), o.KeyOf(*it) + o.Width());
    return keys;
}

// Every key of the order is found by Seek, on a record with that key.
void SeekEach(rdd::DBServer& db, const rdd::idx::Order& o, const std::vector<uint32_t>& recs, bool mustFind) {
    for (uint32_t r : recs) {
        db.GoTo(r);
        db.Seek(db.OrderKeyVal(), Usual(false));
        if (!mustFind) continue;
        FUZZ_CHECK(db.Found() && !db.Eof());
        FUZZ_CHECK(std::memcmp(o.KeyOf(static_cast<uint32_t>(db.RecNo())), o.KeyOf(r), o.Width()) == 0);
    }
}

// A refusal or a file set aside says why; a file that opens without orders
// is one that holds none.
void CheckRefusals(const rdd::DBServer& db, const std::string& path) {
    for (const std::string& why : Errors()) FUZZ_CHECK(!why.empty());
    if (db.OrderCount() > 0 || !Errors().empty() || !db.Orders()->Notes().empty()) return;
    rdd::dbf::Fault f;
    bool damaged = false;
    auto file = rdd::idx::IndexFile::Open(path, false, f, damaged);
    FUZZ_CHECK(file && file->Defs().empty());
}

void Check(rdd::DBServer& db, const std::string& indexPath, bool forged, bool readOnly) {
    CheckRefusals(db, indexPath);
    const uint32_t count = static_cast<uint32_t>(db.LastRec());
    const size_t n = std::min<size_t>(static_cast<size_t>(db.OrderCount()), kMaxOrdersChecked);
    std::vector<std::vector<uint32_t>> walks;
    std::vector<std::vector<uint8_t>> keys;
    bool plain = true;
    for (size_t i = 1; i <= n; ++i) {
        const rdd::idx::Order* o = db.Orders()->At(i);
        FUZZ_CHECK(o && db.SetOrder(Usual(static_cast<int64_t>(i))));
        const bool mine = Plain(o->Def().keyText) && Plain(o->Def().forText);
        plain = plain && mine;
        walks.push_back(Walk(db, *o, count));
        SeekEach(db, *o, walks.back(), mine && !forged);
        keys.push_back(Keys(*o));
    }
    if (readOnly || forged || !plain || n == 0) return;
    // Built from the table: a rebuild changes nothing.
    if (!db.Reindex()) return;
    for (size_t i = 1; i <= n; ++i) {
        const rdd::idx::Order* o = db.Orders()->At(i);
        FUZZ_CHECK(db.SetOrder(Usual(static_cast<int64_t>(i))));
        FUZZ_CHECK(Walk(db, *o, count) == walks[i - 1]);
        FUZZ_CHECK(Keys(*o) == keys[i - 1]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Fixture fx = Setup();
    if (size < 1) return 0;
    const bool crcs = data[0] & 1, stamp = data[0] & 2, readOnly = data[0] & 4, added = data[0] & 8;
    std::vector<uint8_t> file(data + 1, data + size);
    if (crcs || stamp) Forge(file, crcs, stamp ? &fx.stamp : nullptr);
    fuzz::ClearFolder();
    fuzz::PutFile("t.dbf", fx.table.data(), fx.table.size());
    const std::string name = added ? "x.qzx" : "t.qzx";
    fuzz::PutFile(name, file.data(), file.size());
    {
        rt::EvalBudget budget({200000, 16u << 20});
        auto db = rt::New<rdd::DBServer>(Usual(fuzz::PathOf("t.dbf")), Usual(false), Usual(readOnly));
        FUZZ_CHECK(db->Used());  // the table is sound; only its orders may be refused
        if (added) db->OrderListAdd(Usual(fuzz::PathOf(name)));
        Check(*db, fuzz::PathOf(name), crcs, readOnly);
        db->Close();
    }
    rdd::RDDCloseAll();
    rt::MemVarClearAll();
    Errors().clear();
    return 0;
}
