// qzsync: replicates one workstation's scan data file to a PostgreSQL table,
// every durable scan exactly once, and gives per-barcode totals across the
// workstations. Design and the exactly-once argument: docs/sync.md.
// Exit codes: 0 done (or ended by SIGTERM/SIGINT), 1 failed, 2 wrong usage.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/runtime/posixfile.h"
#include "scanfile.h"
#include "server.h"

namespace {

using namespace qzsync;

const char* const kUsageText =
    "usage: qzsync [--once] [--interval MS] [--workstation NAME] [--conninfo CONNINFO] DATAFILE\n"
    "       qzsync totals [--conninfo CONNINFO] [OUT.csv]\n"
    "\n"
    "Sends every durable scan of DATAFILE (a scan data file) to the table\n"
    "qzsync_scans, each exactly once, and keeps following the file: new scans\n"
    "every interval (default 1000 ms), a restarted file as a new generation.\n"
    "--once sends what is there and ends. NAME defaults to the host name.\n"
    "The server is found by the usual PG* variables or service file, or by\n"
    "CONNINFO. A status line on standard output tells the scans sent, how many\n"
    "are waiting and the last error, at most once a second.\n"
    "\n"
    "totals: barcode, total count, scans, workstations, one line per barcode\n"
    "(to OUT.csv or standard output); counts that are not numbers are listed\n"
    "on standard error and left out of the totals.\n"
    "\n"
    "exit codes: 0 done, 1 failed, 2 wrong usage\n";

constexpr int kOk = 0, kFailed = 1, kUsage = 2;
constexpr uint32_t kBatch = 500;
constexpr int kMaxBackoffMs = 5000;

std::atomic<bool> gStop{false};
extern "C" void OnSignal(int) { gStop = true; }

using Clock = std::chrono::steady_clock;

// Waits ms milliseconds or until a stop signal, in short steps.
void Pause(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!gStop && Clock::now() < end)
        std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(50), end - Clock::now()));
}

struct Options {
    bool once = false;
    int intervalMs = 1000;
    std::string workstation, conninfo, path;
};

// The status line: printed when it changes, at most once a second.
class Status {
public:
    void Set(long long sent, long long behind, const std::string& error) {
        // One line: libpq's messages run over several.
        std::string oneLine;
        for (char c : error)
            if (c != '\n' && c != '\t') oneLine += c;
            else if (!oneLine.empty() && oneLine.back() != ' ') oneLine += ' ';
        text_ = "sent " + std::to_string(sent) + ", behind by " + std::to_string(behind) +
                ", last error: " + (error.empty() ? "none" : oneLine);
        Flush(false);
    }
    void Flush(bool now) {
        if (text_ == shown_ || (!now && Clock::now() - last_ < std::chrono::seconds(1))) return;
        std::printf("%s\n", text_.c_str());
        std::fflush(stdout);
        shown_ = text_;
        last_ = Clock::now();
    }

private:
    std::string text_, shown_;
    Clock::time_point last_{};
};

// One workstation's replication: which generation the file is, what the
// server holds of it, and what is left to send.
class Replicator {
public:
    explicit Replicator(Options o) : o_(std::move(o)) {}

    int Run() {
        int backoff = 100;
        while (!gStop) {
            std::string error;
            bool done = Step(error);
            if (!error.empty()) lastError_ = error;
            status_.Set(sent_, behind_, lastError_);
            if (o_.once && (done || !error.empty())) {
                status_.Flush(true);
                return error.empty() ? kOk : kFailed;
            }
            if (error.empty()) {
                backoff = 100;
                if (done) Pause(o_.intervalMs);
            } else {
                Pause(backoff);
                backoff = std::min(backoff * 2, kMaxBackoffMs);
            }
        }
        status_.Flush(true);
        return kOk;  // ended by a signal
    }

private:
    // Sends one batch; true when nothing durable is left to send.
    bool Step(std::string& error) {
        ScanFile file;
        std::string fileError;
        if (!ReadScanFile(o_.path, stored_ + 1, kBatch, file, &fileError)) {
            error = fileError;
            return true;
        }
        // A file that is another one, or shrank below what was seen of it, is
        // a restart; seen while the server is away, it is remembered.
        if (seen_ && (!(file.id == seenId_) || file.durable < seenDurable_)) restarted_ = true;
        seen_ = true;
        seenId_ = file.id;
        seenDurable_ = file.durable;
        // Records were read from where this process stood; after a reconnect
        // or a new generation they are read again from the server's point.
        if (!server_.Connected()) {
            if (!Resume(file, error)) behind_ = file.durable > stored_ ? file.durable - stored_ : 0;
            return !error.empty();
        }
        if (restarted_ || file.id.Text() != genFile_ || file.durable < stored_) return !NewGeneration(file, error);
        behind_ = file.durable > stored_ ? file.durable - stored_ : 0;
        if (behind_ == 0) return true;
        if (!server_.Send(o_.workstation, generation_, file.records, &error)) return true;
        uint32_t last = stored_ + std::min<uint32_t>(kBatch, file.durable - stored_);
        sent_ += static_cast<long long>(file.records.size());
        stored_ = last;
        behind_ = file.durable - stored_;
        lastError_.clear();
        return behind_ == 0;
    }

