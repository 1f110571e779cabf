// Every action that stores data, failed at each of its writes, syncs,
// renames and folder syncs in turn (the file layer's fault injection): the
// caller is told, the file holds the old or the new content and never a mix,
// and the action then succeeds when tried again.
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
using os::BYTE, os::DWORD, os::HKEY;

namespace {

// The table's live records as read back: record number and fields, in
// the order of its first order when asked.
std::string Records(const char* table, bool ordered = false) {
    rdd::DBServer db(Usual(table), Usual(true), Usual(true));
    if (ordered) db.SetOrder(Usual(1));
    std::string out = std::to_string(db.RecCount()) + ":";
    for (db.GoTop(); db.Used() && !db.Eof(); db.Skip(Usual(1)))
        out += std::to_string(db.RecNo()) + "=" + db.FieldGet(Usual(1)).AsStr() + db.FieldGet(Usual(2)).AsStr() + ";";
    return out;
}
std::string Bytes(const char* file) { return fs::exists(file) ? ReadFile(file) : "<none>"; }

// Opens the scan table, runs edit on it, commits and closes (taking a
// failed new record back, as the scan screen does); true when every step
// reported success.
bool Edit(const char* table, const std::function<bool(rdd::DBServer&)>& edit) {
    int errors = 0;
    Usual previous = rt::ErrorBlock(Usual::Block([&](rt::Args) {
        ++errors;
        return Usual(false);
    }));
    rdd::DBServer db(Usual(table), Usual(false), Usual(false));
    bool ok = db.Used() && edit(db) && db.Commit();
    if (!ok) db.Withdraw();
    ok = db.Close() && ok && errors == 0;
    rt::ErrorBlock(previous);
    return ok;
}
bool Put(rdd::DBServer& db, int field, const char* value) { return !db.FieldPut(Usual(field), Usual(value)).IsNil(); }

HKEY Key() {
    HKEY key = 0;
    return os::RegCreateKeyExA(os::HKEY_CURRENT_USER, "Software\\QZScan", 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr,
                               &key, nullptr) == 0
               ? key
               : 0;
}
bool SetPort(const char* port) {
    HKEY key = Key();
    bool ok = key != 0 && os::RegSetValueExA(key, "Port", 0, 1, reinterpret_cast<const BYTE*>(port), 5) == 0;
    os::RegCloseKey(key);
    return ok;
}
std::string Port() {
    os::RegCloseStores();  // read what the files hold
    char port[16] = "<none>";
    DWORD size = sizeof port;
    HKEY key = Key();
    (void)os::RegQueryValueExA(key, "Port", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size);
    os::RegCloseKey(key);
    return port;
}
std::string Ini() { return fs::current_path().string() + "/QZ.INI"; }

struct Action {
    const char* name;
    std::function<void()> make;  // the old state, beside the scan table
    std::function<bool()> run;   // true when the action reported success
    std::function<std::string()> state;
};

const std::vector<Action>& Actions() {
    static const std::vector<Action> actions = {
        {"scan append", [] {},
         [] { return Edit("QZSCAN.DBF", [](auto& db) { return db.Append() && Put(db, 1, "333"); }); },
         [] { return Records("QZSCAN.DBF"); }},
        {"record commit", [] {},
         [] { return Edit("QZSCAN.DBF", [](auto& db) { return db.GoTo(2) && Put(db, 2, "9"); }); },
         [] { return Records("QZSCAN.DBF"); }},
        {"order update",
         [] {
             rdd::DBServer(Usual("QZSCAN.DBF"), Usual(false), Usual(false))
                 .CreateOrder(Usual("BC"), Usual(), Usual("BARCODE"), Usual());
         },
         [] { return Edit("QZSCAN.DBF", [](auto& db) { return db.GoTo(1) && Put(db, 1, "999"); }); },
         [] { return Records("QZSCAN.DBF", true); }},
        {"INI write", [] { WriteFile(Ini(), "[Scan]\r\nPort=COM1\r\n"); },
         [] { return os::WritePrivateProfileStringA("Scan", "Port", "COM2", Ini().c_str()) != 0; },
         [] { return Bytes("QZ.INI"); }},
        {"registry write", [] { ASSERT_TRUE(SetPort("COM1")); }, [] { return SetPort("COM2"); }, Port},
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
    return actions;
}

class StorageFaultTest : public ExportTest {
protected:
    // A copy of the template folder made current, as data and registry folder.
    void Enter(const std::string& name, bool copy = true) {
        if (copy) fs::copy(Path("template"), Path(name), fs::copy_options::recursive);
        else fs::create_directory(Path(name));
        fs::current_path(Path(name));
        appkit::ResetSettingsList();
        appkit::AddSetting(Usual(Path(name)));
        os::RegCloseStores();
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
    for (const Action& a : Actions()) {
        SCOPED_TRACE(a.name);
        fs::remove_all(Path("template"));
        Enter("template", false);
        MakeTable("template/QZSCAN.DBF", ScanStruct(), {{Usual("111"), Usual("1")}, {Usual("222"), Usual("2")}});
        a.make();
        const std::string before = a.state();
        Enter(std::string(a.name) + " counted");
        faults::Arm(faults::kNever);
        ASSERT_TRUE(a.run());
        faults::Disarm();
        const uint64_t steps = faults::Count();
        const std::string after = a.state();
        ASSERT_NE(before, after);
        ASSERT_GT(steps, 0u);
        for (uint64_t n = 1; n <= steps; ++n) {
            for (bool cut : {false, true}) {
                SCOPED_TRACE("failing step " + std::to_string(n) + (cut ? ", a short write" : ""));
                Enter(std::string(a.name) + " " + std::to_string(n) + (cut ? "s" : ""));
                faults::Arm(n, cut ? ENOSPC : EIO, cut);
                const bool ok = a.run();
                faults::Disarm();
                ASSERT_TRUE(faults::Fired());
                EXPECT_FALSE(ok);
                const std::string now = a.state();
                EXPECT_TRUE(now == before || now == after) << now << "\nold " << before << "\nnew " << after;
                EXPECT_TRUE(a.run());
                if (now == before) {
                    EXPECT_EQ(a.state(), after);
                }
            }
        }
    }
}
