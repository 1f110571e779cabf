// Scan latency of the scanning screen, against the disk's own floor.
//
// One scan is timed from the Enter that leaves the quantity field to the
// moment the record is durable and the grid shows it as its last row: the
// key goes through the program's key path (the key hook, the field, the
// accept step, the table's commit with fdatasync, the grid's notification).
// Measured on an empty table and on a 1,000,000-record table, beside the
// floor: a raw pwrite of the same bytes (record, end marker, header count)
// and an fdatasync, in a file in the same folder, in the same run.
//
// usage: scan_bench [scans per table, default 300]
// (QZ_BENCH_SMOKE=1: 10 scans, a 1,000-record table)
// Goal: median within 1.5 x the floor + 1 ms, and no growth with the size.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/qzapp.h"
#include "appkit/settings_list.h"
#include "bench_size.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/gridview.h"
#include "platform/gui/testhooks.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/settings.h"
#include "scan/datareader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median, p99;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

// The scan data file with n records, written in one go.
void WriteTable(const std::string& path, uint32_t n) {
    std::vector<rdd::dbf::FieldDesc> fields = {{"BARCODE", 'C', 15, 0, 1}, {"QTY", 'C', 10, 0, 16}};
    std::vector<uint8_t> bytes = rdd::dbf::BuildHeader(fields, rdd::dbf::kCodePageOem, 2026, 1, 1);
    rdd::dbf::PutLe32(&bytes[rdd::dbf::kOffCount], n);
    const size_t header = bytes.size();
    bytes.resize(header + size_t{n} * 26 + 1, ' ');
    char rec[32];
    for (uint32_t i = 0; i < n; ++i) {
        std::snprintf(rec, sizeof rec, " %-15u%-10u", 4000000000u + i, i % 97 + 1);
        std::copy(rec, rec + 26, bytes.begin() + static_cast<std::ptrdiff_t>(header + size_t{i} * 26));
    }
    bytes.back() = rdd::dbf::kEofMarker;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The floor: what one durable append costs the disk, without the program:
// the record with its end marker and the header's count, then fdatasync.
// Taken right after each scan, so that both see the same load on the disk.
class Floor {
public:
    explicit Floor(const std::string& dir) : path_(dir + "/floor.bin") {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        (void)!::pwrite(fd_, head_.data(), head_.size(), 0);
        ::fdatasync(fd_);
        rec_.back() = rdd::dbf::kEofMarker;
    }
    ~Floor() {
        ::close(fd_);
        std::filesystem::remove(path_);
    }
    double Once() {
        auto t0 = Clock::now();
        (void)!::pwrite(fd_, rec_.data(), rec_.size(), static_cast<off_t>(97 + n_++ * 26));
        (void)!::pwrite(fd_, head_.data(), 7, 1);
        ::fdatasync(fd_);
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }

private:
    std::string path_;
    int fd_ = -1;
    int64_t n_ = 0;
    std::vector<uint8_t> head_ = std::vector<uint8_t>(97, 0);
    std::vector<uint8_t> rec_ = std::vector<uint8_t>(27, ' ');
};

// Times `scans` scans on a table of `records`; `floor` gets the raw floor
// measured after each of them.
Figures ScreenScans(const std::string& dir, uint32_t records, int scans, Figures& floor) {
    std::filesystem::create_directories(dir + "/DATA");
    WriteTable(dir + "/DATA/QZSCAN.DBF", records);
    appkit::ResetSettingsList();
    appkit::AddSetting(rt::Usual(dir + "/DATA"));
    appkit::AddSetting(rt::Usual("Quorvex Stocktake Utility (1.02)"));
    auto screen = rt::New<scan::DataReader>();
    screen->Init({rt::Usual()});
    screen->Show();
    QApplication::setActiveWindow(screen->Widget());
    QApplication::processEvents();
    QLineEdit* barcode = screen->BarcodeField()->Edit();
    QLineEdit* qty = screen->QuantityField()->Edit();
    grid::GridView* view = screen->Grid()->View();
    auto* table = dynamic_cast<rdd::DBServer*>(screen->Table().AsObject().get());
    std::vector<double> ms, raw;
    Floor disk(dir);
    for (int i = 0; i < scans; ++i) {
        barcode->setFocus();
        QTest::keyClicks(barcode, QString::number(5000000000LL + i));
        QTest::keyClick(barcode, Qt::Key_Return);
        QTest::keyClicks(qty, QStringLiteral("3"));
        const int64_t want = int64_t{records} + i + 1;
        auto t0 = Clock::now();
        QTest::keyClick(qty, Qt::Key_Return);  // leaves the field: the accept step
        while (view->model()->rowCount() < want || view->currentIndex().row() != want - 1)
            QApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (table->LastRec() != want || !barcode->text().isEmpty()) {
            std::fprintf(stderr, "scan %d was not stored\n", i);
            std::exit(1);
        }
        raw.push_back(disk.Once());
    }
    screen->EndWindow();
    rdd::RDDCloseAll();
    floor = Summarise(raw);
    return Summarise(ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qt(argc, argv);
    const int scans = argc > 1 ? std::max(10, std::atoi(argv[1])) : BenchSize(300, 10);
    const uint32_t big = BenchSize(1000000u, 1000u);
    char tmpl[] = "/tmp/qzscanbench.XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    rt::ResetSettings();
    rt::SetDeleted(true);
    auto app = rt::New<app::QZApp>();  // the key hook routes keys as in the program
    gui::TestHooks::SetOn(true);       // no box may stop the run

    Figures floorEmpty{}, floorLarge{};
    Figures empty = ScreenScans(dir + "/empty", 0, scans, floorEmpty);
    Figures large = ScreenScans(dir + "/large", big, scans, floorLarge);
    std::filesystem::remove_all(dir);

    std::printf("scan latency, Enter in the count to durable and shown (%d scans each), ms\n", scans);
    std::printf("%-36s %10s %10s   %s\n", "", "median", "p99", "goal: median <= 1.5 x floor + 1 ms");
    auto row = [](const char* what, Figures f, Figures floor) {
        const double goal = 1.5 * floor.median + 1.0;
        std::printf("%-36s %10.3f %10.3f\n", "  floor: pwrite + fdatasync", floor.median, floor.p99);
        std::printf("%-36s %10.3f %10.3f   %.3f: %s\n", what, f.median, f.p99, goal,
                    f.median <= goal ? "met" : "MISSED");
    };
    row("scanning screen, empty table", empty, floorEmpty);
    const std::string bigRow = "scanning screen, " + std::to_string(big) + " records";
    row(bigRow.c_str(), large, floorLarge);
    std::printf("growth from 0 to %u records: %+.3f ms (floors %+.3f ms)\n", big, large.median - empty.median,
                floorLarge.median - floorEmpty.median);
    return 0;
}
