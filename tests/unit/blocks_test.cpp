// The WS block and the region, kill buffer and paste of EMACS, PICO and NEDIT, called directly. Texts are
// written with markers: "[" BlockBegin, "]" BlockEnd, "^" Mark, "|" the cursor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct InputExhausted {};
[[noreturn]] void ThrowOnExit(Editor&, int) { throw InputExhausted{}; }

class Blocks : public ::testing::Test {
protected:
    FakeTerminal term{24, 80};
    Editor ed{term};

    void SetUp() override { ed.Exit = ThrowOnExit; }
    void Load(const std::string& marked, uint8_t mode = WS, uint64_t capacity = kDefaultCapacity) {
        ASSERT_TRUE(ReserveBuffer(ed, capacity));
        ed.EditMode = mode;
        ed.Cursor = ed.TextStart;
        ed.BlockBegin = ed.BlockEnd = ed.Mark = 0;
        ed.BlockVisible = 1;
        ed.KillLength = 0;
        Pos p = ed.TextStart;
        GatherText(ed);
        for (char c : marked) {
            if (c == '[')
                ed.BlockBegin = p;
            else if (c == ']')
                ed.BlockEnd = p;
            else if (c == '^')
                ed.Mark = p;
            else if (c == '|')
                ed.Cursor = p;
            else
                ed.buf[p++] = uint8_t(c);
        }
        ed.TextEnd = p;
        ed.buf[p] = '\n';
        ed.LineNumber = CountedLine();
    }
    std::string State() const {
        std::string s;
        for (Pos p = ed.TextStart; p <= ed.TextEnd; ++p) {
            if (ed.BlockEnd == p) s += ']';
            if (ed.BlockBegin == p) s += '[';
            if (ed.Mark == p) s += '^';
            if (ed.Cursor == p) s += '|';
            if (p < ed.TextEnd) s += char(ByteAt(ed, p));
        }
        return s;
    }
    std::string Kill() const { return KillText(ed); }
    uint64_t CountedLine() const {
        uint64_t n = 1;
        for (Pos p = ed.TextStart; p < ed.Cursor; ++p) n += ByteAt(ed, p) == '\n';
        return n;
    }
    void Run(Handler h) {
        h(ed);
        if (ed.RecountLines) RecountLineNumber(ed);
        ed.RecountLines = false;
        ASSERT_LE(ed.Cursor, ed.TextEnd);
        ASSERT_EQ(ed.LineNumber, CountedLine());
    }
    // A refusal for want of room, left for the command's end to report.
    bool Reported() {
        const bool refused = ed.ErrorPending && ed.sys.ErrorNumber == err::kNoMemory;
        ed.ErrorPending = false;
        return refused;
    }
};

TEST_F(Blocks, MarkingAndShowing) {
    Load("ab|cd");
    Run(MarkBlockEnd);
    ed.Cursor += 2;
    Run(MarkBlockBegin);
    EXPECT_EQ(State(), "ab]cd[|");
    ed.BlockVisible = 0;
    Run(MarkBlockBegin);
    EXPECT_EQ(ed.BlockVisible, 1) << "marking shows the block";
    Run(ToggleBlock);
    Run(ToggleBlock);
    EXPECT_EQ(ed.BlockVisible, 1);
    EXPECT_EQ(State(), "ab]cd[|");
}

TEST_F(Blocks, ReversedOrHiddenBlockIsLeftAlone) {
    for (const char* text : {"|one\n]two\n[three\n", "|one\n[two\n]three\n"}) {
        Load(text);
        if (text[5] == '[') Run(ToggleBlock);
        for (Handler h : {CopyBlock, MoveBlock, DeleteBlock}) Run(h);
        EXPECT_EQ(State(), text);
        EXPECT_EQ(ed.ChangedMark, ' ');
    }
}

TEST_F(Blocks, CopyBesideAndInsideTheBlock) {
    const char* cases[][2] = {
        {"one\n[|two\n]three\n", "one\n[|two\n]three\n"},  // on the first block byte
        {"one\n[tw|o\n]three\n", "one\n[tw|o\n]three\n"},
        {"one\n[two\n]|three\n", "one\ntwo\n[|two\n]three\n"},  // on BlockEnd: right after the block
        {"|one\n[two\n]three\n", "[|two\n]one\ntwo\nthree\n"},
        {"][|ab", "][|ab"},  // an empty block copies nothing
    };
    for (auto& c : cases) {
        Load(c[0]);
        Run(CopyBlock);
        EXPECT_EQ(State(), c[1]) << "from " << c[0];
    }
}

TEST_F(Blocks, MoveForwardBackwardAndOntoItself) {
    const char* cases[][2] = {
        {"11\n[22\n]33\n|44\n", "11\n33\n[|22\n]44\n"},
        {"|11\n22\n[33\n]44\n", "[|33\n]11\n22\n44\n"},
        {"11\n[22\n]|33\n", "11\n[|22\n]33\n"},
        {"11\n[2|2\n]33\n", "11\n[2|2\n]33\n"},
    };
    for (auto& c : cases) {
        Load(c[0]);
        Run(MoveBlock);
        EXPECT_EQ(State(), c[1]) << "from " << c[0];
    }
}

