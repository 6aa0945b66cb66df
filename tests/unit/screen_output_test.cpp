// The terminal shows what the refresh composed, whatever way the output took to get there (cell
// differences, erased row ends, scrolled rows, skipped refreshes), and it takes few bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "screen/screen.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct Lost {};
[[noreturn]] void ThrowLost(Editor&, int) { throw Lost{}; }

// Lines of every length from empty to wider than the window, tabs and a control byte among them.
std::string MixedText(unsigned seed, int lines) {
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < lines; ++i) {
        int len = int(rng() % 7 == 0 ? 60 + rng() % 90 : rng() % 40);
        for (int k = 0; k < len; ++k) {
            unsigned r = rng() % 40;
            s += r == 0 ? '\t' : r == 1 ? '\x01' : char('a' + rng() % 26);
        }
        s += '\n';
    }
    return s;
}

// One whole key of `mode`: a typed character, a cursor or page key, a control key or an alt key. No
// lone ESC: whether it stands alone depends on how the input arrives.
std::string RandomKey(std::mt19937& rng) {
    static const char* const kSequences[] = {"\x1b[A",
                                             "\x1b[B",
                                             "\x1b[C",
                                             "\x1b[D",
                                             "\x1b[5~",
                                             "\x1b[6~",
                                             "\x1b[1~",
                                             "\x1b[4~",
                                             "\x1b[3~",
                                             "\x1b[2~",
                                             "\x1b"
                                             "b",
                                             "\x1b"
                                             "f",
                                             "\x1b"
                                             "v"};
    unsigned r = rng() % 100;
    if (r < 30) return std::string(1, char('a' + rng() % 26));
    if (r < 34) return "\r";
    if (r < 72) {
        // Mostly up and down, so that the window scrolls by small steps as well as by pages.
        unsigned k = rng() % 20;
        return kSequences[k < 6 ? 0 : k < 12 ? 1 : k - 12 + 2];
    }
    if (r < 75) return "\x7f";
    char c = char(rng() % 32);
    if (c == 0x1b || c == 0x1a) c = 0x0e;  // no lone ESC; no suspend in the middle of a burst
    return std::string(1, c);
}

std::vector<std::string> Shown(const FakeTerminal& term) {
    std::vector<std::string> v;
    for (int r = 0; r < term.screen.Rows(); ++r) {
        v.push_back(term.screen.Row(r));
        v.push_back(term.screen.Attrs(r));
    }
    return v;
}

// What a composed row shows: its characters and their attribute letters.
std::pair<std::string, std::string> ComposedCells(const CellRow& row, int n) {
    return {CellsText(row, n), CellsAttrs(row, n)};
}

struct Outcome {
    std::string text;
    size_t cursor = 0;
    uint64_t line = 0;
    Pos blockBegin = 0, blockEnd = 0;
    int screenRow = 0, screenCol = 0;
    std::vector<std::string> shown;
    int cursorRow = 0, cursorCol = 0;
    std::string errors;
};

// Runs `keys` on `content`, all in one burst or each key in its own; the screen as the editor leaves
// it waiting for the next key.
Outcome RunKeys(const char* program, const std::string& content, const std::vector<std::string>& keys,
                bool oneBurst) {
    WorkDir dir("burst");
    WriteFile("file.txt", content);
    FakeTerminal term(12, 40);
    std::string all;
    for (const std::string& k : keys) {
        if (oneBurst)
            all += k;
        else
            term.AddBurst(k);
    }
    if (oneBurst) term.AddBurst(all);
    Editor ed(term);
    ed.Exit = ThrowLost;
    Outcome o;
    try {
        if (StartOnFile(ed, program)) {
            while ((term.InputLeft() || ed.HasReadAhead) && EditStep(ed)) {
            }
            RefreshWindow(ed);
            DrawStatusLine(ed);
            FlushOutput(ed);
        }
    } catch (const Lost&) {
        // The keys ended inside a command that waited for more.
    }
    o.text = TextOf(ed);
    o.cursor = ed.Cursor;
    o.line = ed.LineNumber;
    o.blockBegin = ed.BlockBegin;
    o.blockEnd = ed.BlockEnd;
    o.screenRow = ed.screen.CursorScreenPos.row;
    o.screenCol = ed.screen.CursorScreenPos.col;
    o.shown = Shown(term);
    o.cursorRow = term.screen.CursorRow();
    o.cursorCol = term.screen.CursorCol();
    o.errors = term.screen.Errors();
    return o;
}

