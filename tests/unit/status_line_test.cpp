#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

std::string StatusImage(Editor& ed) { return StatusText(ed); }

struct StatusFixture {
    FakeTerminal term;
    Editor ed{term};
    StatusFixture(int rows, int cols, const char* name) : term(rows, cols) {
        std::strcpy(ed.FileName, name);
        ReadWindowSize(ed);
    }
    // The status row as the terminal shows it once the editor waits for a key.
    std::string Row() {
        FlushOutput(ed);
        return term.screen.Row(ed.screen.TextRows);
    }
};

TEST(StatusLine, EightyColumnsExactLayout) {
    StatusFixture f(24, 80, "a.txt");
    f.ed.LineNumber = 12;
    f.ed.screen.CursorColumn = 0;
    DrawStatusLine(f.ed);
    FlushOutput(f.ed);
    std::string row(80, ' ');
    row.replace(4, 4, "INS ");
    row.replace(10, 5, "a.txt");
    row.replace(62, 4, "12:1");
    row.replace(68, 12, "altH=help WS");
    EXPECT_EQ(f.Row(), row);
    EXPECT_EQ(StatusImage(f.ed), row);
    EXPECT_EQ(f.term.screen.Attrs(23), std::string(80, 's'));
    // Nothing is known of the terminal yet: it is erased whole, then every cell of the row goes out
    // after one position and the colours; then the cursor goes home, where it stood with plain
    // attributes: saved there (ESC 7) and put back (ESC 8) is shorter than ESC [ H and ESC [ m.
    EXPECT_EQ(f.term.output,
              "\x1b[m\x1b[H\x1b[2J\x1b"
              "7\x1b[24H\x1b[44;33;1m" +
                  row +
                  "\x1b"
                  "8");

    // Redrawing an unchanged status line writes nothing; a change writes the row again.
    f.term.output.clear();
    DrawStatusLine(f.ed);
    FlushOutput(f.ed);
    EXPECT_EQ(f.term.output, "");
    f.ed.ChangedMark = '*';
    f.ed.InsertMode = kOverwrite;
    f.ed.EditMode = EMACS;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(0, 8), " *  OVR ");
    EXPECT_EQ(f.Row().substr(68), "altH=help Em");
}

TEST(StatusLine, ModeTags) {
    StatusFixture f(24, 40, "x");
    const struct {
        uint8_t mode;
        const char* tail;
    } cases[] = {{WS, "altH=help WS"},
                 {PICO, "altH=help Pi"},
                 {EMACS, "altH=help Em"},
                 {NEDIT, "altH=help NE"},
                 {0x40, "altH=help WS"}};
    for (const auto& c : cases) {
        f.ed.EditMode = c.mode;
        DrawStatusLine(f.ed);
        EXPECT_EQ(f.Row().substr(28), c.tail) << int(c.mode);
    }
}

TEST(StatusLine, ViShowsCommandStateAndNoHint) {
    StatusFixture f(24, 80, "v");
    f.ed.EditMode = VI;
    f.ed.ViCommandState = 1;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(4, 4), "CMD ");
    EXPECT_EQ(f.Row().substr(68), "        vi  ");
    f.ed.ViCommandState = 0;
    f.ed.InsertMode = kOverwrite;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(4, 4), "OVR ");
    EXPECT_EQ(f.Row().substr(68), "        vi  ");
}

TEST(StatusLine, NarrowTerminalIsBlank) {
    StatusFixture f(10, 31, "name");
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row(), std::string(31, ' '));
    f.term.SetSize(10, 32);
    ReadWindowSize(f.ed);
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row(), "    INS   na   1:1  altH=help WS");  // the name is cut to 2 characters
}

TEST(StatusLine, LongNameAndLongNumbers) {
    std::string name60(60, 'n');
    StatusFixture f(24, 80, name60.c_str());
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(10, 53), std::string(50, 'n') + "   ");  // cut to 50, then "1:1"
    EXPECT_EQ(f.Row().substr(63, 3), "1:1");

    f.ed.LineNumber = 100000;
    f.ed.screen.CursorColumn = 9;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(10, 47), std::string(47, 'n'));
    EXPECT_EQ(f.Row().substr(57, 11), "100000:10  ");

    // Numbers no file could reach still stay inside the row.
    f.ed.LineNumber = UINT64_MAX;
    f.ed.screen.CursorColumn = UINT64_MAX - 1;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(25, 41), "18446744073709551615:18446744073709551615");
    EXPECT_EQ(f.Row().size(), 80u);
}

