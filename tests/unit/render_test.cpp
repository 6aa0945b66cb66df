#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

// The edit buffer with `text`; the cursor at `cursor` bytes into it.
void SetText(Editor& ed, const std::string& text, size_t cursor = 0) {
    if (!ed.buf && !ReserveBuffer(ed, kDefaultCapacity)) std::abort();
    PutText(ed, text);
    ed.Cursor = 1 + cursor;
}

// A refresh as the terminal shows it once the editor waits for the next key.
void Draw(Editor& ed) {
    RefreshWindow(ed);
    FlushOutput(ed);
}

TEST(RenderRow, TabsAdvanceToMultiplesOfEight) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    SetText(ed, "abcde\tX\nabcdefgh\tY\n\tZ");
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 9), "abcde   X");
    EXPECT_EQ(term.screen.Row(1).substr(0, 17), "abcdefgh        Y");
    EXPECT_EQ(term.screen.Row(2).substr(0, 9), "        Z");
    EXPECT_EQ(term.screen.Row(3), std::string(80, ' '));
}

TEST(RenderRow, ControlBytesShowAsDots) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    SetText(ed, std::string("a\x01\x1b\x7f\x85\x9f\xa0\xe9z", 9), 9);
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 10), std::string("a.....\xa0\xe9z ", 10));
    // No control byte of the text reached the terminal.
    for (char c : {'\x01', '\x7f', '\x85', '\x9f'}) EXPECT_EQ(term.output.find(c), std::string::npos);
    EXPECT_EQ(term.output.find("\x1b\x7f"), std::string::npos);
}

// In a UTF-8 locale a row shows the characters CharAt finds, whatever shortcut the composing takes:
// a byte of no character, or a control, is one "." and keeps no mark; a letter keeps its marks, and
// marks with nothing to sit on sit on a blank.
TEST(RenderRow, Utf8RowsShowTheCharactersOfTheText) {
    static const char* const kPieces[] = {"a",        "b\xcc\x81", "\x01",         "\x7f",
                                          "\xa0",     "\xc3\x28",  "\xe6\x97\xa5", "\xed\xa0\x80",
                                          "\xc2\x85", " ",         "\xc3\xbc",     "\xbf\xcc\x81"};
    FakeTerminal term(4, 80);
    Editor ed(term);
    ed.Utf8 = true;
    term.screen.SetUtf8(true);
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::string line;
        for (int i = 0; i < 25; ++i) line += kPieces[rng() % std::size(kPieces)];
        SetText(ed, line + "\n", 0);
        Draw(ed);
        std::string want;
        const auto* p = reinterpret_cast<const uint8_t*>(line.data());
        const uint8_t* end = p + line.size();
        int cells = 0;
        while (p < end) {
            const TextChar c = CharAt(p, end, true);
            const std::string bytes(reinterpret_cast<const char*>(p), c.length);
            want += c.shape == CharShape::Dot ? "." : c.shape == CharShape::Marks ? " " + bytes : bytes;
            cells += c.width;
            p += c.length;
        }
        ASSERT_EQ(term.screen.Row(0), want + std::string(size_t(80 - cells), ' ')) << round;
    }
}

TEST(RenderRow, LongLineShiftsEveryRow) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    std::string first, second;
    for (int i = 0; i < 200; ++i) first += char('A' + i % 26);
    for (int i = 0; i < 150; ++i) second += char('a' + i % 26);
    SetText(ed, first + "\n" + second + "\nshort", 200);
    Draw(ed);
    EXPECT_EQ(ed.screen.HorizontalOffset, 125u);
    EXPECT_EQ(ed.screen.CursorColumn, 200u);
    EXPECT_EQ(ed.screen.DrawnCursorPos.col, 75);
    EXPECT_EQ(term.screen.CursorCol(), 75);
    EXPECT_EQ(term.screen.Row(0).substr(0, 75), first.substr(125));
    EXPECT_EQ(term.screen.Attrs(0)[75], 'b');
    EXPECT_EQ(term.screen.Row(1).substr(0, 26), second.substr(125) + " ");
    EXPECT_EQ(term.screen.Row(2), std::string(80, ' '));
}

