// Start-up, the main loop's signal handling, suspend and the end of the terminal.
#include "session/session.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    // Whether the terminal may be asked to insert and delete characters and lines.
    const std::pair<const char*, TermKind> kinds[] = {
        {"TERM=xterm-256color", TermKind::Shifting},
        {"TERM=screen.linux", TermKind::Shifting},
        {"TERM=tmux", TermKind::Shifting},
        {"TERM=rxvt-unicode", TermKind::Shifting},
        {"TERM=linux", TermKind::Shifting},
        {"TERM=xtermish", TermKind::Unknown},
        {"TERM=dumb", TermKind::Unknown},
        {"TERM=", TermKind::Unknown},
    };
    for (auto [entry, kind] : kinds) {
        std::string e = entry;
        char* env[] = {e.data(), nullptr};
        ed.screen.Kind = TermKind::Unknown;
        NoteConsoleVariant(ed, env);
        EXPECT_EQ(ed.screen.Kind, kind) << entry;
    }
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

// A terminal on which the shell writes while the editor is stopped.
struct ShellTerminal : FakeTerminal {
    using FakeTerminal::FakeTerminal;
    bool regionAtStop = true;
    int rowAtStop = -1;
    void StopProcessGroup() override {
        ++stops;
        regionAtStop = screen.RegionSet();
        rowAtStop = screen.CursorRow();
        // The shell saves a cursor of its own (ESC 7) where the editor's never stood.
        const char junk[] =
            "\x1b[2H$ ls\x1b"
            "7\nfile.txt\n$ fg\n";
        screen.Feed(reinterpret_cast<const uint8_t*>(junk), sizeof junk - 1);
    }
};