    // After a (re)connect: where this workstation stopped.
    bool Resume(const ScanFile& file, std::string& error) {
        Generation g;
        if (!server_.Connect(o_.conninfo, &error) || !server_.Latest(o_.workstation, g, &error)) return false;
        if (g.number == 0) {
            if (!server_.Register(o_.workstation, 1, file.id.Text(), &error)) return false;
            g.number = 1;
            g.fileId = file.id.Text();
        }
        generation_ = g.number;
        genFile_ = g.fileId;
        stored_ = g.stored;
        return true;
    }

    bool NewGeneration(const ScanFile& file, std::string& error) {
        Generation g;
        if (!server_.Latest(o_.workstation, g, &error) ||
            !server_.Register(o_.workstation, g.number + 1, file.id.Text(), &error))
            return false;
        generation_ = g.number + 1;
        genFile_ = file.id.Text();
        stored_ = 0;
        restarted_ = false;
        return true;
    }

    Options o_;
    qzsync::Server server_;
    Status status_;
    int generation_ = 0;
    std::string genFile_;
    uint32_t stored_ = 0;
    long long sent_ = 0, behind_ = 0;
    std::string lastError_;
    bool seen_ = false, restarted_ = false;
    qzsync::FileId seenId_;
    uint32_t seenDurable_ = 0;
};

std::string CsvText(const std::string& s) {
    std::string out;
    for (char c : s) out += (c == ',' ? ' ' : c);
    return out;
}

int Totals(const std::string& conninfo, const std::string& out) {
    qzsync::Server server;
    std::string error;
    std::vector<qzsync::Total> totals;
    std::vector<qzsync::NotANumber> others;
    if (!server.Connect(conninfo, &error) || !server.Totals(totals, others, &error)) {
        std::fprintf(stderr, "qzsync: %s\n", error.c_str());
        return kFailed;
    }
    std::string csv;
    for (const auto& t : totals)
        csv += t.barcode + "," + t.total + "," + std::to_string(t.scans) + "," + std::to_string(t.sources) + "\r\n";
    for (const auto& o : others)
        std::fprintf(stderr, "qzsync: not a number: %s \"%s\" (%s, generation %d, record %u)\n",
                     CsvText(o.barcode).c_str(), o.count.c_str(), o.workstation.c_str(), o.generation, o.record);
    if (out.empty()) {
        std::fwrite(csv.data(), 1, csv.size(), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    auto r = rt::AtomicReplace(out, csv);
    if (!r.Ok()) {
        std::fprintf(stderr, "qzsync: %s: %s\n", out.c_str(), std::strerror(r.err));
        return kFailed;
    }
    return kOk;
}

int Usage(bool error) {
    std::fputs(kUsageText, error ? stderr : stdout);
    return error ? kUsage : kOk;
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    Options o;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") return Usage(false);
        if (a == "--once") o.once = true;
        else if (a == "--interval" && hasValue) {
            char* end = nullptr;
            long ms = std::strtol(args[++i].c_str(), &end, 10);
            if (*end || ms < 10 || ms > 3600000) return Usage(true);
            o.intervalMs = static_cast<int>(ms);
        } else if (a == "--workstation" && hasValue) o.workstation = args[++i];
        else if (a == "--conninfo" && hasValue) o.conninfo = args[++i];
        else if (a.starts_with("-") && a != "-") return Usage(true);
        else rest.push_back(a);
    }
    if (!rest.empty() && rest[0] == "totals") {
        if (rest.size() > 2) return Usage(true);
        return Totals(o.conninfo, rest.size() == 2 ? rest[1] : "");
    }
    if (rest.size() != 1) return Usage(true);
    o.path = rest[0];
    if (o.workstation.empty()) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0 || !*host) {
            std::fprintf(stderr, "qzsync: no host name; name the workstation with --workstation\n");
            return kUsage;
        }
        o.workstation = host;
    }
    return Replicator(std::move(o)).Run();
}