TEST(RenderRow, HiddenColumnsWithTabsAndBlock) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    std::string tabs(15, '\t');  // 120 columns
    std::string first(200, '-');
    std::string second = tabs + "abcdefghij\tZ";
    std::string third = tabs + "abc\tQ";  // the tab covers columns 123-127, the window starts at 125
    SetText(ed, first + "\n" + second + "\n" + third, 200);
    ed.InsertMode = kOverwrite;
    ed.BlockBegin = 1 + 201 + 3;     // inside the hidden tabs of the second line
    ed.BlockEnd = 1 + 201 + 15 + 7;  // up to "h"
    Draw(ed);
    ASSERT_EQ(ed.screen.HorizontalOffset, 125u);
    EXPECT_EQ(term.screen.Row(1).substr(0, 13), "fghij      Z ");
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 4), "bb  ");
    EXPECT_EQ(term.screen.Row(2).substr(0, 5), "   Q ");
    EXPECT_EQ(term.screen.Attrs(2), std::string(80, ' '));
}

TEST(RenderRow, LongLineIsClippedNotWrapped) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    std::string line(100, 'x');
    SetText(ed, line + "\nnext");
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0), std::string(80, 'x'));
    EXPECT_EQ(term.screen.Row(1).substr(0, 5), "next ");
}

TEST(RenderRow, BlockRuleAppliesAtTheFirstClippedPosition) {
    FakeTerminal term(24, 20);
    Editor ed(term);
    // Line one has 25 cells, the block starting at the first that does not fit; line two has exactly
    // 20 and the block ends at its line feed.
    std::string one(25, 'x'), two(20, 'y');
    SetText(ed, one + "\n" + two + "\nz", 47);
    ed.BlockBegin = 1 + 20;
    ed.BlockEnd = 1 + 26 + 20;
    ed.InsertMode = kOverwrite;
    ed.screen.CursorScreenPos = {2, 0};
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0), std::string(20, 'x'));
    EXPECT_EQ(term.screen.Attrs(0), std::string(20, ' '));
    EXPECT_EQ(term.screen.Row(1), two);
    EXPECT_EQ(term.screen.Attrs(1), std::string(20, 'b'));
    EXPECT_EQ(term.screen.Row(2), std::string("z") + std::string(19, ' '));
    EXPECT_EQ(term.screen.Attrs(2), std::string(20, ' '));
}

TEST(RenderRow, BlockRuleAppliesAmongHiddenCells) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    std::string line;
    for (int i = 0; i < 200; ++i) line += char('a' + i % 26);
    SetText(ed, line, 200);
    ed.BlockBegin = 1 + 10;  // begins and ends left of the window (offset 200 - 80 + 5 = 125)
    ed.BlockEnd = 1 + 20;
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0), line.substr(125) + std::string(5, ' '));
    EXPECT_EQ(term.screen.Attrs(0), std::string(75, ' ') + "b    ");
}

TEST(RenderRow, CursorHighlight) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    SetText(ed, "abc", 3);
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 5), "abc  ");
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 5), "   b ");
    EXPECT_EQ(ed.screen.DrawnCursorPos.row, 0);
    EXPECT_EQ(ed.screen.DrawnCursorPos.col, 3);

    ed.InsertMode = kOverwrite;
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0), "abc" + std::string(77, ' '));
    EXPECT_EQ(term.screen.Attrs(0), std::string(80, ' '));
    EXPECT_EQ(term.screen.CursorCol(), 3);

    ed.InsertMode = kInsert;
    ed.ConsoleVariant = 4;
    ed.Cursor = 2;
    ed.BlockBegin = 3;
    ed.BlockEnd = 4;
    Draw(ed);
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 4), " rb ");
}

TEST(RenderRow, WsBlockAcrossRows) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    SetText(ed, "one\ntwo\nthree", 12);
    ed.InsertMode = kOverwrite;
    ed.BlockBegin = 3;  // "e" of one
    ed.BlockEnd = 10;   // up to "th"
    ed.screen.CursorScreenPos = {2, 0};
    Draw(ed);
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 4), "  bb");  // the line feed shows as blank cells
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 4), "bbbb");
    EXPECT_EQ(term.screen.Attrs(2).substr(0, 5), "b    ");
    ed.BlockVisible = 0;
    Draw(ed);
    EXPECT_EQ(term.screen.Attrs(1), std::string(80, ' '));
}

