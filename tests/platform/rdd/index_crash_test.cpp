// A writer on an indexed table killed at random moments: after every kill
// the table opens, its order agrees with a full sort of the table, and every
// committed record is found by Seek under its last committed key.
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;

namespace {

class IndexCrashTest : public rddtest::TableTest {};

// The child appends and changes records and reports each change before its
// commit (flag 0) and after it (flag 1), with record number and key, through
// the pipe until it is killed.
[[noreturn]] void Writer(const std::string& path, int run, int out) {
    auto db = New<DBServer>(Usual(path), Usual(false), Usual(false));
    if (!db->Used() || db->OrderCount() != 1) ::_exit(2);
    std::mt19937 rng(static_cast<unsigned>(run));
    for (int i = 0;; ++i) {
        std::string key = std::to_string(rng() % 100000) + "-" + std::to_string(run) + "-" + std::to_string(i);
        bool change = db->LastRec() > 0 && rng() % 3 == 0;
        if (change) db->GoTo(static_cast<int64_t>(1 + rng() % db->LastRec()));
        else if (!db->Append()) ::_exit(3);
        db->FieldPut(Usual("BARCODE"), Usual(key));
        char msg[24] = {};
        uint32_t recno = static_cast<uint32_t>(db->RecNo());
        std::memcpy(msg, &recno, 4);
        std::memcpy(msg + 5, key.data(), std::min<size_t>(key.size(), 18));
        if (::write(out, msg, sizeof msg) != sizeof msg) ::_exit(5);
        if (!db->Commit()) ::_exit(4);
        msg[4] = 1;
        if (::write(out, msg, sizeof msg) != sizeof msg) ::_exit(5);
    }
}

}  // namespace

TEST_F(IndexCrashTest, OrdersAgreeWithTheTableAfterEveryKill) {
    Create("crash.dbf", ScanStruct());
    const std::string path = Path("crash.dbf");
    {
        auto db = Open("crash.dbf");
        ASSERT_TRUE(db->CreateOrder(Usual("CODE"), Usual(), Usual("BARCODE"), Usual()));
    }
    std::mt19937 rng(4242);
    std::map<uint32_t, std::string> committed;  // record number -> last committed key
    std::map<uint32_t, std::string> inFlight;   // a change whose commit had not returned
    // Four seconds of kills, and on until more than ten records were
    // committed: on a loaded machine a writer killed after a few
    // milliseconds may not have opened the table yet, so a run in which
    // nothing was committed lets the next writer live longer.
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(4), limit = start + std::chrono::seconds(60);
    std::chrono::microseconds slack{0};
    int runs = 0;
    for (auto now = start; (now < deadline || committed.size() <= 10) && now < limit && runs < 200;
         now = std::chrono::steady_clock::now()) {
        ++runs;
        bool killed = false;
        int commits = 0;
        int in = rddtest::RunAndKill(
            std::chrono::microseconds(2000 + rng() % 20000) + slack, [&](int out) { Writer(path, runs, out); }, killed);
        ASSERT_TRUE(killed) << "the writer stopped by itself";
        char msg[24];
        inFlight.clear();
        while (::read(in, msg, sizeof msg) == sizeof msg) {
            uint32_t recno;
            std::memcpy(&recno, msg, 4);
            std::string key(msg + 5, strnlen(msg + 5, 18));
            if (msg[4]) {
                committed[recno] = key;
                inFlight.erase(recno);
                ++commits;
            } else {
                inFlight[recno] = key;
            }
        }
        ::close(in);
        if (commits == 0) slack = std::min(slack * 2 + std::chrono::milliseconds(5), std::chrono::microseconds(500000));

        for (bool readOnly : {true, false}) {
            ErrorRecorder errors;
            auto db = New<DBServer>(Usual(path), Usual(false), Usual(readOnly));
            ASSERT_TRUE(db->Used());
            ASSERT_TRUE(errors.seen.empty()) << errors.Last().Description;
            ASSERT_EQ(db->OrderCount(), 1);
            // The order, walked, is the table fully sorted.
            db->SetOrder(Usual(0));
            std::vector<std::pair<std::string, int64_t>> rows;
            for (db->GoTop(); !db->Eof(); db->Skip(Usual(1)))
                rows.emplace_back(db->FieldGet(Usual("BARCODE")).AsStr(), db->RecNo());
            std::sort(rows.begin(), rows.end());
            db->SetOrder(Usual(1));
            std::vector<std::pair<std::string, int64_t>> walked;
            for (db->GoTop(); !db->Eof(); db->Skip(Usual(1)))
                walked.emplace_back(db->OrderKeyVal().AsStr(), db->RecNo());
            ASSERT_EQ(walked, rows) << "run " << runs << (readOnly ? " read-only" : "");
            ASSERT_EQ(db->OrderKeyCount(Usual()), static_cast<int64_t>(rows.size()));
            // The change in flight when the writer died may or may not be there.
            ASSERT_LE(inFlight.size(), 1u);
            // A key may begin another ("25885-5-1" and "25885-5-12" in one
            // run), and a Seek finds the keys that begin with what it is
            // given, so each key is sought padded to the field's width.
            auto whole = [](std::string k) { return Usual(k.append(15 - std::min<size_t>(k.size(), 15), ' ')); };
            for (const auto& [recno, key] : committed) {
                bool found = db->Seek(whole(key), Usual(false));
                if (!found && inFlight.count(recno)) {
                    found = db->Seek(whole(inFlight[recno]), Usual(false));
                    if (found && !readOnly) committed[recno] = inFlight[recno];
                }
                ASSERT_TRUE(found) << key << " run " << runs;
                ASSERT_EQ(db->RecNo(), recno) << key;
            }
            db->Close();
        }
    }
    EXPECT_GT(committed.size(), 10u);
    std::printf("index crash test: %d kills, %zu committed records sought\n", runs, committed.size());
}
