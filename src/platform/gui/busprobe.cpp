#include "platform/gui/busprobe.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/runtime/posixfile.h"

namespace gui {
namespace {

using Clock = std::chrono::steady_clock;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A D-Bus address value with its %XX escapes undone; false in *ok when an
// escape is cut short or not hexadecimal.
std::string Unescape(std::string_view v, bool* ok) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '%') {
            out += v[i];
            continue;
        }
        const int hi = i + 1 < v.size() ? HexDigit(v[i + 1]) : -1;
        const int lo = i + 2 < v.size() ? HexDigit(v[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            *ok = false;
            return {};
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

// Whole milliseconds until the deadline, rounded up; 0 or less once it passed.
long long MsLeft(Clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// Waits for `events` on fd until the deadline; false when it passed.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const long long left = MsLeft(deadline);
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

}  // namespace

std::string LocalBusSocket(std::string_view addresses) {
    std::string_view first = addresses.substr(0, addresses.find(';'));
    constexpr std::string_view kUnix = "unix:";
    if (first.substr(0, kUnix.size()) != kUnix) return {};
    first.remove_prefix(kUnix.size());
    while (!first.empty()) {
        const size_t comma = first.find(',');
        const std::string_view pair = first.substr(0, comma);
        first = comma == std::string_view::npos ? std::string_view() : first.substr(comma + 1);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = pair.substr(0, eq);
        if (key != "path" && key != "abstract") continue;
        bool ok = true;
        std::string value = Unescape(pair.substr(eq + 1), &ok);
        if (!ok || value.empty()) return {};
        return key == "abstract" ? std::string(1, '\0') + value : value;
    }
    return {};
}

BusReply ProbeBus(std::string_view addresses, std::chrono::milliseconds limit) {
    const std::string name = LocalBusSocket(addresses);
    sockaddr_un addr{};
    if (name.empty() || name.size() >= sizeof addr.sun_path) return BusReply::kNotTried;
    const auto deadline = Clock::now() + limit;
    rt::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return BusReply::kNotTried;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, name.data(), name.size());
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (name[0] ? 1 : 0));
    // A listener whose queue is full (nobody accepts) keeps a blocking
    // connect, as libdbus's, waiting; a non-blocking one says EAGAIN, and is
    // tried again until the deadline.
    for (;;) {
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), len) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return BusReply::kUnreachable;
        const long long left = MsLeft(deadline);
        if (left <= 0) return BusReply::kSilent;
        ::poll(nullptr, 0, static_cast<int>(std::min(left, 10LL)));
    }
    // The credentials byte, then EXTERNAL authentication as this user (the
    // decimal uid, hex-encoded), as libdbus begins every connection.
    std::string request(1, '\0');
    request += "AUTH EXTERNAL ";
    static const char kHex[] = "0123456789abcdef";
    for (char c : std::to_string(::getuid())) {
        request += kHex[static_cast<unsigned char>(c) >> 4];
        request += kHex[c & 15];
    }
    request += "\r\n";
    // A new connection's empty buffer takes these few bytes whole.
    ssize_t sent;
    do sent = ::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) return BusReply::kUnreachable;
    for (;;) {
        if (!WaitFor(fd.Get(), POLLIN, deadline)) return BusReply::kSilent;
        char reply[64];
        const ssize_t n = ::recv(fd.Get(), reply, sizeof reply, 0);
        if (n > 0) return BusReply::kAnswers;
        if (n == 0) return BusReply::kUnreachable;
        if (errno != EINTR && errno != EAGAIN) return BusReply::kUnreachable;
    }
}

}  // namespace gui
