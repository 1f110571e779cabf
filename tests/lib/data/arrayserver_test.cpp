#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

#include "lib/data/arrayserver.h"
#include "lib/data/dataclasses.h"
#include "lib/data/delimitedtext.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/text.h"
#include "rdd_test_util.h"

using namespace rt;
using namespace rdd;
using lib::ArrayServer;

namespace {

// A client that records the codes it is told and may refuse moves.
class Client : public Object {
    QZ_OBJECT(Client)
public:
    Usual Notify(int64_t code, const Usual&) {
        codes.push_back(code);
        return code == kNotifyIntentToMove ? Usual(allowMoves) : Usual();
    }
    std::vector<int64_t> codes;
    bool allowMoves = true;
};

}  // namespace

const ClassDef& Client::StaticClass() {
    static const ClassDef& c = ClassBuilder<Client>("TESTCLIENT").Method<&Client::Notify>("NOTIFY").Done();
    return c;
}

class ArrayServerTest : public rddtest::TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        lib::RegisterDataClasses();
        SetDateFrmt("DD/MM/YYYY");
    }
    static Usual Struct() {
        return Usual::Array({Field("NAME", "C", 6), Field("QTY", "N", 5), Field("DAY", "D", 8), Field("OK", "L", 1)});
    }
    static Usual Row(const char* name, int qty) {
        return Usual::Array({Usual(name), Usual(qty), Usual(MakeDate(2024, 3, 15)), Usual(true)});
    }
    std::shared_ptr<ArrayServer> Make(std::vector<Usual> rows) {
        rows_ = Usual::Array(std::move(rows));
        auto s = New<ArrayServer>();
        s->Init(Struct(), rows_);
        client_ = New<Client>();
        s->RegisterClient(Usual(client_));
        return s;
    }
    std::shared_ptr<ArrayServer> Three() { return Make({Row("ABC", 3), Row("XYZ", 1), Row("MNO", 2)}); }
    std::string File(const std::string& name, const std::string& content) {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    Usual rows_;
    std::shared_ptr<Client> client_;
};

TEST_F(ArrayServerTest, EmptyServerIsAtBothEndsUntilAnAppend) {
    auto s = Make({});
    EXPECT_TRUE(s->Eof());
    EXPECT_TRUE(s->Bof());
    s->GoTop();
    s->Seek(Usual("A"));
    s->Sort(Usual(1));
    s->SetFilter(Usual::Block([](Args) { return Usual(true); }), Usual("x"));
    s->Skip(Usual());
    EXPECT_EQ(client_->codes, std::vector<int64_t>{kNotifyRecordChange});
    EXPECT_TRUE(s->ClearFilter());
    ASSERT_TRUE(s->Append());
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_EQ(s->FieldGet(Usual("NAME")).AsStr(), "");
    EXPECT_EQ(rows_.ALen(), 1u);
}

TEST_F(ArrayServerTest, GoToEndsAndSkipBackAtTheTop) {
    auto s = Three();
    s->GoTo(Usual(0));
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_TRUE(s->Bof());
    EXPECT_FALSE(s->Eof());
    s->GoTo(Usual(8));
    EXPECT_EQ(s->RecNo(), 4);
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->FieldPut(Usual(2), Usual(9)).AsLong(), 0);  // nothing stored at EOF
    s->GoTop();
    s->Skip(Usual(-1));
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_TRUE(s->Bof());
    s->Skip(Usual(5));
    EXPECT_TRUE(s->Eof());
    s->GoBottom();
    EXPECT_EQ(s->FieldGet(Usual(1)).AsStr(), "MNO");
}

TEST_F(ArrayServerTest, DeletedRowsVanishAtTheNextMove) {
    auto s = Three();
    s->SetDeletedFlag(Usual(true));
    s->GoTo(Usual(2));
    s->Delete();
    EXPECT_EQ(s->RecNo(), 2);
    EXPECT_TRUE(s->Deleted());
    s->GoTop();
    s->Skip(Usual(1));
    EXPECT_EQ(s->RecNo(), 3);
    s->Skip(Usual(-1));
    EXPECT_EQ(s->RecNo(), 1);
    s->RecallAll();
    s->Skip(Usual(1));
    EXPECT_EQ(s->RecNo(), 2);
}

