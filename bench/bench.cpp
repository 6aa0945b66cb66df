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

// A terminal that takes the output and does nothing with it: only the editor's own work is timed.
struct QuietTerminal : FakeTerminal {
    void Write(const void*, size_t) override {}
};

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

// A whole screen drawn afresh, the output taken by no one: the editor's own part of the first screen.
void BM_WholeScreen(benchmark::State& state) {
    QuietTerminal term;
    Editor ed(term);
    ed.Utf8 = state.range(0) != 0;
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "line " + std::to_string(i) + " of a text that fills most of the row, and some\n";
    if (!ReserveBuffer(ed, kDefaultCapacity)) state.SkipWithError("no memory");
    std::memcpy(ed.buf + ed.TextStart, text.data(), text.size());  // a fresh reservation has no gap
    ed.TextEnd = ed.TextStart + text.size();
    ed.buf[ed.TextEnd] = '\n';
    for (auto _ : state) {
        InvalidateScreenCache(ed);
        RefreshWindow(ed);
        DrawStatusLine(ed);
        FlushOutput(ed);
    }
}
BENCHMARK(BM_WholeScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
    std::memcpy(InPlace(ed, ed.TextEnd - 7, 6), "Needle", 6);
    const uint8_t needle[] = "needle";
    for (auto _ : state) {
        Pos p = FindOccurrence(ed, ed.TextStart, needle, 6, 1, 0xDF, false);
        if (p != ed.TextEnd - 7) state.SkipWithError("not found");
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_FindIgnoringCaseOver100MB)->Unit(benchmark::kMillisecond);

// Files that are hard on a UTF-8 reading, as text: a 1 MB line of three-byte characters, a letter with
// 10,000 combining marks, 1 MB of random bytes; for comparison a plain ASCII line of 60 bytes; a 1 MB
// line of euro signs (three-byte characters whose first byte may also begin a mark) and 1 MB of
// sequences cut short or overlong, and 2,000 short lines of sequences broken every way. Each ends in a
// short line for the vertical moves.
std::string HardText(int kind) {
    std::string s;
    if (kind == 0) {
        while (s.size() < 1000000) s += "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    } else if (kind == 1) {
        s = "a";
        for (int i = 0; i < 10000; ++i) s += "\xCC\x81";
    } else if (kind == 2) {
        uint32_t x = 1;
        for (int i = 0; i < 1000000; ++i) {
            x = x * 1103515245 + 12345;
            s += char(x >> 16);
        }
    } else if (kind == 3) {
        s = std::string(59, 'x');
    } else if (kind == 4) {
        while (s.size() < 1000000) s += "\xE2\x82\xAC";
    } else if (kind == 5) {
        while (s.size() < 1000000) s += "\xE2\x82\xC0\xAF";
    } else {
        // Short lines of sequences broken every way.
        const std::string bad =
            "\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x28\x8c\xbc\xed\xa0\x80\xc0\xaf\xe6\x97\xf4\x90\x80\x80\xc2\x85"
            " ";
        for (int line = 0; line < 2000; ++line) {
            for (int i = 0; i < 8; ++i) s += bad;
            if (line < 1999) s += '\n';
        }
    }
    return s + "\nshort line\n";
}

// One round of editing keys in the middle of the first line: right, left, a letter typed and taken
// back, down and up. Argument 0 is the C locale, 1 a UTF-8 one; the file as in HardText.
void BM_EditKeysOnHardLine(benchmark::State& state) {
    const std::string text = HardText(int(state.range(0)));
    const std::string name = "/tmp/zt-bench-hard-" + std::to_string(getpid()) + ".txt";
    FILE* f = std::fopen(name.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    FakeTerminal term;
    Editor ed(term);
    ed.Utf8 = state.range(1) != 0;
    if (!LoadFile(ed, name.c_str())) state.SkipWithError("load failed");
    std::remove(name.c_str());
    const Pos middle = CharStartAt(ed, ed.TextStart + text.find('\n') / 2);
    for (auto _ : state) {
        ed.Cursor = middle;
        ed.LineNumber = 1;
        CharRight(ed);
        CharLeft(ed);
        TypeByte(ed, 'x');
        DeleteLeft(ed);
        LineDown(ed);
        LineUp(ed);
        benchmark::DoNotOptimize(ed.Cursor);
    }
    ClearUndo(ed);
}
BENCHMARK(BM_EditKeysOnHardLine)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The text of HardText(range 0) in ed, read in a UTF-8 locale when range 1 is 1.
std::string PutHardText(Editor& ed, benchmark::State& state) {
    ed.Utf8 = state.range(1) != 0;
    const std::string text = HardText(int(state.range(0)));
    if (!ReserveBuffer(ed, 2 * text.size() + kDefaultCapacity)) state.SkipWithError("no memory");
    std::memcpy(ed.buf + ed.TextStart, text.data(), text.size());  // a fresh reservation has no gap
    ed.TextEnd = ed.TextStart + text.size();
    ed.buf[ed.TextEnd] = '\n';
    return text;
}

// One key at the end of the first line (a character typed, then taken back) and the refresh after it.
void BM_KeyAtLineEnd(benchmark::State& state) {
    QuietTerminal term;
    Editor ed(term);
    const std::string text = PutHardText(ed, state);
    const Pos lineEnd = ed.TextStart + text.find('\n');
    ed.Cursor = lineEnd;
    RefreshWindow(ed);
    FlushOutput(ed);
    for (auto _ : state) {
        ed.Cursor = lineEnd;
        TypeByte(ed, 'x');
        RefreshWindow(ed);
        FlushOutput(ed);
        RemoveBytes(ed, lineEnd, 1);
        ed.Cursor = lineEnd;
        RefreshWindow(ed);
        FlushOutput(ed);
    }
}
BENCHMARK(BM_KeyAtLineEnd)
    ->ArgsProduct({{0, 1, 2, 4, 5, 6}, {0, 1}})
    ->ArgNames({"file", "utf8"})
    ->Unit(benchmark::kMicrosecond);

// The same at the start of the first line: the row stops being decoded once it is full.
void BM_KeyAtLineStart(benchmark::State& state) {
    QuietTerminal term;
    Editor ed(term);
    const std::string text = PutHardText(ed, state);
    RefreshWindow(ed);
    FlushOutput(ed);
    for (auto _ : state) {
        ed.Cursor = ed.TextStart;
        TypeByte(ed, 'x');
        RefreshWindow(ed);
        FlushOutput(ed);
        RemoveBytes(ed, ed.TextStart, 1);
        ed.Cursor = ed.TextStart;
        RefreshWindow(ed);
        FlushOutput(ed);
    }
}
BENCHMARK(BM_KeyAtLineStart)
    ->ArgsProduct({{0, 1, 2, 4, 5, 6}, {0, 1}})
    ->ArgNames({"file", "utf8"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::remove(BigFile(100));
    return 0;
}