TEST_F(Blocks, MoveWithoutRoomForTheCopyChangesNothing) {
    std::string text = "[" + std::string(50, 'x') + "]" + std::string(10, 'x') + "|";
    Load(text, WS, 100);
    term.AddBurst(" ");  // the key that ends the error report
    Run(MoveBlock);
    EXPECT_EQ(State(), text);
    EXPECT_TRUE(Reported());
}

TEST_F(Blocks, DeleteClearsTheMarks) {
    Load("aa\n[bb\n]c|c\n");
    Run(DeleteBlock);
    EXPECT_EQ(State(), "aa\n|cc\n");
    Run(GoBlockBegin);
    Run(GoBlockEnd);
    Run(DeleteBlock);
    EXPECT_EQ(State(), "aa\n|cc\n");
}

TEST_F(Blocks, EmacsCutThreeLinesAndYankTwice) {
    Load("l1\n|l2\nl3\nl4\n", EMACS);
    Run(SetMark);
    for (int i = 0; i < 3; ++i) Run(LineDown);
    Run(CutRegion);
    EXPECT_EQ(State(), "l1\n^|");
    EXPECT_EQ(Kill(), "l2\nl3\nl4\n");
    Run(Paste);
    Run(Paste);
    EXPECT_EQ(State(), "l1\nl2\nl3\nl4\n^l2\nl3\nl4\n|");
    EXPECT_EQ(Kill(), "l2\nl3\nl4\n");
    Run(CutRegion);
    EXPECT_EQ(State(), "l1\nl2\nl3\nl4\n^l2\nl3\nl4\n|") << "the yank hid the region";
}

TEST_F(Blocks, RegionsWithTheMarkOnEitherSide) {
    Load("a|bc\nde^f", NEDIT);
    Run(CutRegion);
    EXPECT_EQ(State(), "a^|f");
    EXPECT_EQ(Kill(), "bc\nde");
    Load("a^bc\nde|f", EMACS);
    Run(CopyRegion);
    EXPECT_EQ(State(), "a^bc\nde|f");
    EXPECT_EQ(Kill(), "bc\nde");
    EXPECT_EQ(ed.BlockVisible, 0);
    Run(CutRegion);
    EXPECT_EQ(State(), "a^bc\nde|f") << "the copy hid the region";
    Load("|ab^c", EMACS);
    ed.BlockVisible = 0;
    Run(CutRegion);
    ed.Mark = 0;
    ed.BlockVisible = 1;
    Run(CutRegion);
    EXPECT_EQ(State(), "|abc");
    EXPECT_EQ(ed.KillLength, 0u);
}

TEST_F(Blocks, PicoCutsTheRegionElseLines) {
    Load("one\n^tw|o\nthree\n", PICO);
    Run(CutRegion);
    EXPECT_EQ(State(), "one\n^|o\nthree\n");
    EXPECT_EQ(Kill(), "tw");
    ed.KillAppend = false;  // as the dispatcher leaves it before a first ^K
    ed.Cursor = ed.TextStart;
    ed.LineNumber = 1;
    Run(CutRegion);
    Run(CutRegion);
    EXPECT_EQ(Kill(), "one\no\n") << "a run of ^K without a region collects the lines";
    EXPECT_EQ(State().substr(State().find('|')), "|three\n");
}

TEST_F(Blocks, NeditSelectAllCopyPaste) {
    Load("ab\nc|d\n", NEDIT);
    Run(SelectAll);
    EXPECT_EQ(State(), "|ab\ncd\n^");
    Run(CopyRegion);
    EXPECT_EQ(Kill(), "ab\ncd\n");
    ed.Cursor += 3;
    Run(Paste);
    EXPECT_EQ(State(), "ab\n^ab\ncd\n|cd\n");
}

TEST_F(Blocks, TypingAfterSetMarkHidesTheRegion) {
    Load("|hello\n", EMACS);
    Run(SetMark);
    ed.LastKeyByte = 'x';
    Run(InsertChar);
    Run(CharRight);
    Run(CutRegion);
    EXPECT_EQ(State(), "^xh|ello\n");
    EXPECT_EQ(ed.KillLength, 0u);
}

TEST_F(Blocks, KillBufferAndPasteStayWithinTheCapacity) {
    // 80 bytes of a capacity of 100: a 60-byte region does not fit behind the text.
    std::string text = std::string(1, '^') + std::string(60, 'y') + '|' + std::string(20, 'y');
    Load(text, EMACS, 100);
    term.AddBurst(" ");
    Run(CutRegion);
    EXPECT_EQ(State(), text);
    EXPECT_EQ(ed.KillLength, 0u);
    EXPECT_TRUE(Reported());
    ed.Cursor = ed.TextStart + 10;
    ed.BlockVisible = 1;
    Run(CutRegion);
    EXPECT_EQ(ed.TextLength(), 70u);
    Run(Paste);
    Run(Paste);
    EXPECT_EQ(ed.TextLength(), 90u) << "room is 100 - 80 - 10";
    term.output.clear();
    term.AddBurst(" ");
    Run(Paste);
    EXPECT_EQ(ed.TextLength(), 90u);
    EXPECT_TRUE(Reported());
}

}  // namespace
