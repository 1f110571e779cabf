// Whether the desktop's session bus answers, asked within a time limit.
//
// libdbus waits without any limit while it authenticates a new connection:
// a bus daemon that accepts connections but has stopped answering (hung, or
// stopped by a debugger) keeps Qt's first session-bus call, and with it the
// first menu bar, waiting for ever. This asks the bus the way libdbus does,
// with a deadline, before Qt does.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace gui {

enum class BusReply {
    kAnswers,      // it answered the authentication request
    kSilent,       // connected (or queued) but no answer within the limit
    kUnreachable,  // no such socket, refused, or closed at once: libdbus fails at once too
    kNotTried,     // no address, or not a local socket (tcp, autolaunch, ...)
};

// Connects to the first address of a D-Bus address list when it is a local
// socket ("unix:path=..." or "unix:abstract=...", with %-escapes) and sends
// the EXTERNAL authentication request libdbus sends; waits for any reply
// until `limit`. Safe on any thread; touches nothing of Qt.
BusReply ProbeBus(std::string_view addresses, std::chrono::milliseconds limit);

// The path or abstract name of that first local-socket address ("\0name"
// for an abstract one); empty when it is not one.
std::string LocalBusSocket(std::string_view addresses);

}  // namespace gui
