// Long random key streams in every mode: after every key the buffer must still be whole, and the
// screen must be what a fresh editor would draw for the same state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
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

// Text meant for a UTF-8 reading: words, accented and Greek letters, wide characters, emoji, marks
// alone and in long runs, tabs, and bytes of no character.
std::string CharacterSoup(unsigned seed) {
    static const char* const kPieces[] = {
        "word ",    "Grüße ",    "γάμμα ",
        "日本語",   "中文",      "😀",
        "👍🏽", "e\xcc\x81", "\xcc\x81",
        "\t",       "\n",        "\n",
        "\xff",     "\xe2\x82",  "\xc2\x85",
        "\x7f",     "x",         "日本語中文日本語中文日本語中文日本語中文日本語中文"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < 6000) {
        unsigned k = rng() % (std::size(kPieces) + 1);
        if (k == std::size(kPieces))
            s += std::string(1 + rng() % 120, char('a' + rng() % 26));  // long lines scroll sideways
        else
            s += kPieces[k];
        if (rng() % 50 == 0)
            for (int i = 0; i < 30; ++i) s += "\xcc\x81";  // a mark run longer than a cell keeps
    }
    return s;
}

// A burst with a character of more than one byte now and then.
std::string CharacterBurst(std::mt19937& rng) {
    static const char* const kTyped[] = {"ü", "日", "😀", "\xcc\x81", "\xe2"};
    if (rng() % 6 == 0) return kTyped[rng() % std::size(kTyped)];
    return RandomBurst(rng);
}

// Another editor that draws the state it is given from nothing, on a terminal of its own.
struct FreshRedraw {
    FakeTerminal term;
    Editor ed{term};
    // Draws what `src` holds; the rows, attributes and cursor it shows are then in term.screen.
    void Draw(const Editor& src, WinSize size) {
        if (!ed.buf || ed.reserved < src.TextEnd + 1) {
            ASSERT_TRUE(ReserveBuffer(ed, src.BufferCapacity));
        }
        std::memcpy(ed.buf, src.buf, src.TextEnd + 1);
        ed.TextStart = src.TextStart;
        ed.TextEnd = src.TextEnd;
        ed.Cursor = src.Cursor;
        ed.LineNumber = src.LineNumber;
        ed.BlockBegin = src.BlockBegin;
        ed.BlockEnd = src.BlockEnd;
        ed.Mark = src.Mark;
        ed.BlockVisible = src.BlockVisible;
        ed.InsertMode = src.InsertMode;
        ed.EditMode = src.EditMode;
        ed.ViCommandState = src.ViCommandState;
        ed.ChangedMark = src.ChangedMark;
        ed.ConsoleVariant = src.ConsoleVariant;
        ed.Utf8 = src.Utf8;
        std::memcpy(ed.FileName, src.FileName, sizeof ed.FileName);
        ed.screen.CursorScreenPos = src.screen.CursorScreenPos;
        term.SetSize(size.rows, size.cols);
        term.screen.SetUtf8(src.Utf8);
        InvalidateScreenCache(ed);
        RefreshWindow(ed);
        DrawStatusLine(ed);
        FlushOutput(ed);
    }
};

// Random keys, and now and then a resize, on `content`; whenever no key is waiting the screen is
// compared with a fresh editor's drawing of the same state.
void CompareWithFreshRedraw(const char* program, unsigned seed, const std::string& content, bool utf8,
                            int goal) {
    char t[] = "/tmp/zt-fresh-XXXXXX";
    std::string dir = mkdtemp(t);
    std::string old = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    std::ofstream("file.txt", std::ios::binary) << content;

    std::mt19937 rng(seed);
    int rows = 12, cols = 40;
    FakeTerminal term(rows, cols);
    term.screen.SetUtf8(utf8);
    auto fresh = std::make_unique<FreshRedraw>();
    int keys = 0;
    for (int round = 0; round < 100 && keys < goal; ++round) {
        for (int i = 0; i < 300; ++i) {
            if (rng() % 100 == 0) {
                // A new size each time: the model starts blank, as a terminal of that size would.
                const int r = 2 + int(rng() % 20), c = 1 + int(rng() % 70);
                if (r == rows && c == cols) continue;
                term.AddResize(rows = r, cols = c);
            } else {
                term.AddBurst(CharacterBurst(rng));
            }
        }
        // The editor before this one may have left without giving the terminal back: a fresh one.
        term.SetSize(term.Size().rows, term.Size().cols);
        term.screen.SetUtf8(utf8);
        Editor ed(term);
        ed.Exit = ThrowLost;
        char argv0[8];
        std::strcpy(argv0, program);
        char name[] = "file.txt", lang[] = "LANG=C.UTF-8";
        char* argv[] = {argv0, name, nullptr};
        char* envp[] = {utf8 ? lang : nullptr, nullptr};
        try {
            if (!StartEditor(ed, 2, argv, envp)) continue;
            while (term.InputLeft() || ed.HasReadAhead) {
                if (!EditStep(ed)) break;
                ++keys;
                if (term.InputPending()) continue;
                RefreshWindow(ed);
                DrawStatusLine(ed);
                FlushOutput(ed);
                fresh->Draw(ed, term.Size());
                const ScreenModel& want = fresh->term.screen;
                ASSERT_EQ(want.Errors(), "");
                ASSERT_EQ(term.screen.Errors(), "") << "after key " << keys;
                for (int r = 0; r < want.Rows(); ++r) {
                    ASSERT_EQ(term.screen.Row(r), want.Row(r)) << "row " << r << " after key " << keys;
                    ASSERT_EQ(term.screen.Attrs(r), want.Attrs(r)) << "row " << r << " after key " << keys;
                }
                ASSERT_EQ(term.screen.CursorRow(), want.CursorRow()) << "after key " << keys;
                ASSERT_EQ(term.screen.CursorCol(), want.CursorCol()) << "after key " << keys;
            }
        } catch (const Lost&) {
        }
    }
    EXPECT_GE(keys, goal);
    ASSERT_EQ(chdir(old.c_str()), 0);
    std::filesystem::remove_all(dir);
}

TEST(RandomKeys, ScreenIsAFreshRedrawInBothLocales) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned i = 0; i < 5; ++i) {
        for (bool utf8 : {false, true}) {
            SCOPED_TRACE(std::string(programs[i]) + (utf8 ? " UTF-8" : " C"));
            CompareWithFreshRedraw(programs[i], 40 + i, BinaryText(30 + i), utf8, 1500);
            CompareWithFreshRedraw(programs[i], 50 + i, CharacterSoup(i), utf8, 1500);
            if (HasFailure()) return;
        }
    }
}

}  // namespace
