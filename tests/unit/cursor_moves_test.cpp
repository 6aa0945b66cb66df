// The movement commands called directly; after each the line number must match a count of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct InputExhausted {};
[[noreturn]] void ThrowOnExit(Editor&, int) { throw InputExhausted{}; }

class Moves : public ::testing::Test {
protected:
    FakeTerminal term{24, 80};
    Editor ed{term};

    void SetUp() override { ed.Exit = ThrowOnExit; }
    void Load(const std::string& text, uint8_t mode = WS) {
        ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity + text.size()));
        PutText(ed, text);
        ed.EditMode = mode;
        ed.screen.TextRows = 23;
        Put(0);
    }
    uint64_t CountedLine() const {
        uint64_t n = 1;
        for (Pos p = ed.TextStart; p < ed.Cursor; ++p) n += ByteAt(ed, p) == '\n';
        return n;
    }
    void Put(size_t offset) {
        ed.Cursor = ed.TextStart + offset;
        ed.LineNumber = CountedLine();
    }
    void PutLine(uint64_t line, size_t column) {
        Put(0);
        ed.Cursor = StepLinesForward(ed, ed.TextStart, line - 1) + column;
        ed.LineNumber = line;
    }
    // As the dispatcher runs a command: the recount when asked for.
    void Run(Handler h, int times = 1) {
        for (int i = 0; i < times; ++i) {
            h(ed);
            if (ed.RecountLines) RecountLineNumber(ed);
            ed.RecountLines = false;
            ASSERT_TRUE(ed.Cursor >= ed.TextStart && ed.Cursor <= ed.TextEnd);
            ASSERT_EQ(ed.LineNumber, CountedLine()) << "at offset " << Offset();
        }
    }
    size_t Offset() const { return ed.Cursor - ed.TextStart; }
    size_t Column() { return ed.Cursor - LineStartOf(ed, ed.Cursor); }
};

// A text with "[" where the cursor starts and "]" where the command must leave it.
struct Case {
    uint8_t mode;
    const char* text;
    Handler command;
    int times = 1;
};

TEST_F(Moves, SingleCommandsFromTable) {
    const Case cases[] = {
        {WS, "", LineUp},  // the empty text: "[]" is added below
        {WS, "fi[]rst line\nsecond\nlast", LineUp},
        {WS, "first line\nsecond\nlast[] one", LineDown},
        // The wanted column is taken afresh: after the short line the cursor keeps its column 5.
        {WS, "0123456789012345678901234\nabcde]\n01234567890123456789[01234", LineUp},
        {WS, "01234]56789012345678901234\nabcde\n01234567890123456789[01234", LineUp, 2},
        {WS, "01234]56789012345678901234\nabcde\n01234567890123456789[01234", ScrollUp, 2},
        {WS, "ab[c\n]\tx", LineDown},
        {WS, "abcde[f\n]\tx", LineDown},
        {WS, "abcdefgh[i\n\t]x", LineDown},
        {WS, "abcdefg[h\nab]\tc", LineDown},
        {WS, "ab]\n[cd", CharLeft},
        {VI, "ab\n[]cd", CharLeft},
        {WS, "[]ab", CharLeft},
        {WS, "ab[\n]cd", CharRight},
        {VI, "ab[]\ncd", CharRight},
        {WS, "ab\ncd[]", CharRight},
        {WS, "x\n]  \twor[d\n", LineStart},
        {WS, "x\n  \tw[ord]\n", LineEnd},
        {VI, "x\n  \t]wo[rd\n", FirstNonBlank},
        {VI, "x\n [  ]\n", FirstNonBlank},
        {WS, "abc ]def\n\n[xyz", WordLeft},
        {WS, "]abc def\n\n[xyz", WordLeft, 2},
        {WS, "]\n\n  [ab", WordLeft},
        {WS, "[foo_bar ]baz", WordRight},
        {WS, "[foo-]bar", WordRight},
        {WS, "[foo.]bar", WordRight},
        {WS, "[a:b ]c", WordRight},
        {WS, "a:b ]c[", WordLeft},
        {WS, "[ab\n\n  ]cd", WordRight},
        {WS, "[abc ]def", WordRight},
        {EMACS, "[abc] def", WordRight},
        {EMACS, "abc[ def]", WordRight},
        {WS, "abc [def]", WordRight, 2},
        {VI, "ab[c de]f ghi", WordEnd},
        {VI, "[ab]c", WordEnd},
        {VI, "abc de[f]", WordEnd},
        // One step always follows a crossed line feed, so a one-letter word at a line start is passed.
        {VI, "a[b\nx y]z", WordEnd},
        {WS, "ab\n[cd]", GoTextEnd},
        {WS, "]ab\n[cd", GoTextStart},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        if (text.empty()) text = "[]";
        size_t from = text.find('['), to = text.find(']');
        ASSERT_NE(from, std::string::npos);
        ASSERT_NE(to, std::string::npos);
        if (to > from)
            --to;
        else
            --from;
        text.erase(text.find('['), 1);
        text.erase(text.find(']'), 1);
        Load(text, c.mode);
        Put(from);
        Run(c.command, c.times);
        EXPECT_EQ(Offset(), to) << "case \"" << c.text << "\"";
    }
}