// Keys that arrive together skip the refreshes in between: the editor ends in the same state on the
// same screen as when each key was drawn.
TEST(SkippedRefresh, BurstEndsAsKeyByKey) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned m = 0; m < 5; ++m) {
        for (unsigned round = 0; round < 12; ++round) {
            std::mt19937 rng(100 * m + round);
            std::vector<std::string> keys;
            for (int i = 0; i < 60; ++i) keys.push_back(RandomKey(rng));
            const std::string content = MixedText(m * 31 + round, 80);
            Outcome burst = RunKeys(programs[m], content, keys, true);
            Outcome single = RunKeys(programs[m], content, keys, false);
            SCOPED_TRACE(std::string(programs[m]) + " round " + std::to_string(round));
            EXPECT_EQ(burst.text, single.text);
            EXPECT_EQ(burst.cursor, single.cursor);
            EXPECT_EQ(burst.line, single.line);
            EXPECT_EQ(burst.blockBegin, single.blockBegin);
            EXPECT_EQ(burst.blockEnd, single.blockEnd);
            EXPECT_EQ(burst.screenRow, single.screenRow);
            EXPECT_EQ(burst.screenCol, single.screenCol);
            EXPECT_EQ(burst.shown, single.shown);
            EXPECT_EQ(burst.cursorRow, single.cursorRow);
            EXPECT_EQ(burst.cursorCol, single.cursorCol);
            EXPECT_EQ(burst.errors, "");
            EXPECT_EQ(single.errors, "");
            if (HasFailure()) return;
        }
    }
}

// After every refresh the terminal shows exactly the rows the refresh composed, and the cursor stands
// where the editor put it; keys and resizes at random (the terminal scrambles its rows at each), each key
// drawn.
void CompareWithComposed(const char* program, unsigned seed, int rows, int cols, TermKind kind) {
    WorkDir dir("diff");
    WriteFile("file.txt", MixedText(seed, 300));
    std::mt19937 rng(seed);
    FakeTerminal term(rows, cols);
    for (int i = 0; i < 1500; ++i) {
        if (rng() % 150 == 0)
            term.AddResize(2 + int(rng() % 30), 1 + int(rng() % 100));
        else
            term.AddBurst(RandomKey(rng));
    }
    Editor ed(term);
    ed.Exit = ThrowLost;
    ASSERT_TRUE(StartOnFile(ed, program));
    ed.screen.Kind = kind;
    int scrolls = 0, steps = 0;
    try {
        while (term.InputLeft() || ed.HasReadAhead) {
            RefreshWindow(ed);
            DrawStatusLine(ed);
            FlushOutput(ed);
            ++steps;
            Screen& sc = ed.screen;
            for (int r = 0; r < sc.TextRows; ++r) {
                auto [cells, attrs] = ComposedCells(FrameRow(sc, r), sc.Columns);
                ASSERT_EQ(term.screen.Row(r), cells) << "row " << r << " after step " << steps;
                ASSERT_EQ(term.screen.Attrs(r), attrs) << "row " << r << " after step " << steps;
            }
            auto [cells, attrs] = ComposedCells(StatusCells(sc), sc.StatusWidth);
            ASSERT_EQ(term.screen.Row(sc.TextRows), cells) << "status row after step " << steps;
            ASSERT_EQ(term.screen.Attrs(sc.TextRows), attrs) << "status row after step " << steps;
            if (sc.CursorScreenPos.col < sc.Columns) {
                ASSERT_EQ(term.screen.CursorRow(), sc.CursorScreenPos.row) << "after step " << steps;
                ASSERT_EQ(term.screen.CursorCol(), sc.CursorScreenPos.col) << "after step " << steps;
            }
            ASSERT_EQ(term.screen.Errors(), "") << "after step " << steps;
            scrolls = term.screen.Scrolls();
            DispatchKey(ed);
            ed.ExitRequest = 0;  // editing goes on: no name prompt, no exit
        }
    } catch (const Lost&) {
    }
    EXPECT_GT(steps, 100);
    if (rows > 3) {
        EXPECT_GT(scrolls, 0) << "the terminal scrolled at least once";
    }
}

