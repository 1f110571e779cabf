// The export's bytes against files that an earlier build of the export
// wrote for the same tables (tests/data/export): code pages, numbers,
// dates, logic values, deleted records, a memo field, no records at all,
// and a field list. A faster conversion must not change one byte.
#include "export/csv.h"
#include "export_fixture.h"

using namespace exporttest;

TEST_F(ExportTest, OutputIsByteForByteWhatTheEarlierExportWrote) {
    const std::string data = QZ_TEST_DATA;
    struct Case {
        std::string table, golden;
        std::vector<const char*> fields;
    };
    const std::vector<Case> cases = {
        {"export/scan437.dbf", "scan437.csv", {}},
        {"export/scan437.dbf", "scan437-fields.csv", {"QTY", "barcode   ", "QTY"}},
        {"export/types1252.dbf", "types1252.csv", {}},
        {"export/cp1251.dbf", "cp1251.csv", {}},
        {"export/cp932.dbf", "cp932.csv", {}},
        {"export/cpnone.dbf", "cpnone.csv", {}},
        {"export/empty.dbf", "empty.csv", {}},
        {"export/deleted.dbf", "deleted.csv", {}},
        {"pydbf_db3.dbf", "pydbf_db3.csv", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        // A copy: an open may repair a table, and the data folder stays as it is.
        std::string base = fs::path(c.table).stem().string();
        fs::copy_file(data + "/" + c.table, Path(base + ".dbf"), fs::copy_options::overwrite_existing);
        if (fs::exists(data + "/" + base + ".dbt"))
            fs::copy_file(data + "/" + base + ".dbt", Path(base + ".dbt"), fs::copy_options::overwrite_existing);
        rt::Usual list = rt::Usual::Array();
        for (const char* f : c.fields) list.AAdd(rt::Usual(f));
        ASSERT_FALSE(exportdata::TableToCsvFile(Path(base + ".dbf"), Path("out.csv"), list));
        EXPECT_EQ(ReadFile(Path("out.csv")), ReadFile(data + "/export/golden/" + c.golden));
    }
}
