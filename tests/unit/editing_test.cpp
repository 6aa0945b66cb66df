// Typing and deleting through the keys of each mode: the text, the cursor, the kill buffer and the
// line number (checked against a fresh count after every key).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class EditingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity)); }
    // The text with the cursor at the '|' (which is not part of it).
    void Load(uint8_t mode, const std::string& marked) { LoadMarked(ed, mode, marked); }
    // Dispatches every key of the burst, checking the line number after each command.
    void Keys(const std::string& keys) {
        term.AddBurst(keys);
        while (term.InputLeft() || ed.HasReadAhead) {
            DispatchKey(ed);
            ASSERT_EQ(ed.LineNumber, FreshLineNumber()) << "after a key of " << keys;
            ASSERT_EQ(ByteAt(ed, ed.TextEnd), '\n');
        }
    }
    uint64_t FreshLineNumber() const { return 1 + (LinesBefore(ed, ed.Cursor) - 1); }
    // The text with '|' at the cursor.
    std::string Text() const {
        const std::string t = TextOf(ed);
        return t.substr(0, ed.Cursor - 1) + '|' + t.substr(ed.Cursor - 1);
    }
    std::string Kill() const { return KillText(ed); }
    FakeTerminal term;
    Editor ed{term};
};

TEST_F(EditingTest, TypingInsertsOrOverwritesButNeverALineFeed) {
    Load(WS, "|ab\ncd");
    Keys("x");
    EXPECT_EQ(Text(), "x|ab\ncd");
    EXPECT_EQ(ed.ChangedMark, '*');
    Keys("\x16");  // ^V: overwrite
    EXPECT_EQ(ed.InsertMode, kOverwrite);
    Keys("yzw");
    EXPECT_EQ(Text(), "xyzw|\ncd");  // replaced a and b, then appended at the line end
    Keys("\x16");
    EXPECT_EQ(ed.InsertMode, kInsert);
}

TEST_F(EditingTest, EmacsTypingHidesTheRegion) {
    Load(EMACS, "ab|c");
    ed.Mark = 1;
    ed.BlockVisible = 1;
    Keys("q");
    EXPECT_EQ(ed.BlockVisible, 0);
    EXPECT_EQ(ByteAt(ed, ed.Mark), 'a');
}

TEST_F(EditingTest, NoRoomLeavesTheTextAsItWas) {
    Load(WS, "abc|");
    ed.BufferCapacity = 3;
    ed.ChangedMark = ' ';
    Keys("d ");  // the second key dismisses the report
    EXPECT_EQ(Text(), "abc|");
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_NE(term.output.find("Memory exhausted"), std::string::npos);
    Keys("\r ");
    EXPECT_EQ(Text(), "abc|");
}

TEST_F(EditingTest, OverwriteEnterOnlyMovesToTheNextLineStart) {
    Load(WS, "a|bc\nde");
    ed.InsertMode = kOverwrite;
    Keys("\r");
    EXPECT_EQ(Text(), "abc\n|de");
    Keys("\x04\r");  // ^D right, then Enter on the last line
    EXPECT_EQ(Text(), "abc\n|de");
    Keys("\x04\x04\r");  // on the line feed Enter breaks the line
    EXPECT_EQ(Text(), "abc\nde\n|");
}

TEST_F(EditingTest, EnterCopiesTheIndentBeforeTheCursor) {
    Load(WS, "  \t|x");
    Keys("\r");
    EXPECT_EQ(Text(), "  \t\n  \t|x");
    EXPECT_EQ(ed.LineNumber, 2u);
    Load(WS, " | \tx");  // on the second blank: only the first is copied
    Keys("\r");
    EXPECT_EQ(Text(), " \n | \tx");
}

TEST_F(EditingTest, EmacsReturnNeverIndentsButLineFeedDoes) {
    Load(EMACS, "    ab|cd");
    Keys("\r");
    EXPECT_EQ(Text(), "    ab\n|cd");
    Keys("\x0a");
    EXPECT_EQ(Text(), "    ab\n\n|cd");  // the new line had no indent to copy
    Load(EMACS, "    ab|cd");
    Keys("\x0a");
    EXPECT_EQ(Text(), "    ab\n    |cd");
}

TEST_F(EditingTest, OpenLineLeavesTheCursor) {
    Load(EMACS, "ab|cd");
    Keys("\x0f");
    EXPECT_EQ(Text(), "ab|\ncd");
}

