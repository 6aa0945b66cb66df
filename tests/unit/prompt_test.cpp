#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct PromptFixture {
    FakeTerminal term;
    Editor ed{term};
    explicit PromptFixture(uint8_t mode = WS, int rows = 24, int cols = 80) : term(rows, cols) {
        ed.EditMode = mode;
        ReadWindowSize(ed);
    }
    size_t Line(const std::string& keys, char* buf = nullptr, size_t max = 255) {
        term.AddBurst(keys);
        return ReadLine(ed, "FILENAME:", buf ? buf : ed.FileName, max);
    }
    // The status row as the terminal shows it once the editor waits for the next key.
    std::string StatusRow() {
        FlushOutput(ed);
        return term.screen.Row(ed.screen.TextRows);
    }
};

TEST(ReadLine, EntryStopsAtTheWidthLimit) {
    PromptFixture f;
    EXPECT_EQ(f.Line(std::string(80, 'x')), 70u);
    EXPECT_EQ(std::string(f.ed.FileName), std::string(70, 'x'));
    EXPECT_TRUE(f.term.InputLeft());  // the rest is left for the editor

    PromptFixture wide(WS, 24, 200);
    wide.term.AddBurst(std::string(150, 'y'));
    EXPECT_EQ(ReadLine(wide.ed, "mode EX:", wide.ed.CommandText, 124), 124u);
    EXPECT_EQ(std::strlen(wide.ed.CommandText), 124u);
}

TEST(ReadLine, NarrowTerminalKeepsTheCallersLimit) {
    PromptFixture f(WS, 24, 8);
    EXPECT_EQ(f.Line(std::string(20, 'z') + "\r"), 20u);
    EXPECT_EQ(StatusText(f.ed).size(), 8u);
    EXPECT_EQ(f.StatusRow(), "FILENAME");
}

TEST(ReadLine, BackspaceAndDelete) {
    PromptFixture f;
    EXPECT_EQ(f.Line("ab\x08"
                     "c\x7f\x7f"
                     "d\r"),
              1u);
    EXPECT_STREQ(f.ed.FileName, "d");
    EXPECT_EQ(f.Line("\x08\x7fx\r"), 1u);
    EXPECT_STREQ(f.ed.FileName, "x");
    // The prompt row is rewritten after every key: the erased cell is blank again.
    EXPECT_EQ(f.Line("abc\x08\r"), 2u);
    EXPECT_EQ(f.StatusRow().substr(0, 14), "FILENAME: ab  ");
    EXPECT_EQ(f.term.screen.CursorCol(), 12);
    EXPECT_EQ(f.term.screen.CursorRow(), 23);
}

TEST(ReadLine, HighBytesAreStoredAndControlBytesIgnored) {
    PromptFixture f;
    EXPECT_EQ(f.Line("\xe9\x01\x85\x1f"
                     "a\r"),
              3u);
    EXPECT_STREQ(f.ed.FileName,
                 "\xe9\x85"
                 "a");
    f.Line(
        "\xe9\x85\x9b"
        "a\r");
    EXPECT_EQ(f.term.output.find('\x85'), std::string::npos);
    EXPECT_EQ(f.term.output.find('\x9b'), std::string::npos);
}

TEST(ReadLine, CancelKeyOfEachMode) {
    {
        PromptFixture ws(WS);
        EXPECT_EQ(ws.Line("a\x03"
                          "b\r"),
                  2u);  // ^C means nothing here
        EXPECT_EQ(ws.Line("ab\x15"), 0u);
        EXPECT_STREQ(ws.ed.FileName, "");
    }
    {
        PromptFixture em(EMACS);
        EXPECT_EQ(em.Line("a\x15"
                          "b\r"),
                  2u);
        EXPECT_EQ(em.Line("ab\x07"), 0u);
    }
    for (uint8_t mode : {uint8_t(PICO), uint8_t(NEDIT), uint8_t(VI)}) {
        PromptFixture f(mode);
        EXPECT_EQ(f.Line("ab\x03"), 0u) << int(mode);
        EXPECT_EQ(CancelKey(f.ed), 3);
    }
}

