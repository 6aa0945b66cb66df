// vi command-state commands where a key script cannot reach: a marker left beyond the text, kill
// buffer copies and pastes refused for room, and the suspend key.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "buffer/buffer.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class ViCommandsTest : public ::testing::Test {
protected:
    void Reserve(uint64_t capacity) { ASSERT_TRUE(ReserveBuffer(ed, capacity)); }
    void Load(const std::string& marked) { LoadMarked(ed, VI, marked); }
    // Dispatches every key of the burst; the line number must stay right after each.
    void Keys(const std::string& keys) {
        term.AddBurst(keys);
        while (term.InputLeft() || ed.HasReadAhead) {
            DispatchKey(ed);
            ASSERT_EQ(ed.LineNumber, 1 + uint64_t((LinesBefore(ed, ed.Cursor) - 1)));
            ASSERT_LE(ed.Cursor, ed.TextEnd);
            ASSERT_EQ(ByteAt(ed, ed.TextEnd), '\n');
        }
    }
    std::string Text() const {
        const std::string t = TextOf(ed);
        return t.substr(0, ed.Cursor - 1) + '|' + t.substr(ed.Cursor - 1);
    }
    std::string Kill() const { return KillText(ed); }
    void SetKill(const std::string& s, bool byChars) {
        std::copy(s.begin(), s.end(), ed.kill);
        ed.KillLength = s.size();
        ed.PasteByChars = byChars;
    }
    FakeTerminal term;
    Editor ed{term};
};

// A whole-text restore can shrink the text under the marker without moving it.
TEST_F(ViCommandsTest, MarkerBeyondTheTextCountsAsTheLastLine) {
    Reserve(kDefaultCapacity);
    Load("ab\n|cd\nef");
    ed.BlockBegin = ed.TextEnd + 40;
    Keys("'a");
    EXPECT_EQ(Text(), "ab\ncd\n|ef");

    ed.BlockBegin = ed.TextEnd + 40;
    Keys("k");
    Keys("y'a");
    EXPECT_EQ(Kill(), "cd\nef");
    EXPECT_EQ(Text(), "ab\ncd\n|ef");

    ed.BlockBegin = ed.TextEnd + 40;
    Keys("k");
    Keys("d'a");
    EXPECT_EQ(Text(), "ab\n|");
    EXPECT_EQ(Kill(), "cd\nef");
    EXPECT_EQ(ed.BlockBegin, 0u);
}

TEST_F(ViCommandsTest, RefusedMarkerRangeCopiesChangeNothing) {
    Reserve(8);
    Load("1\n2\n|3\n");
    SetKill("x", true);
    ed.BlockBegin = 1;  // marker on line 1: the range is lines 1 to 3, 6 bytes beside 6 of text
    ed.Mark = 3;
    for (const char* keys : {"d'a ", "y'a "}) {  // the blank answers the error report
        Keys(keys);
        EXPECT_EQ(Text(), "1\n2\n|3\n") << keys;
        EXPECT_EQ(Kill(), "x") << keys;
        EXPECT_TRUE(ed.PasteByChars) << keys;
        EXPECT_EQ(ed.Mark, 3u) << keys;
        EXPECT_EQ(ed.BlockBegin, 1u) << keys;
    }
    EXPECT_NE(term.output.find("Memory exhausted"), std::string::npos);
}

TEST_F(ViCommandsTest, RefusedKillsChangeNothing) {
    Reserve(10);
    Load("  abcdef\n|");
    Keys("k$h");  // on the f, the cursor's line has 9 bytes with its line feed
    SetKill("x", true);
    Pos at = ed.Cursor;
    for (const char* keys : {"yy ", "dd ", "S ", "0dw ", "0D ", "0C "}) {
        Keys(keys);
        EXPECT_EQ(TextOf(ed), "  abcdef\n") << keys;
        EXPECT_EQ(Kill(), "x") << keys;
        EXPECT_TRUE(ed.PasteByChars) << keys;
        EXPECT_EQ(ed.ViCommandState, 1) << keys;
        if (keys[0] != '0') {
            EXPECT_EQ(ed.Cursor, at) << keys;
        }
    }
}

TEST_F(ViCommandsTest, RefusedPasteLeavesCursorAndRow) {
    Reserve(10);
    Load("|ab\ncd\n");
    SetKill("xyz\n", false);  // 6 bytes of text and 4 in the kill buffer fill the buffer
    int row = ed.screen.CursorScreenPos.row;
    Keys("p ");
    EXPECT_EQ(Text(), "|ab\ncd\n");
    EXPECT_EQ(ed.screen.CursorScreenPos.row, row);
    Keys("P ");
    EXPECT_EQ(Text(), "|ab\ncd\n");
    ed.PasteByChars = true;
    Keys("p ");
    EXPECT_EQ(Text(), "|ab\ncd\n");
}

TEST_F(ViCommandsTest, LinePasteAddsTheMissingLineFeedInOneUndoStep) {
    Reserve(kDefaultCapacity);
    Load("1\n|2");
    SetKill("2", false);  // whole lines taken from a last line without a line feed
    Keys("P");
    EXPECT_EQ(Text(), "1\n|2\n2");
    Keys("u");
    EXPECT_EQ(TextOf(ed), "1\n2");
    Keys("p");
    EXPECT_EQ(Text(), "1\n2\n|2");
    EXPECT_EQ(ed.Mark, ed.Cursor);
    Keys("u");
    EXPECT_EQ(TextOf(ed), "1\n2");
}

TEST_F(ViCommandsTest, CtrlZSuspendsInCommandState) {
    Reserve(kDefaultCapacity);
    Load("a|b\n");
    Keys("\x1a");
    EXPECT_EQ(term.stops, 1);
    EXPECT_EQ(Text(), "a|b\n");
    EXPECT_EQ(ed.ViCommandState, 1);
}

}  // namespace