TEST_F(EditingTest, OctalEntry) {
    Load(EMACS, "x|y");
    ed.InsertMode = kOverwrite;  // always inserted
    Keys(
        "\x11"
        "101\r");
    EXPECT_EQ(Text(), "xA|y");
    Keys(
        "\x11"
        "400\r");
    Keys(
        "\x11"
        "0\r");
    Keys(
        "\x11"
        "\x07");  // ^G cancels
    EXPECT_EQ(Text(), "xA|y");
    Keys(
        "\x11"
        "12\r");
    EXPECT_EQ(Text(), "xA\n|y");
    EXPECT_EQ(ed.LineNumber, 2u);
    Keys(
        "\x11"
        "377x\r");
    EXPECT_EQ(ByteAt(ed, ed.Cursor - 1), 0xFF);
}

TEST_F(EditingTest, TransposeChars) {
    Load(EMACS, "ab|");
    Keys("\x14");  // at the line end: the last two characters
    EXPECT_EQ(Text(), "ba|");
    Load(EMACS, "xy\nab|\ncd");
    Keys("\x14");
    EXPECT_EQ(Text(), "xy\nba|\ncd");
    Load(EMACS, "ab\n|cd");  // a line feed moves across the cursor and back
    Keys("\x14");
    EXPECT_EQ(Text(), "abc\n|d");
    Load(EMACS, "|ab");
    Keys("\x14");
    EXPECT_EQ(Text(), "|ab");
    Load(EMACS, "a|\nb");  // the leading line feed is never exchanged
    Keys("\x14");
    EXPECT_EQ(Text(), "a|\nb");
    EXPECT_EQ(ByteAt(ed, 0), '\n');
}

TEST_F(EditingTest, ViReplaceChar) {
    Load(VI, "a|bc");
    term.AddBurst("\r");
    ViReplaceChar(ed);
    EXPECT_EQ(Text(), "a|\nc");
    EXPECT_EQ(ed.LineNumber, 1u);
    term.AddBurst("z");
    ViReplaceChar(ed);  // on a line feed: nothing
    EXPECT_EQ(Text(), "a|\nc");
    ed.Cursor = 1;
    term.AddBurst("q");
    ViReplaceChar(ed);
    EXPECT_EQ(Text(), "|q\nc");
}

TEST_F(EditingTest, ViInsKeyEntersInsertState) {
    Load(VI, "|a");
    ed.InsertMode = kOverwrite;
    ToggleInsert(ed);
    EXPECT_EQ(ed.InsertMode, kInsert);
    EXPECT_EQ(ed.ViCommandState, 0);
    ToggleInsert(ed);
    EXPECT_EQ(ed.InsertMode, kOverwrite);
}

TEST_F(EditingTest, DeleteCharAndLeft) {
    Load(WS, "ab|\ncd");
    Keys("\x07");  // on the line feed: joins
    EXPECT_EQ(Text(), "ab|cd");
    Load(WS, "ab\n|cd");
    Keys("\x08");
    EXPECT_EQ(Text(), "ab|cd");
    EXPECT_EQ(ed.LineNumber, 1u);
    Keys("\x08\x08\x08");
    EXPECT_EQ(Text(), "|cd");
    Load(WS, "ab|");
    Keys("\x07");
    EXPECT_EQ(Text(), "ab|");
}

TEST_F(EditingTest, ViDeletionsKeepCharacters) {
    Load(VI, "ab\n|cd");
    DeleteLeft(ed);  // at a line start vi joins onto the line above
    EXPECT_EQ(Text(), "ab|cd");
    EXPECT_EQ(ed.LineNumber, 1u);
    EXPECT_EQ(Kill(), "\n");
    DeleteLeft(ed);
    EXPECT_EQ(Text(), "a|cd");
    EXPECT_EQ(Kill(), "b");
    EXPECT_TRUE(ed.PasteByChars);
    DeleteChar(ed);
    EXPECT_EQ(Kill(), "c");  // vi replaces, never appends
    ed.Cursor = 1;
    DeleteLeft(ed);
    EXPECT_EQ(Text(), "|ad");
}

TEST_F(EditingTest, ViJoinLines) {
    Load(VI, "a|b\n  cd\nlast");
    JoinLines(ed);
    EXPECT_EQ(Text(), "ab|  cd\nlast");
    EXPECT_EQ(Kill(), "\n");
    EXPECT_TRUE(ed.PasteByChars);
    ed.Cursor = ed.TextEnd - 1;
    JoinLines(ed);  // on the last line
    EXPECT_EQ(Text(), "ab  cd\nlas|t");
}