TEST(ReadLine, CommandKeysIgnoredOutsideVi) {
    PromptFixture ws(WS);
    EXPECT_EQ(ws.Line("a\x1b[Ab\x1b[3~c\r"), 3u);
    EXPECT_STREQ(ws.ed.FileName, "abc");
    PromptFixture em(EMACS);
    EXPECT_EQ(em.Line("a\x1b"
                      "bz\r"),
              2u);  // alt-b is a command, not text
    EXPECT_STREQ(em.ed.FileName, "az");
}

TEST(ReadLine, AnyCommandKeyCancelsInVi) {
    PromptFixture f(VI);
    f.ed.ViCommandState = 1;
    f.term.AddBurst("ab");
    f.term.AddBurst("\x1b");  // a lone ESC
    EXPECT_EQ(ReadLine(f.ed, "mode EX:", f.ed.CommandText, 124), 0u);
    EXPECT_EQ(f.ed.ViCommandState, 1);

    f.ed.ViCommandState = 0;
    f.term.AddBurst("ab");
    f.term.AddBurst("\x1b[A");
    EXPECT_EQ(ReadLine(f.ed, "mode EX:", f.ed.CommandText, 124), 0u);
    EXPECT_EQ(f.ed.ViCommandState, 0);
}

TEST(ReadLine, ByteZeroCancelsInViOnly) {
    // ^@ (ctrl-space) reads as character 0, like a command key.
    PromptFixture vi(VI);
    vi.ed.ViCommandState = 0;
    EXPECT_EQ(vi.Line(std::string("ab\0c\r", 5)), 0u);
    EXPECT_TRUE(vi.term.InputLeft());  // the entry ended at the ^@
    PromptFixture ws(WS);
    EXPECT_EQ(ws.Line(std::string("ab\0c\r", 5)), 3u);
    EXPECT_STREQ(ws.ed.FileName, "abc");
}

TEST(ReadLine, StateDuringAndAfterThePrompt) {
    PromptFixture f(VI);
    f.ed.ViCommandState = 1;
    f.ed.screen.CursorScreenPos = {5, 7};
    f.term.AddBurst("q\r");
    // Nothing of the entry is read as a vi command while the prompt runs.
    EXPECT_EQ(ReadLine(f.ed, " SEARCH:", f.ed.SearchText, 255), 1u);
    EXPECT_STREQ(f.ed.SearchText, "q");
    EXPECT_EQ(f.ed.ViCommandState, 1);
    EXPECT_EQ(f.ed.screen.CursorScreenPos.row, 5);
    EXPECT_EQ(f.ed.screen.CursorScreenPos.col, 7);
    EXPECT_EQ(f.StatusRow().substr(0, 11), " SEARCH:  q");
}

TEST(ReadNumber, DigitsFromTheStartOfTheEntry) {
    PromptFixture f;
    bool empty = true;
    f.term.AddBurst("12abc\r");
    EXPECT_EQ(ReadNumber(f.ed, "GO LINE:", 10, &empty), 12u);
    EXPECT_FALSE(empty);
    f.term.AddBurst("abc\r");
    EXPECT_EQ(ReadNumber(f.ed, "GO LINE:", 10, &empty), 0u);
    EXPECT_FALSE(empty);
    f.ed.RepeatSearch = true;
    f.term.AddBurst("\r");
    EXPECT_EQ(ReadNumber(f.ed, "GO LINE:", 10, &empty), 0u);
    EXPECT_TRUE(empty);
    EXPECT_FALSE(f.ed.RepeatSearch);
    f.term.AddBurst("101\r");
    EXPECT_EQ(ReadNumber(f.ed, "^Q OCTAL:", 8, &empty), 65u);
    f.term.AddBurst("8\r");
    EXPECT_EQ(ReadNumber(f.ed, "^Q OCTAL:", 8, &empty), 0u);
    f.term.AddBurst("99999999999999999999999\r");
    EXPECT_EQ(ReadNumber(f.ed, "GO LINE:", 10, &empty), UINT64_MAX);
}

