#include "platform/rdd/orderlist.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

namespace rdd::idx {
namespace {

constexpr uint32_t kChunk = 4096;  // records read at a time when scanning

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string TypeName(const rt::Usual& v) { return v.IsNil() ? std::string("NIL") : rt::TypeString(v.Type()); }

}  // namespace

OrderList::OrderList(dbf::Table& table, Host host) : table_(table), host_(std::move(host)) {}
OrderList::~OrderList() = default;

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

Fault OrderList::Rewrite(Bag& bag) {
    const std::string path = bag.file ? bag.file->Path() : std::string();
    Fault f;
    auto file = IndexFile::Create(path, Orders(bag), Stamp{count_, checksum_}, f);
    if (!file) return f;
    bag.file = std::move(file);
    bag.stale = false;
    return {};
}

void OrderList::Replay(Bag& bag, std::vector<JournalEntry>& entries, bool& trusted) {
    for (const JournalEntry& e : entries) {
        if (e.recno == 0) {
            trusted = false;  // a writer rebuilt its keys without rewriting the file
            continue;
        }
        for (size_t i = 0; i < bag.orders.size(); ++i) bag.orders[i]->Update(e.recno, e.keys[i], e.in[i]);
    }
}

Fault OrderList::Add(const std::string& path, bool mustExist) {
    for (const Bag& b : bags_)
        if (b.file && b.file->Path() == path) return {};
    if (!Exists(path)) {
        if (mustExist) return MakeFault(rt::kGenOpen, path + ": the index file does not exist", 2);
        return {};
    }
    Fault f;
    Bag bag;
    bag.file = IndexFile::Open(path, !table_.ReadOnly(), f);
    if (!bag.file) return f;
    if ((f = ScanTable())) return f;
    for (const OrderDef& d : bag.file->Defs()) {
        bag.orders.push_back(std::make_unique<Order>(d));
        if ((f = Compile(*bag.orders.back()))) return f;
    }
    // The snapshot, then the journal; trusted when the last stamp is the
    // table as it is now.
    bool trusted = bag.file->EntriesValid();
    for (size_t i = 0; trusted && i < bag.orders.size(); ++i)
        trusted =
            bag.orders[i]->LoadSorted(bag.file->SnapshotStamp().count, bag.file->Entries(i), bag.file->EntryCount(i));
    bag.file->DropSnapshotEntries();
    std::vector<JournalEntry> entries;
    if ((f = bag.file->ReadJournal(entries))) return f;
    Stamp last = bag.file->SnapshotStamp();
    if (trusted) Replay(bag, entries, trusted);
    if (!entries.empty()) last = entries.back().stamp;
    trusted = trusted && last == Stamp{count_, checksum_};
    for (const auto& o : bag.orders) trusted = trusted && o->RecordCount() == count_;
    if (!trusted) {
        std::vector<Order*> all;
        for (auto& o : bag.orders) all.push_back(o.get());
        if ((f = Build(all))) return f;
        if (!table_.ReadOnly()) {
            if (table_.SoleOpen()) {
                if ((f = Rewrite(bag))) return f;
            } else {
                bag.stale = true;  // the others' journal must not be trusted at the next open
                JournalEntry e{0, {}, {}, std::vector<bool>(bag.orders.size(), false)};
                for (const auto& o : bag.orders) e.keys.emplace_back(o->Width(), ' ');
                if (!(f = bag.file->Lock(table_.LockTries()))) {
                    std::vector<JournalEntry> others;  // read to the end first: the entry goes after them
                    f = bag.file->ReadJournal(others);
                    if (!f) f = bag.file->Append(e, Orders(bag));
                    bag.file->Unlock();
                }
                if (f) return f;
            }
        }
    }
    bags_.push_back(std::move(bag));
    if (selected_ == 0 && Count() > 0) selected_ = 1;
    return {};
}

Fault OrderList::Create(const std::string& name, const std::string& path, const std::string& keyText,
                        rt::Usual keyBlock, const std::string& forText, rt::Usual forBlock) {
    if (table_.ReadOnly()) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    if (!table_.SoleOpen())
        return MakeFault(rt::kGenShared, "an order can only be made while no other user has the table open", 32, true);
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
    if (!bag) {
        bags_.push_back(Bag{});
        bag = &bags_.back();
    }
    auto same =
        std::find_if(bag->orders.begin(), bag->orders.end(), [&](const auto& o) { return o->Def().name == def.name; });
    if (same != bag->orders.end()) *same = std::move(built);
    else bag->orders.push_back(std::move(built));
    if (!bag->file) {
        Fault f;
        bag->file = IndexFile::Create(path, Orders(*bag), Stamp{count_, checksum_}, f);
        if (!bag->file) {
            bags_.pop_back();
            return f;
        }
    } else if (Fault f = Rewrite(*bag)) {
        return f;
    }
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
    if (!table_.SoleOpen())
        return MakeFault(rt::kGenShared, "the orders can only be rebuilt while no other user has the table open", 32,
                         true);
    scanned_ = false;
    if (Fault f = ScanTable()) return f;
    for (Bag& b : bags_) {
        std::vector<Order*> all;
        for (auto& o : b.orders) all.push_back(o.get());
        if (Fault f = Build(all)) return f;
        if (Fault f = Rewrite(b)) return f;
    }
    return {};
}

Fault OrderList::CatchUp() {
    if (bags_.empty()) return {};
    bool rebuild = false;
    for (size_t bi = 0; bi < bags_.size(); ++bi) {
        Bag& b = bags_[bi];
        bool grew = false;
        if (!b.file->Grew(grew) || !grew) continue;
        std::vector<JournalEntry> entries;
        if (Fault f = b.file->ReadJournal(entries)) return f;
        for (const JournalEntry& e : entries) {
            if (e.recno == 0) {
                rebuild = true;
                continue;
            }
            for (size_t i = 0; i < b.orders.size(); ++i) b.orders[i]->Update(e.recno, e.keys[i], e.in[i]);
            if (bi != 0) continue;  // the record checksums follow the first file only
            if (e.recno > recHash_.size()) recHash_.resize(e.recno, 0);
            recHash_[e.recno - 1] ^= checksum_ ^ e.stamp.checksum;
            checksum_ = e.stamp.checksum;
            count_ = std::max(count_, e.recno);
        }
    }
    if (!rebuild) return {};
    scanned_ = false;
    for (Bag& b : bags_) {
        std::vector<Order*> all;
        for (auto& o : b.orders) all.push_back(o.get());
        if (Fault f = Build(all)) return f;
    }
    return {};
}

Fault OrderList::Write(uint32_t recno, const uint8_t* record, const std::function<Fault()>& writeTable) {
    if (bags_.empty()) return writeTable();
    const bool shared = table_.Shared();
    size_t locked = 0;
    auto unlock = [&] {
        for (size_t i = 0; i < locked; ++i) bags_[i].file->Unlock();
    };
    Fault f;
    if (shared) {
        for (; locked < bags_.size(); ++locked)
            if ((f = bags_[locked].file->Lock(table_.LockTries()))) break;
        if (!f) f = CatchUp();
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
        unlock();
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
    unlock();
    return f;
}

Fault OrderList::Sync() {
    for (Bag& b : bags_)
        if (Fault f = b.file->Sync()) return f;
    return {};
}

Fault OrderList::Compact() {
    if (bags_.empty() || table_.ReadOnly() || !table_.SoleOpen()) return {};
    if (Fault f = CatchUp()) return f;
    for (Bag& b : bags_)
        if (b.stale || b.file->JournalBytes() > 0)
            if (Fault f = Rewrite(b)) return f;
    return {};
}

}  // namespace rdd::idx
