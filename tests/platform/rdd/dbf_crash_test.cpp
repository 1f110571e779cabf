// A writer killed at random moments: every record whose Commit returned is
// in the table afterwards, and the table opens cleanly every time.
#include "rdd_test_util.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;
using rddtest::ReadBytes;

namespace {

class CrashTest : public rddtest::TableTest {};

// The child: appends and commits until killed, reporting each committed
// record number (and the run it belongs to) through the pipe.
[[noreturn]] void Writer(const std::string& path, int run, int out) {
    auto db = New<DBServer>(Usual(path), Usual(false), Usual(false));
    if (!db->Used()) ::_exit(2);
    for (int i = 0;; ++i) {
        if (!db->Append()) ::_exit(3);
        db->FieldPut(Usual("BARCODE"), Usual(std::to_string(run) + "-" + std::to_string(i)));
        db->FieldPut(Usual("QTY"), Usual(std::to_string(i)));
        if (!db->Commit()) ::_exit(4);
        uint32_t msg[2] = {static_cast<uint32_t>(db->RecNo()), static_cast<uint32_t>(i)};
        if (::write(out, msg, sizeof msg) != sizeof msg) ::_exit(5);
    }
}

}  // namespace

TEST_F(CrashTest, CommittedRecordsSurviveSigkill) {
    Create("crash.dbf", ScanStruct());
    const std::string path = Path("crash.dbf");
    std::mt19937 rng(12345);
    std::map<uint32_t, std::string> committed;  // record number -> barcode
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int runs = 0;
    while (std::chrono::steady_clock::now() < deadline && runs < 120) {
        ++runs;
        bool killed = false;
        int in = rddtest::RunAndKill(
            std::chrono::microseconds(rng() % 15000), [&](int out) { Writer(path, runs, out); }, killed);
        ASSERT_TRUE(killed) << "the writer stopped by itself";
        uint32_t msg[2];
        while (::read(in, msg, sizeof msg) == sizeof msg)
            committed[msg[0]] = std::to_string(runs) + "-" + std::to_string(msg[1]);
        ::close(in);

        // Read-only first (sees the file as the crash left it), then the
        // writable open that repairs it for the next run.
        for (bool readOnly : {true, false}) {
            ErrorRecorder errors;
            auto db = New<DBServer>(Usual(path), Usual(false), Usual(readOnly));
            ASSERT_TRUE(db->Used()) << errors.Last().Description;
            ASSERT_TRUE(errors.seen.empty());
            ASSERT_GE(db->LastRec(), committed.empty() ? 0 : int64_t{committed.rbegin()->first});
            for (const auto& [recno, barcode] : committed) {
                db->GoTo(recno);
                std::string got = db->FieldGet(Usual("BARCODE")).AsStr();
                ASSERT_EQ(got.substr(0, got.find(' ')), barcode) << "record " << recno << " run " << runs;
            }
            db->Close();
        }
        std::vector<uint8_t> b = ReadBytes(path);
        ASSERT_EQ((b.size() - 97) % 26, 1u) << "the repaired file ends with a whole record and the marker";
        ASSERT_EQ(b.back(), 0x1A);
    }
    EXPECT_GT(committed.size(), 0u);
    RecordProperty("runs", runs);
    std::printf("crash test: %d kills, %zu committed records checked\n", runs, committed.size());
}