std::string Lines(int n) {
    std::string s;
    for (int i = 1; i <= n; ++i) s += "line " + std::to_string(i) + "\n";
    return s;
}

TEST_F(Moves, PagesStopAtTheEndsAndNeverStepBackwards) {
    Load(Lines(30));  // 31 lines, the last one empty
    PutLine(5, 3);
    Run(PageDown);
    EXPECT_EQ(ed.LineNumber, 27u);
    EXPECT_EQ(Column(), 3u);
    Run(PageDown);
    EXPECT_EQ(ed.Cursor, ed.TextEnd);
    PutLine(27, 3);
    Run(PageUp);
    EXPECT_EQ(ed.LineNumber, 5u);
    Run(PageUp);
    EXPECT_EQ(Offset(), 3u);
    PutLine(20, 2);
    Run(HalfPageUp);
    EXPECT_EQ(ed.LineNumber, 9u);
    Run(HalfPageDown);
    EXPECT_EQ(ed.LineNumber, 20u);
    const uint64_t expected[] = {5, 5, 7, 9};  // TextRows 0 to 3: pages of 0, 0, 1 and 2 lines
    for (int rows = 0; rows <= 3; ++rows) {
        ed.screen.TextRows = rows;
        PutLine(5, 1);
        Run(PageDown, 2);
        EXPECT_EQ(ed.LineNumber, expected[rows]) << rows << " rows";
        for (Handler h : {HalfPageUp, PageUp, WindowBottom, WindowMiddle, WindowTop}) Run(h);
    }
}

TEST_F(Moves, WindowRowsDecideTopMiddleAndBottom) {
    Load(Lines(40));
    const struct {
        Handler command;
        int textRows;
        uint64_t line;
        int row;
    } cases[] = {{WindowTop, 23, 15, 0},     {WindowBottom, 23, 37, 22}, {WindowMiddle, 23, 26, 11},
                 {WindowMiddle, 24, 27, 12}, {CenterLine, 24, 20, 12},   {LineUp, 23, 19, 4},
                 {LineDown, 23, 21, 6},      {PageDown, 23, 41, 5}};
    for (const auto& c : cases) {
        ed.screen.TextRows = c.textRows;
        PutLine(20, 2);
        ed.screen.CursorScreenPos = {5, 2};
        Run(c.command);
        EXPECT_EQ(ed.LineNumber, c.line);
        EXPECT_EQ(ed.screen.CursorScreenPos.row, c.row);
    }
    PutLine(38, 2);
    ed.screen.CursorScreenPos = {0, 2};
    Run(WindowBottom);
    EXPECT_EQ(ed.Cursor, ed.TextEnd) << "the last line comes before the last row";
}