TEST_F(Session, ContinueAfterSuspendRedrawsEveryRowInRawMode) {
    std::string text;
    for (int i = 1; i <= 30; ++i)
        text += "line " + std::to_string(i) + " " + std::string(i % 9 + 5, char('a' + i)) + "\n";
    WriteFile("file.txt", text);
    ShellTerminal term(6, 40);
    Editor ed(term);
    for (int i = 0; i < 8; ++i) term.AddBurst("\x1b[B");  // down far enough to scroll
    term.AddBurst(
        "\x0b"
        "z");  // ^K Z
    term.AddContinue();
    term.AddBurst("q");
    Run(ed, term, "ztws");
    EXPECT_EQ(term.stops, 1);
    EXPECT_GE(term.restored, 1) << "the shell got its settings back before the stop";
    EXPECT_EQ(term.rawEntered, 1) << "raw mode again after the continue";
    EXPECT_FALSE(term.regionAtStop) << "the shell gets the whole screen to scroll";
    EXPECT_EQ(term.rowAtStop, 5) << "the cursor waits on the status row";
    // Every row the shell wrote over came back.
    EXPECT_EQ(term.screen.Row(0).substr(0, 7), "line 5 ");
    EXPECT_EQ(term.screen.Row(1).substr(0, 7), "line 6 ");
    EXPECT_EQ(term.screen.Row(2).substr(0, 7), "line 7 ");
    EXPECT_EQ(term.screen.Row(4).substr(0, 7), "qline 9");
    EXPECT_EQ(term.screen.Row(5).substr(0, 4), " *  ");
    EXPECT_EQ(term.screen.CursorRow(), 4) << "not where the shell saved its cursor";
    EXPECT_EQ(term.screen.CursorCol(), 1);
    EXPECT_EQ(term.screen.Errors(), "");
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

TEST_F(Session, OnlyChangedCellsAreSent) {
    FakeTerminal term;
    Editor ed(term);
    term.AddBurst("\x1b[C");  // cursor right: two cells of row 0 change, and the column
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
    EXPECT_EQ(sent,
              "a\x1b"
              "7\x1b[1mb\x1b[24;66H\x1b[44;33;1m2\x1b"
              "8");
    EXPECT_EQ(term.screen.Row(23).substr(63, 3), "1:2");
    before = term.output.size();
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    EXPECT_EQ(term.output.substr(before), "") << "an unchanged screen sends nothing";
}

TEST_F(Session, LeavingPutsTheShellBelowTheStatusRow) {
    std::string text;
    for (int i = 1; i <= 30; ++i)
        text += "line " + std::to_string(i) + " " + std::string(i % 9 + 5, char('a' + i)) + "\n";
    WriteFile("file.txt", text);
    FakeTerminal term(6, 40);
    Editor ed(term);
    for (int i = 0; i < 8; ++i) term.AddBurst("\x1b[B");
    term.AddBurst("\x0bq");  // ^K Q: nothing changed, the editor leaves
    ed.Exit = ThrowOnExit;
    char argv0[] = "ztws", name[] = "file.txt";
    char* argv[] = {argv0, name, nullptr};
    char* envp[] = {nullptr};
    ASSERT_TRUE(StartEditor(ed, 2, argv, envp));
    while (EditStep(ed)) {
    }
    ASSERT_GT(term.screen.Scrolls(), 0) << "the window scrolled on the way";
    const int scrolls = term.screen.Scrolls();
    LeaveEditor(ed);
    EXPECT_FALSE(term.screen.RegionSet());
    // The line feed after the status row scrolls the whole screen: the status row moves up one.
    EXPECT_EQ(term.screen.Scrolls(), scrolls + 1);
    EXPECT_EQ(term.screen.Row(4).substr(0, 4), "^K  ");
    EXPECT_EQ(term.screen.Row(4).substr(28), "altH=help WS");
    EXPECT_EQ(term.screen.CursorRow(), 5);
    EXPECT_EQ(term.screen.CursorCol(), 0);
    EXPECT_EQ(term.screen.Attrs(5), std::string(40, ' ')) << "the shell's row has no colours of ours";
    EXPECT_EQ(term.screen.Errors(), "");
}

// +LINE and + on the command line leave the editor as the mode's go-to-line or go-to-end command does
// when it is the first key: the same cursor, line number and screen.
TEST_F(Session, StartLineIsWhereTheGoCommandsPutTheCursor) {
    std::string text;
    for (int i = 1; i <= 90; ++i)
        text += "\tline " + std::to_string(i) + std::string(size_t(i % 7), '.') + "\n";
    WriteFile("file.txt", text + "last line without a line feed");
    struct Case {
        const char* program;
        const char* option;
        const char* keys;
    };
    const Case cases[] = {
        {"ztws", "+57", "\x11i57\r"},
        {"ztws", "+500", "\x11i500\r"},
        {"ztws", "+", "\x11\x03"},
        {"ztem", "+2", "\x1bg2\r"},
        {"ztvi", "+57", ":57\r"},
        {"ztvi", "+", "G"},
        {"ztpi", "+",
         "\x11"
         "e"},
    };
    struct Shown {
        Pos cursor;
        uint64_t line;
        std::vector<std::string> rows;
        int row, col;
    };
    auto run = [](const char* program, const char* option, const char* keys) {
        FakeTerminal term(12, 40);
        Editor ed(term);
        ed.Exit = ThrowOnExit;
        std::string argv0 = program, opt = option ? option : "", name = "file.txt";
        std::vector<char*> argv = {argv0.data()};
        if (option) argv.push_back(opt.data());
        argv.push_back(name.data());
        argv.push_back(nullptr);
        char* envp[] = {nullptr};
        if (keys) term.AddBurst(keys);
        EXPECT_TRUE(StartEditor(ed, int(argv.size() - 1), argv.data(), envp));
        while (term.InputLeft() || ed.HasReadAhead) EXPECT_TRUE(EditStep(ed));
        RefreshWindow(ed);
        DrawStatusLine(ed);
        FlushOutput(ed);
        Shown s{ed.Cursor, ed.LineNumber, {}, term.screen.CursorRow(), term.screen.CursorCol()};
        for (int r = 0; r < term.screen.Rows(); ++r) s.rows.push_back(term.screen.Row(r));
        return s;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.option);
        const Shown started = run(c.program, c.option, nullptr);
        const Shown moved = run(c.program, nullptr, c.keys);
        EXPECT_GT(started.line, 1u);
        EXPECT_EQ(started.cursor, moved.cursor);
        EXPECT_EQ(started.line, moved.line);
        EXPECT_EQ(started.rows, moved.rows);
        EXPECT_EQ(started.row, moved.row);
        EXPECT_EQ(started.col, moved.col);
    }
}

}  // namespace

