// Long random key streams in every mode: after every key the buffer must still be whole. In a UTF-8
// locale the cursor must stand between characters, and valid text must stay valid. In both locales the
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
#include "support/test_support.hpp"

namespace {

struct Lost {};
[[noreturn]] void ThrowLost(Editor&, int) { throw Lost{}; }

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

// In a UTF-8 locale: the key bursts and what must hold after every key besides the buffer's shape.
struct Utf8Run {
    std::string (*burst)(std::mt19937&, const char* program);
    bool textStaysValid;
};

bool ValidUtf8(const Editor& ed) {
    uint32_t cp;
    for (Pos p = ed.TextStart; p < ed.TextEnd;) {
        size_t n = DecodeUtf8(At(ed, p), RunEnd(ed, p), &cp);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

const char* const kValidPieces[] = {
    "a",        "Z",         " ",           "\t", "\xC3\xA4", "\xCE\xA3", "\xE6\x97\xA5", "\xF0\x9F\x98\x80",
    "\xCC\x81", "e\xCC\x81", "\xEF\xBC\xA1"};
const char* const kBrokenPieces[] = {"\xC3",         "\x80",     "\xE2\x82", "\xF0\x9F\x98",
                                     "\xED\xA0\x80", "\xC2\x85", "\x7F"};

template <size_t N>
const char* Pick(std::mt19937& rng, const char* const (&pieces)[N]) {
    return pieces[rng() % N];
}

// Valid characters and broken sequences on lines of a few dozen bytes.
std::string MixedText(unsigned seed, bool broken) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < 3000) {
        s += broken && rng() % 4 == 0 ? Pick(rng, kBrokenPieces) : Pick(rng, kValidPieces);
        if (rng() % 12 == 0) s += '\n';
    }
    return s;
}

// Every kind of key, characters of every length and broken sequences among them.
std::string AnyKeysWithCharacters(std::mt19937& rng, const char*) {
    unsigned r = rng() % 10;
    if (r < 3) return Pick(rng, kValidPieces);
    if (r < 4) return Pick(rng, kBrokenPieces);
    return RandomBurst(rng);
}

// Keys that type only valid characters and commands that ask nothing (no prompt could take half a
// character), per mode.
std::string ValidKeys(std::mt19937& rng, const char* program) {
    static const char* const kCommon[] = {"\x1b[A",  "\x1b[B",  "\x1b[C", "\x1b[D", "\x1b[1~", "\x1b[4~",
                                          "\x1b[3~", "\x1b[2~", "\x7f",   "\r",     "\t"};
    static const char* const kWs[] = {"\x01",
                                      "\x06",
                                      "\x07",
                                      "\x08",
                                      "\x13",
                                      "\x04",
                                      "\x14",
                                      "\x15",
                                      "\x16",
                                      "\x19",
                                      "\x0b"
                                      "b",
                                      "\x0bk",
                                      "\x0b"
                                      "c",
                                      "\x0bv",
                                      "\x0by",
                                      "\x0bh"};
    static const char* const kEmacs[] = {"\x14",
                                         "\x1f",
                                         "\x04",
                                         "\x0b",
                                         "\x19",
                                         "\x17",
                                         "\x00",
                                         "\x02",
                                         "\x06",
                                         "\x0f",
                                         "\x1b"
                                         "f",
                                         "\x1b"
                                         "b",
                                         "\x1bw",
                                         "\x18\x18"};
    static const char* const kPico[] = {"\x0b",  "\x15",  "\x0c", "\x04", "\x11u", "\x0aw",
                                        "\x0al", "\x0ah", "\x02", "\x06", "\x10",  "\x0e"};
    static const char* const kNedit[] = {"\x03", "\x18", "\x16", "\x01", "\x15", "\x02", "\x08"};
    static const char* const kVi[] = {"h", "j", "k", "l", "w",  "b",  "e",  "x",    "X",    "i",   "a",
                                      "o", "O", "A", "I", "R",  "u",  "p",  "P",    "J",    "D",   "C",
                                      "S", "0", "$", "^", "dd", "dw", "yy", "\x1b", "\x1b", "\x1b"};
    unsigned r = rng() % 10;
    if (r < 4) {
        std::string s = Pick(rng, kValidPieces);
        // vi r takes the character that follows it.
        return program[2] == 'v' && rng() % 4 == 0 ? "r" + s : s;
    }
    if (r < 6) return Pick(rng, kCommon);
    switch (program[2]) {
        case 'e':
            return Pick(rng, kEmacs);
        case 'p':
            return Pick(rng, kPico);
        case 'n':
            return Pick(rng, kNedit);
        case 'v':
            return Pick(rng, kVi);
        default:
            return Pick(rng, kWs);
    }
}

void RunMode(const char* program, unsigned seed, const std::string& content = kPlainText, int goal = 10000,
             int rows = 12, int cols = 40, const Utf8Run* utf8 = nullptr) {
    WorkDir work("random");
    std::ofstream("file.txt", std::ios::binary) << content;

    std::mt19937 rng(seed);
    FakeTerminal term(rows, cols);
    int keys = 0;
    for (int round = 0; round < 400 && keys < goal; ++round) {
        for (int i = 0; i < 400; ++i) term.AddBurst(utf8 ? utf8->burst(rng, program) : RandomBurst(rng));
        Editor ed(term);
        ed.Exit = ThrowLost;
        char argv0[8];
        std::strcpy(argv0, program);
        char name[] = "file.txt";
        char* argv[] = {argv0, name, nullptr};
        char lang[] = "LANG=C.UTF-8";
        char* envp[] = {utf8 ? lang : nullptr, nullptr};
        try {
            if (!StartEditor(ed, 2, argv, envp)) continue;
            while (term.InputLeft() || ed.HasReadAhead) {
                if (!EditStep(ed)) break;
                ++keys;
                ASSERT_GE(ed.Cursor, ed.TextStart) << "after key " << keys;
                ASSERT_LE(ed.Cursor, ed.TextEnd) << "after key " << keys;
                ASSERT_EQ(ByteAt(ed, ed.TextStart - 1), '\n');
                ASSERT_EQ(ByteAt(ed, ed.TextEnd), '\n') << "closing line feed after key " << keys;
                ASSERT_LE(ed.TextLength() + ed.KillLength, ed.BufferCapacity);
                ASSERT_EQ(ed.LineNumber, LinesBefore(ed, ed.Cursor)) << "line number after key " << keys;
                if (!utf8) continue;
                ASSERT_TRUE(BetweenCharacters(ed))
                    << "cursor at " << ed.Cursor - ed.TextStart << " after key " << keys;
                {
                    // What the last refresh kept of the columns agrees with the line counted afresh.
                    Pos start = ed.Cursor;
                    while (start > ed.TextStart && ByteAt(ed, start - 1) != '\n') --start;
                    const uint64_t kept = ColumnOf(ed, start, ed.Cursor);
                    Editor::ColumnMemo memo[2];
                    std::copy(std::begin(ed.columnMemo), std::end(ed.columnMemo), memo);
                    const Pos changed = ed.ChangedFrom;
                    ForgetColumns(ed);
                    ASSERT_EQ(kept, ColumnOf(ed, start, ed.Cursor)) << "column after key " << keys;
                    std::copy(std::begin(memo), std::end(memo), ed.columnMemo);  // both kept places live on
                    ed.ChangedFrom = changed;  // and so do the rows composed
                }
                if (utf8->textStaysValid) {
                    ASSERT_TRUE(ValidUtf8(ed)) << program << " text after key " << keys;
                }
            }
        } catch (const Lost&) {
            // The stream ended inside a command that waited for more keys.
        }
    }
    EXPECT_GE(keys, goal);
}

TEST(RandomKeys, WS) { RunMode("ztws", 1); }
TEST(RandomKeys, EMACS) { RunMode("ztem", 2); }
TEST(RandomKeys, PICO) { RunMode("ztpi", 3); }
TEST(RandomKeys, VI) { RunMode("ztvi", 4); }
TEST(RandomKeys, NEDIT) { RunMode("ztne", 5); }

// A text of some thousand lines: the keys' changes far apart move the gap across it.
TEST(RandomKeys, LongTextInEveryMode) {
    std::string text;
    while (text.size() < 100000) text += kPlainText;
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 50 + i, text, 1000);
}