TEST_F(ArrayServerTest, BufferReachesTheRowOnMoveOrCommitOnly) {
    auto s = Three();
    s->FieldPut(Usual("QTY"), Usual(42));
    EXPECT_EQ(rows_.At(1).At(2).AsLong(), 3);
    s->Skip(Usual(1));
    EXPECT_EQ(rows_.At(1).At(2).AsLong(), 42);
    // A refused move keeps pending changes.
    s->FieldPut(Usual("QTY"), Usual(7));
    client_->allowMoves = false;
    s->Skip(Usual(1));
    client_->allowMoves = true;
    EXPECT_EQ(s->RecNo(), 2);
    EXPECT_EQ(s->FieldGet(Usual("QTY")).AsLong(), 7);
    s->Commit();
    EXPECT_EQ(rows_.At(2).At(2).AsLong(), 7);
    s->Append();
    s->FieldPut(Usual(1), Usual("NEW"));
    EXPECT_EQ(rows_.At(4).At(1).AsStr(), "NEW");                  // the appended buffer is the row
    EXPECT_EQ(s->FieldPut(Usual(2), Usual("text")).AsLong(), 0);  // its FIELDSPEC refuses the type
}

TEST_F(ArrayServerTest, FieldsByPositionNameAndSymbol) {
    auto s = Three();
    EXPECT_EQ(s->FieldPos(Usual("QTY")), 2);
    EXPECT_EQ(s->FieldPos(Usual("qty")), 0);
    EXPECT_EQ(s->FieldPos(Usual(Symbol("qty"))), 2);
    EXPECT_EQ(s->FieldPos(Usual(9)), 0);
    EXPECT_TRUE(s->String2Usual(Usual("y"), Usual(4)).AsLogic());
    EXPECT_FALSE(s->String2Usual(Usual("N"), Usual(4)).AsLogic());
    EXPECT_EQ(s->String2Usual(Usual("ab"), Usual(1)).AsStr(), "ab    ");
    EXPECT_EQ(s->Usual2String(Usual(MakeDate(2024, 3, 5)), Usual(3)), "20240305");
    EXPECT_EQ(s->Usual2String(Usual(false), Usual(4)), "F");
    EXPECT_EQ(s->Usual2String(Usual(12), Usual(2)), "   12");
    EXPECT_EQ(s->FieldGetFormatted(Usual(1)).AsStr(), "ABC   ");
}

TEST_F(ArrayServerTest, SeekFilterAndSort) {
    auto s = Three();
    EXPECT_TRUE(s->Seek(Usual("AB")));
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_FALSE(s->Seek(Usual("Q")));
    EXPECT_TRUE(s->Eof());
    EXPECT_TRUE(s->Seek(CompileBlock("{|r| r[2] == 2}")));
    EXPECT_EQ(s->RecNo(), 3);

    EXPECT_EQ(s->SetFilterText(Usual("QTY < 3")), "QTY < 3");
    EXPECT_EQ(s->RecNo(), 2);  // row 1 fails the filter and is passed over
    s->Skip(Usual(1));
    EXPECT_EQ(s->RecNo(), 3);
    s->Skip(Usual(1));
    EXPECT_TRUE(s->Eof());
    EXPECT_TRUE(s->ClearFilter());
    EXPECT_EQ(s->Filter(), "");

    s->GoTo(Usual(3));
    s->Delete();  // MNO
    s->Sort(Usual("NAME"));
    EXPECT_EQ(rows_.At(2).At(1).AsStr(), "MNO");
    s->GoTo(Usual(2));
    EXPECT_TRUE(s->Deleted());  // the flag went with its row
    EXPECT_EQ(client_->codes.back(), kNotifyRecordChange);
}