// An editor made in used memory starts as clean as one in fresh static storage: the constructor that
// skips the large arrays is only for storage known to be zero.
TEST(EditorState, AFreshEditorClearsTheArraysItHasNoInitializerFor) {
    FakeTerminal term(24, 80);
    alignas(Editor) static unsigned char storage[sizeof(Editor)];
    std::memset(storage, 0xA5, sizeof storage);
    Editor* ed = new (storage) Editor(term);
    auto allZero = [](const void* p, size_t n) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
    };
    // The cells' bytes aside are read only where a cell counts some.
    EXPECT_TRUE(allZero(ed->screen.Status.Glyph, sizeof ed->screen.Status.Glyph));
    EXPECT_TRUE(allZero(ed->screen.Status.Info, sizeof ed->screen.Status.Info));
    EXPECT_TRUE(allZero(ed->screen.Grids, sizeof ed->screen.Grids));
    EXPECT_TRUE(allZero(ed->screen.Out, sizeof ed->screen.Out));
    EXPECT_TRUE(allZero(ed->undo.Stack, kUndoStackSize));
    ed->~Editor();
}

// What the other end of a pseudo-terminal has been sent: all that arrives within `ms` of the last.
std::string Arrived(int master, int ms) {
    std::string got;
    pollfd p{master, POLLIN, 0};
    char buf[256];
    while (poll(&p, 1, ms) == 1) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, size_t(n));
    }
    return got;
}

// Bracketed paste goes on with the first output, in the same write, and off only once it went out.
TEST(RealTerminalOutput, PasteModeGoesOutWithTheFirstOutput) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    const int savedIn = dup(0), savedOut = dup(1);
    dup2(slave, 0);
    dup2(slave, 1);
    std::string before, first, second, off, again;
    {
        RealTerminal term;
        term.EnterRawMode();
        before = Arrived(master, 50);
        term.Write("ab", 2);
        first = Arrived(master, 200);
        term.Write("c", 1);
        second = Arrived(master, 200);
        term.RestoreMode();
        off = Arrived(master, 200);
        term.EnterRawMode();
        term.RestoreMode();  // nothing went out in between
        again = Arrived(master, 50);
    }
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    close(savedIn);
    close(savedOut);
    close(slave);
    close(master);
    EXPECT_EQ(before, "");
    EXPECT_EQ(first, "\x1b[?2004hab");
    EXPECT_EQ(second, "c");
    EXPECT_EQ(off, "\x1b[?2004l");
    EXPECT_EQ(again, "");
}

// The real terminal spares the look for waiting input for a moment after one found nothing (a read that
// left room counts as one); a key that comes meanwhile must still be seen and read.
TEST(RealTerminalInput, AKeyThatComesAfterALookFoundNothingIsSeenAndRead) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int savedStdin = dup(0);
    ASSERT_GE(savedStdin, 0);
    ASSERT_EQ(dup2(fds[0], 0), 0);
    {
        RealTerminal term;
        ASSERT_EQ(write(fds[1], "ab", 2), 2);
        EXPECT_EQ(term.ReadByte(), 'a');
        EXPECT_TRUE(term.InputPending()) << "b came with a";
        EXPECT_EQ(term.ReadByte(), 'b');
        EXPECT_FALSE(term.InputPending());
        ASSERT_EQ(write(fds[1], "c", 1), 1);
        EXPECT_EQ(term.ReadByte(), 'c') << "a read is never spared";
        ASSERT_EQ(write(fds[1], "d", 1), 1);
        usleep(2000);
        EXPECT_TRUE(term.InputPending()) << "a look that found nothing holds only a moment";
        EXPECT_EQ(term.ReadByte(), 'd');
    }
    dup2(savedStdin, 0);
    close(savedStdin);
    close(fds[0]);
    close(fds[1]);
}