TEST(StatusLine, WidestTerminal) {
    std::string name(255, 'f');
    StatusFixture f(30, 255, name.c_str());
    f.ed.LineNumber = 7;
    f.ed.screen.CursorColumn = 2;
    DrawStatusLine(f.ed);
    std::string row(255, ' ');
    row.replace(4, 4, "INS ");
    row.replace(10, 225, std::string(225, 'f'));  // C - 30 characters of the name
    row.replace(255 - 15 - 2, 3, "7:3");
    row.replace(255 - 12, 12, "altH=help WS");
    EXPECT_EQ(f.Row(), row);

    f.ed.EditMode = VI;
    f.ed.ViCommandState = 1;
    DrawStatusLine(f.ed);
    row.replace(4, 4, "CMD ");
    row.replace(255 - 12, 12, "        vi  ");
    EXPECT_EQ(f.Row(), row);
}

TEST(StatusLine, ControlBytesInNameShowAsDots) {
    StatusFixture f(24, 80, "a\x1b[2Jb\x07\x9b");
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(10, 8), "a.[2Jb..");
    EXPECT_EQ(f.term.output.find("a\x1b"), std::string::npos);
    EXPECT_EQ(f.term.output.find("\x1b[2Jb"), std::string::npos);
    EXPECT_EQ(f.term.output.find('\x07'), std::string::npos);
    EXPECT_EQ(f.term.output.find('\x9b'), std::string::npos);
}

TEST(StatusText, OverlaysTheStartOfTheRow) {
    StatusFixture f(24, 80, "a.txt");
    DrawStatusLine(f.ed);
    ShowStatusText(f.ed, "   SAVE:");
    EXPECT_EQ(f.Row().substr(0, 16), "   SAVE:  a.txt ");
    EXPECT_EQ(f.Row().substr(68), "altH=help WS");
    EXPECT_EQ(f.term.screen.CursorRow(), 23);
    EXPECT_EQ(f.term.screen.CursorCol(), 10);
    // The text ends at its first byte of 0x0A or below; other control bytes are dots.
    ShowStatusText(f.ed,
                   "AB\x1b"
                   "C\nDEFGHIJKLMNOP");
    EXPECT_EQ(f.Row().substr(0, 16), "AB.CAVE:  a.txt ");
}

// In a UTF-8 locale the name is characters, a wide one in two cells, cut at C - 30 cells; a message or
// a long number that covers half of a wide one leaves a blank in the other half.
TEST(StatusText, Utf8NameAndWhatCoversIt) {
    StatusFixture f(24, 40, "日本語ü.txt");
    f.ed.Utf8 = true;
    f.term.screen.SetUtf8(true);
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row(), "    INS   日本語ü.tx   1:1  altH=help WS");
    auto starts = [&f](const std::string& s) { return f.Row().substr(0, s.size()) == s; };
    ShowStatusText(f.ed, "ERROR  11");
    EXPECT_TRUE(starts("ERROR  11 日本語ü.tx   1:1")) << f.Row();
    ShowStatusText(f.ed, "Message  11");
    EXPECT_TRUE(starts("Message  11 本語ü.tx   1:1")) << f.Row();
    f.ed.LineNumber = 123456789;
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row(), "    INS   日本 123456789:1  altH=help WS");
    EXPECT_EQ(f.term.screen.Errors(), "");
}

TEST(StatusText, WorksBeforeAnyStatusLine) {
    FakeTerminal term(24, 80);
    Editor ed(term);
    ShowStatusText(ed, "ERROR  12 :Memory exhausted");
    EXPECT_EQ(term.screen.Row(23), "ERROR  12 :Memory exhausted" + std::string(53, ' '));
}

TEST(StatusText, WaitReturnsTheRawByte) {
    StatusFixture f(24, 80, "a");
    f.term.AddBurst("\x1b[A");
    EXPECT_EQ(ShowStatusTextAndWait(f.ed, "SAVE? Yn"), 0x1B);
    EXPECT_FALSE(f.term.InputPending()) << "the rest of the key is read with its ESC";
    EXPECT_EQ(f.Row().substr(0, 8), "SAVE? Yn");
}

TEST(StatusText, PrefixKeyReplacesFourCells) {
    StatusFixture f(24, 80, "a.txt");
    f.ed.ChangedMark = '*';
    DrawStatusLine(f.ed);
    FlushOutput(f.ed);
    f.term.output.clear();
    ShowPrefixKey(f.ed, "^K  ");
    EXPECT_EQ(f.Row().substr(0, 12), "^K  INS   a.");
    EXPECT_EQ(f.term.output,
              "\x1b[24H\x1b[44;33;1m^K\x1b"
              "8")
        << "only the two cells that changed, and back to where the cursor was saved";
    f.term.output.clear();
    DrawStatusLine(f.ed);
    EXPECT_EQ(f.Row().substr(0, 12), " *  INS   a.");
}

}  // namespace