TEST(RandomKeys, TinyTerminals) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    const int sizes[][2] = {{1, 1}, {2, 3}, {3, 11}, {1, 80}, {40, 1}};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 20 + i, kPlainText, 2000, sizes[i][0], sizes[i][1]);
}

TEST(RandomKeys, BinaryFileInEveryMode) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 10 + i, BinaryText(i), 2000);
}

TEST(RandomKeys, Utf8CursorStaysBetweenCharactersOverAnyBytes) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    const Utf8Run run{AnyKeysWithCharacters, false};
    for (unsigned i = 0; i < 5; ++i) RunMode(programs[i], 30 + i, MixedText(i, true), 3000, 12, 40, &run);
    RunMode("ztws", 40, BinaryText(40), 2000, 12, 40, &run);
}

TEST(RandomKeys, Utf8ValidTextStaysValid) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    const Utf8Run run{ValidKeys, true};
    for (unsigned i = 0; i < 5; ++i)
        RunMode(programs[i], 50 + i, MixedText(10 + i, false), 4000, 12, 40, &run);
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

// Another editor that draws the state it is given from nothing, on a terminal of its own.
// Random keys, and now and then a resize, on `content`; whenever no key is waiting the screen is
// compared with a fresh editor's drawing of the same state. `termName` is the editor's TERM entry.
void CompareWithFreshRedraw(const char* program, unsigned seed, const std::string& content, bool utf8,
                            int goal, const char* termName) {
    WorkDir work("fresh");
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
                term.AddBurst(AnyKeysWithCharacters(rng, program));
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
        std::string termVar = termName;
        char* argv[] = {argv0, name, nullptr};
        char* envp[] = {termVar.data(), utf8 ? lang : nullptr, nullptr};
        try {
            if (!StartEditor(ed, 2, argv, envp)) continue;
            while (term.InputLeft() || ed.HasReadAhead) {
                if (!EditStep(ed)) break;
                ++keys;
                if (term.InputPending()) continue;
                RefreshWindow(ed);
                DrawStatusLine(ed);
                FlushOutput(ed);
                ASSERT_TRUE(fresh->Draw(ed, term.Size()));
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
}

// On a terminal that inserts and deletes characters and lines as well as on one that may not.
TEST(RandomKeys, ScreenIsAFreshRedrawInBothLocales) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned i = 0; i < 5; ++i) {
        for (bool utf8 : {false, true}) {
            const char* termName = i % 2 == 0 ? "TERM=xterm-256color" : "TERM=dumb";
            SCOPED_TRACE(std::string(programs[i]) + (utf8 ? " UTF-8 " : " C ") + termName);
            CompareWithFreshRedraw(programs[i], 40 + i, BinaryText(30 + i), utf8, 1500, termName);
            CompareWithFreshRedraw(programs[i], 50 + i, CharacterSoup(i), utf8, 1500, termName);
            if (HasFailure()) return;
        }
    }
}

}  // namespace