TEST_F(Moves, GoLineReadsADecimalPrefix) {
    Load(Lines(20));
    term.AddBurst("12abc\r");
    Run(GoLine);
    EXPECT_EQ(ed.LineNumber, 12u);
    EXPECT_EQ(Column(), 0u);
    for (const char* answer : {"abc\r", "0\r", "\r", "7\x15"}) {  // ^U cancels in WS
        PutLine(3, 2);
        term.AddBurst(answer);
        Run(GoLine);
        EXPECT_EQ(ed.Cursor, StepLinesForward(ed, ed.TextStart, 2) + 2) << "answer " << answer;
    }
    Load(Lines(10).substr(0, Lines(10).size() - 1));
    term.AddBurst("99999\r");
    Run(GoLine);
    EXPECT_EQ(ed.LineNumber, 10u);
    Load(Lines(10), VI);
    std::strcpy(ed.CommandText, "7");
    Run(GoLine);
    EXPECT_EQ(ed.LineNumber, 7u) << "vi takes the ex line's digits without a prompt";
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(Moves, RawKeyCommandsOfVi) {
    Load(Lines(5), VI);
    PutLine(3, 1);
    ed.screen.CursorScreenPos = {3, 0};
    term.AddBurst("xGG.");
    Run(ViGoFirstLine);
    Run(ViCenterLine);
    EXPECT_EQ(ed.LineNumber, 3u) << "1 x and z G do nothing";
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 3);
    Run(ViGoFirstLine);
    Run(ViCenterLine);
    EXPECT_EQ(ed.Cursor, ed.TextStart);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 11);
}

TEST_F(Moves, JumpsToRememberedPositions) {
    Load(Lines(10));
    for (Handler h : {GoBlockBegin, GoBlockEnd, LastFind, ExchangeMark}) Run(h);
    EXPECT_EQ(Offset(), 0u) << "nothing set";
    ed.BlockBegin = ed.TextStart + 14;
    ed.BlockEnd = ed.TextStart + 30;
    Run(GoBlockBegin);
    EXPECT_EQ(Offset(), 14u);
    Run(GoBlockEnd);
    EXPECT_EQ(Offset(), 30u);
    ed.LastFindPos = ed.TextStart + 40;
    Run(LastFind);
    EXPECT_EQ(Offset(), 30u) << "no find yet";
    ed.LastFindKind = 1;
    Run(LastFind);
    EXPECT_EQ(Offset(), 40u);
    ed.PrevCursor = ed.TextStart + 7;
    Run(PreviousPosition);
    EXPECT_EQ(Offset(), 7u);
    ed.PrevCursor = ed.TextStart + 60;
    RemoveBytes(ed, ed.TextStart + 20, 50);
    Run(PreviousPosition);
    EXPECT_EQ(Offset(), 7u) << "beyond the shortened text";

    ed.EditMode = EMACS;
    ed.Mark = ed.TextStart + 15;
    ed.BlockVisible = 0;
    ed.screen.TextRows = 24;
    Run(ExchangeMark);
    EXPECT_EQ(Offset(), 15u);
    EXPECT_EQ(ed.Mark, ed.TextStart + 7);
    EXPECT_EQ(ed.BlockVisible, 1);
    EXPECT_EQ(ed.screen.CursorScreenPos.row, 12);
    EXPECT_EQ(ed.screen.CursorScreenPos.col, 1);
}

TEST_F(Moves, LinesLongerThanAnyScanLimit) {
    std::string longLine(300000, 'w');
    longLine[150000] = ' ';
    Load("ab\n" + longLine + "\ncd");
    Put(1);
    Run(LineDown);
    EXPECT_EQ(Offset(), 4u);
    Run(LineEnd);
    Run(LineDown);
    EXPECT_EQ(ed.Cursor, ed.TextEnd);
    Run(LineUp);
    EXPECT_EQ(Offset(), 5u);
    Run(WordRight);
    EXPECT_EQ(Offset(), 3u + 150001);
    Run(WordLeft);
    EXPECT_EQ(Offset(), 3u);
}

}  // namespace