TEST(CellDiffs, ShowWhatTheRefreshComposed) {
    const char* programs[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
    for (unsigned m = 0; m < 5; ++m) {
        SCOPED_TRACE(programs[m]);
        CompareWithComposed(programs[m], 7 + m, 24, 80, TermKind::Unknown);
        CompareWithComposed(programs[m], 70 + m, 8, 30, TermKind::Unknown);
        CompareWithComposed(programs[m], 700 + m, 3, 5, TermKind::Unknown);
        CompareWithComposed(programs[m], 17 + m, 24, 80, TermKind::Shifting);
        CompareWithComposed(programs[m], 170 + m, 8, 30, TermKind::Shifting);
        if (HasFailure()) return;
    }
}

// The blank tail of a row, found four cells at a time, against a look at every cell: rows of blanks
// broken by a character, a coloured blank or a wide character's right half at every place.
TEST(CellDiffs, BlankTailsAgreeWithACellByCellLook) {
    std::mt19937 rng(5);
    uint32_t glyph[kMaxColumns];
    uint8_t info[kMaxColumns];
    const CellRow row{glyph, info, nullptr};
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng() % kMaxColumns) + 1;
        BlankCells(row, 0, n, kAttrPlain);
        for (int k = int(rng() % 3); k > 0; --k) {
            const int c = int(rng() % unsigned(n));
            switch (rng() % 3) {
                case 0:
                    glyph[c] = 'x';
                    break;
                case 1:
                    info[c] = kAttrStatus;
                    break;
                default:
                    glyph[c] = kRightHalf;
                    break;
            }
        }
        const int from = int(rng() % unsigned(n + 1));
        int expected = n;
        while (expected > from && glyph[expected - 1] == ' ' && info[expected - 1] == kAttrPlain) --expected;
        ASSERT_EQ(PlainBlanksFrom(row, from, n), expected) << "round " << round;
    }
}

// The first cell two rows draw differently, found eight cells at a time, against a look at every cell:
// rows alike but for a glyph, an attribute or the bytes aside of a cell with marks, at every place.
TEST(CellDiffs, FirstDifferencesAgreeWithACellByCellLook) {
    std::mt19937 rng(6);
    uint32_t glyph[2][kMaxColumns];
    uint8_t info[2][kMaxColumns], extra[2][kMaxColumns][kCellExtra] = {};
    const CellRow a{glyph[0], info[0], extra[0]}, b{glyph[1], info[1], extra[1]};
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng() % kMaxColumns) + 1;
        for (int c = 0; c < n; ++c) {
            glyph[0][c] = glyph[1][c] = 'a' + rng() % 3;
            info[0][c] = info[1][c] = kAttrPlain;
        }
        // A cell with two bytes aside, alike in both rows or not.
        const int marked = int(rng() % unsigned(n));
        info[0][marked] = info[1][marked] = uint8_t(kAttrPlain | 2 << kExtraShift);
        extra[0][marked][1] = 'x';
        extra[1][marked][1] = rng() % 4 ? 'x' : 'y';
        for (int k = int(rng() % 3); k > 0; --k) {
            const int c = int(rng() % unsigned(n));
            if (rng() % 2)
                glyph[1][c] = 'z';
            else
                info[1][c] = kAttrStatus;
        }
        const int from = int(rng() % unsigned(n + 1));
        int expected = from;
        while (expected < n && SameCell(a, b, expected)) ++expected;
        ASSERT_EQ(FirstDifference(a, b, from, n), expected) << "round " << round;
    }
}

