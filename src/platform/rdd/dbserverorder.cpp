// DBServer's index orders: opening the table's own index file, the order
// methods, navigation in key order and Seek. The upkeep itself is in
// orderlist.cpp; the table calls it through WriteRecord.
#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/workarea.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rdd {

// The base name of a table path, upper case: the alias its fields answer to.
std::string DBServer::AliasName() const {
    size_t slash = path_.rfind('/');
    std::string base = path_.substr(slash == std::string::npos ? 0 : slash + 1);
    return rt::Upper(base.substr(0, base.find('.')));
}

rt::Usual DBServer::CompileKey(const std::string& text, dbf::Fault& fault) {
    if (std::string why = rt::MacroSyntaxCheck(text); !why.empty()) {
        fault = dbf::MakeFault(rt::kGenSyntax, why);
        return rt::Usual();
    }
    // Field names bind to this table at compile time; the blocks live in
    // this table's orders, so they never outlive it.
    DBServer* self = this;
    rt::FieldLookup fields = [self](std::string_view alias, std::string_view name) -> std::optional<rt::FieldBinding> {
        if (!alias.empty()) {
            if (rt::Upper(alias) != self->AliasName()) return std::nullopt;
        }
        int64_t pos = self->FieldPos(rt::Usual(std::string(name)));
        if (pos == 0) return std::nullopt;
        return rt::FieldBinding{[self, pos] { return self->FieldGet(rt::Usual(pos)); },
                                [self, pos](const rt::Usual& v) { return self->FieldPut(rt::Usual(pos), v); }};
    };
    rt::Usual block = rt::CompileBlock(text, fields);
    if (!block.IsCodeBlock()) fault = dbf::MakeFault(rt::kGenSyntax, "\"" + text + "\" is no expression");
    return block;
}

rt::Usual DBServer::EvalOnRecord(const rt::Usual& block, const uint8_t* record, uint32_t recno) {
    const uint8_t* savedRec = evalRec_;
    uint32_t savedNo = evalRecno_;
    evalRec_ = record;
    evalRecno_ = recno;
    // RECNO() and DELETED() in a key speak of this table and this record.
    rt::Usual self;
    if (auto me = std::const_pointer_cast<rt::Object>(weak_from_this().lock())) self = rt::Usual(me);
    rt::Usual v;
    if (self.IsObject()) {
        AreaScope area(self);
        v = block.Eval();
    } else {
        v = block.Eval();
    }
    evalRec_ = savedRec;
    evalRecno_ = savedNo;
    return v;
}

void DBServer::OpenOrders() {
    InstallWorkAreas();  // RECNO(), DELETED() and aliases in key expressions
    idx::OrderList::Host host;
    host.compile = [this](const std::string& text, dbf::Fault& f) { return CompileKey(text, f); };
    host.eval = [this](const rt::Usual& b, const uint8_t* rec, uint32_t recno) { return EvalOnRecord(b, rec, recno); };
    orders_ = std::make_unique<idx::OrderList>(*table_, std::move(host));
    const std::string own = idx::OrderList::OwnIndexPath(path_);
    Attempt("DBSERVER:INIT", [&] { return orders_->Add(own, false); });
}

dbf::Fault DBServer::WriteRecord(uint32_t recno, bool append, const uint8_t* bytes) {
    auto write = [&] { return append ? table_->Append(bytes) : table_->Write(recno, bytes); };
    if (!orders_) return write();
    return orders_->Write(recno, bytes, write);
}

std::string DBServer::IndexPath(const rt::Usual& file) const {
    if (!file.IsString() || rt::AllTrim(file.AsStr()).empty()) return idx::OrderList::OwnIndexPath(path_);
    std::string name = rt::AllTrim(file.AsStr());
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name.find('/') == std::string::npos) {
        size_t slash = path_.rfind('/');
        if (slash != std::string::npos) name = path_.substr(0, slash + 1) + name;
    }
    size_t slash = name.rfind('/');
    if (name.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos) name += ".qzx";
    return name;
}

