// The scan data file: where it lives, its exact structure, its creation.
#include "scan_fixture.h"

#include <fstream>
#include <iterator>

#include "appkit/settings_list.h"
#include "platform/rdd/dbserver.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "scan/datafile.h"

namespace {

class DataFileTest : public ScanDirTest {
protected:
    void SetUp() override {
        ScanDirTest::SetUp();
        std::filesystem::create_directory(Path("DATA"));
        appkit::ResetSettingsList();
        appkit::AddSetting(rt::Usual(dir_ + "/DATA"));
        appkit::AddSetting(rt::Usual("Quorvex Stocktake Utility (1.02)"));
    }
    void TearDown() override {
        appkit::ResetSettingsList();
        ScanDirTest::TearDown();
    }
};

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(DataFileTest, GetDataFileNameCreatesTheFileAndReturnsTheLowerCasedPath) {
    std::string name = scan::GetDataFileName();
    std::string expect = dir_ + "/DATA\\QZSCAN.DBF";
    for (char& c : expect)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    EXPECT_EQ(name, expect);
    EXPECT_TRUE(rt::File(name));  // found although the file is QZSCAN.DBF in DATA
    EXPECT_TRUE(std::filesystem::exists(Path("DATA/QZSCAN.DBF")));

    // A second call keeps the file (and its records).
    {
        auto db = rt::New<rdd::DBServer>(rt::Usual(name), rt::Usual(false));
        db->Append();
        db->FieldPut(rt::Usual("BARCODE"), rt::Usual("1"));
        db->Close();
    }
    EXPECT_EQ(scan::GetDataFileName(), name);
    auto db = rt::New<rdd::DBServer>(rt::Usual(name), rt::Usual(true), rt::Usual(true));
    EXPECT_EQ(db->LastRec(), 1);
}

TEST_F(DataFileTest, ASiblingFolderDifferingOnlyInCaseIsLeftAlone) {
    // This installation is in "Inst"; another one, "inst", sits beside it.
    namespace fs = std::filesystem;
    fs::create_directories(Path("Inst/DATA"));
    fs::create_directories(Path("inst/DATA"));
    appkit::ResetSettingsList();
    appkit::AddSetting(rt::Usual(dir_ + "/Inst/DATA"));
    {
        auto other = rt::New<rdd::DBServer>(rt::Usual(dir_ + "/inst/DATA/QZSCAN.DBF"), rt::Usual(false));
        if (!other->Used()) {
            ASSERT_TRUE(rdd::DBCreate(dir_ + "/inst/DATA/QZSCAN.DBF", scan::ScanStructure()).AsLogic());
            other = rt::New<rdd::DBServer>(rt::Usual(dir_ + "/inst/DATA/QZSCAN.DBF"), rt::Usual(false));
        }
        other->Append();
        other->FieldPut(rt::Usual("BARCODE"), rt::Usual("THEIRS"));
        other->Close();
    }
    std::vector<uint8_t> theirs = Bytes(Path("inst/DATA/QZSCAN.DBF"));
    std::string name = scan::GetDataFileName();
    EXPECT_TRUE(fs::exists(Path("Inst/DATA/QZSCAN.DBF")));  // made here, not taken from there
    {
        auto db = rt::New<rdd::DBServer>(rt::Usual(name), rt::Usual(false));
        EXPECT_EQ(db->LastRec(), 0);
        db->Append();
        db->FieldPut(rt::Usual("BARCODE"), rt::Usual("OURS"));
        db->Close();
    }
    scan::MakeScannedDataFile();  // the restart
    EXPECT_EQ(Bytes(Path("inst/DATA/QZSCAN.DBF")), theirs);
    EXPECT_EQ(scan::DataFileOnDisk(), Path("Inst/DATA/QZSCAN.DBF"));  // shown as it is on disk
}

TEST_F(DataFileTest, MadeFileHasTheScanStructureAsAnOemTable) {
    rt::SetAnsi(true);
    ASSERT_TRUE(scan::MakeScannedDataFile());
    EXPECT_TRUE(rt::SetAnsi());  // restored
    std::vector<uint8_t> b = Bytes(Path("DATA/QZSCAN.DBF"));
    ASSERT_GE(b.size(), 98u);
    EXPECT_EQ(b[29], 0x01);             // OEM code page
    EXPECT_EQ(b[10] | b[11] << 8, 26);  // flag + 15 + 10

    auto db = rt::New<rdd::DBServer>(rt::Usual(scan::DataFilePath()), rt::Usual(false));
    rt::Usual st = db->DBStruct();
    ASSERT_EQ(st.ALen(), 2u);
    EXPECT_EQ(st.At(1).At(1).AsStr(), "BARCODE");
    EXPECT_EQ(st.At(1).At(2).AsStr(), "C");
    EXPECT_EQ(st.At(1).At(3).AsLong(), 15);
    EXPECT_EQ(st.At(2).At(1).AsStr(), "QTY");
    EXPECT_EQ(st.At(2).At(3).AsLong(), 10);

    // The quantity is stored as typed, cut to ten characters.
    db->Append();
    db->FieldPut(rt::Usual("QTY"), rt::Usual(" 1.5kgXXXXXX"));
    db->Commit();
    EXPECT_EQ(db->FieldGet(rt::Usual("QTY")).AsStr(), " 1.5kgXXXX");
}

TEST_F(DataFileTest, MakeReplacesAnExistingFileWithAnEmptyOne) {
    ASSERT_TRUE(scan::MakeScannedDataFile());
    {
        auto db = rt::New<rdd::DBServer>(rt::Usual(scan::DataFilePath()), rt::Usual(false));
        db->Append();
        db->Close();
    }
    ASSERT_TRUE(scan::MakeScannedDataFile());
    auto db = rt::New<rdd::DBServer>(rt::Usual(scan::DataFilePath()), rt::Usual(false));
    EXPECT_EQ(db->LastRec(), 0);
}

TEST_F(DataFileTest, CreationFailureGoesToTheErrorBlockAndRestoresAnsi) {
    appkit::ResetSettingsList();
    appkit::AddSetting(rt::Usual(dir_ + "/NoSuchDir"));
    rt::SetAnsi(true);
    std::vector<rt::ErrorRef> seen;
    rt::Usual old = rt::ErrorBlock(rt::Usual::Block([&](rt::Args a) {
        seen.push_back(std::dynamic_pointer_cast<rt::Error>(a[0].AsObject()));
        rt::LabelJump(rt::Usual("left"));  // a handler that breaks out
        return rt::Usual(false);
    }));
    bool result = true;
    rt::BeginSequence([&] { result = scan::MakeScannedDataFile(); });
    rt::ErrorBlock(old);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]->FuncSym, rt::Symbol("DBCREATE"));
    EXPECT_TRUE(rt::SetAnsi());  // restored although the call was left
    EXPECT_TRUE(result);         // never assigned: the scope was left
    rt::Usual quiet = rt::ErrorBlock(rt::Usual::Block([](rt::Args) { return rt::Usual(false); }));
    EXPECT_FALSE(scan::MakeScannedDataFile());
    rt::ErrorBlock(quiet);
}
