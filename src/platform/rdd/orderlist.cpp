#include "platform/rdd/orderlist.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/runtime/error.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace rdd::idx {
namespace {

constexpr uint32_t kChunk = 4096;  // records read at a time when scanning

bool Exists(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string TypeName(const rt::Usual& v) { return v.IsNil() ? std::string("NIL") : rt::TypeString(v.Type()); }

// Whether a journal entry can describe a table of `count` records: its
// record is within the count it names, and that count within the table's.
// Anything else is a damaged entry, whose record number must not size the
// keys in memory.
bool Plausible(const JournalEntry& e, uint32_t count) { return e.recno <= e.stamp.count && e.stamp.count <= count; }

std::function<void()>& BeforeLockHook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

OrderList::OrderList(dbf::Table& table, Host host) : table_(table), host_(std::move(host)) {}
OrderList::~OrderList() = default;

void OrderList::SetBeforeLockHook(std::function<void()> hook) { BeforeLockHook() = std::move(hook); }

std::string OrderList::OwnIndexPath(const std::string& tablePath) {
    size_t slash = tablePath.rfind('/');
    size_t dot = tablePath.rfind('.');
    std::string base =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? tablePath.substr(0, dot) : tablePath;
    return base + ".qzx";
}

size_t OrderList::Count() const {
    size_t n = 0;
    for (const Bag& b : bags_) n += b.orders.size();
    return n;
}

Order* OrderList::At(size_t number) const {
    for (const Bag& b : bags_) {
        if (number >= 1 && number <= b.orders.size()) return b.orders[number - 1].get();
        number -= std::min(number, b.orders.size());
    }
    return nullptr;
}

Order* OrderList::Active() const { return selected_ ? At(selected_) : nullptr; }

bool OrderList::Select(size_t number) {
    if (number > Count()) return false;
    selected_ = number;
    return true;
}

bool OrderList::Select(const std::string& name) {
    const std::string want = rt::Upper(name);
    for (size_t i = 1; i <= Count(); ++i)
        if (At(i)->Def().name == want) return Select(i);
    return false;
}

std::vector<const Order*> OrderList::Orders(const Bag& bag) const {
    std::vector<const Order*> v;
    for (const auto& o : bag.orders) v.push_back(o.get());
    return v;
}

Fault OrderList::ScanTable() {
    if (scanned_) return {};
    if (Fault f = table_.RefreshCount()) return f;
    const uint32_t count = table_.Count();
    const size_t len = table_.RecordLen();
    recHash_.assign(count, 0);
    checksum_ = 0;
    std::vector<uint8_t> buf(size_t{kChunk} * len);
    for (uint32_t first = 1; first <= count; first += kChunk) {
        uint32_t n = std::min(kChunk, count - first + 1);
        if (Fault f = table_.ReadRecords(first, n, buf.data())) return f;
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t h = RecordHash(first + i, buf.data() + size_t{i} * len, len);
            recHash_[first + i - 1] = h;
            checksum_ ^= h;
        }
    }
    count_ = count;
    scanned_ = true;
    return {};
}

Fault OrderList::Compile(Order& o) {
    Fault f;
    if (o.keyBlock.IsNil()) {
        o.keyBlock = host_.compile(o.Def().keyText, f);
        if (f) return f;
    }
    if (o.forBlock.IsNil() && !o.Def().forText.empty()) {
        o.forBlock = host_.compile(o.Def().forText, f);
        if (f) return f;
    }
    return {};
}

Fault OrderList::KeysOf(const uint8_t* record, uint32_t recno, Order& o, std::string& key, bool& in) {
    rt::Usual v = host_.eval(o.keyBlock, record, recno);
    if (!EncodeKey(v, o.Def().type, o.Width(), table_.TextCodePage(), key))
        return MakeFault(rt::kGenDataType, "the key of order " + o.Def().name + " is " + TypeName(v) + " for record " +
                                               std::to_string(recno) + ", not of the order's type");
    in = true;
    if (!o.forBlock.IsNil()) {
        rt::Usual c = host_.eval(o.forBlock, record, recno);
        if (!c.IsLogic())
            return MakeFault(rt::kGenDataType, "the condition of order " + o.Def().name + " is " + TypeName(c) +
                                                   " for record " + std::to_string(recno) + ", not a logic value");
        in = c.AsLogic();
    }
    return {};
}

Fault OrderList::Build(const std::vector<Order*>& orders) {
    if (Fault f = ScanTable()) return f;
    const size_t len = table_.RecordLen();
    for (Order* o : orders) o->Reset(count_);
    std::vector<uint8_t> buf(size_t{kChunk} * len);
    std::string key;
    for (uint32_t first = 1; first <= count_; first += kChunk) {
        uint32_t n = std::min(kChunk, count_ - first + 1);
        if (Fault f = table_.ReadRecords(first, n, buf.data())) return f;
        for (uint32_t i = 0; i < n; ++i)
            for (Order* o : orders) {
                bool in = false;
                if (Fault f = KeysOf(buf.data() + size_t{i} * len, first + i, *o, key, in)) return f;
                o->SetDuringBuild(first + i, key, in);
            }
    }
    for (Order* o : orders) o->FinishBuild();
    return {};
}

Fault OrderList::BuildBag(Bag& bag) {
    std::vector<Order*> all;
    for (auto& o : bag.orders) all.push_back(o.get());
    return Build(all);
}

// Reads the whole table again and rebuilds every order from it.
Fault OrderList::RebuildAll() {
    scanned_ = false;
    for (Bag& b : bags_)
        if (Fault f = BuildBag(b)) return f;
    rebuildPending_ = false;
    return {};
}

Fault OrderList::LockAll() {
    for (size_t i = 0; i < bags_.size(); ++i)
        if (Fault f = bags_[i].file->Lock(table_.LockTries())) {
            while (i > 0) bags_[--i].file->Unlock();
            return f;
        }
    return {};
}

void OrderList::UnlockAll() {
    for (Bag& b : bags_) b.file->Unlock();
}

// Writes `orders` as the bag's new file (a snapshot of the table as the
// orders know it). The caller holds the old file's journal lock, or the
// table exclusively, and has made sure that no other open has the table.
Fault OrderList::Replace(Bag& bag, const std::vector<const Order*>& orders) {
    const std::string path = bag.file ? bag.file->Path() : std::string();
    Fault f;
    auto file = IndexFile::Create(path, orders, Stamp{count_, checksum_}, f);
    if (!file) return f;
    bag.file = std::move(file);  // the old file, and its lock, go
    bag.stale = false;
    return {};
}

// Replaces the bag's file when this is the only open of the table; `alone`
// tells whether it was. The check and the replacement are made under the
// old file's lock, which every open takes to make sure its file is current.
Fault OrderList::ReplaceIfAlone(Bag& bag, const std::vector<const Order*>& orders, bool& alone) {
    alone = false;
    if (Fault f = bag.file->Lock(table_.LockTries())) return f;
    alone = table_.SoleOpen();
    Fault f = alone ? Replace(bag, orders) : Fault{};
    bag.file->Unlock();  // the old file when it was kept; nothing for a new one
    return f;
}

void OrderList::Replay(Bag& bag, std::vector<JournalEntry>& entries, bool& trusted) {
    for (const JournalEntry& e : entries) {
        if (e.recno == 0) {
            trusted = false;  // a writer rebuilt its keys without rewriting the file
            continue;
        }
        if (!Plausible(e, table_.Count())) {
            trusted = false;  // a record the table does not hold: the orders are rebuilt
            continue;
        }
        for (size_t i = 0; i < bag.orders.size(); ++i) bag.orders[i]->Update(e.recno, e.keys[i], e.in[i]);
    }
}

// A file whose header or definitions are damaged cannot be rebuilt: the
// expressions are gone. So that later opens are not stopped by it, it is
// set aside (".damaged" added to its name) when no other open uses the
// table; this open goes on without its orders, and says so in the notes.
Fault OrderList::SetAside(const std::string& path, const Fault& why, bool mustExist) {
    std::string note = why.description + "; its orders are dropped";
    if (!table_.ReadOnly() && table_.SoleOpen()) {
        const std::string aside = path + ".damaged";
        if (int err = rt::RenameFile(path, aside))
            note += std::string("; it could not be set aside: ") + std::strerror(err);
        else note += " and the file is kept as " + aside;
    }
    notes_.push_back(note);
    if (mustExist) return MakeFault(rt::kGenCorruption, note);
    std::fprintf(stderr, "%s\n", note.c_str());
    return {};
}

// Opens an index file. A shared open then checks, under the file's lock,
// that the name still leads to the file it opened: the sole open of the
// table replaces the file under that lock, so no replacement is missed.
Fault OrderList::OpenFile(const std::string& path, bool mustExist, Bag& bag) {
    for (int round = 0;; ++round) {
        Fault f;
        bool damaged = false;
        bag.file = IndexFile::Open(path, !table_.ReadOnly(), f, damaged);
        if (!bag.file) return damaged ? SetAside(path, f, mustExist) : f;
        if (!table_.Shared()) return {};
        if ((f = bag.file->Lock(table_.LockTries()))) return f;
        const bool replaced = bag.file->Replaced();
        bag.file->Unlock();
        if (!replaced) return {};
        bag.file.reset();
        if (!Exists(path))
            return mustExist ? MakeFault(rt::kGenOpen, path + ": the index file does not exist", 2) : Fault{};
        if (round == 10)
            return MakeFault(rt::kGenOpen, path + ": the index file keeps being replaced", rt::kOsLockViolation, true);
    }
}

// Replays the journal from the read position; `last` becomes the stamp of
// the last entry, `loaded` false when the journal cannot be trusted.
Fault OrderList::ReadOwnJournal(Bag& bag, bool& loaded, Stamp& last) {
    std::vector<JournalEntry> entries;
    if (Fault f = bag.file->ReadJournal(entries)) return f;
    if (Fault f = table_.RefreshCount()) return f;  // what the entries are checked against
    if (loaded) Replay(bag, entries, loaded);
    if (!entries.empty()) last = entries.back().stamp;
    return {};
}

// Whether the orders as loaded are the table as last scanned.
bool OrderList::InStep(const Bag& bag, bool loaded, Stamp last) const {
    if (!loaded || last != Stamp{count_, checksum_}) return false;
    for (const auto& o : bag.orders)
        if (o->RecordCount() != count_) return false;
    return true;
}

// The orders of a shared table disagreed with it. That may be a write made
// between the table's read and the journal's; under the journal locks
// nobody writes, so the table and the journal are read to their ends once
// more and compared; only when they still disagree are the orders rebuilt.
Fault OrderList::SetRight(Bag& bag, bool loaded, Stamp last) {
    if (BeforeLockHook()) BeforeLockHook()();
    if (Fault f = LockAll()) return f;
    if (Fault f = bag.file->Lock(table_.LockTries())) {
        UnlockAll();
        return f;
    }
    auto held = [&]() -> Fault {
        if (Fault f = CatchUpHeld()) return f;  // the files already open, to their ends
        if (Fault f = ReadOwnJournal(bag, loaded, last)) return f;
        scanned_ = false;
        if (Fault f = ScanTable()) return f;
        if (InStep(bag, loaded, last)) return {};
        if (Fault f = BuildBag(bag)) return f;
        if (table_.ReadOnly()) return {};
        if (table_.SoleOpen()) return Replace(bag, Orders(bag));
        // The others' journal must not be trusted at the next open: a void
        // entry says so (to them as well: they rebuild when they read it).
        bag.stale = true;
        JournalEntry e{0, {}, {}, std::vector<bool>(bag.orders.size(), false)};
        for (const auto& o : bag.orders) e.keys.emplace_back(o->Width(), ' ');
        return bag.file->Append(e, Orders(bag));
    };
    Fault f = held();
    bag.file->Unlock();
    UnlockAll();
    return f;
}

Fault OrderList::Add(const std::string& path, bool mustExist) {
    Fault f = AddFile(path, mustExist);
    // A writer of a shared table without an index file the other opens keep
    // would leave their orders behind: Write tries the file again first.
    auto it = std::find(unopened_.begin(), unopened_.end(), path);
    if (f && table_.Shared() && !table_.ReadOnly() && Exists(path)) {
        if (it == unopened_.end()) unopened_.push_back(path);
    } else if (it != unopened_.end()) {
        unopened_.erase(it);
    }
    return f;
}

Fault OrderList::AddFile(const std::string& path, bool mustExist) {
    for (const Bag& b : bags_)
        if (b.file && b.file->Path() == path) return {};
    if (!Exists(path)) {
        if (mustExist) return MakeFault(rt::kGenOpen, path + ": the index file does not exist", 2);
        return {};
    }
    Bag bag;
    if (Fault f = OpenFile(path, mustExist, bag)) return f;
    if (!bag.file) return {};  // set aside or gone
    if (Fault f = ScanTable()) return f;
    for (const OrderDef& d : bag.file->Defs()) {
        bag.orders.push_back(std::make_unique<Order>(d));
        if (Fault f = Compile(*bag.orders.back())) return f;
    }
    // The snapshot, then the journal; trusted when the last stamp is the
    // table as it is now.
    // A snapshot of more records than the table holds cannot be its orders
    // (and is not loaded: its count sizes the keys in memory).
    bool loaded = bag.file->EntriesValid() && bag.file->SnapshotStamp().count <= count_;
    for (size_t i = 0; loaded && i < bag.orders.size(); ++i)
        loaded =
            bag.orders[i]->LoadSorted(bag.file->SnapshotStamp().count, bag.file->Entries(i), bag.file->EntryCount(i));
    bag.file->DropSnapshotEntries();
    Stamp last = bag.file->SnapshotStamp();
    if (Fault f = ReadOwnJournal(bag, loaded, last)) return f;
    if (!InStep(bag, loaded, last)) {
        if (table_.Shared()) {
            if (Fault f = SetRight(bag, loaded, last)) return f;
        } else {
            if (Fault f = BuildBag(bag)) return f;
            if (!table_.ReadOnly())
                if (Fault f = Replace(bag, Orders(bag))) return f;
        }
    }
    bags_.push_back(std::move(bag));
    if (selected_ == 0 && Count() > 0) selected_ = 1;
    return {};
}

Fault OrderList::Create(const std::string& name, const std::string& path, const std::string& keyText,
                        rt::Usual keyBlock, const std::string& forText, rt::Usual forBlock) {
    if (table_.ReadOnly()) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    const Fault notAlone =
        MakeFault(rt::kGenShared, "an order can only be made while no other user has the table open", 32, true);
    if (!table_.SoleOpen()) return notAlone;
    if (rt::Upper(name).empty() || name.size() > 64) return MakeFault(rt::kGenArg, "the order needs a name");
    if (Fault f = Add(path, false)) return f;
    if (Fault f = ScanTable()) return f;
    OrderDef def;
    def.name = rt::Upper(name);
    def.keyText = keyText;
    def.forText = forText;
    auto order = std::make_unique<Order>(def);
    order->keyBlock = std::move(keyBlock);
    order->forBlock = std::move(forBlock);
    if (Fault f = Compile(*order)) return f;
    // The type and width come from the key of the first record (of a blank
    // record when the table is empty).
    std::vector<uint8_t> rec(table_.RecordLen(), ' ');
    if (count_ > 0)
        if (Fault f = table_.ReadRecords(1, 1, rec.data())) return f;
    rt::Usual sample = host_.eval(order->keyBlock, rec.data(), count_ > 0 ? 1 : 0);
    KeyType type;
    if (!KeyTypeOf(sample, type))
        return MakeFault(rt::kGenDataType, "the key expression gives " + TypeName(sample) +
                                               ": keys are text, numbers, dates or logic values");
    size_t width = KeyWidthOf(sample, table_.TextCodePage());
    if (width == 0 || width > kMaxKeyWidth)
        return MakeFault(rt::kGenDataWidth, "the key is " + std::to_string(width) + " bytes wide; 1 to " +
                                                std::to_string(kMaxKeyWidth) + " are possible");
    def.type = type;
    def.width = static_cast<uint32_t>(width);
    auto built = std::make_unique<Order>(def);
    built->keyBlock = order->keyBlock;
    built->forBlock = order->forBlock;
    if (Fault f = Build({built.get()})) return f;

    Bag* bag = nullptr;
    for (Bag& b : bags_)
        if (b.file && b.file->Path() == path) bag = &b;
    // The file is written first, with the orders the bag will hold; memory
    // changes only when that worked. The new order takes the place of one
    // of the same name, else it goes last.
    std::vector<const Order*> next = bag ? Orders(*bag) : std::vector<const Order*>{};
    size_t at = next.size();
    for (size_t i = 0; i < next.size(); ++i)
        if (next[i]->Def().name == def.name) at = i;
    if (at == next.size()) next.push_back(built.get());
    else next[at] = built.get();
    if (!bag) {
        Fault f;
        auto file = IndexFile::Create(path, next, Stamp{count_, checksum_}, f);
        if (!file) return f;
        bags_.push_back(Bag{});
        bag = &bags_.back();
        bag->file = std::move(file);
    } else {
        bool alone = false;
        if (Fault f = ReplaceIfAlone(*bag, next, alone)) return f;
        if (!alone) return notAlone;
    }
    if (at == bag->orders.size()) bag->orders.push_back(std::move(built));
    else bag->orders[at] = std::move(built);
    // The new order becomes the selected one.
    for (size_t i = 1; i <= Count(); ++i)
        if (At(i)->Def().name == def.name) {
            size_t before = 0;
            for (const Bag& b : bags_) {
                if (&b == bag) break;
                before += b.orders.size();
            }
            if (i > before) {
                selected_ = i;
                break;
            }
        }
    return {};
}

Fault OrderList::Reindex() {
    if (bags_.empty()) return {};
    if (table_.ReadOnly()) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    const Fault notAlone =
        MakeFault(rt::kGenShared, "the orders can only be rebuilt while no other user has the table open", 32, true);
    if (!table_.SoleOpen()) return notAlone;
    if (Fault f = RebuildAll()) return f;
    for (Bag& b : bags_) {
        bool alone = false;
        if (Fault f = ReplaceIfAlone(b, Orders(b), alone)) return f;
        if (!alone) return notAlone;
    }
    return {};
}

// Takes in what other writers journaled since this open last looked. The
// record checksums follow the first file only.
Fault OrderList::TakeIn() {
    for (size_t bi = 0; bi < bags_.size(); ++bi) {
        Bag& b = bags_[bi];
        bool grew = false;
        if (!b.file->Grew(grew) || !grew) continue;
        std::vector<JournalEntry> entries;
        if (Fault f = b.file->ReadJournal(entries)) return f;
        if (entries.empty()) continue;
        if (Fault f = table_.RefreshCount()) return f;
        for (const JournalEntry& e : entries) {
            if (e.recno == 0 || !Plausible(e, table_.Count())) {
                rebuildPending_ = true;
                continue;
            }
            for (size_t i = 0; i < b.orders.size(); ++i) b.orders[i]->Update(e.recno, e.keys[i], e.in[i]);
            if (bi != 0) continue;
            if (e.recno > recHash_.size()) recHash_.resize(e.recno, 0);
            recHash_[e.recno - 1] ^= checksum_ ^ e.stamp.checksum;
            checksum_ = e.stamp.checksum;
            count_ = std::max(count_, e.recno);
        }
    }
    return {};
}

// The same with the journal locks held: a rebuild reads a table nobody is
// writing.
Fault OrderList::CatchUpHeld() {
    if (Fault f = TakeIn()) return f;
    return rebuildPending_ ? RebuildAll() : Fault{};
}

Fault OrderList::CatchUp() {
    if (bags_.empty()) return {};
    if (Fault f = TakeIn()) return f;
    if (!rebuildPending_) return {};
    if (!table_.Shared()) return RebuildAll();
    if (Fault f = LockAll()) return f;
    Fault f = CatchUpHeld();
    UnlockAll();
    return f;
}

Fault OrderList::Write(uint32_t recno, const uint8_t* record, const std::function<Fault()>& writeTable) {
    for (size_t i = unopened_.size(); i-- > 0;)
        if (Fault f = Add(std::string(unopened_[i]), false)) return f;
    if (bags_.empty()) return writeTable();
    const bool shared = table_.Shared();
    Fault f;
    if (shared) {
        if ((f = LockAll())) return f;
        f = CatchUpHeld();
    }
    std::vector<std::vector<std::string>> keys(bags_.size());
    std::vector<std::vector<bool>> ins(bags_.size());
    for (size_t bi = 0; !f && bi < bags_.size(); ++bi)
        for (auto& o : bags_[bi].orders) {
            std::string key;
            bool in = false;
            if ((f = KeysOf(record, recno, *o, key, in))) break;
            keys[bi].push_back(std::move(key));
            ins[bi].push_back(in);
        }
    if (!f) f = writeTable();
    if (f) {
        if (shared) UnlockAll();
        return f;
    }
    const uint64_t h = RecordHash(recno, record, table_.RecordLen());
    if (recno > recHash_.size()) recHash_.resize(recno, 0);
    checksum_ ^= recHash_[recno - 1] ^ h;
    recHash_[recno - 1] = h;
    count_ = std::max(count_, recno);
    for (size_t bi = 0; bi < bags_.size(); ++bi) {
        Bag& b = bags_[bi];
        JournalEntry e{recno, Stamp{count_, checksum_}, keys[bi], ins[bi]};
        Fault a = b.file->Append(e, Orders(b));
        if (a && !f) f = a;
        for (size_t i = 0; i < b.orders.size(); ++i) b.orders[i]->Update(recno, keys[bi][i], ins[bi][i]);
    }
    if (shared) UnlockAll();
    return f;
}

Fault OrderList::Sync() {
    for (Bag& b : bags_)
        if (Fault f = b.file->Sync()) return f;
    return {};
}

Fault OrderList::Compact() {
    if (bags_.empty() || table_.ReadOnly() || !table_.SoleOpen()) return {};
    // An open that appeared meanwhile holds a lock for a moment: then the
    // snapshot is not written (the journal stays valid).
    if (LockAll()) return {};
    Fault f;
    if (table_.SoleOpen()) {
        f = CatchUpHeld();
        for (Bag& b : bags_)
            if (!f && (b.stale || b.file->JournalBytes() > 0)) f = Replace(b, Orders(b));
    }
    UnlockAll();
    return f;
}

}  // namespace rdd::idx
