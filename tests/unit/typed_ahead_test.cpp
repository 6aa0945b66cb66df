// Keys that arrive together are typed as one run; the editor must end up exactly where the same keys
// typed one at a time leave it: text, cursor, marks, kill buffer, line number, undo history, screen.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

const char kIndented[] = "alpha beta\n    gamma\n\t  delta epsilon\n\nzeta\n  \teta theta\n";

// Keys that change the text or move around without asking anything, per mode.
std::vector<std::string> ExtraKeys(const std::string& program) {
    std::vector<std::string> k = {"\x1b[A", "\x1b[B", "\x1b[C", "\x1b[D", "\x1b[2~", "\x1b[3~", "\x7f", "\t"};
    auto add = [&](std::initializer_list<const char*> more) {
        for (const char* m : more) k.emplace_back(m);
    };
    if (program == "ztws")
        add({"\x16", "\x07", "\x19", "\x14", "\x15",
             "\x0b"
             "b",
             "\x0b"
             "k",
             "\x0b"
             "c"});
    if (program == "ztem") add({"\x1f", "\x0b", "\x19", "\x14", "\x17", "\x01", "\x05"});
    if (program == "ztpi")
        add({"\x1e", "\x0b", "\x15",
             "\x11"
             "u"});
    if (program == "ztne") add({"\x18", "\x16", "\x15", "\x02", "\x0a"});
    if (program == "ztvi")
        add({"\x1b", "\x1b", "i", "a", "A", "o", "O", "x", "u", "p", "J", "mb", "'b", "dd", "yy"});
    if (program == "ztem") k.emplace_back(1, '\0');  // set mark
    return k;
}

std::vector<std::string> RandomKeys(const std::string& program, unsigned seed, int count) {
    static const char kTyped[] = "abcdefghijklmnopqrstuvwxyABCDEFGHIJKLMNOPQRSTUVWXY0123456789 .,-";
    std::vector<std::string> extra = ExtraKeys(program);
    std::mt19937 rng(seed);
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        unsigned r = rng() % 100;
        if (r < 65)
            keys.emplace_back(1, kTyped[rng() % (sizeof kTyped - 1)]);
        else if (r < 80)
            keys.emplace_back("\r");
        else if (r < 85)
            keys.emplace_back(" \t"[rng() % 2] == ' ' ? "  " : "\t");
        else
            keys.push_back(extra[rng() % extra.size()]);
    }
    return keys;
}

struct Outcome {
    std::string text, kill, undo, status;
    Pos cursor = 0, blockBegin = 0, blockEnd = 0, mark = 0, prevCursor = 0;
    uint64_t line = 0;
    uint8_t insertMode = 0, viState = 0, changed = 0, blockVisible = 0;
    std::vector<std::string> rows, attrs;
    int cursorRow = 0, cursorCol = 0;
};

// Runs the keys through the real main loop, either one burst per key or in bursts of several keys.
Outcome RunKeys(const std::string& program, const std::vector<std::string>& keys, unsigned chunkSeed) {
    WorkDir dir("typed-ahead");
    WriteFile("file.txt", kIndented);
    FakeTerminal term(10, 40);
    std::mt19937 rng(chunkSeed);
    for (size_t i = 0; i < keys.size();) {
        size_t n = chunkSeed ? 1 + rng() % 60 : 1;
        std::string burst;
        // A lone ESC must stay the last byte of its burst, or it reads as the start of a sequence.
        for (; n > 0 && i < keys.size(); --n) {
            burst += keys[i];
            if (keys[i++] == "\x1b") break;
        }
        term.AddBurst(burst);
    }
    Editor ed(term);
    ed.Exit = ThrowOnExit;
    Outcome o;
    EXPECT_TRUE(StartOnFile(ed, program.c_str()));
    try {
        while (term.InputLeft() || ed.HasReadAhead)
            if (!EditStep(ed)) break;
        RefreshWindow(ed);  // the screen as the next pass of the main loop draws it
        DrawStatusLine(ed);
        FlushOutput(ed);
    } catch (const EditorLeft&) {
        ADD_FAILURE() << "the editor left";
    }
    o.text = TextOf(ed);
    o.kill.assign(reinterpret_cast<const char*>(ed.kill), ed.KillLength);
    o.undo.assign(reinterpret_cast<const char*>(ed.undo.Stack), ed.undo.UndoTop);
    o.cursor = ed.Cursor;
    o.blockBegin = ed.BlockBegin;
    o.blockEnd = ed.BlockEnd;
    o.mark = ed.Mark;
    o.prevCursor = ed.PrevCursor;
    o.line = ed.LineNumber;
    o.insertMode = ed.InsertMode;
    o.viState = ed.ViCommandState;
    o.changed = ed.ChangedMark;
    o.blockVisible = ed.BlockVisible;
    for (int r = 0; r < term.screen.Rows(); ++r) {
        o.rows.push_back(term.screen.Row(r));
        o.attrs.push_back(term.screen.Attrs(r));
    }
    o.cursorRow = term.screen.CursorRow();
    o.cursorCol = term.screen.CursorCol();
    return o;
}