TEST_F(ArrayServerTest, UnmatchedResetSilencesUntilASuspend) {
    auto s = Three();
    s->ResetNotification();
    client_->codes.clear();
    s->GoTop();
    EXPECT_TRUE(client_->codes.empty());
    s->SuspendNotification();
    s->GoBottom();
    EXPECT_EQ(client_->codes, (std::vector<int64_t>{kNotifyIntentToMove, kNotifyGoBottom}));
}

TEST_F(ArrayServerTest, DelimitedAndFixedWidthImports) {
    auto s = Make({});
    std::string csv = File("in.txt", "a,5,15/03/2024,T\r\n\r\n\"b\",\"6\",\"01/01/2000\",\"F\"\nc,7,02/02/2002,y\n");
    ASSERT_TRUE(s->AppendDelimited(Usual(csv), Usual()));
    ASSERT_EQ(rows_.ALen(), 3u);
    EXPECT_EQ(rows_.At(1).At(1).AsStr(), "a     ");
    EXPECT_EQ(rows_.At(1).At(3).AsDate(), MakeDate(2024, 3, 15));
    EXPECT_TRUE(rows_.At(1).At(4).AsLogic());  // the last field is converted too
    EXPECT_EQ(rows_.At(2).At(1).AsStr(), "b     ");
    EXPECT_EQ(rows_.At(2).At(2).AsLong(), 6);
    EXPECT_FALSE(rows_.At(2).At(4).AsLogic());
    EXPECT_EQ(rows_.At(3).At(2).AsLong(), 7);  // unquoted again after a quoted line
    EXPECT_EQ(s->RecNo(), 3);
    EXPECT_EQ(client_->codes.back(), kNotifyFileChange);

    std::string sdf = File("in.sdf", "xy       9\nlonger12345 \n");
    ASSERT_TRUE(s->AppendSDF(Usual(sdf)));
    EXPECT_EQ(rows_.At(4).At(1).AsStr(), "xy    ");
    EXPECT_EQ(rows_.At(4).At(2).AsLong(), 9);
    EXPECT_EQ(rows_.At(5).At(2).AsLong(), 12345);
    EXPECT_TRUE(s->AppendDelimited(Usual(Path("missing.txt")), Usual()));
}

TEST_F(ArrayServerTest, FailedImportKeepsRowsAndReleasesNotifications) {
    auto s = Make({});
    std::string bad = File("bad.txt", "a,1\nb,2,01/01/2001,T,extra\nc,3\n");
    EXPECT_FALSE(s->AppendDelimited(Usual(bad), Usual()));
    EXPECT_EQ(s->LastRec(), 1);
    client_->codes.clear();
    s->GoTop();
    EXPECT_EQ(client_->codes.back(), kNotifyGoTop);
}

TEST_F(ArrayServerTest, ExportsReplaceTheOldContentAndReadBack) {
    auto s = Three();
    std::string out = File("out.txt", std::string(500, 'z'));
    ASSERT_TRUE(s->CopyDelimited(Usual(out), Usual(";")));
    EXPECT_EQ(Read(out).substr(0, 28), "ABC   ;    3;20240315;T\r\nXYZ");
    EXPECT_EQ(Read(out).find('z'), std::string::npos);
    ASSERT_TRUE(s->CopySDF(Usual(Path("out.sdf"))));
    EXPECT_EQ(Read(Path("out.sdf")).substr(0, 22), "ABC       320240315T\r\n");
}

TEST_F(ArrayServerTest, TableImportAndExport) {
    auto s = Three();
    ASSERT_TRUE(s->CopyDB(Usual(Path("copy.dbf"))));
    auto back = Make({});
    ASSERT_TRUE(back->AppendDB(Usual(Path("copy.dbf"))));
    ASSERT_EQ(rows_.ALen(), 3u);
    EXPECT_EQ(rows_.At(2).At(1).AsStr(), "XYZ   ");
    EXPECT_EQ(rows_.At(3).At(2).AsLong(), 2);
    EXPECT_EQ(rows_.At(1).At(3).AsDate(), MakeDate(2024, 3, 15));
    EXPECT_TRUE(back->AppendDB(Usual(Path("none.dbf"))));  // not in use: nothing done
    EXPECT_EQ(rows_.ALen(), 3u);
}