TEST(RenderRow, RegionFollowsMarkAndCursor) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    ed.EditMode = EMACS;
    SetText(ed, "abcdef", 1);
    ed.Mark = 1 + 4;
    ed.BlockBegin = ed.BlockEnd = 0;
    Draw(ed);
    EXPECT_EQ(ed.BlockBegin, 2u);
    EXPECT_EQ(ed.BlockEnd, 5u);
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 6), " bbb  ");  // the cursor cell b, then c d

    // Without a mark the block stands as it was set (PICO's inserted file): d and e.
    ed.Mark = 0;
    ed.BlockBegin = 1 + 3;
    ed.BlockEnd = 1 + 5;
    Draw(ed);
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 6), " b bb ");
}

TEST(RenderWindow, TopLineFollowsCursorRow) {
    FakeTerminal term(6, 20);
    Editor ed(term);
    SetText(ed, "l1\nl2\nl3\nl4\nl5\nl6\nl7\nl8", 18);  // cursor on l7
    ed.screen.CursorScreenPos = {2, 0};
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 2), "l5");
    EXPECT_EQ(term.screen.Row(2).substr(0, 2), "l7");
    // More rows asked than lines exist: the first line stays on top.
    ed.Cursor = 4;
    ed.screen.CursorScreenPos = {4, 0};
    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 2), "l1");
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 1);
    // A row below the window (the terminal shrank) puts the cursor line on the last row.
    ed.screen.CursorScreenPos = {40, 0};
    ed.Cursor = 19;
    Draw(ed);
    EXPECT_EQ(ed.screen.DrawnCursorPos.row, 4);
    EXPECT_EQ(term.screen.Row(4).substr(0, 2), "l7");
}

TEST(RenderWindow, WindowRowOperations) {
    FakeTerminal term(6, 20);
    Editor ed(term);
    SetText(ed, "a\nbcdef", 5);
    ReadWindowSize(ed);
    ed.screen.CursorScreenPos = {4, 3};
    WindowRowDown(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 4);
    WindowRowUp(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 3);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.CursorRow(), 3);
    EXPECT_EQ(term.screen.CursorCol(), 3);
    WindowHome(ed);
    WindowRowUp(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 0);
    WindowRowCentre(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 2);
    EXPECT_EQ(ed.screen.CursorScreenPos.col, 3);
    WindowLastRow(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 4);
    ed.screen.DrawnCursorPos = {1, 7};
    RestoreCursor(ed);
    EXPECT_EQ(ed.screen.CursorScreenPos.col, 7);
    PromptCursor(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.CursorRow(), 5);
    EXPECT_EQ(term.screen.CursorCol(), 10);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 1);  // the window keeps its place
}

// Puts text over every row of the terminal model, as a shell or another program would leave it.
void Scribble(FakeTerminal& term) {
    for (int r = 0; r < term.screen.Rows(); ++r) {
        std::string junk = "\x1b[" + std::to_string(r + 1) + "H\x1b[1m#junk#junk#junk#";
        term.screen.Feed(reinterpret_cast<const uint8_t*>(junk.data()), junk.size());
    }
    term.screen.Feed(reinterpret_cast<const uint8_t*>("\x1b[m"), 3);
}

std::vector<std::string> RowsAndAttrs(const FakeTerminal& term) {
    std::vector<std::string> v;
    for (int r = 0; r < term.screen.Rows(); ++r) {
        v.push_back(term.screen.Row(r));
        v.push_back(term.screen.Attrs(r));
    }
    return v;
}

