// Array-server figures: the delimited import of 100,000 lines against
// Python's csv module reading the same file, in the same run, and the
// export of the rows back to delimited text.
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench_size.h"
#include "lib/data/arrayserver.h"
#include "platform/runtime/settings.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs a command and reads the one number it prints (seconds), -1 on failure.
double CommandSeconds(const std::string& cmd) {
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    double s = -1;
    if (std::fscanf(p, "%lf", &s) != 1) s = -1;
    ::pclose(p);
    return s;
}

}  // namespace

void RunArrayBench() {
    const int kLines = BenchSize(100000, 100);
    char dir[] = "/tmp/qzdatabench.XXXXXX";
    if (!::mkdtemp(dir)) return;
    std::string file = std::string(dir) + "/lines.csv";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < kLines; ++i)
            out << "ITEM" << i << "," << (i % 977) << ",15/03/2024," << (i % 2 ? "T" : "F") << "\r\n";
    }
    rt::SetDateFrmt("DD/MM/YYYY");
    auto structure =
        rt::Usual::Array({rt::Usual::Array({rt::Usual("NAME"), rt::Usual("C"), rt::Usual(12), rt::Usual(0)}),
                          rt::Usual::Array({rt::Usual("QTY"), rt::Usual("N"), rt::Usual(6), rt::Usual(0)}),
                          rt::Usual::Array({rt::Usual("DAY"), rt::Usual("D"), rt::Usual(8), rt::Usual(0)}),
                          rt::Usual::Array({rt::Usual("OK"), rt::Usual("L"), rt::Usual(1), rt::Usual(0)})});
    auto server = rt::New<lib::ArrayServer>();
    server->Init(structure, rt::Usual::Array());
    auto t0 = std::chrono::steady_clock::now();
    bool ok = server->AppendDelimited(rt::Usual(file), rt::Usual());
    double ours = Seconds(t0);

    std::string py =
        "python3 -c \"import csv,time\nt=time.perf_counter()\n"
        "rows=[r for r in csv.reader(open('" +
        file +
        "', newline=''))]\n"
        "print(time.perf_counter()-t)\"";
    double theirs = CommandSeconds(py);

    std::printf("array-server delimited import, %d lines (%s, %lld rows)\n", kLines, ok ? "ok" : "FAILED",
                static_cast<long long>(server->LastRec()));
    std::printf("  ArrayServer:APPENDDELIMITED  %8.3f s\n", ours);
    if (theirs >= 0) std::printf("  python3 csv.reader           %8.3f s   (ratio %.2fx)\n", theirs, ours / theirs);
    else std::printf("  python3 csv.reader           not available\n");

    // The export back to delimited text (quoting checked on every field,
    // the whole file replaced at once).
    std::string copy = std::string(dir) + "/copy.csv";
    t0 = std::chrono::steady_clock::now();
    bool copied = server->CopyDelimited(rt::Usual(copy), rt::Usual());
    std::printf("  ArrayServer:COPYDELIMITED    %8.3f s   (%s)\n", Seconds(t0), copied ? "ok" : "FAILED");
    std::remove(copy.c_str());
    std::remove(file.c_str());
    ::rmdir(dir);
}
