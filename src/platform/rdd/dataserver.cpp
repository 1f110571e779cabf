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

rt::Usual DataServer::Notify(int64_t code, const rt::Usual& description) {
    bool intent = code == kNotifyIntentToMove;
    if (suspended_ > 0) return intent ? rt::Usual(true) : rt::Usual();
    static const rt::Symbol kNotify("NOTIFY");
    rt::Usual result;
    bool refused = false;
    // A client may unregister (or register others) while it is notified:
    // walk a copy.
    std::vector<std::weak_ptr<rt::Object>> clients = clients_;
    for (const auto& w : clients) {
        rt::ObjectRef o = w.lock();
        if (!o) continue;
        rt::Usual target(o);
        if (!rt::IsMethod(target, kNotify)) continue;
        const rt::Usual args[] = {rt::Usual(code), description};
        rt::Usual answer = rt::Send(target, kNotify, rt::Args(args, 2));
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

bool DataServer::MayMove() { return Notify(kNotifyIntentToMove).AsLogic(); }

}  // namespace rdd
