// A paste as one insertion: marks, line number and window row follow it, one undo takes it back, and a
// paste larger than the room is refused before anything changes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

TEST(PasteText, OneInsertionUnderEachModesMarkRules) {
    const std::string pasted = "one\ntwo\n\tthree";
    for (uint8_t mode : {WS, EMACS, PICO, VI, NEDIT}) {
        FakeTerminal term;
        Editor ed(term);
        LoadMarked(ed, mode, "first\nsec|ond\nthird\n");
        const Pos cursor = ed.Cursor;
        const std::string kill = "kept";
        std::memcpy(ed.kill, kill.data(), kill.size());
        ed.KillLength = kill.size();
        ed.BlockBegin = cursor - 2;  // before the paste: stays
        ed.BlockEnd = cursor + 2;    // behind it: moves
        ed.Mark = cursor + 1;
        ed.BlockVisible = 1;
        ed.screen.CursorScreenPos = {21, 3};
        ClearUndo(ed);

        ASSERT_TRUE(PasteText(ed, reinterpret_cast<const uint8_t*>(pasted.data()), pasted.size()));
        const std::string what = "mode " + std::to_string(mode);
        EXPECT_EQ(TextOf(ed), "first\nsecone\ntwo\n\tthreeond\nthird\n") << what;
        EXPECT_EQ(ed.Cursor, cursor + pasted.size()) << what;
        EXPECT_EQ(ed.LineNumber, 4u) << what;
        EXPECT_EQ(ed.screen.CursorScreenPos.row, 22)
            << what << ": two rows down, stopped at the last text row";
        EXPECT_EQ(ed.ChangedMark, '*') << what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(ed.kill), ed.KillLength), kill) << what;
        if (mode == WS || mode == VI) {
            EXPECT_EQ(ed.BlockBegin, cursor - 2) << what;
            EXPECT_EQ(ed.BlockEnd, cursor + 2 + pasted.size()) << what;
        } else {
            EXPECT_EQ(ed.Mark, cursor + 1 + pasted.size()) << what;
        }
        EXPECT_EQ(ed.BlockVisible, mode == EMACS || mode == PICO ? 0 : 1) << what << ": typing's region rule";

        Undo(ed);
        EXPECT_EQ(TextOf(ed), "first\nsecond\nthird\n") << what << ": one undo takes it all back";
        EXPECT_EQ(ed.Cursor, cursor) << what;
    }
}

TEST(PasteText, TooLargeForTheRoomChangesNothing) {
    WorkDir dir("paste");
    FakeTerminal term;
    Editor ed(term);
    ed.Exit = ThrowOnExit;
    ASSERT_TRUE(ReserveBuffer(ed, 32));
    LoadMarked(ed, WS, "abc|def\n");
    ed.ChangedMark = ' ';
    ClearUndo(ed);

    ASSERT_EQ(Room(ed), 25u);
    // 26 bytes: one too many. The error waits for a key; q dismisses it and is not typed.
    term.AddBurst("\x1b[200~" + std::string(26, 'x') + "\x1b[201~");
    term.AddBurst("q");
    DispatchKey(ed);
    EXPECT_FALSE(term.InputLeft()) << "the error took its key";
    EXPECT_EQ(TextOf(ed), "abcdef\n");
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_NE(term.output.find("Memory exhausted"), std::string::npos);
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "abcdef\n") << "nothing was recorded";

    // CR LF pairs count once: 25 bytes of text in 27 sent fit exactly.
    term.AddBurst("\x1b[200~" + std::string(21, 'y') + "\r\n\r\nzz\x1b[201~");
    DispatchKey(ed);
    EXPECT_EQ(TextOf(ed), "abc" + std::string(21, 'y') + "\n\nzzdef\n");
    EXPECT_EQ(Room(ed), 0u);
}

}  // namespace