TEST_F(ArrayServerTest, EachOperationSendsItsCode) {
    struct Case {
        const char* what;
        std::function<void(ArrayServer&)> op;
        std::vector<int64_t> codes;
    } cases[] = {
        {"GOTO", [](ArrayServer& s) { s.GoTo(Usual(2)); }, {kNotifyIntentToMove, kNotifyRecordChange}},
        {"GOBOTTOM", [](ArrayServer& s) { s.GoBottom(); }, {kNotifyIntentToMove, kNotifyGoBottom}},
        {"APPEND", [](ArrayServer& s) { s.Append(); }, {kNotifyIntentToMove, kNotifyAppend}},
        {"DELETE", [](ArrayServer& s) { s.Delete(); }, {kNotifyDelete}},
        {"RECALL", [](ArrayServer& s) { s.Recall(); }, {}},
        {"FIELDPUT", [](ArrayServer& s) { s.FieldPut(Usual(1), Usual("Q")); }, {kNotifyFieldChange}},
        {"REFRESH", [](ArrayServer& s) { s.Refresh(); }, {kNotifyRecordChange}},
        {"CLOSE", [](ArrayServer& s) { s.Close(); }, {kNotifyClose}},
        {"SETFILTER", [](ArrayServer& s) { s.SetFilterText(Usual("QTY > 0")); }, {kNotifyIntentToMove, kNotifyGoTop}},
        {"SORT", [](ArrayServer& s) { s.Sort(Usual(1)); }, {kNotifyIntentToMove, kNotifyGoTop}},
        {"SETDELETED",
         [](ArrayServer& s) { s.SetDeletedFlag(Usual(true)); },
         {kNotifyIntentToMove, kNotifyGoTop, kNotifyFileChange}},
        {"SETDELETED non-logic", [](ArrayServer& s) { s.SetDeletedFlag(Usual(1)); }, {}},
    };
    for (const Case& c : cases) {
        auto s = Three();
        c.op(*s);
        EXPECT_EQ(client_->codes, c.codes) << c.what;
    }
}

TEST_F(ArrayServerTest, RefusedMovesChangeNothing) {
    auto s = Three();
    client_->allowMoves = false;
    s->GoBottom();
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_FALSE(s->Append());
    s->SetFilterText(Usual("QTY > 2"));
    EXPECT_EQ(s->Filter(), "");
    EXPECT_TRUE(s->Seek(Usual("MNO")));  // not at EOF, and not moved
    EXPECT_EQ(s->RecNo(), 1);
}

TEST_F(ArrayServerTest, BottomAndBackwardPassHiddenRows) {
    auto s = Three();
    s->SetFilterText(Usual("QTY != 2"));  // hides MNO, the last row
    s->GoBottom();
    EXPECT_EQ(s->RecNo(), 2);
    s->SetFilterText(Usual("QTY > 2"));  // only row 1 is visible
    s->GoTo(Usual(3));
    s->Skip(Usual(-1));
    EXPECT_EQ(s->RecNo(), 1);
    s->Skip(Usual(-1));
    EXPECT_EQ(s->RecNo(), 1);
    EXPECT_TRUE(s->Bof());
    s->SetFilterText(Usual("QTY > 9"));
    EXPECT_TRUE(s->Eof());
}

TEST_F(ArrayServerTest, ServersThatAreEachOthersClientsTellEveryClientOnce) {
    Create("t.dbf", ScanStruct());
    struct Wiring {
        const char* what;
        bool table;  // the second server is a table
        bool selfOnly;
    } wirings[] = {{"own client", false, true}, {"two arrays", false, false}, {"array and table", true, false}};
    for (const Wiring& w : wirings) {
        SCOPED_TRACE(w.what);
        auto a = Three();
        std::shared_ptr<DataServer> b = a;
        if (!w.selfOnly) b = w.table ? std::shared_ptr<DataServer>(Open("t.dbf")) : Make({Row("Q", 1)});
        auto other = New<Client>();
        b->RegisterClient(Usual(other));
        b->RegisterClient(Usual(a));
        a->RegisterClient(Usual(b));
        auto mine = New<Client>();
        a->RegisterClient(Usual(mine));
        a->Skip(Usual(1));
        EXPECT_EQ(mine->codes, (std::vector<int64_t>{kNotifyIntentToMove, kNotifyRecordChange}));
        EXPECT_EQ(other->codes, mine->codes);
    }
}

