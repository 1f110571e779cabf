// Two processes (and two opens in one process) sharing a table: exclusive,
// shared and read-only opens keep each other out as they should, and two
// shared writers appending at once lose nothing.
#include "rdd_test_util.h"

#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbftable.h"

using namespace rt;
using namespace rdd;
using rddtest::ErrorRecorder;

namespace {

// A child process that runs `hold` (which opens something), tells the
// parent it is ready, and keeps what it opened until the parent lets go.
class Holder {
public:
    explicit Holder(const std::function<bool()>& hold) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            char ok = hold() ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(3);
            char c;
            while (::read(go[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        go_ = go[1];
        char ok = 'n';
        if (::read(ready[0], &ok, 1) != 1) ok = 'n';
        ::close(ready[0]);
        held_ = ok == 'y';
    }
    ~Holder() { Release(); }
    void Release() {
        if (pid_ <= 0) return;
        ::close(go_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
    }
    bool Held() const { return held_; }

private:
    pid_t pid_ = 0;
    int go_ = -1;
    bool held_ = false;
};

class ShareTest : public rddtest::TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        Create("t.dbf", ScanStruct());
    }
    // Opens in this process and reports what happened.
    bool TryOpen(bool shared, bool readOnly, ErrorRecorder& /*errors: recording*/) {
        auto db = Open("t.dbf", shared, readOnly);
        return db->Used();
    }
    std::function<bool()> HoldOpen(bool shared, bool readOnly) {
        return [=, this] {
            static std::shared_ptr<DBServer> kept;  // lives until the child exits
            kept = Open("t.dbf", shared, readOnly);
            return kept->Used();
        };
    }
    static void ExpectSharingConflict(const ErrorRecorder& errors, const std::string& file) {
        ASSERT_EQ(errors.seen.size(), 1u);
        const Error& e = errors.Last();
        EXPECT_EQ(e.GenCode, kGenOpen);
        EXPECT_EQ(e.OsCode, 32u);
        EXPECT_TRUE(e.CanDefault);
        EXPECT_EQ(e.FileName, file);
        EXPECT_TRUE(NetErr());
    }
};

}  // namespace

TEST_F(ShareTest, ExclusiveOpenKeepsEveryOtherOpenOut) {
    Holder child(HoldOpen(false, false));
    ASSERT_TRUE(child.Held());
    for (auto [shared, readOnly] : {std::pair{true, false}, {false, false}, {true, true}}) {
        ErrorRecorder errors;
        NetErr(false);
        EXPECT_FALSE(TryOpen(shared, readOnly, errors));
        ExpectSharingConflict(errors, Path("t.dbf"));
    }
    child.Release();
    ErrorRecorder errors;
    EXPECT_TRUE(TryOpen(false, false, errors));
    EXPECT_FALSE(NetErr());
}

TEST_F(ShareTest, SharedAndReadOnlyOpensCoexistButKeepExclusiveOut) {
    for (bool childReadOnly : {false, true}) {
        SCOPED_TRACE(childReadOnly ? "child read-only" : "child shared");
        Holder child(HoldOpen(true, childReadOnly));
        ASSERT_TRUE(child.Held());
        {
            ErrorRecorder errors;
            EXPECT_TRUE(TryOpen(true, false, errors));
            EXPECT_TRUE(TryOpen(true, true, errors));
            EXPECT_TRUE(errors.seen.empty());
        }
        ErrorRecorder errors;
        EXPECT_FALSE(TryOpen(false, false, errors));
        ExpectSharingConflict(errors, Path("t.dbf"));
    }
}

TEST_F(ShareTest, TwoOpensInOneProcessExcludeEachOther) {
    auto first = Open("t.dbf", false, false);
    ASSERT_TRUE(first->Used());
    ErrorRecorder errors;
    EXPECT_FALSE(TryOpen(true, false, errors));
    ExpectSharingConflict(errors, Path("t.dbf"));
    first->Close();  // closing frees the table for the next open
    EXPECT_TRUE(TryOpen(false, false, errors));
}

TEST_F(ShareTest, RetryAnswerTriesTheOpenAgain) {
    auto first = Open("t.dbf", false, false);
    ErrorRecorder errors;
    errors.answer = Usual(true);  // retry ... and free the table meanwhile
    auto block = ErrorBlock(Usual::Block([&](Args a) {
        errors.seen.push_back(std::dynamic_pointer_cast<Error>(a[0].AsObject()));
        first->Close();
        return Usual(true);
    }));
    auto second = Open("t.dbf", true, false);
    ErrorBlock(block);
    EXPECT_TRUE(second->Used());
    EXPECT_EQ(errors.seen.size(), 1u);
}

TEST_F(ShareTest, AppendLockHeldElsewhereRaisesLockConflict) {
    Holder child([this] {
        dbf::Fault f;
        static std::unique_ptr<dbf::Table> t;
        t = dbf::Table::Open(Path("t.dbf"), dbf::OpenMode{true, false, 1}, f);
        return t && !t->LockHeader();
    });
    ASSERT_TRUE(child.Held());
    auto db = Open("t.dbf", true, false);
    ErrorRecorder errors;
    EXPECT_FALSE(db->Append());
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().GenCode, kGenOpen);
    EXPECT_EQ(errors.Last().OsCode, 33u);
    EXPECT_TRUE(errors.Last().CanDefault);
    EXPECT_EQ(db->LastRec(), 0);
    child.Release();
    EXPECT_TRUE(db->Append());
}

