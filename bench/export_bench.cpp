// The CSV export of a 1,000,000-record scan table, in records per second,
// beside two other DBF readers run on the same file in the same run:
// pgdbf (Debian package pgdbf, writing its SQL to a file) and ogr2ogr -f CSV
// (package gdal-bin). A reader that is not installed is reported and left
// out. Each figure is the best of five runs.
//
//   conversion   the table read and converted to CSV text in memory
//   export       conversion plus the durable write (temporary file, fsync,
//                rename): what the program and qzdbf do
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "bench_size.h"
#include "bench_table.h"
#include "export/csv.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/settings.h"

namespace {

const uint32_t kRecords = BenchSize(1000000u, 1000u);
const int kRuns = BenchSize(5, 1);

// A scan table of kRecords live records, written as bytes: BARCODE C15, QTY C10.
void MakeTable(const std::string& path) {
    rdd::DBCreate(path,
                  rt::Usual::Array({rt::Usual::Array({"BARCODE", "C", 15, 0}), rt::Usual::Array({"QTY", "C", 10, 0})}));
    FillTable(path, kRecords, [](uint32_t i, std::string& out) {
        char rec[27];
        std::snprintf(rec, sizeof rec, " %-15llu%-10u", 5000000000000ULL + i, i % 50 + 1);
        out.append(rec, 26);
    });
}

double Best(const std::function<bool()>& run) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!run()) return -1;
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& cmd) {
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Report(const char* name, double seconds, double ours) {
    if (seconds < 0) {
        std::printf("%-28s failed\n", name);
        return;
    }
    std::printf("%-28s %8.3f s %12.0f records/s", name, seconds, kRecords / seconds);
    if (ours > 0 && seconds != ours) std::printf("   ours is %.1fx faster", seconds / ours);
    std::printf("\n");
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/qzexportbench.XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string table = dir + "/QZSCAN.DBF";
    MakeTable(table);
    rt::SetDeleted(true);

    double convert = Best([&] {
        std::string csv;
        rt::Usual fields = rt::Usual::Array();
        return !exportdata::ReadTableAsCsv(table, fields, csv) && csv.size() > kRecords;
    });
    double full = Best([&] {
        rt::Usual fields = rt::Usual::Array();
        return !exportdata::TableToCsvFile(table, dir + "/ours.csv", fields);
    });
    std::printf("%u records, %ju bytes of table\n", kRecords,
                static_cast<uintmax_t>(std::filesystem::file_size(table)));
    Report("conversion (in memory)", convert, 0);
    Report("export (durable file)", full, 0);
    if (Installed("pgdbf"))
        Report("pgdbf (to a file)", Best([&] { return Shell("pgdbf " + table + " >" + dir + "/pg.sql"); }), full);
    else std::printf("%-28s not installed (apt-get install pgdbf)\n", "pgdbf");
    if (Installed("ogr2ogr"))
        Report("ogr2ogr -f CSV", Best([&] {
                   std::filesystem::remove(dir + "/ogr.csv");
                   return Shell("ogr2ogr -f CSV " + dir + "/ogr.csv " + table);
               }),
               full);
    else std::printf("%-28s not installed (apt-get install gdal-bin)\n", "ogr2ogr");
    std::filesystem::remove_all(dir);
    return 0;
}