TEST_F(ArrayServerTest, ExportsReadBackValueByValue) {
    // Texts that need quotes, blanks that are data, multi-byte characters,
    // dates from 1900 on and the empty date, negative numbers.
    const char* names[] = {"a,b", "q\"t", " lead", "M\xC3\x9CL", "x;y", "plain", "two\nl"};
    std::vector<Usual> rows;
    for (int r = 0; r < 3000; ++r) {
        Date day = r % 50 == 0 ? Date{} : MakeDate(1900 + r % 200, 1 + r % 12, 1 + r % 28);
        rows.push_back(
            Usual::Array({Usual(PadR(names[r % 7], 6)), Usual(r % 2 ? r : -r % 9999), Usual(day), Usual(r % 3 == 0)}));
    }
    auto s = Make(rows);
    auto original = rows_;
    const std::string csvWriter =
        "import csv, sys\n"  // reads the export and writes it again in Python's own quoting
        "rows = list(csv.reader(open(sys.argv[1], newline=''), delimiter=sys.argv[3]))\n"
        "csv.writer(open(sys.argv[2], 'w', newline=''), delimiter=sys.argv[3]).writerows(rows)\n";
    std::ofstream(Path("rewrite.py")) << csvWriter;
    const bool python = ::access("/usr/bin/python3", X_OK) == 0;
    struct Case {
        const char* what;
        std::function<bool(ArrayServer&, const std::string&)> copy, append;
        const char* delim;  // the rewrite through Python, for delimited text
    } cases[] = {
        {"comma", [](ArrayServer& a, const std::string& f) { return a.CopyDelimited(Usual(f), Usual()); },
         [](ArrayServer& a, const std::string& f) { return a.AppendDelimited(Usual(f), Usual()); }, ","},
        {"semicolon", [](ArrayServer& a, const std::string& f) { return a.CopyDelimited(Usual(f), Usual(";")); },
         [](ArrayServer& a, const std::string& f) { return a.AppendDelimited(Usual(f), Usual(";")); }, ";"},
        {"SDF", [](ArrayServer& a, const std::string& f) { return a.CopySDF(Usual(f)); },
         [](ArrayServer& a, const std::string& f) { return a.AppendSDF(Usual(f)); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = File("out.txt", std::string(500000, 'z'));  // longer than the export
        std::vector<std::string> reads = {file};
        if (c.what == std::string("SDF")) {
            // no line ends in fixed-width text
            for (size_t r = 7; r <= original.ALen(); r += 7) original.At(r).AsArray()->at(0) = Usual("plain ");
        }
        ASSERT_TRUE(c.copy(*s, file));
        EXPECT_EQ(Read(file).find('z'), std::string::npos);
        if (c.delim && python) {
            std::string cmd = "/usr/bin/python3 " + Path("rewrite.py") + " " + file + " " + Path("py.txt") + " '" +
                              c.delim + "'";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            reads.push_back(Path("py.txt"));
        }
        for (const std::string& read : reads) {
            auto back = Make({});
            ASSERT_TRUE(c.append(*back, read));
            ASSERT_EQ(rows_.ALen(), original.ALen());
            for (size_t r = 1; r <= original.ALen(); ++r)
                for (size_t i = 1; i <= 4; ++i) {
                    Usual want = original.At(r).At(i);
                    // Python quotes only what holds a quote, a delimiter or a
                    // line end; unquoted blanks around a field are not kept.
                    if (read != file && i == 1) want = Usual(PadR(AllTrim(want.AsStr()), 6));
                    ASSERT_EQ(rows_.At(r).At(i), want) << read << " row " << r << " field " << i;
                }
        }
    }
}

TEST_F(ArrayServerTest, ValuesTooWideForTheirFields) {
    auto s = Three();
    EXPECT_EQ(s->FieldPut(Usual(1), Usual("ABCDEFGH")), Usual("ABCDEF"));      // cut to the field
    EXPECT_EQ(s->FieldPut(Usual(1), Usual("ABCDE\xC3\x9C")), Usual("ABCDE"));  // not inside a character
    EXPECT_EQ(s->FieldPut(Usual(2), Usual(123456)), Usual(0));                 // refused: N5
    EXPECT_EQ(s->FieldGet(Usual(2)), Usual(3));
    s->Commit();
    std::string file = File("out.sdf", "old");
    rows_.At(2).AsArray()->at(1) = Usual(123456);  // put into the rows directly
    EXPECT_FALSE(s->CopySDF(Usual(file)));
    EXPECT_FALSE(s->CopyDelimited(Usual(file), Usual()));
    EXPECT_EQ(Read(file), "old");
    EXPECT_FALSE(s->CopyDelimited(Usual(Path("missing/out.csv")), Usual()));
    EXPECT_EQ(client_->codes.back(), kNotifyFileChange);  // the suspension was released
}

TEST_F(ArrayServerTest, ImportRefusesWithItsReasonWhatAnExportCouldNotWriteBack) {
    auto s = Make({});
    EXPECT_FALSE(s->AppendDelimited(Usual(File("wide.txt", "a,1\nb,123456\n")), Usual()));  // QTY is N5
    EXPECT_EQ(rows_.ALen(), 1u);
    auto why = std::dynamic_pointer_cast<Error>(s->Status().AsObject());
    ASSERT_TRUE(why);
    EXPECT_NE(why->Description.find("QTY"), std::string::npos);
    EXPECT_FALSE(s->AppendSDF(Usual(File("cr.sdf", "ab\rcd     1\n"))));  // a line end inside NAME
    EXPECT_EQ(rows_.ALen(), 1u);
    EXPECT_TRUE(s->AppendDelimited(Usual(File("ok.txt", "c,2\n")), Usual()));
    EXPECT_TRUE(s->Status().IsNil());
}

TEST_F(ArrayServerTest, ImportedValuesReadBackAfterAnExport) {
    struct Case {
        Usual field;  // the one field of the structure
        const char* line;
        Usual want;
    } cases[] = {
        {Field("N", "N", 5, 1), "1.25", Usual(1.3)},  // rounded as the field stores it
        {Field("L", "L", 1), "yes", Usual(true)},     // by the first letter
        {Field("L", "L", 1), ":", Usual(false)},
        {Field("M", "M", 10), "\"\"", Usual("")},  // a row of one empty value stays a row
        // Line ends inside quotes are kept as the file has them.
        {Field("C", "C", 10), "\"4,\r\n\nT\"", Usual("4,\r\n\nT    ")},
        {Field("C", "C", 10), "\"a\r\r\nb\"\r", Usual("a\r\r\nb     ")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Usual first = Usual::Array(), again = Usual::Array();
        auto s = New<ArrayServer>(), back = New<ArrayServer>();
        s->Init(Usual::Array({c.field}), first);
        back->Init(Usual::Array({c.field}), again);
        ASSERT_TRUE(s->AppendDelimited(Usual(File("in.txt", std::string(c.line) + "\n")), Usual()));
        ASSERT_TRUE(s->CopyDelimited(Usual(Path("out.txt")), Usual()));
        ASSERT_TRUE(back->AppendDelimited(Usual(Path("out.txt")), Usual()));
        ASSERT_EQ(again.ALen(), 1u);
        EXPECT_EQ(first.At(1).At(1), c.want);
        EXPECT_EQ(again.At(1).At(1), c.want);
    }
    std::string out;  // the end of a field and a delimiter of two characters
    lib::AppendDelimitedField(out, "a:", "::", false);
    EXPECT_EQ(out, "\"a:\"");
}
