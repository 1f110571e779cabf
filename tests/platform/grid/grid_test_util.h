// Helpers of the grid tests: a scratch directory with real tables, a bulk
// filler for big tables, and an error block that records what it is handed.
#pragma once

#include <QtTest>

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/grid/datagrid.h"
#include "platform/grid/gridmodel.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/settings.h"

namespace gridtest {

inline rt::Usual Field(const char* name, const char* type, int width, int dec = 0) {
    return rt::Usual::Array({rt::Usual(name), rt::Usual(type), rt::Usual(width), rt::Usual(dec)});
}

// The scanning table: barcode and count.
inline rt::Usual ScanStruct() { return rt::Usual::Array({Field("BARCODE", "C", 15), Field("QTY", "C", 10)}); }

// A table of every editable type.
inline rt::Usual MixedStruct() {
    return rt::Usual::Array(
        {Field("NAME", "C", 8), Field("PRICE", "N", 6, 2), Field("DAY", "D", 8), Field("OK", "L", 1)});
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Records every error and answers FALSE (use the default).
struct ErrorRecorder {
    std::vector<rt::ErrorRef> seen;
    rt::Usual previous;
    ErrorRecorder() {
        previous = rt::ErrorBlock(rt::Usual::Block([this](rt::Args a) {
            seen.push_back(std::dynamic_pointer_cast<rt::Error>(a[0].AsObject()));
            return rt::Usual(false);
        }));
    }
    ~ErrorRecorder() { rt::ErrorBlock(previous); }
};

// A fresh directory of tables; settings reset before and after.
class Scratch {
public:
    Scratch() {
        rt::ResetSettings();
        char tmpl[] = "/tmp/qzgrid.XXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    ~Scratch() {
        rdd::RDDCloseAll();
        std::filesystem::remove_all(dir_);
        rt::ResetSettings();
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Create(const std::string& name, const rt::Usual& structure) {
        QVERIFY(rdd::DBCreate(Path(name), structure).AsLogic());
    }
    std::shared_ptr<rdd::DBServer> Open(const std::string& name, bool shared = true) {
        return rt::New<rdd::DBServer>(rt::Usual(Path(name)), rt::Usual(shared), rt::Usual(false));
    }
    // A scanning table of n records ("CODE1".."CODEn", quantity = number),
    // appended through a server and committed.
    std::shared_ptr<rdd::DBServer> ScanTable(const std::string& name, int n, bool shared = true) {
        Create(name, ScanStruct());
        auto db = Open(name, shared);
        for (int i = 1; i <= n; ++i) {
            db->Append();
            db->FieldPut(rt::Usual("BARCODE"), rt::Usual("CODE" + std::to_string(i)));
            db->FieldPut(rt::Usual("QTY"), rt::Usual(std::to_string(i)));
        }
        db->Commit();
        db->GoTop();
        return db;
    }

    // Writes n records straight after the header of a new, empty table (far
    // faster than appending a million records one by one): `fill` writes a
    // record's bytes after the deletion flag, `deleted` marks records.
    void BulkFill(const std::string& name, uint32_t n, size_t recordLen,
                  const std::function<void(uint32_t, char*)>& fill, const std::function<bool(uint32_t)>& deleted = {}) {
        const std::string path = Path(name);
        std::vector<uint8_t> head = ReadBytes(path);
        const uint16_t headerLen = rdd::dbf::Le16(&head[rdd::dbf::kOffHeaderLen]);
        head.resize(headerLen);
        rdd::dbf::PutLe32(&head[rdd::dbf::kOffCount], n);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        QVERIFY(f);
        std::fwrite(head.data(), 1, head.size(), f);
        std::vector<char> rec(recordLen);
        for (uint32_t r = 1; r <= n; ++r) {
            std::fill(rec.begin(), rec.end(), ' ');
            if (deleted && deleted(r)) rec[0] = '*';
            fill(r, rec.data() + 1);
            std::fwrite(rec.data(), 1, rec.size(), f);
        }
        std::fputc(rdd::dbf::kEofMarker, f);
        std::fclose(f);
    }

private:
    std::string dir_;
};

// A detached grid on a server, shown in a window of its own.
struct ShownGrid {
    std::shared_ptr<grid::DataGrid> grid;
    grid::GridView* view = nullptr;
    explicit ShownGrid(const std::shared_ptr<rdd::DBServer>& server) {
        grid = grid::DataGrid::MakeDetached();
        view = grid->View();
        grid->Use(rt::Usual(server));
        view->resize(480, 320);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
    }
    ~ShownGrid() { delete view; }  // the view holds the grid object
    grid::GridModel* Model() const { return view->Model(); }
    int CurrentRow() const { return view->CurrentRow(); }
    QPoint CellCenter(int row, int column = 0) const { return view->visualRect(view->ShowRow(row, column)).center(); }
    void Click(int row, int column = 0) const {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCenter(row, column));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) const { QTest::keyClick(view, key, mods); }
    QString Text(int row, int column) const { return Model()->index(row, column).data().toString(); }
};

}  // namespace gridtest
