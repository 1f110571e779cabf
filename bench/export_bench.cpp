// The CSV export of a 1,000,000-record scan table against the floor of
// writing its output: the same bytes written to a new file and
// fdatasync'ed, measured in the same run. Beside them, in the same run,
// two other DBF readers on the same file: pgdbf (Debian package pgdbf,
// writing its SQL to a file) and ogr2ogr -f CSV (package gdal-bin); a
// reader that is not installed is reported and left out. The runs take
// turns, and each figure is the best of its runs.
//
//   floor        write(2) of the export's bytes to a new file, fdatasync
//   export       the program's export (TableToCsvFile): the table read and
//                converted, the new file written, synced and renamed over
//                the name, the folder synced
//   qzdbf export the same through the command-line tool, a process each run
//   conversion   the table read and converted to CSV text in memory
//
// Goal: the export within 2 times the floor. Each run's processor time
// (user and system, children included) is shown beside it: on a loaded
// machine the wall time of the conversion grows with the wait for a
// processor, while the floor mostly waits for the disk.
//   export_bench [QZDBF]   (QZDBF: the qzdbf program; left out when not given)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_size.h"
#include "bench_table.h"
#include "export/csv.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/settings.h"

namespace {

const uint32_t kRecords = BenchSize(1000000u, 1000u);
const int kRuns = BenchSize(7, 1);
constexpr double kGoal = 2.0;

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

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& cmd) {
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A program started directly, without a shell in between (whose start
// would be counted against the program).
bool Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Processor time of this process and of its children that have ended.
double CpuSeconds() {
    timespec own = {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &own);
    rusage kids = {};
    ::getrusage(RUSAGE_CHILDREN, &kids);
    auto tv = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return static_cast<double>(own.tv_sec) + static_cast<double>(own.tv_nsec) / 1e9 + tv(kids.ru_utime) +
           tv(kids.ru_stime);
}

// Wall and processor seconds of one run; wall -1 when it failed.
std::pair<double, double> Seconds(const std::function<bool()>& run) {
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    if (!run()) return {-1, 0};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds() - cpu};
}

// The floor: the bytes to a new file, then fdatasync.
bool WriteAndSync(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size() && ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

struct Run {
    const char* name;
    std::function<bool()> once;
    std::function<void()> after;  // outside the timing: removes what the run wrote
    double best = 1e9, bestCpu = 1e9;
    bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string qzdbf = argc > 1 ? argv[1] : "";
    char tmpl[] = "/tmp/qzexportbench.XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string table = dir + "/QZSCAN.DBF";
    MakeTable(table);
    rt::SetDeleted(true);

    std::string csv;
    rt::Usual list = rt::Usual::Array();
    if (exportdata::ReadTableAsCsv(table, list, csv)) {
        std::printf("the table could not be read\n");
        return 1;
    }
    auto remove = [&](const char* name) { return [&dir, name] { std::filesystem::remove(dir + "/" + name); }; };
    std::vector<Run> runs;
    runs.push_back(
        {"floor (write + fdatasync)", [&] { return WriteAndSync(dir + "/floor.csv", csv); }, remove("floor.csv")});
    runs.push_back({"export (program)",
                    [&] {
                        rt::Usual fields = rt::Usual::Array();
                        return !exportdata::TableToCsvFile(table, dir + "/ours.csv", fields);
                    },
                    remove("ours.csv")});
    if (!qzdbf.empty())
        runs.push_back({"qzdbf export",
                        [&] {
                            return Spawn({qzdbf, "export", table, dir + "/tool.csv"});
                        },
                        remove("tool.csv")});
    runs.push_back({"conversion (in memory)",
                    [&] {
                        std::string text;
                        rt::Usual fields = rt::Usual::Array();
                        return !exportdata::ReadTableAsCsv(table, fields, text) && text.size() == csv.size();
                    },
                    [] {}});
    const bool pgdbf = Installed("pgdbf"), ogr = Installed("ogr2ogr");
    if (pgdbf)
        runs.push_back(
            {"pgdbf (to a file)", [&] { return Shell("pgdbf " + table + " >" + dir + "/pg.sql"); }, remove("pg.sql")});
    if (ogr)
        runs.push_back({"ogr2ogr -f CSV", [&] { return Shell("ogr2ogr -f CSV " + dir + "/ogr.csv " + table); },
                        remove("ogr.csv")});

    for (int i = 0; i < kRuns; ++i) {
        for (Run& r : runs) {
            auto [wall, cpu] = Seconds(r.once);
            r.after();
            if (wall < 0) r.failed = true;
            r.best = std::min(r.best, wall < 0 ? r.best : wall);
            r.bestCpu = std::min(r.bestCpu, wall < 0 ? r.bestCpu : cpu);
        }
    }

    std::printf("%u records, %ju bytes of table, %zu bytes of CSV, best of %d runs each\n", kRecords,
                static_cast<uintmax_t>(std::filesystem::file_size(table)), csv.size(), kRuns);
    const double floor = runs[0].best;
    for (const Run& r : runs) {
        if (r.failed) {
            std::printf("%-28s failed\n", r.name);
            continue;
        }
        std::printf("%-28s %8.4f s %12.0f records/s %6.2fx the floor   processor %.4f s\n", r.name, r.best,
                    kRecords / r.best, r.best / floor, r.bestCpu);
    }
    if (!pgdbf) std::printf("%-28s not installed (apt-get install pgdbf)\n", "pgdbf");
    if (!ogr) std::printf("%-28s not installed (apt-get install gdal-bin)\n", "ogr2ogr");
    // The export and the tool (runs 1 and 2) against the goal.
    for (size_t i = 1; i <= (qzdbf.empty() ? 1u : 2u); ++i) {
        const Run& r = runs[i];
        double ratio = r.failed ? 0 : r.best / floor;
        std::printf("%s: %.4f s against the floor %.4f s: %.2fx, goal <= %.1fx: %s\n", r.name, r.best, floor, ratio,
                    kGoal, !r.failed && ratio <= kGoal ? "met" : "missed");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