TEST(ScreenCache, UnchangedScreenSendsNothing) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    SetText(ed, "hello\nworld\n", 8);
    ed.screen.CursorScreenPos = {1, 0};
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    term.output.clear();
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.output, "") << "the cursor already stands on its cell";

    // One changed cell goes out alone: back to the row's start, the cell, and the unchanged "o" sent
    // again rather than a jump to the cursor cell.
    *InPlace(ed, 1 + 6, 1) = 'W';
    Draw(ed);
    EXPECT_EQ(term.output, "\rWo");
    EXPECT_EQ(term.screen.Row(1).substr(0, 6), "World ");
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 6), "  b   ");

    // The cursor one cell on: its old cell plain (the terminal cursor already stands there), the new
    // one bold, the column's digit on the status row, the cursor back to where it was saved on its way.
    term.output.clear();
    ed.Cursor += 1;
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.output,
              "r\x1b"
              "7\x1b[1ml\x1b[24;66H\x1b[44;33;1m4\x1b"
              "8");
    EXPECT_EQ(term.screen.Attrs(1).substr(0, 6), "   b  ");
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST(ScreenCache, InvalidateAndRepaint) {
    FakeTerminal term(5, 20);
    Editor ed(term);
    SetText(ed, "abc\n\tx\nlonger line than the row");
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    const std::vector<std::string> before = RowsAndAttrs(term);

    // After invalidation every row goes out again, whatever the terminal showed.
    Scribble(term);
    InvalidateScreenCache(ed);
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(RowsAndAttrs(term), before);

    // The status row sent first clears the unknown screen: the rows the refresh takes as they were
    // composed must go out again all the same.
    Scribble(term);
    InvalidateScreenCache(ed);
    DrawStatusLine(ed);
    RefreshWindow(ed);
    FlushOutput(ed);
    EXPECT_EQ(RowsAndAttrs(term), before);

    // After the shell wrote over the screen, every row comes back as it was shown.
    Scribble(term);
    RepaintScreen(ed);
    FlushOutput(ed);
    EXPECT_EQ(RowsAndAttrs(term), before);
    EXPECT_EQ(term.screen.Attrs(4)[0], 's');
    EXPECT_EQ(term.screen.CursorRow(), 0);
    EXPECT_EQ(term.screen.CursorCol(), 0);
    // And the next refresh finds nothing left to send.
    term.output.clear();
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.output, "");
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST(WindowSize, UnknownOrZeroColumnsIs24By80) {
    FakeTerminal term(24, 80);
    term.SetSize(0, 0);
    Editor ed(term);
    ed.screen.TextRows = 5;
    ed.screen.Columns = 7;
    SetText(ed, "x");
    Draw(ed);
    EXPECT_EQ(ed.screen.TextRows, 23);
    EXPECT_EQ(ed.screen.Columns, 80);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Row(22), std::string(80, ' '));
    EXPECT_EQ(term.screen.Row(23).substr(68), "altH=help WS");
}

// A terminal whose size request can be made to fail.
struct FailingSizeTerminal : FakeTerminal {
    using FakeTerminal::FakeTerminal;
    bool fail = false;
    WinSize Size() override { return fail ? WinSize{0, 0, true} : FakeTerminal::Size(); }
};

TEST(WindowSize, FailedRequestKeepsTheLastSize) {
    FailingSizeTerminal term(10, 40);
    term.fail = true;
    Editor ed(term);
    ReadWindowSize(ed);  // never succeeded: the defaults
    EXPECT_EQ(ed.screen.TextRows, 23);
    EXPECT_EQ(ed.screen.Columns, 80);
    term.fail = false;
    ReadWindowSize(ed);
    EXPECT_EQ(ed.screen.TextRows, 9);
    EXPECT_EQ(ed.screen.Columns, 40);
    term.fail = true;
    ReadWindowSize(ed);
    EXPECT_EQ(ed.screen.TextRows, 9);
    EXPECT_EQ(ed.screen.Columns, 40);
}

TEST(WindowSize, HugeTerminalIsClamped) {
    FakeTerminal term(300, 300);
    Editor ed(term);
    SetText(ed, std::string(300, 'q'));
    Draw(ed);
    DrawStatusLine(ed);
    EXPECT_EQ(ed.screen.TextRows, 254);
    EXPECT_EQ(ed.screen.Columns, 255);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Row(0), std::string(255, 'q') + std::string(45, ' '));
    EXPECT_EQ(term.screen.Row(254).substr(243, 12), "altH=help WS");
    EXPECT_EQ(term.output.find("\x1b[256"), std::string::npos);
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST(WindowSize, OneByOneDoesNotCrash) {
    FakeTerminal term(1, 1);
    Editor ed(term);
    SetText(ed, "abc\ndef", 5);
    term.AddBurst("xy\r");
    term.AddBurst("k");
    Draw(ed);
    DrawStatusLine(ed);
    EXPECT_EQ(ed.screen.TextRows, 0);
    EXPECT_EQ(ed.screen.Columns, 1);
    WindowLastRow(ed);
    WindowRowCentre(ed);
    WindowRowDown(ed);
    EXPECT_EQ(ReadLine(ed, "GO LINE:", ed.CommandText, 124), 2u);
    Help(ed);
    EXPECT_EQ(ed.TextEnd, 8u);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Row(0), " ");
}