TEST(ReadNumber, ViTakesTheExLineWithoutPrompt) {
    PromptFixture f(VI);
    std::strcpy(f.ed.CommandText, "42x");
    bool empty = true;
    EXPECT_EQ(ReadNumber(f.ed, "GO LINE:", 10, &empty), 42u);
    EXPECT_FALSE(empty);
    EXPECT_EQ(f.term.output, "");
}

TEST(SetModePrompt, SwitchesOnTheFirstFourBytesAndResetsAlways) {
    PromptFixture f(WS);
    auto dirty = [&] {
        f.ed.Mark = 5;
        f.ed.BlockBegin = 2;
        f.ed.BlockEnd = 4;
        f.ed.KillLength = 3;
        f.ed.LastFindKind = 1;
        f.ed.LastFindPos = 9;
        f.ed.ExitRequest = 2;
    };
    auto reset = [&] {
        return f.ed.Mark == 0 && f.ed.BlockBegin == 0 && f.ed.BlockEnd == 0 && f.ed.KillLength == 0 &&
               f.ed.LastFindKind == 0 && f.ed.LastFindPos == 0 && f.ed.ExitRequest == 0;
    };
    dirty();
    f.term.AddBurst("emacs\r");
    SetMode(f.ed);
    EXPECT_EQ(f.ed.EditMode, WS);
    EXPECT_TRUE(reset());

    dirty();
    f.term.AddBurst("ztemacs\r");
    SetMode(f.ed);
    EXPECT_EQ(f.ed.EditMode, EMACS);
    EXPECT_TRUE(reset());

    dirty();
    f.term.AddBurst("ztvi\x07");  // cancelled with EMACS's ^G
    SetMode(f.ed);
    EXPECT_EQ(f.ed.EditMode, EMACS);
    EXPECT_TRUE(reset());
}

TEST(StartupPrompt, BannerAndHelpThenTheName) {
    PromptFixture f(PICO);
    ASSERT_TRUE(ReserveBuffer(f.ed, kDefaultCapacity));
    f.term.AddBurst("foo.c\r");
    EXPECT_TRUE(StartupNamePrompt(f.ed));
    EXPECT_STREQ(f.ed.FileName, "foo.c");
    EXPECT_EQ(f.term.screen.Row(0).substr(0, 17), "Wrenpad zt v2.31 ");
    EXPECT_EQ(f.term.screen.Row(1).substr(0, 36), "Enter filename or leave with RETURN ");
    EXPECT_EQ(f.term.screen.Row(2), std::string(80, ' '));
    EXPECT_EQ(f.term.screen.Row(3).substr(0, 26), "Key bindings in PICO mode:");
    EXPECT_EQ(f.ed.TextEnd - f.ed.TextStart, 54u + 611u);
    EXPECT_EQ(ByteAt(f.ed, f.ed.TextEnd), '\n');

    f.term.AddBurst("\r");
    EXPECT_FALSE(StartupNamePrompt(f.ed));
}

TEST(Questions, AskKeyAndAskNewName) {
    PromptFixture f(WS);
    f.ed.screen.DrawnCursorPos = {3, 4};
    f.term.AddBurst("\x1b[B");
    EXPECT_EQ(AskKey(f.ed, "SAVE? Ynl"), 0x1B);  // undecoded
    EXPECT_EQ(f.ed.screen.CursorScreenPos.row, 3);
    FlushOutput(f.ed);
    EXPECT_EQ(f.term.screen.CursorRow(), 3);
    EXPECT_EQ(f.term.screen.CursorCol(), 4);

    f.term.AddBurst("new.txt\r");
    EXPECT_EQ(AskNewName(f.ed), 7u);  // nothing of the cursor key is left to be typed
    EXPECT_STREQ(f.ed.NewFileName, "new.txt");
    FlushOutput(f.ed);
    EXPECT_EQ(f.term.screen.CursorRow(), 3);
}

}  // namespace
