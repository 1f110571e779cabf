// Grid benchmarks (run without a display: QT_QPA_PLATFORM=offscreen is set
// when the environment names no platform):
//   bind a grid to a table, go to the last row (End) and paint it, for a
//   10-record and a 1,000,000-record table, with deleted records shown
//   (the row map is the identity) and hidden (one pass over the deletion
//   flags builds the map); every tenth record is deleted;
//   an append to the 1,000,000-record table shown in the grid.
// The summary at the end prints the 1,000,000/10 ratios (medians of
// separate timed runs) and the memory the bound grid holds: the row map's
// size and the process's resident-set growth.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_size.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/dbfrowsource.h"
#include "platform/grid/gridmodel.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/settings.h"

namespace {

const uint32_t kBig = BenchSize(1000000u, 1000u);

std::string Dir() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/qzgridbench.XXXXXX";
        return std::string(::mkdtemp(tmpl));
    }();
    return dir;
}

// A scanning table of n records written in one go; every tenth deleted.
std::string Table(uint32_t n) {
    std::string path = Dir() + "/scan" + std::to_string(n) + ".dbf";
    if (std::filesystem::exists(path)) return path;
    std::vector<rdd::dbf::FieldDesc> fields = {{"BARCODE", 'C', 15, 0, 1}, {"QTY", 'C', 10, 0, 16}};
    std::vector<uint8_t> bytes = rdd::dbf::BuildHeader(fields, rdd::dbf::kCodePageAnsi, 2024, 1, 1);
    rdd::dbf::PutLe32(&bytes[rdd::dbf::kOffCount], n);
    bytes.reserve(bytes.size() + size_t{n} * 26 + 1);
    char rec[32];
    for (uint32_t i = 1; i <= n; ++i) {
        std::snprintf(rec, sizeof rec, "%c%-15u%-10u", i % 10 == 0 ? '*' : ' ', 4000000000u + i, i % 97);
        bytes.insert(bytes.end(), rec, rec + 26);
    }
    bytes.push_back(rdd::dbf::kEofMarker);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

std::shared_ptr<rdd::DBServer> Open(uint32_t n) {
    return rt::New<rdd::DBServer>(rt::Usual(Table(n)), rt::Usual(true), rt::Usual(false));
}

struct Bound {
    std::shared_ptr<grid::DataGrid> grid;
    grid::GridView* view = nullptr;
    ~Bound() { delete view; }
};

// Binds a new grid, presses End and paints: what a user waits for.
void BindAndReachLast(const std::shared_ptr<rdd::DBServer>& db, Bound& b) {
    b.grid = grid::DataGrid::MakeDetached();
    b.view = b.grid->View();
    b.view->resize(640, 480);
    b.grid->Use(rt::Usual(db));
    b.view->setFocus();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QCoreApplication::sendEvent(b.view, &end);
    b.view->grab();
}

double Seconds(const std::shared_ptr<rdd::DBServer>& db) {
    db->GoTop();
    Bound b;
    auto t0 = std::chrono::steady_clock::now();
    BindAndReachLast(db, b);
    auto t1 = std::chrono::steady_clock::now();
    if (db->RecNo() < db->LastRec() - 1) std::fprintf(stderr, "did not reach the last row\n");
    return std::chrono::duration<double>(t1 - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long RssKb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

void BM_BindAndReachLast(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    rt::SetDeleted(state.range(1) != 0);
    auto db = Open(n);
    for (auto _ : state) {
        state.PauseTiming();
        db->GoTop();
        auto b = std::make_unique<Bound>();
        state.ResumeTiming();
        BindAndReachLast(db, *b);
        state.PauseTiming();
        b.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = n;
    rt::SetDeleted(false);
}
BENCHMARK(BM_BindAndReachLast)
    ->ArgsProduct({{10, kBig}, {0, 1}})
    ->ArgNames({"records", "hide_deleted"})
    ->Unit(benchmark::kMillisecond);

// Append a record to the big table with the grid showing it, until the new
// row is the grid's current row and painted.
void BM_AppendShown(benchmark::State& state) {
    rt::SetDeleted(state.range(0) != 0);
    std::filesystem::copy_file(Table(kBig), Dir() + "/append.dbf", std::filesystem::copy_options::overwrite_existing);
    auto db = rt::New<rdd::DBServer>(rt::Usual(Dir() + "/append.dbf"), rt::Usual(true), rt::Usual(false));
    Bound b;
    BindAndReachLast(db, b);
    for (auto _ : state) {
        db->Append();
        db->FieldPut(rt::Usual("BARCODE"), rt::Usual("NEW"));
        b.view->grab();
    }
    if (b.view->CurrentRow() != b.view->Model()->rowCount() - 1) state.SkipWithError("not following");
    db->Close();
    rt::SetDeleted(false);
}
BENCHMARK(BM_AppendShown)->Arg(0)->Arg(1)->ArgName("hide_deleted")->Unit(benchmark::kMicrosecond);

void Summary() {
    for (int hide : {0, 1}) {
        rt::SetDeleted(hide != 0);
        auto small = Open(10), big = Open(kBig);
        std::vector<double> ts, tb;
        for (int i = 0; i < BenchSize(15, 1); ++i) {
            ts.push_back(Seconds(small));
            tb.push_back(Seconds(big));
        }
        std::printf("bind + End + paint, deleted %s: 10 records %.3f ms, %u records %.3f ms, ratio %.1f\n",
                    hide ? "hidden" : "shown", Median(ts) * 1e3, kBig, Median(tb) * 1e3, Median(tb) / Median(ts));
    }
    rt::SetDeleted(false);
}

// Memory of a bound 1,000,000-record grid, measured first thing (before the
// benchmarks have grown and freed the heap): the row map's size and the
// growth of the resident set, which includes Qt's own per-row header
// bookkeeping.
void MemoryReport() {
    Table(kBig);
    std::vector<std::unique_ptr<Bound>> keep;
    for (int hide : {0, 1}) {
        rt::SetDeleted(hide != 0);
        auto db = Open(kBig);
        const long before = RssKb();
        keep.push_back(std::make_unique<Bound>());
        BindAndReachLast(db, *keep.back());
        const long after = RssKb();
        auto* source = dynamic_cast<grid::DbfRowSource*>(keep.back()->view->Source());
        std::printf(
            "%u records, deleted %s: %lld rows, row map %zu bytes, RSS +%ld KB; "
            "cell reads %llu, file reads %llu\n",
            kBig, hide ? "hidden" : "shown", static_cast<long long>(source->Map().Rows()), source->Map().MemoryBytes(),
            after - before, static_cast<unsigned long long>(keep.back()->view->Model()->CellReads()),
            static_cast<unsigned long long>(source->Reader().Reads()));
    }
    rt::SetDeleted(false);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    MemoryReport();
    benchmark::RunSpecifiedBenchmarks();
    Summary();
    benchmark::Shutdown();
    rdd::RDDCloseAll();
    std::filesystem::remove_all(Dir());
    return 0;
}