// A first screen larger than the output buffer goes out in several writes; the place the cursor
// passed before the first of them cannot be saved any more, so it is reached by a move.
TEST(CellDiffs, AScreenLargerThanTheOutputBuffer) {
    WorkDir dir("large");
    std::string text;
    for (int i = 0; i < 300; ++i) text += std::string(250, char('a' + i % 26)) + "\n";
    WriteFile("file.txt", text);
    FakeTerminal term(201, 255);
    Editor ed(term);
    ed.Exit = ThrowLost;
    ASSERT_TRUE(StartOnFile(ed, "ztws"));
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_GT(term.writes, 2);
    EXPECT_EQ(term.screen.Errors(), "");
    EXPECT_EQ(term.screen.CursorRow(), 0);
    EXPECT_EQ(term.screen.CursorCol(), 0);
    for (int r = 1; r < 200; ++r)
        ASSERT_EQ(term.screen.Row(r).substr(0, 250), std::string(250, char('a' + r % 26)));
    EXPECT_EQ(term.screen.Attrs(0)[0], 'b') << "the cursor cell";
    EXPECT_EQ(term.screen.Attrs(1)[0], ' ');
}

TEST(CellDiffs, LinuxConsoleAndOverwrite) {
    WorkDir dir("console");
    FakeTerminal term(10, 40);
    Editor ed(term);
    ed.ConsoleVariant = 4;
    ed.screen.CursorScreenPos = {1, 0};
    LoadMarked(ed, WS, "one\ntwo |three\nfour");
    RefreshWindow(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 6), "    r ");
    ed.InsertMode = kOverwrite;
    ed.BlockBegin = ed.TextStart + 1;
    ed.BlockEnd = ed.TextStart + 6;
    RefreshWindow(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 4), " bbb");
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 6), "bb    ");
    EXPECT_EQ(term.screen.Errors(), "");
}

// ---- Bytes on the wire for the keys that matter, on a file of a thousand lines.

std::string ThousandLines() {
    std::string s;
    for (int i = 0; i < 1000; ++i) {
        std::string line = "line " + std::to_string(i + 1) + ":";
        int len = 20 + (i * 37) % 56;
        while (int(line.size()) < len) line += char('a' + (line.size() * 7 + i) % 26);
        s += line + "\n";
    }
    return s;
}

class Bytes : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("file.txt", ThousandLines());
        ed.Exit = ThrowOnExit;
        ASSERT_TRUE(StartOnFile(ed, "ztws"));
    }
    // One refresh as the main loop does it; the bytes written.
    size_t Refresh() {
        size_t before = term.output.size();
        RefreshWindow(ed);
        DrawStatusLine(ed);
        FlushOutput(ed);
        return term.output.size() - before;
    }
    // `key` once; the bytes of the refresh after it.
    size_t Key(const std::string& key) {
        term.AddBurst(key);
        DispatchKey(ed);
        return Refresh();
    }
    WorkDir dir_{"bytes"};
    FakeTerminal term{24, 80};
    Editor ed{term};
};

TEST_F(Bytes, FirstScreenIsTheTextOnce) {
    size_t first = Refresh();
    // The visible cells of 23 rows and the status row, with few positions: no row is sent twice and
    // no blank is sent one by one.
    size_t cells = 0;
    for (int r = 0; r < 23; ++r) {
        std::string row = term.screen.Row(r);
        cells += row.find_last_not_of(' ') + 1;
    }
    EXPECT_LE(first, cells + 80 + 23 * 6 + 40);
    EXPECT_EQ(Refresh(), 0u) << "nothing changed, nothing sent";
}

