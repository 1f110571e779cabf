#include "platform/rdd/dataserver.h"

#include <algorithm>

namespace rdd {

const rt::ClassDef& DataServer::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataServer>("DATASERVER")
                                       .Method<&DataServer::RegisterClient>("REGISTERCLIENT")
                                       .Method<&DataServer::UnRegisterClient>("UNREGISTERCLIENT")
                                       .Method<&DataServer::Notify>("NOTIFY")
                                       .Method<&DataServer::SuspendNotification>("SUSPENDNOTIFICATION")
                                       .Method<&DataServer::ResetNotification>("RESETNOTIFICATION")
                                       .Access<&DataServer::ClientCount>("CLIENTCOUNT")
                                       .Method<&DataServer::Seek>("SEEK")
                                       .Done();
    return c;
}

bool DataServer::RegisterClient(const rt::Usual& client) {
    if (!client.IsObject() || !client.AsObject()) return false;
    const rt::ObjectRef& o = client.AsObject();
    for (const auto& w : clients_)
        if (w.lock() == o) return true;
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [](const std::weak_ptr<rt::Object>& w) { return w.expired(); }),
                   clients_.end());
    clients_.push_back(o);
    return true;
}

bool DataServer::UnRegisterClient(const rt::Usual& client) {
    // A null reference would match the entry of a client that went away.
    if (!client.IsObject() || !client.AsObject()) return false;
    const rt::ObjectRef& o = client.AsObject();
    auto it = std::find_if(clients_.begin(), clients_.end(),
                           [&](const std::weak_ptr<rt::Object>& w) { return w.lock() == o; });
    if (it == clients_.end()) return false;
    clients_.erase(it);
    return true;
}

int64_t DataServer::ClientCount() const {
    return std::count_if(clients_.begin(), clients_.end(),
                         [](const std::weak_ptr<rt::Object>& w) { return !w.expired(); });
}

namespace {

// One notification on its way: the servers that passed it on and the
// clients told so far. A server that is the client of another server (or
// of itself, or of a server that is its own client in turn) passes the
// same notification on to its own clients; the record keeps a chain that
// points back from going round for ever, and tells every client once.
struct Event {
    std::vector<const rt::Object*> reached;
    bool Reached(const rt::Object* o) const { return std::find(reached.begin(), reached.end(), o) != reached.end(); }
};
thread_local Event* tEvent = nullptr;
// The server being told as a client right now: its own Notify joins the
// event instead of starting a new one.
thread_local const rt::Object* tForwardTo = nullptr;

}  // namespace

rt::Usual DataServer::Notify(int64_t code, const rt::Usual& description) {
    bool intent = code == kNotifyIntentToMove;
    // Nobody to tell (a table read by code rather than shown): nothing to set up.
    if (suspended_ > 0 || clients_.empty()) return intent ? rt::Usual(true) : rt::Usual();
    static const rt::Symbol kNotify("NOTIFY");
    const rt::Object* self = this;
    // Anything else (a client that moves another server while it is told)
    // is an event of its own.
    Event own;
    struct Scope {
        Event* outer = tEvent;
        ~Scope() {
            tEvent = outer;
            tForwardTo = nullptr;
        }
    } scope;
    if (!(tEvent && tForwardTo == self)) {
        own.reached.push_back(self);
        tEvent = &own;
    }
    tForwardTo = nullptr;
    Event& event = *tEvent;
    rt::Usual result;
    bool refused = false;
    // A client may unregister (or register others) while it is notified:
    // walk a copy.
    std::vector<std::weak_ptr<rt::Object>> clients = clients_;
    for (const auto& w : clients) {
        rt::ObjectRef o = w.lock();
        if (!o || event.Reached(o.get())) continue;
        event.reached.push_back(o.get());
        rt::Usual target(o);
        if (!rt::IsMethod(target, kNotify)) continue;
        const rt::Usual args[] = {rt::Usual(code), description};
        if (dynamic_cast<const DataServer*>(o.get())) tForwardTo = o.get();
        rt::Usual answer = rt::Send(target, kNotify, rt::Args(args, 2));
        tForwardTo = nullptr;
        if (intent && answer.IsLogic() && !answer.AsLogic()) refused = true;
        result = answer;
    }
    if (intent) return rt::Usual(!refused);
    return result;
}

int64_t DataServer::SuspendNotification() { return ++suspended_; }

int64_t DataServer::ResetNotification() {
    if (suspended_ > 0) --suspended_;
    return suspended_;
}

bool DataServer::Seek(const rt::Usual&, const rt::Usual&) { return false; }

bool DataServer::AskMayMove() { return Notify(kNotifyIntentToMove).AsLogic(); }

}  // namespace rdd
