// Index orders of a table shared by several real processes: a commit made
// while another process opens the table, and writers that append and change
// keys side by side, each closing cleanly. Afterwards every record's key is
// found at that record and the order counts every record.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <random>

#include "platform/rdd/orderlist.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;

namespace {

class IndexShareTest : public rddtest::TableTest {
protected:
    // A table of `n` records "K1" .. "Kn" with an order on BARCODE.
    void Keyed(const std::string& name, int n) {
        Create(name, ScanStruct());
        auto db = Open(name);
        ASSERT_TRUE(db->CreateOrder(Usual("CODE"), Usual(), Usual("BARCODE"), Usual()));
        for (int i = 1; i <= n; ++i) {
            db->Append();
            db->FieldPut(Usual("BARCODE"), Usual("K" + std::to_string(i)));
        }
        db->Close();
    }
    // Every record's key leads Seek to that record; the order holds them all.
    static void ExpectEveryKeyFound(DBServer& db, const std::string& trace) {
        ASSERT_EQ(db.OrderKeyCount(Usual()), db.LastRec()) << trace;
        for (int64_t r = 1; r <= db.LastRec(); ++r) {
            db.GoTo(r);
            Usual key = db.FieldGet(Usual("BARCODE"));
            ASSERT_TRUE(db.Seek(key, Usual(false))) << trace << ": " << key.AsStr() << " of record " << r;
            ASSERT_EQ(db.RecNo(), r) << trace << ": " << key.AsStr();
        }
    }
};

// Reads one byte within `ms` milliseconds; -1 on time-out or end of file.
int ReadByte(int fd, int ms) {
    struct pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return -1;
    unsigned char c = 0;
    return ::read(fd, &c, 1) == 1 ? c : -1;
}

// Waits for a child at most `seconds`, killing it after that; its exit code,
// or -1 when it did not end by itself.
int Reap(pid_t pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        ::poll(nullptr, 0, 5);  // the child has no descriptor to wait on
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child's error block: lock conflicts are retried (each attempt waits up
// to half a second, 40 attempts at most), anything else ends the child with
// code 20.
void RetryConflicts() {
    LockTries(10);
    ErrorBlock(Usual::Block([](Args a) {
        auto e = std::dynamic_pointer_cast<Error>(a[0].AsObject());
        if (e->CanRetry && e->Tries < 40) return Usual(true);
        std::fprintf(stderr, "child %d: %s (%s, retry %d, tries %u)\n", ::getpid(), e->Description.c_str(),
                     e->Operation.c_str(), int(e->CanRetry), e->Tries);
        ::_exit(20);
        return Usual(false);
    }));
}

}  // namespace

TEST_F(IndexShareTest, ACommitWhileAnotherOpenRebuildsIsKept) {
    Keyed("t.dbf", 3);
    auto writer = Open("t.dbf", true);
    ASSERT_EQ(writer->OrderCount(), 1);
    {  // another program changes record 3: the next open must rebuild
        dbf::Fault f;
        auto t = dbf::Table::Open(Path("t.dbf"), dbf::OpenMode{}, f);
        ASSERT_TRUE(t);
        std::vector<uint8_t> rec(t->RecordLen());
        ASSERT_FALSE(t->Read(3, rec.data()));
        rec[3] = 'X';
        ASSERT_FALSE(t->Write(3, rec.data()));
    }
    int up[2], down[2];
    ASSERT_EQ(::pipe(up), 0);
    ASSERT_EQ(::pipe(down), 0);
    pid_t pid = ::fork();
    if (pid == 0) {  // the opener, paused where it would take the journal lock
        RetryConflicts();
        idx::OrderList::SetBeforeLockHook([&] {
            char c = 'p';
            if (::write(up[1], &c, 1) != 1 || ReadByte(down[0], 20000) != 'g') ::_exit(30);
        });
        auto db = New<DBServer>(Usual(Path("t.dbf")), Usual(true), Usual(false));
        char r[4] = {'r', 0, 0, 0};
        r[1] = db->Seek(Usual("ZZZ"), Usual(false)) && db->RecNo() == 2;
        r[2] = db->Seek(Usual("K2"), Usual(false));
        r[3] = db->OrderKeyCount(Usual()) == 4;
        if (::write(up[1], r, 4) != 4) ::_exit(31);
        db->Close();
        ::_exit(0);
    }
    ASSERT_EQ(ReadByte(up[0], 20000), 'p') << "the opener did not pause";
    writer->GoTo(2);
    writer->FieldPut(Usual("BARCODE"), Usual("ZZZ"));
    writer->Append();
    writer->FieldPut(Usual("BARCODE"), Usual("K4"));
    ASSERT_TRUE(writer->Commit());
    ASSERT_EQ(::write(down[1], "g", 1), 1);
    EXPECT_EQ(ReadByte(up[0], 20000), 'r');
    EXPECT_EQ(ReadByte(up[0], 1000), 1) << "the opener does not find ZZZ at record 2";
    EXPECT_EQ(ReadByte(up[0], 1000), 0) << "the opener still finds K2";
    EXPECT_EQ(ReadByte(up[0], 1000), 1) << "the opener misses the appended key";
    EXPECT_EQ(Reap(pid, 20), 0);
    for (int fd : {up[0], up[1], down[0], down[1]}) ::close(fd);
    ExpectEveryKeyFound(*writer, "the writer");
    writer->Close();
    auto again = Open("t.dbf");
    ExpectEveryKeyFound(*again, "reopened");
}

TEST_F(IndexShareTest, ConcurrentWritersLeaveEveryKeyFindable) {
    const unsigned seed = std::random_device{}();
    for (int writers : {2, 3}) {
        const std::string name = "w" + std::to_string(writers) + ".dbf";
        Keyed(name, 3000);
        const std::string path = Path(name);
        std::vector<pid_t> pids;
        for (int w = 0; w < writers; ++w) {
            pid_t pid = ::fork();
            if (pid == 0) {
                RetryConflicts();
                std::mt19937 rng(seed * 7 + static_cast<unsigned>(writers * 10 + w));
                int n = 0;
                for (int session = 0; session < 12; ++session) {
                    auto db = New<DBServer>(Usual(path), Usual(true), Usual(false));
                    if (!db->Used() || db->OrderCount() != 1) ::_exit(2);
                    for (int i = 0; i < 20; ++i) {
                        std::string key = "W" + std::to_string(w) + "-" + std::to_string(++n);
                        if (rng() % 2 == 0) {
                            if (!db->Append()) ::_exit(3);
                        } else {
                            db->GoTo(static_cast<int64_t>(1 + rng() % db->LastRec()));
                        }
                        db->FieldPut(Usual("BARCODE"), Usual(key));
                        if (!db->Commit()) ::_exit(4);
                    }
                    db->Close();
                }
                ::_exit(0);
            }
            pids.push_back(pid);
        }
        for (pid_t pid : pids) ASSERT_EQ(Reap(pid, 60), 0) << "seed " << seed;
        const std::string trace = std::to_string(writers) + " writers, seed " + std::to_string(seed);
        for (bool shared : {false, true}) {
            auto db = Open(name, shared);
            ExpectEveryKeyFound(*db, trace);
        }
    }
}