TEST_F(Bytes, CursorKeysSendAFewDozen) {
    Refresh();
    size_t down = Key("\x1b[B");
    // The cursor's two cells, the line number; the cursor goes back by ESC 8 to where ESC 7 saved it
    // as it passed, not by a position and an attribute reset.
    EXPECT_LE(down, 32u) << "two cells of the cursor, the line number, the cursor";
    EXPECT_EQ(term.screen.Row(23).substr(62, 4), " 2:1");
    EXPECT_LE(Key("\x1b[C"), 40u);
    size_t typed = Key("x");
    // The rest of the row moves right by one: every cell after the cursor changes; on the status row
    // the changed mark and the column.
    EXPECT_LE(typed, term.screen.Row(1).find_last_not_of(' ') + 45);
    EXPECT_EQ(term.screen.Row(1).substr(0, 6), "lxine ");
    EXPECT_EQ(term.screen.Row(23)[1], '*');
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST_F(Bytes, ScrollSendsOnlyTheNewRow) {
    Refresh();
    for (int i = 0; i < 22; ++i) Key("\x1b[B");
    const int before = term.screen.Scrolls();
    size_t one = Key("\x1b[B");
    EXPECT_EQ(term.screen.Scrolls(), before + 1);
    const std::string newRow = term.screen.Row(22);
    EXPECT_EQ(newRow.substr(0, 8), "line 24:");
    EXPECT_LE(one, newRow.find_last_not_of(' ') + 1 + 50)
        << "the new row, the region, the cursor, the line number";
    EXPECT_EQ(term.screen.Row(0).substr(0, 7), "line 2:");

    // Fifty more, one by one: the region is set once, each costs its new row and a little.
    size_t total = 0, rowCells = 0;
    for (int i = 0; i < 50; ++i) {
        total += Key("\x1b[B");
        rowCells += term.screen.Row(22).find_last_not_of(' ') + 1;
    }
    EXPECT_EQ(term.screen.Scrolls(), before + 51);
    // Each: its new row, the cursor's two cells, the line number in the status colours and the way
    // back (ESC 8). The stayed row that loses the cursor's highlight is mended before the scroll, where
    // the cursor already is.
    EXPECT_LE(total, rowCells + 50 * 35);
    // From the start of the region's last row to the status row below it no line feed may be used: it
    // would scroll the text rows.
    ASSERT_EQ(term.screen.CursorRow(), 22);
    ASSERT_EQ(term.screen.CursorCol(), 0);
    const std::string last = term.screen.Row(22);
    ShowPrefixKey(ed, "^K  ");
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Scrolls(), before + 51);
    EXPECT_EQ(term.screen.Row(22), last);
    EXPECT_EQ(term.screen.Row(23).substr(0, 4), "^K  ");
    // Upwards the same, from the top row.
    for (int i = 0; i < 22; ++i) Key("\x1b[A");
    const int up = term.screen.Scrolls();
    size_t back = Key("\x1b[A");
    EXPECT_EQ(term.screen.Scrolls(), up + 1);
    EXPECT_LE(back, term.screen.Row(0).find_last_not_of(' ') + 1 + 50);
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST_F(Bytes, KeysAlreadyWaitingAreDrawnOnceInOneWrite) {
    Refresh();
    std::string keys;
    for (int i = 0; i < 40; ++i) keys += "\x1b[B";
    term.AddBurst(keys);
    const int writes = term.writes;
    const size_t bytes = term.output.size();
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(EditStep(ed));
    EXPECT_EQ(term.writes, writes) << "nothing drawn while keys were waiting";
    EXPECT_EQ(term.output.size(), bytes);
    EXPECT_EQ(ed.LineNumber, 41u);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 22) << "the window followed the cursor all the same";
    Refresh();
    EXPECT_EQ(term.writes, writes + 1) << "the screen after the last key, in one write";
    EXPECT_EQ(term.screen.Row(22).substr(0, 8), "line 41:");
    EXPECT_EQ(term.screen.Row(0).substr(0, 8), "line 19:");
}

TEST_F(Bytes, PageDownSendsTheNewRowsOnly) {
    Refresh();
    size_t page = Key("\x1b[6~");
    size_t cells = 0;
    for (int r = 0; r < 23; ++r) cells += term.screen.Row(r).find_last_not_of(' ') + 1;
    // The new text, a position or erase per row at most, the status row's change.
    EXPECT_LE(page, cells + 23 * 8 + 30);
    EXPECT_EQ(term.screen.Errors(), "");
}

// ---- A terminal that inserts and deletes characters and lines itself.

