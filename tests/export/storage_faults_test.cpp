// Every action that stores data, failed at each of its writes, syncs,
// renames and folder syncs in turn (the file layer's fault injection): the
// caller is told, the state is the old or the new one and never a mix, and
// the action then succeeds when tried again.
#include "export/archive.h"
#include "export/csv.h"
#include "export_fixture.h"
#include "platform/os/profile.h"
#include "platform/os/registry.h"
#include "platform/runtime/error.h"
#include "platform/runtime/posixfile.h"

using namespace exporttest;
using rt::Usual;
namespace faults = rt::faults;

namespace {

// The scan table's live records read back, in the order of its first order
// when it has one.
std::string Records() {
    rdd::DBServer db(Usual("QZSCAN.DBF"), Usual(true), Usual(true));
    db.SetOrder(Usual(1));
    std::string out = std::to_string(db.RecCount()) + ":";
    for (db.GoTop(); db.Used() && !db.Eof(); db.Skip(Usual(1)))
        out += std::to_string(db.RecNo()) + "=" + db.FieldGet(Usual(1)).AsStr() + db.FieldGet(Usual(2)).AsStr() + ";";
    return out;
}
std::string Bytes(const char* file) { return fs::exists(file) ? ReadFile(file) : "<none>"; }

// Opens the scan table, puts value in field of record recno (0: a new one),
// commits and closes, taking a failed new record back as the scan screen
// does; true when no step reported a failure.
bool Edit(int recno, int field, const char* value) {
    int errors = 0;
    Usual previous = rt::ErrorBlock(Usual::Block([&](rt::Args) { return Usual(++errors < 0); }));
    rdd::DBServer db(Usual("QZSCAN.DBF"), Usual(false), Usual(false));
    bool ok = (recno == 0 ? db.Append() : db.GoTo(recno)) && !db.FieldPut(Usual(field), Usual(value)).IsNil() &&
              db.Commit();
    if (!ok) db.Withdraw();
    ok = db.Close() && ok && errors == 0;
    rt::ErrorBlock(previous);
    return ok;
}

// Sets (or with null reads, from the store opened again) the registry value.
std::string Port(const char* set = nullptr) {
    if (set == nullptr) os::RegCloseStores();
    os::HKEY key = 0;
    char got[16] = "<none>";
    os::DWORD size = sizeof got;
    os::LONG rc = os::RegCreateKeyExA(os::HKEY_CURRENT_USER, "Software\\QZScan", 0, nullptr, 0, os::KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr);
    if (rc == 0 && set) rc = os::RegSetValueExA(key, "Port", 0, 1, reinterpret_cast<const os::BYTE*>(set), 5);
    if (rc == 0 && !set)
        (void)os::RegQueryValueExA(key, "Port", nullptr, nullptr, reinterpret_cast<os::BYTE*>(got), &size);
    os::RegCloseKey(key);
    return set ? std::to_string(rc) : got;
}
bool Ini(const char* value) {
    return os::WritePrivateProfileStringA("Scan", "Port", value, (fs::current_path() / "QZ.INI").c_str());
}

struct Action {
    const char* name;
    std::function<void()> make;  // the old state, beside the scan table
    std::function<bool()> run;   // true when the action reported success
    std::function<std::string()> state;
};

const Action kActions[] = {
    {"scan append", [] {}, [] { return Edit(0, 1, "333"); }, Records},
    {"record commit", [] {}, [] { return Edit(2, 2, "9"); }, Records},
    {"order update",
     [] {
         rdd::DBServer(Usual("QZSCAN.DBF"), Usual(false), Usual(false))
             .CreateOrder(Usual("BC"), Usual(), Usual("BARCODE"), Usual());
     },
     [] { return Edit(1, 1, "999"); }, Records},
    {"INI write", [] { Ini("COM1"); }, [] { return Ini("COM2"); }, [] { return Bytes("QZ.INI"); }},
    {"registry write", [] { Port("COM1"); }, [] { return Port("COM2") == "0"; }, [] { return Port(); }},
    {"CSV export", [] { WriteFile("QZScan.csv", "old\r\n"); },
     [] {
         Usual fields = Usual::Array();
         return !exportdata::TableToCsvFile("QZSCAN.DBF", "QZScan.csv", fields);
     },
     [] { return Bytes("QZScan.csv"); }},
    {"archive", [] {},
     [] {
         int err = -1;
         exportdata::CopyScannedDataFile(&err);
         return err == 0;
     },
     [] { return Bytes("202403020905.dbf"); }},
};

class StorageFaultTest : public ExportTest {
protected:
    // A copy of the old state made current, as data and registry folder.
    void Enter(const std::string& name) {
        os::RegCloseStores();
        fs::copy(Path("old"), Path(name), fs::copy_options::recursive);
        fs::current_path(Path(name));
        appkit::ResetSettingsList();
        appkit::AddSetting(Usual(Path(name)));
        ::setenv("QZ_REGISTRY_DIR", Path(name + "/reg").c_str(), 1);
    }
    void TearDown() override {
        os::RegCloseStores();
        ::unsetenv("QZ_REGISTRY_DIR");
        ExportTest::TearDown();
    }
};

}  // namespace

TEST_F(StorageFaultTest, EveryFailedStepIsReportedAndLeavesTheOldOrTheNewContent) {
    rt::SetClock([] { return rt::CivilTime{2024, 3, 2, 9, 5, 30}; });
    for (const Action& a : kActions) {
        SCOPED_TRACE(a.name);
        fs::remove_all(Path("old"));
        fs::create_directory(Path("old"));
        MakeTable("old/QZSCAN.DBF", ScanStruct(), {{Usual("111"), Usual("1")}, {Usual("222"), Usual("2")}});
        fs::current_path(Path("old"));
        ::setenv("QZ_REGISTRY_DIR", Path("old/reg").c_str(), 1);
        a.make();
        Enter(std::string(a.name) + " counted");
        const std::string before = a.state();
        faults::Arm(faults::kNever);
        ASSERT_TRUE(a.run());
        faults::Disarm();
        const uint64_t steps = faults::Count();
        const std::string after = a.state();
        ASSERT_NE(before, after);
        for (uint64_t n = 1; n <= steps * 3; ++n) {
            // Rounds: the step fails; its write is cut short on a full disk;
            // it and every step after it fail.
            const uint64_t step = (n - 1) % steps + 1, round = (n - 1) / steps;
            SCOPED_TRACE("failing step " + std::to_string(step) + " in round " + std::to_string(round));
            Enter(std::string(a.name) + " " + std::to_string(n));
            faults::Arm(step, round == 1 ? ENOSPC : EIO, round == 1, round == 2);
            const bool ok = a.run();
            faults::Disarm();
            EXPECT_TRUE(faults::Fired() && !ok);
            const std::string now = a.state();
            EXPECT_TRUE(now == before || now == after) << now << "\nold " << before << "\nnew " << after;
            EXPECT_TRUE(a.run());
            if (now == before) {
                EXPECT_EQ(a.state(), after) << "after a second run";
            }
        }
    }
}