TEST_F(EditingTest, WsDeleteWord) {
    Load(WS, "ab|   cd");
    Keys("\x14");
    EXPECT_EQ(Text(), "ab|cd");
    Load(WS, "|foo bar.(baz\nx");
    Keys("\x14");
    EXPECT_EQ(Text(), "|bar.(baz\nx");
    Keys("\x14");  // punctuation after a word goes with it, up to the next punctuation
    EXPECT_EQ(Text(), "|(baz\nx");
    Keys("\x14");  // a punctuation character before a word goes alone
    EXPECT_EQ(Text(), "|baz\nx");
    Keys("\x14\x14");  // the word stops at the line end, then the line feed goes
    EXPECT_EQ(Text(), "|x");
}

TEST_F(EditingTest, WsDeletionsPullBlockMarksIn) {
    Load(WS, "one\n|two\nthree");
    ed.BlockBegin = 6;  // on the w
    ed.BlockEnd = 12;   // inside "three"
    Keys("\x19");       // ^Y
    EXPECT_EQ(Text(), "one\n|three");
    EXPECT_EQ(ed.BlockBegin, 5u);
    EXPECT_EQ(ed.BlockEnd, 8u);
    EXPECT_EQ(ed.KillLength, 0u);  // WS keeps nothing
}

TEST_F(EditingTest, WsDeleteLineOnTheLastLineEmptiesIt) {
    Load(WS, "a\nla|st");
    Keys("\x19");
    EXPECT_EQ(Text(), "a\n|");
    EXPECT_EQ(ed.LineNumber, 2u);
    Keys("\x19");
    EXPECT_EQ(Text(), "a\n|");
}

TEST_F(EditingTest, WsDeleteToLineEndAndStart) {
    Load(WS, "ab|cd\nef");
    Keys("\x11y");  // ^QY
    EXPECT_EQ(Text(), "ab|\nef");
    Keys("\x11y");
    EXPECT_EQ(Text(), "ab|\nef");
    Load(WS, "ab\nef|gh");
    Keys("\x11h");  // ^QH from the middle: the left part goes
    EXPECT_EQ(Text(), "ab\n|gh");
    Keys("\x11h");  // from a line start: the previous line with its line feed
    EXPECT_EQ(Text(), "|gh");
    Keys("\x11h");
    EXPECT_EQ(Text(), "|gh");
}

TEST_F(EditingTest, EmacsKillLineTwiceThenYank) {
    Load(EMACS, "|one\ntwo\n");
    Keys("\x0b\x0b");
    EXPECT_EQ(Text(), "|two\n");
    EXPECT_EQ(Kill(), "one\n");
    Keys("\x19");
    EXPECT_EQ(Text(), "one\n|two\n");
    Keys("\x0b");  // a kill after another command replaces
    EXPECT_EQ(Kill(), "two");
    Keys("\x0b\x0b");  // on the closing line feed nothing more goes
    EXPECT_EQ(Kill(), "two\n");
    EXPECT_EQ(Text(), "one\n|");
}

TEST_F(EditingTest, PicoLineDeletions) {
    Load(PICO, "|l1\nl2\nl3");
    Keys("\x0b\x0b");  // ^K without a region, twice: both lines collected
    EXPECT_EQ(Text(), "|l3");
    EXPECT_EQ(Kill(), "l1\nl2\n");
    Keys("\x0b");  // the last line: its line feed stays
    EXPECT_EQ(Text(), "|");
    EXPECT_EQ(ed.TextEnd, 1u);

    Load(PICO, "abc\nd|ef");
    Keys("\x0ah");  // ^JH keeps the character left of the cursor
    EXPECT_EQ(Text(), "abc\n|ef");
    EXPECT_EQ(Kill(), "d");
    Keys("\x0ah");  // from a line start: the previous line goes, the kill holds its line feed
    EXPECT_EQ(Text(), "|ef");
    EXPECT_EQ(Kill(), "\n");

    Load(PICO, "ab|cd\nx");
    Keys("\x0al");
    EXPECT_EQ(Text(), "ab|\nx");
    EXPECT_EQ(Kill(), "cd");
    Keys("\x0al");  // at the line end: an empty save
    EXPECT_EQ(ed.KillLength, 0u);

    Load(PICO, "|foo bar");
    Keys("\x0aw");
    EXPECT_EQ(Text(), "|bar");
    EXPECT_EQ(Kill(), "foo ");
}

TEST_F(EditingTest, KillBufferSurvivesTypingBeforeIt) {
    Load(EMACS, "ab|cd");
    Keys("\x0b");
    Keys("xyz\r\x0f");
    EXPECT_EQ(Kill(), "cd");
}

}  // namespace