// The model acts on them as xterm does: within the row, cells pushed off its end are lost and blanks
// come in; rows move only inside the scroll region, and only with the cursor in it.
TEST(ScreenModel, InsertAndDeleteAsXtermDoes) {
    ScreenModel m;
    m.Resize(3, 6);
    auto feed = [&](const std::string& s) { m.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    feed("abcdef\x1b[2Hghijkl\x1b[3Hstatus\x1b[1;3H\x1b[2@");
    EXPECT_EQ(m.Row(0), "ab  cd");
    EXPECT_EQ(m.CursorCol(), 2);
    feed("\x1b[P\x1b[1;5H\x1b[9P");
    EXPECT_EQ(m.Row(0), "ab c  ");
    feed("\x1b[1;2r\x1b[2;4H\x1b[L");
    EXPECT_EQ(m.Row(0), "ab c  ");
    EXPECT_EQ(m.Row(1), "      ");
    EXPECT_EQ(m.CursorCol(), 0);
    EXPECT_EQ(m.Row(2), "status") << "below the region";
    feed("\x1b[3H\x1b[M\x1b[1H\x1b[M");
    EXPECT_EQ(m.Row(0), "      ");
    EXPECT_EQ(m.Row(1), "      ");
    EXPECT_EQ(m.Row(2), "status") << "the cursor outside the region moves no row";
    EXPECT_EQ(m.Errors(), "");
    m.SetUtf8(true);
    feed("\x1b[3H\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\x1b[3;1H\x1b[@");
    EXPECT_NE(m.Errors(), "") << "half a wide character pushed off the end";
}

// Two editors on the same text and keys, one on a terminal that shifts: the same screen after every
// key, from fewer bytes where characters or lines were inserted or deleted.
class Shifting : public ::testing::Test {
protected:
    struct Side {
        FakeTerminal term{24, 80};
        Editor ed{term};
    };
    void Start(const std::string& text, bool utf8 = false) {
        WriteFile("file.txt", text);
        for (Side* s : {&unknown_, &shifting_}) {
            s->ed.Exit = ThrowOnExit;
            ASSERT_TRUE(StartOnFile(s->ed, "ztws"));
            s->ed.Utf8 = utf8;
            s->term.screen.SetUtf8(utf8);
        }
        shifting_.ed.screen.Kind = TermKind::Shifting;
        Key("");
    }
    // `key` (or keys drawn at once) on both sides; the shifting side's output for it.
    std::string Key(const std::string& key) {
        std::string out[2];
        for (Side* s : {&unknown_, &shifting_}) {
            s->term.AddBurst(key);
            while (s->term.InputLeft()) DispatchKey(s->ed);
            const size_t before = s->term.output.size();
            RefreshWindow(s->ed);
            DrawStatusLine(s->ed);
            FlushOutput(s->ed);
            out[s == &shifting_] = s->term.output.substr(before);
        }
        for (int r = 0; r < 24; ++r) {
            EXPECT_EQ(shifting_.term.screen.Row(r), unknown_.term.screen.Row(r)) << "row " << r;
            EXPECT_EQ(shifting_.term.screen.Attrs(r), unknown_.term.screen.Attrs(r)) << "row " << r;
        }
        EXPECT_EQ(shifting_.term.screen.CursorRow(), unknown_.term.screen.CursorRow());
        EXPECT_EQ(shifting_.term.screen.CursorCol(), unknown_.term.screen.CursorCol());
        EXPECT_EQ(shifting_.term.screen.Errors(), "");
        unknownBytes_ = out[0].size();
        return out[1];
    }
    WorkDir dir_{"shifting"};
    Side unknown_, shifting_;
    size_t unknownBytes_ = 0;
};

// Typing after a move: the move saved the cursor's place (ESC 7), so the status row goes out first and
// ESC 8 comes back there for the insert, which leaves the cursor on its place. The next character
// saves it again where it ends.
TEST_F(Shifting, TypingAfterAMoveSendsTheStatusFirst) {
    Start(ThousandLines());
    const std::string down = Key("\x1b[B");
    EXPECT_NE(down.find("\x1b"
                        "7"),
              std::string::npos);
    const std::string typed = Key("Q");
    EXPECT_LE(typed.size(), 29u) << testing::PrintToString(typed);
    EXPECT_LT(typed.find("\x1b[44;33;1m"), typed.find("\x1b"
                                                      "8"));
    EXPECT_LT(typed.find("\x1b"
                         "8"),
              typed.find("\x1b[@Q"));
    EXPECT_EQ(typed.find("\x1b"
                         "7"),
              std::string::npos);
    const std::string again = Key("R");
    EXPECT_LE(again.size(), 27u) << testing::PrintToString(again);
    EXPECT_LE(Key("S").size(), 25u) << "the place R saved is where S goes";
    EXPECT_EQ(shifting_.term.screen.Row(1).substr(0, 4), "QRSl");
}

TEST_F(Shifting, CharactersAndLinesMoveOnTheTerminal) {
    Start(ThousandLines());
    Key("\x1b[B");
    for (int i = 0; i < 3; ++i) Key("\x1b[C");
    struct Step {
        const char* key;
        const char* sequence;
    } steps[] = {{"x", "\x1b[@"},       {"\x1b[3~", "\x1b[P"}, {"\x7f", "\x1b[P"},  // typed, Del, Backspace
                 {"\x1b[Cy", "\x1b[@"},  // the highlight moved along too
                 {"\r", "\x1b[L"},       // a line split
                 {"\x19", "\x1b[M"}};    // a line deleted (^Y)
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        const std::string out = Key(step.key);
        EXPECT_NE(out.find(step.sequence), std::string::npos);
        EXPECT_LT(out.size(), unknownBytes_);
        EXPECT_EQ(out.find("\x1b[K"), std::string::npos) << "no row end erased: it moved";
    }
    // The window moved sideways by one column: every row shifts left.
    Key("\x1b[4~");
    for (int i = 0; i < 80; ++i) Key("x");
    EXPECT_LT(Key("x").size(), unknownBytes_);
}