void ExpectSame(const Outcome& a, const Outcome& b, const std::string& what) {
    EXPECT_EQ(a.text, b.text) << what;
    EXPECT_EQ(a.kill, b.kill) << what;
    EXPECT_TRUE(a.undo == b.undo) << what << ": the undo histories differ";
    EXPECT_EQ(a.cursor, b.cursor) << what;
    EXPECT_EQ(a.blockBegin, b.blockBegin) << what;
    EXPECT_EQ(a.blockEnd, b.blockEnd) << what;
    EXPECT_EQ(a.mark, b.mark) << what;
    EXPECT_EQ(a.prevCursor, b.prevCursor) << what;
    EXPECT_EQ(a.line, b.line) << what;
    EXPECT_EQ(a.insertMode, b.insertMode) << what;
    EXPECT_EQ(a.viState, b.viState) << what;
    EXPECT_EQ(a.changed, b.changed) << what;
    EXPECT_EQ(a.blockVisible, b.blockVisible) << what;
    EXPECT_EQ(a.rows, b.rows) << what;
    EXPECT_EQ(a.attrs, b.attrs) << what;
    EXPECT_EQ(a.cursorRow, b.cursorRow) << what;
    EXPECT_EQ(a.cursorCol, b.cursorCol) << what;
}

TEST(TypedAhead, RandomKeysTogetherEndAsKeysOneByOne) {
    for (const char* program : {"ztws", "ztem", "ztpi", "ztne", "ztvi"}) {
        for (unsigned seed = 1; seed <= 6; ++seed) {
            std::vector<std::string> keys = RandomKeys(program, seed * 31, 400);
            Outcome alone = RunKeys(program, keys, 0);
            Outcome together = RunKeys(program, keys, seed);
            ExpectSame(alone, together, std::string(program) + " seed " + std::to_string(seed));
            if (HasFailure()) return;
        }
    }
}

// A run of characters and line breaks in one burst: each key is its own undo step, and the line
// breaks copy the indent of the line they split, even when that line began inside the run.
TEST(TypedAhead, EveryKeyOfARunIsItsOwnUndoStep) {
    WorkDir dir("typed-ahead");
    WriteFile("file.txt", "  ab\n");
    FakeTerminal term(10, 40);
    term.AddBurst("\x1b[C\x1b[C\x1b[C");  // after "  a"
    term.AddBurst("xy\rz\r\rw");
    Editor ed(term);
    ed.Exit = ThrowOnExit;
    ASSERT_TRUE(StartOnFile(ed, "ztws"));
    while (term.InputLeft() || ed.HasReadAhead) ASSERT_TRUE(EditStep(ed));
    EXPECT_EQ(TextOf(ed), "  axy\n  z\n  \n  wb\n");
    EXPECT_EQ(ed.LineNumber, 4u);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 16);
    std::vector<std::string> seen;
    for (int i = 0; i < 7; ++i) {
        Undo(ed);
        seen.push_back(TextOf(ed));
    }
    std::vector<std::string> expected = {"  axy\n  z\n  \n  b\n",
                                         "  axy\n  z\n  b\n",
                                         "  axy\n  zb\n",
                                         "  axy\n  b\n",
                                         "  axyb\n",
                                         "  axb\n",
                                         "  ab\n"};
    EXPECT_EQ(seen, expected);
}

// The key that ends a run is not lost: here a cursor key, then a backspace, then an undo.
TEST(TypedAhead, TheKeyThatEndsARunStillRuns) {
    WorkDir dir("typed-ahead");
    WriteFile("file.txt", "one\n");
    FakeTerminal term(10, 40);
    term.AddBurst(
        "ab\x1b[Dc\x7f"
        "d\x15");
    Editor ed(term);
    ed.Exit = ThrowOnExit;
    ASSERT_TRUE(StartOnFile(ed, "ztws"));
    while (term.InputLeft() || ed.HasReadAhead) ASSERT_TRUE(EditStep(ed));
    // "ab", left, "c" before b, backspace removes c, "d", and ^U takes the d back.
    EXPECT_EQ(TextOf(ed), "abone\n");
    EXPECT_EQ(ed.Cursor, ed.TextStart + 1);
}

// Room for only part of the run: the keys that fit go in, the first that does not is refused alone
// with the error, which waits for a key, and nothing typed is lost or doubled.
TEST(TypedAhead, ARunThatOutgrowsTheRoomStopsAtTheRefusedKey) {
    WorkDir dir("typed-ahead");
    FakeTerminal term(10, 40);
    Editor ed(term);
    ed.Exit = ThrowOnExit;
    LoadMarked(ed, WS, "|x");
    ed.BufferCapacity = ed.TextLength() + 3;
    term.AddBurst("abcdefg");
    while (term.InputLeft() || ed.HasReadAhead) ASSERT_TRUE(EditStep(ed));
    EXPECT_EQ(TextOf(ed), "abcx");  // "d" and "f" refused, "e" and "g" answered the errors
    EXPECT_NE(term.output.find("Memory exhausted"), std::string::npos);
}

}  // namespace