bool DBServer::CreateOrder(const rt::Usual& name, const rt::Usual& file, const rt::Usual& key,
                           const rt::Usual& condition) {
    if (!key.IsString()) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenArg, "the key expression is not text"), "CREATEORDER", 1));
        return false;
    }
    return CreateOrderWith(name.IsString() ? name.AsStr() : std::string(), file, key.AsStr(), rt::Usual(),
                           condition.IsString() ? condition.AsStr() : std::string(), rt::Usual());
}

bool DBServer::CreateOrderWith(const std::string& name, const rt::Usual& file, const std::string& keyText,
                               const rt::Usual& keyBlock, const std::string& forText, const rt::Usual& forBlock) {
    if (!CheckUsed("CREATEORDER")) return false;
    if (!Attempt("CREATEORDER", [&] { return Flush(); })) return false;
    const std::string path = IndexPath(file);
    if (!Attempt("CREATEORDER", [&] {
            return orders_->Create(rt::AllTrim(name), path, keyText, keyBlock, rt::AllTrim(forText), forBlock);
        }))
        return false;
    return GoTop();
}

bool DBServer::OrderListAdd(const rt::Usual& file) {
    if (!CheckUsed("ORDERLISTADD")) return false;
    const std::string path = IndexPath(file);
    return Attempt("ORDERLISTADD", [&] { return orders_->Add(path, true); });
}

idx::Order* DBServer::OrderArg(const rt::Usual& order) const {
    if (!orders_) return nullptr;
    if (order.IsNil()) return orders_->Active();
    if (order.IsNumeric()) return order.AsLong() > 0 ? orders_->At(static_cast<size_t>(order.AsLong())) : nullptr;
    if (order.IsString() || order.IsSymbol()) {
        std::string want = order.IsSymbol() ? order.AsSymbol().Name() : rt::AllTrim(order.AsStr());
        for (size_t i = 1; i <= orders_->Count(); ++i) {
            std::string n = orders_->At(i)->Def().name;
            bool same = n.size() == want.size();
            for (size_t k = 0; same && k < n.size(); ++k)
                same = n[k] == (want[k] >= 'a' && want[k] <= 'z' ? static_cast<char>(want[k] - 32) : want[k]);
            if (same) return orders_->At(i);
        }
    }
    return nullptr;
}

bool DBServer::SetOrder(const rt::Usual& order) {
    if (!CheckUsed("SETORDER")) return false;
    if (order.IsNumeric()) {
        int64_t n = order.AsLong();
        return n >= 0 && orders_->Select(static_cast<size_t>(n));
    }
    if (order.IsString() && rt::AllTrim(order.AsStr()).empty()) return orders_->Select(size_t{0});
    if (order.IsString() || order.IsSymbol())
        return orders_->Select(order.IsSymbol() ? order.AsSymbol().Name() : rt::AllTrim(order.AsStr()));
    return false;
}

int64_t DBServer::OrderNumber() const { return orders_ ? static_cast<int64_t>(orders_->Selected()) : 0; }
int64_t DBServer::OrderCount() const { return orders_ ? static_cast<int64_t>(orders_->Count()) : 0; }

std::string DBServer::OrderName(const rt::Usual& order) const {
    const idx::Order* o = OrderArg(order);
    return o ? o->Def().name : std::string();
}

std::string DBServer::OrderKey(const rt::Usual& order) const {
    const idx::Order* o = OrderArg(order);
    return o ? o->Def().keyText : std::string();
}

std::string DBServer::OrderFor(const rt::Usual& order) const {
    const idx::Order* o = OrderArg(order);
    return o ? o->Def().forText : std::string();
}

bool DBServer::CatchUpOrders(const char* operation) {
    if (!orders_ || !table_->Shared()) return true;
    return Attempt(operation, [&] { return orders_->CatchUp(); });
}

rt::Usual DBServer::OrderKeyVal() const {
    const idx::Order* o = ActiveOrder();
    if (!table_ || !o || eof_ || !o->Contains(recno_)) return rt::Usual();
    return idx::DecodeKey(o->KeyOf(recno_), o->Def().type, o->Width(), table_->TextCodePage());
}

int64_t DBServer::OrderKeyCount(const rt::Usual& order) {
    if (!CheckUsed("ORDERKEYCOUNT") || !CatchUpOrders("ORDERKEYCOUNT")) return 0;
    const idx::Order* o = OrderArg(order);
    return o ? static_cast<int64_t>(o->KeyCount()) : 0;
}

