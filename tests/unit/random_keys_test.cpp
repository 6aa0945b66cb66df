// Long random key streams in every mode: after every key the buffer must still be whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "buffer/buffer.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"

namespace {

struct Lost {};
[[noreturn]] void ThrowLost(Editor&, int) { throw Lost{}; }

uint64_t FreshCount(const Editor& ed) {
    uint64_t n = 1;
    for (Pos p = ed.TextStart; p < ed.Cursor; ++p) n += ed.buf[p] == '\n';
    return n;
}

std::string RandomBurst(std::mt19937& rng) {
    static const char* const kSequences[] = {"\x1b[A",
                                             "\x1b[B",
                                             "\x1b[C",
                                             "\x1b[D",
                                             "\x1b[3~",
                                             "\x1b[5~",
                                             "\x1b[6~",
                                             "\x1b[2~",
                                             "\x1b"
                                             "b",
                                             "\x1b"
                                             "f",
                                             "\x1b"
                                             "h"};
    std::string s;
    int n = 1 + int(rng() % 3);
    for (int i = 0; i < n; ++i) {
        unsigned r = rng() % 100;
        char c;
        if (r < 55)
            c = char(' ' + rng() % 95);
        else if (r < 62)
            c = '\r';
        else if (r < 70)
            return s + kSequences[rng() % std::size(kSequences)];
        else if (r < 72)
            c = '\x7f';
        else
            c = char(rng() % 32);
        if (c == '/') c = '.';  // no names outside the test's own directory
        if (c == 0x1b && rng() % 2) continue;
        s += c;
    }
    return s;
}

const char kPlainText[] = "alpha beta\n\tgamma delta\n\nepsilon  zeta eta\ntheta\n";

// Any bytes at all, NUL included, as one long line with a few breaks and no final line feed.
std::string BinaryText(unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(30000, '\0');
    for (char& c : s) c = char(rng() % 256);
    for (char& c : s)
        if (c == '\n' && rng() % 8) c = '\0';
    if (!s.empty() && s.back() == '\n') s.back() = 'x';
    return s;
}

void RunMode(const char* program, unsigned seed, const std::string& content = kPlainText, int goal = 10000,
             int rows = 12, int cols = 40) {
    char t[] = "/tmp/zt-random-XXXXXX";
    std::string dir = mkdtemp(t);
    std::string old = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    std::ofstream("file.txt", std::ios::binary) << content;

    std::mt19937 rng(seed);
    FakeTerminal term(rows, cols);
    int keys = 0;
    for (int round = 0; round < 400 && keys < goal; ++round) {
        for (int i = 0; i < 400; ++i) term.AddBurst(RandomBurst(rng));
        Editor ed(term);
        ed.Exit = ThrowLost;
        char argv0[8];
        std::strcpy(argv0, program);
        char name[] = "file.txt";
        char* argv[] = {argv0, name, nullptr};
        char* envp[] = {nullptr};
        try {
            if (!StartEditor(ed, 2, argv, envp)) continue;
            while (term.InputLeft() || ed.HasReadAhead) {
                if (!EditStep(ed)) break;
                ++keys;
                ASSERT_GE(ed.Cursor, ed.TextStart) << "after key " << keys;
                ASSERT_LE(ed.Cursor, ed.TextEnd) << "after key " << keys;
                ASSERT_EQ(ed.buf[ed.TextStart - 1], '\n');
                ASSERT_EQ(ed.buf[ed.TextEnd], '\n') << "closing line feed after key " << keys;
                ASSERT_LE(ed.TextLength() + ed.KillLength, ed.BufferCapacity);
                ASSERT_EQ(ed.LineNumber, FreshCount(ed)) << "line number after key " << keys;
            }
        } catch (const Lost&) {
            // The stream ended inside a command that waited for more keys.
        }
    }
    EXPECT_GE(keys, goal);
    ASSERT_EQ(chdir(old.c_str()), 0);
    std::filesystem::remove_all(dir);
}

TEST(RandomKeys, WS) { RunMode("ztws", 1); }
TEST(RandomKeys, EMACS) { RunMode("ztem", 2); }
TEST(RandomKeys, PICO) { RunMode("ztpi", 3); }
TEST(RandomKeys, VI) { RunMode("ztvi", 4); }
TEST(RandomKeys, NEDIT) { RunMode("ztne", 5); }

TEST(RandomKeys, TinyTerminals) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    const int sizes[][2] = {{1, 1}, {2, 3}, {3, 11}, {1, 80}, {40, 1}};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 20 + i, kPlainText, 2000, sizes[i][0], sizes[i][1]);
}

TEST(RandomKeys, BinaryFileInEveryMode) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 10 + i, BinaryText(i), 2000);
}

}  // namespace
