// The data-server base: the list of clients bound to a server (windows,
// grids, controls) and the notifications that keep them in step with it.
//
// A client is any object with a NOTIFY method; it is called late-bound as
// NOTIFY(code, description). Only code 2 asks a question: a client that
// answers FALSE refuses the move that is about to happen.
#pragma once

#include <memory>
#include <vector>

#include "platform/runtime/object.h"

namespace rdd {

enum NotifyCode : int {
    kNotifyClose = 0,         // the server is closing
    kNotifyFieldChange = -1,  // a field of the current record changed (description: its symbol)
    kNotifyIntentToMove = 2,  // about to move; a client may refuse
    kNotifyRecordChange = 3,  // the current record changed
    kNotifyGoBottom = 4,      // positioned on the last record
    kNotifyGoTop = 5,         // positioned on the first record
    kNotifyDelete = 6,        // the current record was marked deleted
    kNotifyAppend = 7,        // a record was appended and is current
    kNotifyFileChange = 10,   // the whole content may have changed
};

class DataServer : public rt::Object {
    QZ_OBJECT(DataServer)
public:
    // Adds a client once; FALSE for a value that is not an object.
    bool RegisterClient(const rt::Usual& client);
    // Removes a client; FALSE when it was not registered.
    bool UnRegisterClient(const rt::Usual& client);
    int64_t ClientCount() const;

    // Passes the notification to every client while notifications are not
    // suspended, and returns the clients' answer: for code 2 TRUE unless a
    // client answered FALSE; for the others the last client's answer. While
    // suspended nothing is passed on and the result is nil (TRUE for 2).
    // A client that is itself a server passes the notification on to its
    // own clients as part of the same event: clients that point back (a
    // server its own client, two servers each other's) are told once per
    // event, never round and round.
    rt::Usual Notify(int64_t code, const rt::Usual& description = rt::Usual());
    // Suspends notifications; calls nest. Returns the new depth.
    int64_t SuspendNotification();
    // Ends one suspension; never goes below zero (an unmatched reset must
    // not silence the server for good). Returns the new depth.
    int64_t ResetNotification();
    bool NotificationsSuspended() const { return suspended_ > 0; }

    // The plain seek of a server: positions on the first record whose key
    // is `key`. A server without keys finds nothing (FALSE).
    virtual bool Seek(const rt::Usual& key, const rt::Usual& softSeek);

protected:
    // Notify(2) as a yes/no: may the server move? Without a client to ask,
    // at once.
    bool MayMove() { return !Heard() || AskMayMove(); }
    // Whether a notification now would reach anyone: a server that nobody
    // watches (a table read by code) need not build one for every move.
    bool Heard() const { return suspended_ == 0 && !clients_.empty(); }

private:
    bool AskMayMove();

    std::vector<std::weak_ptr<rt::Object>> clients_;  // weak: a window holds its server
    int64_t suspended_ = 0;
};

// Holds a server's notifications suspended for one scope: suspended when
// made, resumed when the scope is left, also when a failure breaks out of
// it, so that no path leaves the clients unheard.
template <class Server>
class SuspendedNotifications {
public:
    explicit SuspendedNotifications(Server& server) : server_(server) { server_.SuspendNotification(); }
    ~SuspendedNotifications() { server_.ResetNotification(); }
    SuspendedNotifications(const SuspendedNotifications&) = delete;
    SuspendedNotifications& operator=(const SuspendedNotifications&) = delete;

private:
    Server& server_;
};

}  // namespace rdd
