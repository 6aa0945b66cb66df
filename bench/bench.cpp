// Speed of the operations that must stay instant on any file size: opening, line scans, the refresh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"

namespace {

// A file of about `megabytes` MB of 60-byte lines, made once.
const char* BigFile(int megabytes) {
    static std::string name;
    if (!name.empty()) return name.c_str();
    name = "/tmp/zt-bench-" + std::to_string(getpid()) + ".txt";
    FILE* f = std::fopen(name.c_str(), "w");
    std::string line(59, 'x');
    line += '\n';
    for (long i = 0; i < long(megabytes) * 1000000 / 60; ++i) std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
    return name.c_str();
}

void BM_Open100MB(benchmark::State& state) {
    const char* name = BigFile(100);
    for (auto _ : state) {
        FakeTerminal term;
        Editor ed(term);
        if (!LoadFile(ed, name)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(ed.TextEnd);
    }
}
BENCHMARK(BM_Open100MB)->Unit(benchmark::kMillisecond);

void BM_RecountAtEndOf100MB(benchmark::State& state) {
    FakeTerminal term;
    Editor ed(term);
    if (!LoadFile(ed, BigFile(100))) state.SkipWithError("load failed");
    ed.Cursor = ed.TextEnd;
    for (auto _ : state) {
        RecountLineNumber(ed);
        benchmark::DoNotOptimize(ed.LineNumber);
    }
}
BENCHMARK(BM_RecountAtEndOf100MB)->Unit(benchmark::kMillisecond);

void BM_RefreshInTheMiddleOf100MB(benchmark::State& state) {
    FakeTerminal term;
    Editor ed(term);
    if (!LoadFile(ed, BigFile(100))) state.SkipWithError("load failed");
    ed.Cursor = ed.TextStart + ed.TextLength() / 2;
    for (auto _ : state) {
        InvalidateScreenCache(ed);
        RefreshWindow(ed);
        FlushOutput(ed);  // the refresh's output is written when the editor waits
        term.output.clear();
    }
}
BENCHMARK(BM_RefreshInTheMiddleOf100MB)->Unit(benchmark::kMicrosecond);

void BM_TypeOneCharacterAtStartOf100MB(benchmark::State& state) {
    FakeTerminal term;
    Editor ed(term);
    if (!LoadFile(ed, BigFile(100))) state.SkipWithError("load failed");
    for (auto _ : state) {
        TypeByte(ed, 'a');
        ed.Cursor = ed.TextStart;
        RemoveBytes(ed, ed.TextStart, 1);
    }
}
BENCHMARK(BM_TypeOneCharacterAtStartOf100MB)->Unit(benchmark::kMillisecond);

// Case ignored: both first-byte candidates are scanned over the whole text before the hit at its end.
void BM_FindIgnoringCaseOver100MB(benchmark::State& state) {
    FakeTerminal term;
    Editor ed(term);
    if (!LoadFile(ed, BigFile(100))) state.SkipWithError("load failed");
    std::memcpy(ed.buf + ed.TextEnd - 7, "Needle", 6);
    const uint8_t needle[] = "needle";
    for (auto _ : state) {
        Pos p = FindOccurrence(ed, ed.TextStart, needle, 6, 1, 0xDF, false);
        if (p != ed.TextEnd - 7) state.SkipWithError("not found");
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_FindIgnoringCaseOver100MB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::remove(BigFile(100));
    return 0;
}
