// The computer name and network drives; MapDrive against a real Samba
// server on 127.0.0.1 that the test starts (skipped, with the reason, where
// this machine refuses to mount a share).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lib/system/workstation.h"
#include "os_fixture.h"
#include "platform/os/sysinfo.h"
#include "platform/os/wnet.h"
#include "platform/runtime/files.h"

namespace {

using rt::Usual;

TEST(ComputerName, IsTheNetBiosFormOfTheHostName) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWUTS) != 0) ::_exit(77);
        struct Case {
            const char *host, *want;
        } cases[] = {{"abcdefghijklmno.example.lan", "ABCDEFGHIJKLMNO"},
                     {"Scan-01", "SCAN-01"},
                     {"abcdefghijklmnop", "ABCDEFGHIJKLMNO"},
                     {"ip-172-31-22-143", "IP-172-31-22-14"}};
        int failed = 0;
        for (const Case& c : cases) {
            ::sethostname(c.host, std::strlen(c.host));
            failed += lib::QZGetComputerName() != c.want;
        }
        // A buffer too small is told the size needed.
        char small[4];
        os::DWORD size = sizeof small;
        failed += os::GetComputerNameA(small, &size) || os::GetLastError() != os::ERROR_BUFFER_OVERFLOW || size != 16;
        ::_exit(failed);
    }
    int rc = ostest::Wait(pid);
    if (rc == 77) GTEST_SKIP() << "no UTS namespace may be made here, so the host name cannot be set";
    EXPECT_EQ(rc, 0);
}

class MapDriveTest : public ostest::StoreDir {
protected:
    void SetUp() override {
        StoreDir::SetUp();
        ::setenv("QZ_NETDRIVE_DIR", (dir_ + "/net").c_str(), 1);
    }
    void TearDown() override {
        // Clean-up of whatever a test left: nothing connected is fine too.
        (void)os::WNetCancelConnection2A("Q:", os::CONNECT_UPDATE_PROFILE, os::TRUE_);
        if (smbd_ > 0) {
            ::kill(smbd_, SIGTERM);
            ostest::Wait(smbd_);
        }
        ::unsetenv("QZ_NETDRIVE_DIR");
        ::unsetenv("QZ_CIFS_OPTIONS");
        StoreDir::TearDown();
    }
    // Starts smbd with a guest share "qzshare"; "" or why not.
    std::string StartSamba() {
        if (::access("/usr/sbin/smbd", X_OK) != 0) return "smbd is not installed";
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::close(s);
        std::string d = dir_ + "/smb";
        for (const char* sub : {"/share", "/priv", "/lock", "/state", "/cache", "/pid"})
            std::filesystem::create_directories(d + sub);
        std::ofstream(d + "/smb.conf")
            << "[global]\n  server role = standalone server\n  map to guest = Bad User\n  guest account = nobody\n"
            << "  smb ports = " << port_ << "\n  interfaces = 127.0.0.1\n  bind interfaces only = yes\n"
            << "  private dir = " << d << "/priv\n  lock directory = " << d << "/lock\n"
            << "  state directory = " << d << "/state\n  cache directory = " << d << "/cache\n"
            << "  pid directory = " << d << "/pid\n  ncalrpc dir = " << d << "/state/ncalrpc\n"
            << "  log file = " << d << "/log\n  load printers = no\n  disable spoolss = yes\n"
            << "  passdb backend = tdbsam:" << d << "/priv/passdb.tdb\n"
            << "[qzshare]\n  path = " << d << "/share\n  read only = no\n  guest ok = yes\n  force user = root\n";
        smbd_ = ostest::Spawn({"/usr/sbin/smbd", "--foreground", "-s", d + "/smb.conf"}, true);
        // Ready when it accepts a connection (at most ten seconds).
        for (int i = 0; i < 200; ++i) {
            int c = ::socket(AF_INET, SOCK_STREAM, 0);
            bool up = ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(c);
            if (up) return "";
            ::usleep(50000);
        }
        return "smbd did not start listening";
    }
    pid_t smbd_ = -1;
    int port_ = 0;
};

TEST_F(MapDriveTest, BadNamesAndAnotherSharesLetterAreRefused) {
    os::NETRESOURCEA r;
    r.dwType = os::RESOURCETYPE_DISK;
    char local[] = "QQ", remote[] = "\\\\127.0.0.1\\qzshare", bad[] = "127.0.0.1\\qzshare";
    r.lpLocalName = local;
    r.lpRemoteName = remote;
    EXPECT_EQ(os::WNetAddConnection2A(&r, "", "", 0), static_cast<os::DWORD>(os::ERROR_BAD_DEVICE));
    char q[] = "Q:";
    r.lpLocalName = q;
    r.lpRemoteName = bad;
    EXPECT_EQ(os::WNetAddConnection2A(&r, "", "", 0), static_cast<os::DWORD>(os::ERROR_BAD_NET_NAME));
    EXPECT_EQ(os::WNetCancelConnection2A("Q:", 0, os::FALSE_), static_cast<os::DWORD>(os::ERROR_NOT_CONNECTED));
    Usual result = lib::MapDrive("QQ", "\\\\127.0.0.1\\qzshare", "", "");
    EXPECT_EQ(result.At(1), Usual(false));
    EXPECT_EQ(result.At(2), Usual("Failed to map \\\\127.0.0.1\\qzshare to QQ."));
}

TEST_F(MapDriveTest, MapsALetterToARealSambaShare) {
    std::string why = StartSamba();
    if (!why.empty()) GTEST_SKIP() << why;
    ::setenv("QZ_CIFS_OPTIONS", ("port=" + std::to_string(port_) + ",vers=3.0").c_str(), 1);
    os::NETRESOURCEA r;
    r.dwType = os::RESOURCETYPE_DISK;
    char q[] = "Q:", remote[] = "\\\\127.0.0.1\\qzshare";
    r.lpLocalName = q;
    r.lpRemoteName = remote;
    os::DWORD code = os::WNetAddConnection2A(&r, "", "guest", os::CONNECT_UPDATE_PROFILE);
    if (code == os::ERROR_NO_NETWORK || code == os::ERROR_ACCESS_DENIED) {
        std::printf("MapDrive against Samba skipped: this machine refuses to mount the share (code %u)\n", code);
        GTEST_SKIP() << "this machine refuses to mount a CIFS share (Win32 code " << code << ")";
    }
    ASSERT_EQ(code, 0u);
    // No credentials file is left behind.
    for (const auto& e : std::filesystem::directory_iterator("/tmp"))
        EXPECT_EQ(e.path().filename().string().rfind("qzcred_", 0), std::string::npos);
    int h = rt::FCreate("Q:\\hello.txt");
    ASSERT_NE(h, -1);
    rt::FWrite(h, "over the wire");
    rt::FClose(h);
    std::ifstream in(dir_ + "/smb/share/hello.txt");
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "over the wire");
    Usual again = lib::MapDrive("Q:", "\\\\127.0.0.1\\qzshare", "guest", "");
    EXPECT_EQ(again.At(1), Usual(true));  // 1202: remembered for this share
    EXPECT_EQ(again.At(2), Usual(""));
    EXPECT_EQ(lib::MapDrive("Q:", "\\\\127.0.0.1\\other", "guest", "").At(1), Usual(false));
}

}  // namespace
