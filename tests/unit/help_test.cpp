// The help page borrows the start of the edit buffer: everything it covers must come back as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class HelpTest : public ::testing::Test {
protected:
    FakeTerminal term{24, 80};
    Editor ed{term};
    void SetUp() override { ed.Exit = ThrowOnExit; }
    // The text rows as the terminal shows them once the editor waits for a key.
    std::vector<std::string> Rows() {
        FlushOutput(ed);
        std::vector<std::string> rows;
        for (int r = 0; r < 23; ++r) rows.push_back(term.screen.Row(r));
        return rows;
    }
};

TEST_F(HelpTest, WindowAndCursorReturnToWhereTheyWere) {
    std::string text;
    for (int i = 1; i <= 60; ++i) text += "line " + std::to_string(i) + (i == 40 ? " |here\n" : "\n");
    LoadMarked(ed, WS, text);
    RefreshWindow(ed);
    const std::vector<std::string> before = Rows();
    const int row = term.screen.CursorRow(), col = term.screen.CursorCol();
    ASSERT_NE(before[0], "line 1") << "the window must be scrolled for the test to mean anything";

    term.AddBurst("x");
    Help(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.screen.CursorRow(), row);
    EXPECT_EQ(term.screen.CursorCol(), col);
    RefreshWindow(ed);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(TextOf(ed), text.erase(text.find('|'), 1));
}

TEST_F(HelpTest, KillBufferBehindAShortTextSurvives) {
    LoadMarked(ed, EMACS, "ab|c\n");
    const char kill[] = "killed words";
    std::memcpy(ed.kill, kill, sizeof kill - 1);
    ed.KillLength = sizeof kill - 1;
    ed.ChangedMark = '*';
    term.AddBurst("q");
    Help(ed);
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ed.kill), ed.KillLength), kill);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 2);
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
}

}  // namespace