TEST_F(ShareTest, TwoSharedWritersAppendingAtOnceLoseNothing) {
    LockTries(100);  // each waits for the other's append lock
    constexpr int kEach = 40;
    auto appendAll = [this](const char* who) {
        auto db = Open("t.dbf", true, false);
        if (!db->Used()) return false;
        for (int i = 0; i < kEach; ++i) {
            if (!db->Append()) return false;
            db->FieldPut(Usual("BARCODE"), Usual(std::string(who) + std::to_string(i)));
            if (!db->Commit()) return false;
        }
        return db->Close();
    };
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(appendAll("C") ? 0 : 1);
    ASSERT_TRUE(appendAll("P"));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto db = Open("t.dbf", false, true);
    EXPECT_EQ(db->LastRec(), 2 * kEach);
    std::set<std::string> seen;
    for (db->GoTop(); !db->Eof(); db->Skip(Usual(1))) seen.insert(db->FieldGet(Usual(1)).AsStr());
    EXPECT_EQ(seen.size(), size_t{2 * kEach});
}

TEST_F(ShareTest, SharedOpenWhileAnotherWriterAppendsSeesAGoodTable) {
    // Opens made while another writer appends quickly read the header and
    // the file size at different moments; neither order of the two may make
    // a sound table look like one that lost records.
    dbf::OpenMode mode;
    mode.shared = true;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        dbf::Fault f;
        auto t = dbf::Table::Open(Path("t.dbf"), mode, f);
        if (!t) return;
        std::vector<uint8_t> rec(t->RecordLen(), ' ');
        while (!stop && t->Count() < 20000) {
            if (t->LockHeader()) continue;
            // A failed append is simply tried again by the next round.
            if (!t->RefreshCount()) (void)t->Append(rec.data());
            t->UnlockHeader();
        }
    });
    int failed = 0;
    std::string why;
    for (int i = 0; i < 3000; ++i) {
        dbf::Fault f;
        if (!dbf::Table::Open(Path("t.dbf"), mode, f)) {
            ++failed;
            why = f.description;
        }
    }
    stop = true;
    writer.join();
    EXPECT_EQ(failed, 0) << why;
}

TEST_F(ShareTest, RepairOnOpenNeverOverwritesAnotherWritersAppend) {
    // A table whose memo file is missing is looked over on every writable
    // open. Meanwhile another writer appends: whatever it wrote under the
    // append lock must survive the opens, deletion flags included.
    std::vector<dbf::FieldDesc> fields{{"CODE", 'C', 6, 0, 1}, {"NOTE", 'M', 10, 0, 7}};
    std::vector<uint8_t> bytes = dbf::BuildHeader(fields, dbf::kCodePageAnsi, 2024, 1, 2);
    bytes.push_back(dbf::kEofMarker);
    rddtest::WriteBytes(Path("memo.dbf"), bytes);
    const size_t headerLen = bytes.size() - 1;
    const size_t recLen = 17;

    dbf::OpenMode mode;  // one try: the writer spins on the append lock
    mode.shared = true;
    std::atomic<bool> stop{false};
    std::atomic<int> appended{0};
    std::thread writer([&] {
        dbf::Fault f;
        auto t = dbf::Table::Open(Path("memo.dbf"), mode, f);
        if (!t) return;
        std::vector<uint8_t> rec(recLen, ' ');
        std::memcpy(rec.data() + 1, "ABCDEF", 6);
        while (!stop && appended < 2000) {
            if (t->LockHeader()) continue;
            dbf::Fault g = t->RefreshCount();
            if (!g) g = t->Append(rec.data());
            t->UnlockHeader();
            if (!g) ++appended;
        }
    });
    for (int i = 0; i < 1000 && appended < 2000; ++i) {
        dbf::Fault f;
        auto t = dbf::Table::Open(Path("memo.dbf"), mode, f);
        ASSERT_TRUE(t != nullptr) << f.description;
    }
    stop = true;
    writer.join();

    std::vector<uint8_t> file = rddtest::ReadBytes(Path("memo.dbf"));
    ASSERT_GE(file.size(), headerLen + size_t(appended) * recLen + 1);
    size_t bad = 0;
    for (int r = 0; r < appended; ++r)
        if (file[headerLen + size_t(r) * recLen] != ' ') ++bad;
    EXPECT_EQ(bad, 0u) << "of " << appended << " records";
    EXPECT_EQ(file[headerLen + size_t(appended) * recLen], dbf::kEofMarker);
    EXPECT_EQ(dbf::Le32(&file[dbf::kOffCount]), uint32_t(appended));
}

TEST_F(ShareTest, ReadOnlyOpenRefusesWrites) {
    auto db = Open("t.dbf", true, true);
    ErrorRecorder errors;
    EXPECT_FALSE(db->Append());
    EXPECT_EQ(errors.Last().GenCode, kGenReadOnly);
    EXPECT_TRUE(db->Close());
}

TEST_F(ShareTest, SharedCountThatCannotBeReadIsRaisedAndTheKnownCountAnswers) {
    auto db = Open("t.dbf", true, false);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(db->Append());
        ASSERT_TRUE(db->Commit());
    }
    std::filesystem::resize_file(Path("t.dbf"), 10);  // cut short by another program
    ErrorRecorder errors;
    EXPECT_EQ(db->LastRec(), 2);
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.Last().Operation, "LASTREC");
    EXPECT_EQ(errors.Last().GenCode, kGenCorruption);
}
