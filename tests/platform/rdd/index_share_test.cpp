// Orders of a table shared by real processes: a commit made while another
// process opens the table, and writers side by side with clean closes.
#include <poll.h>

#include <random>

#include "platform/rdd/orderlist.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;

namespace {

class IndexShareTest : public rddtest::TableTest {
protected:
    void Keyed(const std::string& name, int n) {  // n records "K1".. ordered by BARCODE
        Create(name, ScanStruct());
        auto db = Open(name);
        ASSERT_TRUE(db->CreateOrder(Usual("CODE"), Usual(), Usual("BARCODE"), Usual()));
        for (int i = 1; i <= n; ++i) db->Append(), db->FieldPut(Usual("BARCODE"), Usual("K" + std::to_string(i)));
        db->Close();
    }
    // Every record's key leads Seek to that record; the order holds them all.
    static bool EveryKeyFound(DBServer& db) {
        for (int64_t r = 1; r <= db.LastRec(); ++r) {
            db.GoTo(r);
            if (!db.Seek(db.FieldGet(Usual("BARCODE")), Usual(false)) || db.RecNo() != r) return false;
        }
        return db.OrderKeyCount(Usual()) == db.LastRec();
    }
};

bool Await(int fd) {  // one byte within 20 s
    struct pollfd p = {fd, POLLIN, 0};
    char c;
    return ::poll(&p, 1, 20000) == 1 && ::read(fd, &c, 1) == 1;
}

int Reap(pid_t pid) {  // the child's exit code; it is killed after 60 s
    int status = 0;
    for (int i = 0; i < 6000; ++i, ::poll(nullptr, 0, 10))
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

void RetryConflicts() {  // in a child: lock conflicts are retried, anything else ends it
    LockTries(10);
    ErrorBlock(Usual::Block([](Args a) {
        auto e = std::dynamic_pointer_cast<Error>(a[0].AsObject());
        if (!e->CanRetry || e->Tries > 40) ::_exit(20);
        return Usual(true);
    }));
}

}  // namespace

TEST_F(IndexShareTest, ACommitWhileAnotherOpenRebuildsIsKept) {
    Keyed("t.dbf", 3);
    auto writer = Open("t.dbf", true);
    EditBehindTheIndex("t.dbf", 3, 3, 'X');  // so the next open must rebuild
    int up[2], down[2];
    ASSERT_EQ(::pipe(up) | ::pipe(down), 0);
    pid_t pid = ::fork();
    if (pid == 0) {  // the opener, paused before it takes the journal lock
        RetryConflicts();
        idx::OrderList::SetBeforeLockHook([&] { (void)(::write(up[1], "p", 1) == 1 && Await(down[0])); });
        auto db = New<DBServer>(Usual(Path("t.dbf")), Usual(true), Usual(false));
        bool ok = db->Seek(Usual("ZZZ"), Usual(false)) && db->RecNo() == 2 && !db->Seek(Usual("K2"), Usual(false));
        ::_exit(ok && EveryKeyFound(*db) ? 0 : 1);
    }
    ASSERT_TRUE(Await(up[0])) << "the opener did not pause";
    writer->GoTo(2);
    writer->FieldPut(Usual("BARCODE"), Usual("ZZZ"));
    writer->Append();
    writer->FieldPut(Usual("BARCODE"), Usual("K4"));
    ASSERT_TRUE(writer->Commit());
    ASSERT_EQ(::write(down[1], "g", 1), 1);
    EXPECT_EQ(Reap(pid), 0) << "the opener lost the commit";
    writer->Close();
    EXPECT_TRUE(EveryKeyFound(*Open("t.dbf")));
}

TEST_F(IndexShareTest, ConcurrentWritersLeaveEveryKeyFindable) {
    const unsigned seed = std::random_device{}();
    for (int writers : {2, 3}) {
        const std::string name = "w" + std::to_string(writers) + ".dbf";
        Keyed(name, 3000);  // big enough that writes land while others open
        std::vector<pid_t> pids;
        for (int w = 0; w < writers; ++w)
            if ((pids.emplace_back(::fork())) == 0) {  // 12 sessions of 20 appends or key changes
                RetryConflicts();
                std::mt19937 rng(seed + static_cast<unsigned>(writers * 10 + w));
                for (int n = 0; n < 240;) {
                    auto db = New<DBServer>(Usual(Path(name)), Usual(true), Usual(false));
                    for (int end = n + 20; n < end;) {
                        if (rng() % 2 ? !db->Append() : !db->GoTo(int64_t{1} + rng() % db->LastRec())) ::_exit(3);
                        db->FieldPut(Usual("BARCODE"), Usual("W" + std::to_string(w) + "-" + std::to_string(++n)));
                        if (!db->Commit()) ::_exit(4);
                    }
                    db->Close();
                }
                ::_exit(0);
            }
        for (pid_t pid : pids) ASSERT_EQ(Reap(pid), 0) << "seed " << seed;
        for (bool shared : {false, true})
            EXPECT_TRUE(EveryKeyFound(*Open(name, shared))) << writers << " writers, seed " << seed;
    }
}