bool DBServer::Reindex() {
    if (!CheckUsed("REINDEX")) return false;
    if (!Attempt("REINDEX", [&] { return Flush(); })) return false;
    if (!Attempt("REINDEX", [&] { return orders_->Reindex(); })) return false;
    return GoTop();
}

bool DBServer::OrderTop() {
    if (!CatchUpOrders("GOTOP")) return false;
    const idx::Order& o = *ActiveOrder();
    bool hidden = false;
    for (auto it = o.Begin(); it != o.End(); ++it) {
        if (!Hidden(*it, hidden)) return false;
        if (!hidden) return Attempt("GOTOP", [&] { return Load(*it); });
    }
    SetEofState();
    bof_ = true;
    return true;
}

bool DBServer::OrderBottom() {
    if (!CatchUpOrders("GOBOTTOM")) return false;
    const idx::Order& o = *ActiveOrder();
    bool hidden = false;
    for (auto it = o.End(); it != o.Begin();) {
        --it;
        if (!Hidden(*it, hidden)) return false;
        if (!hidden) return Attempt("GOBOTTOM", [&] { return Load(*it); });
    }
    SetEofState();
    bof_ = true;
    return true;
}

bool DBServer::OrderForward(int64_t n) {
    const idx::Order& o = *ActiveOrder();
    auto it = o.Position(recno_);
    bool onEntry = o.Contains(recno_);
    bool hidden = false;
    for (int64_t i = 0; i < n; ++i) {
        if (onEntry) ++it;
        onEntry = true;
        for (; it != o.End(); ++it) {
            if (!Hidden(*it, hidden)) return false;
            if (!hidden) break;
        }
        if (it == o.End()) {
            SetEofState();
            return true;
        }
    }
    return Attempt("SKIP", [&] { return Load(*it); });
}

bool DBServer::OrderBack(int64_t n) {
    const idx::Order& o = *ActiveOrder();
    auto at = eof_ ? o.End() : o.Position(recno_);
    bool moved = false, hidden = false;
    for (int64_t i = 0; i < n; ++i) {
        auto p = at;
        bool found = false;
        while (p != o.Begin()) {
            --p;
            if (!Hidden(*p, hidden)) return false;
            if (!hidden) {
                found = true;
                break;
            }
        }
        if (!found) {
            bof_ = true;  // ran into the top: stays on the first visible key
            break;
        }
        at = p;
        moved = true;
    }
    if (!moved) {
        bof_ = true;
        return true;
    }
    return Attempt("SKIP", [&] { return Load(*at); });
}

bool DBServer::Seek(const rt::Usual& key, const rt::Usual& softSeek) {
    if (!CheckUsed("SEEK")) return false;
    const idx::Order* o = ActiveOrder();
    if (!o) {
        rt::RaiseError(MakeTableError(dbf::MakeFault(rt::kGenUnsupported, "no order is selected"), "SEEK", 1));
        return false;
    }
    std::string probe;
    if (!idx::EncodeSeekKey(key, o->Def().type, o->Width(), table_->TextCodePage(), probe)) {
        rt::RaiseError(
            MakeTableError(dbf::MakeFault(rt::kGenDataType, "the key is not of the order's type"), "SEEK", 1));
        return false;
    }
    if (!MayMove()) return false;
    if (!Attempt("SEEK", [&] { return Flush(); })) return false;
    if (table_->Shared() && !Attempt("SEEK", [&] { return table_->RefreshCount(); })) return false;
    if (!CatchUpOrders("SEEK")) return false;
    o = ActiveOrder();
    const bool soft = softSeek.IsLogic() ? softSeek.AsLogic() : SetSoftSeek();
    bool hidden = false;
    auto it = o->LowerBound(probe);
    for (; it != o->End(); ++it) {
        if (!Hidden(*it, hidden)) return false;
        if (!hidden) break;
    }
    found_ = it != o->End() && o->StartsWith(*it, probe);
    bof_ = false;
    bool ok = true;
    if (found_ || (soft && it != o->End())) ok = Attempt("SEEK", [&] { return Load(*it); });
    else SetEofState();
    Notify(kNotifyRecordChange);
    return ok && found_;
}

}  // namespace rdd
