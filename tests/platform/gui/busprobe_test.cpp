#include "platform/gui/busprobe.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using gui::BusReply;

TEST(BusProbe, FindsTheFirstLocalSocketOfAnAddressList) {
    const struct {
        const char* addresses;
        std::string socket;
    } cases[] = {
        {"unix:guid=0123,path=/tmp/a%20b%2cc", "/tmp/a b,c"},
        {"unix:abstract=/tmp/dbus-x,guid=0123", std::string(1, '\0') + "/tmp/dbus-x"},
        {"tcp:host=localhost,port=1;unix:path=/second", ""},  // libdbus tries the tcp one first
        {"unix:path=/broken%2", ""},
        {"unix:tmpdir=/tmp", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(gui::LocalBusSocket(c.addresses), c.socket) << c.addresses;
}

// A socket of this process's own in the abstract namespace, listening with
// a queue of one and never accepting: what a hung bus daemon is to a client.
// With `full`, the queue is filled first.
int HungBus(const std::string& name, bool full, std::vector<int>* queued) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, name.data(), name.size());
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0) << std::strerror(errno);
    EXPECT_EQ(::listen(fd, 1), 0);
    for (bool room = full; room;) {
        queued->push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        room = ::connect(queued->back(), reinterpret_cast<sockaddr*>(&a), len) == 0;
    }
    return fd;
}

TEST(BusProbe, AHungBusIsSilentAtTheLimitAndAMissingOneFailsAtOnce) {
    const std::string base = "qzbusprobe" + std::to_string(::getpid());
    std::vector<int> fds;
    fds.push_back(HungBus(base + "-silent", false, &fds));
    fds.push_back(HungBus(base + "-full", true, &fds));
    const struct {
        std::string address;
        BusReply want;
    } cases[] = {
        {"unix:abstract=" + base + "-silent", BusReply::kSilent},
        {"unix:abstract=" + base + "-full", BusReply::kSilent},  // a blocking connect would wait there
        {"unix:path=/nonexistent/" + base, BusReply::kUnreachable},
        {"tcp:host=localhost,port=1", BusReply::kNotTried},
    };
    for (const auto& c : cases) {
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(gui::ProbeBus(c.address, 300ms), c.want) << c.address;
        const auto took = std::chrono::steady_clock::now() - t0;
        EXPECT_LT(took, c.want == BusReply::kSilent ? 3s : 100ms) << c.address;
        EXPECT_GE(took, c.want == BusReply::kSilent ? 300ms : 0ms) << c.address;
    }
    for (int fd : fds) ::close(fd);
}

}  // namespace