// Random keys that move the window sideways over lines of random bytes and broken sequences: the
// terminal that shifts shows the same as the one that does not, and is sent far less. Each row's way is
// chosen for that row and where it leaves the cursor, so a key may cost a few bytes more, never a move's
// worth.
TEST_F(Shifting, SidewaysOnHardTextCostsLess) {
    std::mt19937 rng(7);
    std::string text;
    const std::string broken =
        "\xc3\x28\xa0\xe2\x28\xa1\xf0\x28\x8c\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80\xc2\x85 ";
    for (int line = 0; line < 40; ++line) {
        for (int i = 0; i < 300; ++i) {
            const char b = char(rng() % 256);
            text += line % 2 ? broken[size_t(i) % broken.size()] : b == '\n' ? 'n' : b;
        }
        text += '\n';
    }
    Start(text, true);
    const char* keys[] = {"\x1b[C", "\x1b[D", "\x1b[4~", "\x1b[1~", "x",
                          "\x7f",   "\x1b[B", "\x1b[A",  "\xc3\xa4"};
    size_t shifting = 0, unknown = 0;
    for (int i = 0; i < 400; ++i) {
        const char* key = keys[rng() % (sizeof keys / sizeof keys[0])];
        SCOPED_TRACE(testing::Message() << "key " << i);
        const size_t bytes = Key(key).size();
        EXPECT_LE(bytes, unknownBytes_ + 8);
        shifting += bytes;
        unknown += unknownBytes_;
        if (HasFailure()) return;
    }
    EXPECT_LT(shifting, unknown * 2 / 3);
}

// Wide characters are never cut: not at the row's end, where a shift would push half of one off.
TEST_F(Shifting, WideCharactersStayWhole) {
    std::string wide;
    for (int i = 0; i < 60; ++i) wide += "\xe6\x97\xa5";
    Start("ab" + wide + "\n" + wide + "\n", true);
    Key("x");
    Key("\x1b[C");
    Key("\x1b[C");
    Key("y");
    Key("\x1b[3~");
    Key("\x1b[B");
    Key("\x1b[1~");
    Key("z");
    Key("\x7f");
}

}  // namespace
