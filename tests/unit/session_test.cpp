// Start-up, the main loop's signal handling, suspend and the end of the terminal.
#include "session/session.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("file.txt", "abc\ndef\n");
        gSignals.continued = 0;
        gSignals.hangup = 0;
    }
    // Starts on file.txt under `program`; then runs the loop until the input is gone.
    int Run(Editor& ed, FakeTerminal&, const char* program) {
        ed.Exit = ThrowOnExit;
        std::string argv0 = program;
        char name[] = "file.txt";
        char* argv[] = {argv0.data(), name, nullptr};
        char* envp[] = {nullptr};
        try {
            if (!StartEditor(ed, 2, argv, envp)) return -1;
            while (EditStep(ed)) {
            }
        } catch (const EditorLeft& l) {
            return l.status;
        }
        return -2;
    }
    WorkDir dir_{"session"};
};

TEST(ModeSelection, FromTheProgramNameAndTerm) {
    FakeTerminal term;
    Editor ed(term);
    const std::pair<const char*, uint8_t> names[] = {
        {"ztem", EMACS},  {"/usr/local/bin/ztem", EMACS},
        {"./ztpi", PICO}, {"ztvi", VI},
        {"ztne", NEDIT},  {"ztws", WS},
        {"zt", WS},       {"em", WS},
        {"xztem", EMACS},
    };
    for (auto [name, mode] : names) {
        ed.EditMode = 0;
        SelectModeFromProgramName(ed, name);
        EXPECT_EQ(ed.EditMode, mode) << name;
    }
    char termcap[] = "TERMCAP=linux", term1[] = "TERM=linux", term2[] = "TERM=xterm";
    char* env1[] = {termcap, term2, term1, nullptr};
    ed.ConsoleVariant = 0;
    NoteConsoleVariant(ed, env1);
    EXPECT_EQ(ed.ConsoleVariant, 0) << "the first TERM decides; TERMCAP does not count";
    char* env2[] = {termcap, term1, nullptr};
    NoteConsoleVariant(ed, env2);
    EXPECT_EQ(ed.ConsoleVariant, 4);
}

TEST_F(Session, EndOfInputWithoutChangesLeavesQuietly) {
    FakeTerminal term;
    Editor ed(term);
    EXPECT_EQ(Run(ed, term, "ztws"), 0);
    EXPECT_FALSE(std::filesystem::exists("file.txt.save"));
    EXPECT_EQ(term.restored, 1) << "the terminal settings come back";
}

TEST_F(Session, EndOfInputWithChangesKeepsAnEmergencyCopy) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("xy");
    EXPECT_EQ(Run(ed, term, "ztem"), 1);
    EXPECT_EQ(ReadFile("file.txt.save"), "xyabc\ndef\n");
    EXPECT_EQ(ReadFile("file.txt"), "abc\ndef\n");
}

TEST_F(Session, HangUpWhileTheHelpPageIsShownSavesTheRealText) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("x");
    term.AddBurst("\x1bh");  // the help page, waiting for a key
    term.AddHangup();
    EXPECT_EQ(Run(ed, term, "ztws"), 1);
    EXPECT_EQ(ReadFile("file.txt.save"), "xabc\ndef\n");
}

TEST_F(Session, TerminalLostWhileAFailedSaveAsShowsItsErrorKeepsTheCopyUnderTheOldName) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("x");
    term.AddBurst("\x18\x17");  // ^X ^W: save as
    term.AddBurst("nodir/new.txt\r");
    EXPECT_EQ(Run(ed, term, "ztem"), 1);
    EXPECT_EQ(ReadFile("file.txt.save"), "xabc\ndef\n");
    EXPECT_EQ(ReadFile("file.txt"), "abc\ndef\n");
}

TEST_F(Session, ContinueAfterSuspendRedrawsEveryRowInRawMode) {
    FakeTerminal term(6, 40);
    Editor ed(term);
    term.AddBurst(
        "\x0b"
        "z");  // ^K Z
    term.AddContinue();
    term.AddBurst("q");
    Run(ed, term, "ztws");
    EXPECT_EQ(term.stops, 1);
    EXPECT_GE(term.restored, 1) << "the shell got its settings back before the stop";
    EXPECT_EQ(term.rawEntered, 1) << "raw mode again after the continue";
    // After the continue every row went out once more, before the next key was read.
    size_t cont = term.output.rfind("\x1b[001;001H");
    ASSERT_NE(cont, std::string::npos);
    for (int row = 1; row <= 6; ++row) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "\x1b[%03d;001H", row);
        EXPECT_NE(term.output.find(seq, term.output.find("\x1b[006;011H")), std::string::npos) << row;
    }
    EXPECT_EQ(term.screen.Row(0).substr(0, 4), "qabc");
}

TEST_F(Session, SaveAndLoadAnotherStartsOverWithTheNamePrompt) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("x");
    term.AddBurst(
        "\x0b"
        "d");             // ^K D: save, then the name prompt
    term.AddBurst("\r");  // an empty name leaves
    EXPECT_EQ(Run(ed, term, "ztws"), -2);
    EXPECT_EQ(ReadFile("file.txt"), "xabc\ndef\n");
    EXPECT_NE(term.output.find("renpad zt v2.31"), std::string::npos);
    EXPECT_NE(term.output.find("FILENAME:"), std::string::npos);
}

TEST_F(Session, OnlyChangedRowsAreSent) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("\x1b[C");  // cursor right: two cells of row 0 change, nothing else
    term.AddBurst("\x1b[A");  // up on the first line: nothing changes
    ed.Exit = ThrowOnExit;
    char argv0[] = "ztws", name[] = "file.txt";
    char* argv[] = {argv0, name, nullptr};
    char* envp[] = {nullptr};
    ASSERT_TRUE(StartEditor(ed, 2, argv, envp));
    ASSERT_TRUE(EditStep(ed));
    size_t before = term.output.size();
    ASSERT_TRUE(EditStep(ed));  // draws the result of the cursor key, reads the second key
    std::string sent = term.output.substr(before);
    EXPECT_NE(sent.find("\x1b[001;001H"), std::string::npos) << "row 0 went out";
    EXPECT_EQ(sent.find("\x1b[002;001H"), std::string::npos) << "row 1 did not";
    EXPECT_NE(sent.find("1:2"), std::string::npos) << "the status row did";
    before = term.output.size();
    RefreshWindow(ed);
    DrawStatusLine(ed);
    EXPECT_EQ(term.output.substr(before), "\x1b[001;002H") << "an unchanged screen sends only the cursor";
}

}  // namespace