TEST(WindowSize, ResizeRedrawsEveryRow) {
    FakeTerminal term(5, 20);
    Editor ed(term);
    SetText(ed, "abc");
    Draw(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    term.SetSize(5, 30);
    Scribble(term);
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.Row(0), "abc" + std::string(27, ' '));
    EXPECT_EQ(term.screen.Attrs(0)[0], 'b');
    EXPECT_EQ(term.screen.Attrs(0).substr(1), std::string(29, ' '));
    for (int r = 1; r < 4; ++r) EXPECT_EQ(term.screen.Row(r), std::string(30, ' ')) << r;
    EXPECT_EQ(term.screen.Row(4), std::string(30, ' '));  // too narrow for a status line
    EXPECT_EQ(term.screen.Attrs(4), std::string(30, 's'));
    EXPECT_EQ(term.screen.Errors(), "");
}

TEST(Help, PageShownAndEverythingRestored) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    ed.EditMode = VI;
    SetText(ed, "line one\nline two\n", 12);
    ed.KillLength = 3;
    std::memcpy(ed.kill, "KIL", 3);
    ed.ChangedMark = '*';
    ed.BlockBegin = 1;
    ed.BlockEnd = 5;
    ed.screen.CursorScreenPos = {5, 0};
    Draw(ed);
    const ScreenPos drawn = ed.screen.DrawnCursorPos;
    std::string before(reinterpret_cast<const char*>(ed.buf), 1024);

    term.AddBurst("\x1b[A");
    Help(ed);
    // The vi page fills the 23 rows exactly, the notice on the last.
    EXPECT_EQ(term.screen.Row(0).substr(0, 24), "Key bindings in vi mode:");
    EXPECT_EQ(term.screen.Attrs(0)[0], 'b');
    EXPECT_EQ(term.screen.Attrs(0)[1], ' ');  // no block on the page
    EXPECT_EQ(term.screen.Row(22).substr(0, 43), std::string(24, ' ') + "-= PRESS ANY KEY =-");
    EXPECT_EQ(term.screen.Row(19).substr(0, 36), ":<other cmd>" + std::string(12, ' ') + "pipe buffer ");

    // The key ended the page, read whole: nothing of it is left to be typed.
    EXPECT_FALSE(term.InputPending());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ed.buf), 1024), before);
    EXPECT_EQ(ed.Cursor, 13u);
    EXPECT_EQ(ed.TextEnd, 19u);
    EXPECT_EQ(ed.BlockVisible, 1);
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_EQ(ed.screen.CursorScreenPos.row, drawn.row);
    EXPECT_EQ(ed.screen.CursorScreenPos.col, drawn.col);

    Draw(ed);
    EXPECT_EQ(term.screen.Row(0).substr(0, 9), "line one ");
    EXPECT_EQ(term.screen.Attrs(0).substr(0, 5), "bbbb ");
    EXPECT_EQ(term.screen.Row(22), std::string(80, ' '));
}

TEST(Help, EmptyBufferAndEveryMode) {
    for (int mode : {1, 2, 4, 8, 16, 0}) {
        FakeTerminal term(24, 80);
        Editor ed(term);
        ed.EditMode = uint8_t(mode);
        SetText(ed, "");
        term.AddBurst("q");
        Help(ed);
        HelpText h = HelpTextFor(uint8_t(mode));
        EXPECT_EQ(h.length, mode == NEDIT ? 377u : 611u);
        std::string first(h.text, std::strchr(h.text, '\n'));
        EXPECT_EQ(term.screen.Row(0).substr(0, first.size()), first);
        EXPECT_EQ(ed.TextEnd, 1u);
        EXPECT_EQ(ByteAt(ed, 1), '\n');
    }
    EXPECT_EQ(std::string(HelpTextFor(0).text, 24), "Key bindings in WS mode:");
}

TEST(NumberToDecimal, WritesRightToLeft) {
    char field[8] = "       ";
    char* before = NumberToDecimal(4096, field + 6);
    EXPECT_EQ(before, field + 2);
    EXPECT_STREQ(field, "   4096");
    EXPECT_EQ(NumberToDecimal(0, field + 6), field + 5);
    EXPECT_EQ(field[6], '0');
}

}  // namespace
