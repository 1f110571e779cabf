// Runtime costs side by side with their baselines, measured in the same run:
//   late-bound Send            vs the direct C++ call of the same method
//   Val / Str                  vs strtod / snprintf
//   case-insensitive FOpen     vs FOpen of the exact name, and a plain open(2)
//   AtomicReplace of 4 KiB     (renamed over; in place for a hard-linked file)
//                              vs truncate, write and fsync of the file itself
//   AppendRecord               vs a seek to the end and a write
//   a compiled filter condition, without and with an evaluation budget, and
//   a run of 20,001 terms (per evaluation)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/runtime/files.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/memvar.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/object.h"
#include "platform/runtime/posixfile.h"

namespace {

class Counter : public rt::Object {
    QZ_OBJECT(Counter)
public:
    int64_t Add(int64_t n) { return total_ += n; }

private:
    int64_t total_ = 0;
};

const rt::ClassDef& Counter::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Counter>("BENCHCOUNTER").Method<&Counter::Add>("ADD").Done();
    return c;
}

void BM_DirectCall(benchmark::State& state) {
    auto c = rt::New<Counter>();
    for (auto _ : state) benchmark::DoNotOptimize(c->Add(1));
}
BENCHMARK(BM_DirectCall);

void BM_LateBoundSend(benchmark::State& state) {
    rt::Usual c(rt::New<Counter>());
    const rt::Symbol add("ADD");
    const rt::Usual args[] = {rt::Usual(1)};
    for (auto _ : state) benchmark::DoNotOptimize(rt::Send(c, add, rt::Args(args, 1)));
}
BENCHMARK(BM_LateBoundSend);

// QTY > 5 .AND. Upper(NAME) = "AB" on session variables; with state.range(0)
// set, under a budget that is never reached.
void BM_EvalFilter(benchmark::State& state) {
    rt::MemVarPut("QTY", rt::Usual(int64_t{7}));
    rt::MemVarPut("NAME", rt::Usual("abc"));
    rt::Usual b = rt::CompileBlock("QTY > 5 .AND. Upper(NAME) = \"AB\"");
    if (state.range(0) != 0) {
        rt::EvalBudget budget({UINT64_MAX - 1, UINT64_MAX - 1});
        for (auto _ : state) benchmark::DoNotOptimize(b.Eval());
    } else {
        for (auto _ : state) benchmark::DoNotOptimize(b.Eval());
    }
    rt::MemVarClearAll();
}
BENCHMARK(BM_EvalFilter)->Arg(0)->Arg(1);

void BM_EvalChain20001(benchmark::State& state) {
    std::string text = "1";
    for (int i = 0; i < 20000; ++i) text += "+1";
    rt::Usual b = rt::CompileBlock(text);
    for (auto _ : state) benchmark::DoNotOptimize(b.Eval());
}
BENCHMARK(BM_EvalChain20001);

void BM_Val(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(rt::Val("  12345.678 pieces"));
}
BENCHMARK(BM_Val);

void BM_Strtod(benchmark::State& state) {
    const char* text = "  12345.678 pieces";
    for (auto _ : state) benchmark::DoNotOptimize(std::strtod(text, nullptr));
}
BENCHMARK(BM_Strtod);

void BM_Str(benchmark::State& state) {
    rt::Usual n(12345.678);
    for (auto _ : state) benchmark::DoNotOptimize(rt::Str(n, 12, 2));
}
BENCHMARK(BM_Str);

void BM_Snprintf(benchmark::State& state) {
    char buf[32];
    for (auto _ : state) {
        std::snprintf(buf, sizeof buf, "%12.2f", 12345.678);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_Snprintf);

// A tree DIR/Level/Data/QZSCAN.DBF opened by its exact and by its lower-cased name.
struct Tree {
    std::string dir, exact, lower;
    Tree() {
        char tmpl[] = "/tmp/qzbenchXXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::create_directories(dir + "/Level/Data");
        exact = dir + "/Level/Data/QZSCAN.DBF";
        lower = dir + "/level/data/qzscan.dbf";
        std::FILE* f = std::fopen(exact.c_str(), "w");
        std::fputs("x", f);
        std::fclose(f);
        // Some neighbours, so that the case-insensitive look-up has a directory to read.
        for (int i = 0; i < 50; ++i) std::fclose(std::fopen((dir + "/Level/Data/F" + std::to_string(i)).c_str(), "w"));
    }
    ~Tree() { std::filesystem::remove_all(dir); }
};

Tree& BenchTree() {
    static Tree tree;
    return tree;
}

void BM_PlainOpen(benchmark::State& state) {
    const std::string& path = BenchTree().exact;
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ::close(fd);
    }
}
BENCHMARK(BM_PlainOpen);

void BM_FOpenExactName(benchmark::State& state) {
    const std::string& path = BenchTree().exact;
    for (auto _ : state) rt::FClose(rt::FOpen(path, 0x40));
}
BENCHMARK(BM_FOpenExactName);

void BM_FOpenCaseInsensitive(benchmark::State& state) {
    const std::string& path = BenchTree().lower;
    for (auto _ : state) rt::FClose(rt::FOpen(path, 0x40));
}
BENCHMARK(BM_FOpenCaseInsensitive);

const std::string kPage(4096, 'p');

void BM_TruncateWriteSync(benchmark::State& state) {
    const std::string path = BenchTree().dir + "/plain";
    for (auto _ : state) {
        rt::Fd fd = rt::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
        if (!rt::WriteAll(fd.Get(), kPage).Ok() || rt::SyncFile(fd.Get()) != 0) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_TruncateWriteSync);

void BM_AtomicReplace(benchmark::State& state) {
    const std::string path = BenchTree().dir + (state.range(0) ? "/linked" : "/replaced");
    if (state.range(0)) {
        std::fclose(std::fopen(path.c_str(), "w"));
        std::error_code exists;  // the benchmark runs this more than once
        std::filesystem::create_hard_link(path, path + ".2", exists);
    }
    for (auto _ : state)
        if (!rt::AtomicReplace(path, kPage).Ok()) state.SkipWithError("replace failed");
    state.SetLabel(state.range(0) ? "hard-linked: in place" : "renamed over");
}
BENCHMARK(BM_AtomicReplace)->Arg(0)->Arg(1);

void BM_SeekAndWrite(benchmark::State& state) {
    rt::Fd fd = rt::OpenFile(BenchTree().dir + "/seeklog", O_WRONLY | O_CREAT);
    const std::string line(80, 'l');
    for (auto _ : state) {
        ::lseek(fd.Get(), 0, SEEK_END);
        if (!rt::WriteAll(fd.Get(), line).Ok()) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_SeekAndWrite);

void BM_AppendRecord(benchmark::State& state) {
    rt::Fd fd = rt::OpenForAppend(BenchTree().dir + "/applog");
    const std::string line(80, 'l');
    for (auto _ : state)
        if (!rt::AppendRecord(fd.Get(), line).Ok()) state.SkipWithError("append failed");
}
BENCHMARK(BM_AppendRecord);

}  // namespace

BENCHMARK_MAIN();
