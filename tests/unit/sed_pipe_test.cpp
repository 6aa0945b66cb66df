// The filter through sed, with the real /bin/sed and with small stand-ins written into the test's
// directory: what replaces the text, what keeps it, what the user is told, and what stays on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class SedPipeTest : public ::testing::Test {
protected:
    WorkDir workDir{"sed"};
    FakeTerminal term{24, 80};
    Editor ed{term};
    std::string standIn;

    void SetUp() override { ed.Exit = ThrowOnExit; }

    // The text, the kill buffer "KILL" behind it, and the expression ready in CommandText.
    void Load(const std::string& marked, const char* expression, uint8_t mode = WS) {
        LoadMarked(ed, mode, marked);
        std::memcpy(ed.kill, "KILL", 4);
        ed.KillLength = 4;
        ed.ChangedMark = ' ';
        std::strcpy(ed.CommandText, expression);
    }
    // A shell script standing in for sed; $3 is the file it is given.
    void StandIn(const std::string& body) {
        standIn = workDir.path() + "/fake-sed";
        WriteFile(standIn, "#!/bin/sh\n" + body, 0755);
        ed.SedPath = standIn.c_str();
    }
    // Runs the filter with `keys` queued for the error line (which waits for a key).
    bool Filter(int errorKeys = 0) {
        for (int i = 0; i < errorKeys; ++i) term.AddBurst(" ");
        return FilterThroughSed(ed);
    }
    std::string Kill() const { return KillText(ed); }
    bool Shown(const std::string& s) const { return term.output.find(s) != std::string::npos; }
    // What the run left in the directory, besides the stand-in.
    static std::string Leftovers() {
        std::string names;
        for (auto& e : std::filesystem::directory_iterator("."))
            if (e.path().filename() != "fake-sed") names += e.path().filename().string() + "\n";
        return names;
    }
};

TEST_F(SedPipeTest, SubstitutionReplacesTheWholeTextAndOneUndoBringsItBack) {
    Load("a cat\n|and a bat\n", "s/a/b/g");
    ed.BlockBegin = ed.TextStart;
    ed.BlockEnd = ed.TextStart + 3;
    Pos cursor = ed.Cursor;
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "b cbt\nbnd b bbt\n");
    EXPECT_EQ(Kill(), "") << "a filter run takes the clipboard with it";
    EXPECT_EQ(ed.Cursor, cursor);
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_EQ(ed.BlockBegin, 0u);
    EXPECT_EQ(ed.BlockEnd, 0u);
    EXPECT_TRUE(ed.RecountLines);
    EXPECT_EQ(term.screen.Bells(), 0);
    EXPECT_EQ(Leftovers(), "");

    Undo(ed);
    EXPECT_EQ(TextOf(ed), "a cat\nand a bat\n");
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
}

TEST_F(SedPipeTest, CursorComesBackIntoAShorterText) {
    Load("one\ntwo\nthree|\n", "2,$d");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "one\n");
    EXPECT_EQ(ed.Cursor, ed.TextEnd);
}

TEST_F(SedPipeTest, EmptyOutputKeepsTheTextButCountsAsAChange) {
    Load("one\ntwo\n", "d");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "one\ntwo\n");
    EXPECT_EQ(Kill(), "");
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_GE(ed.undo.SnapshotFd, 0) << "the run is one undo step";
    EXPECT_EQ(Leftovers(), "");
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "one\ntwo\n");
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
}

TEST_F(SedPipeTest, RejectedExpressionRingsShowsTheExitCodeAndKeepsTheHistory) {
    Load("abc\n", "");
    TypeByte(ed, 'x');  // one ordinary change before the failed filter
    std::strcpy(ed.CommandText, "s/a/");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "xabc\n");
    EXPECT_EQ(Kill(), "");
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_EQ(term.screen.Bells(), 1);
    EXPECT_TRUE(Shown("ERROR   1 :Op not permitted"));
    EXPECT_EQ(Leftovers(), "");
    Undo(ed);  // the run itself: the text as it was before it
    EXPECT_EQ(TextOf(ed), "xabc\n");
    Undo(ed);  // then the change before it
    EXPECT_EQ(TextOf(ed), "abc\n");
}

TEST_F(SedPipeTest, MissingSedIsReportedWithoutTheBell) {
    Load("abc\n", "s/a/b/");
    std::string missing = workDir.path() + "/no-such-sed";
    ed.SedPath = missing.c_str();
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_EQ(term.screen.Bells(), 0);
    EXPECT_TRUE(Shown("ERROR  31 :Can't exec /bin/sed"));
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(SedPipeTest, OutputOfAFailingSedIsNotTaken) {
    Load("abc\n", "s/a/b/");
    StandIn("echo partial\nexit 3\n");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_TRUE(Shown("ERROR   3 :"));
}

TEST_F(SedPipeTest, SedKilledBySignalKeepsTheTextAndIsReported) {
    Load("abc\n", "s/a/b/");
    StandIn("echo partial\nkill -9 $$\n");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_TRUE(Shown("ERROR 137"));
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(SedPipeTest, OutputArrivingInPiecesIsReadToTheEnd) {
    Load("abc\n", "x");
    StandIn("printf 'one\\n'\n/bin/sleep 0.2\nprintf 'two\\n'\n");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "one\ntwo\n");
}

TEST_F(SedPipeTest, OutputLargerThanAPipeComesWhole) {
    ASSERT_TRUE(ReserveBuffer(ed, 1 << 20));
    std::string text, want;
    for (int i = 0; i < 10000; ++i) {
        std::string n = std::to_string(i);
        text += "line a " + n + "\n";
        want += "line bb " + n + "\n";
    }
    Load(text, "s/a/bb/");
    ASSERT_TRUE(Filter());
    ASSERT_GT(want.size(), 65536u);
    EXPECT_EQ(TextOf(ed), want);
    Undo(ed);
    EXPECT_EQ(TextOf(ed), text);
}

TEST_F(SedPipeTest, OutputThatDoesNotFitReplacesNothing) {
    std::string text(30000, 'a');
    Load(text + "\n", "s/a/aaaa/g");  // 120,001 bytes for a buffer of 102,400
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), text + "\n");
    EXPECT_TRUE(Shown("ERROR  12 :Memory exhausted"));
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(SedPipeTest, EndlessOutputEndsWithMemoryExhausted) {
    Load("abc\n", ":a;p;ba");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_TRUE(Shown("Memory exhausted"));
}

TEST_F(SedPipeTest, MuchOnStandardErrorDoesNotBlockSed) {
    Load("abc\n", "s/a/b/");
    StandIn("/usr/bin/head -c 1000000 /dev/zero >&2\n/bin/sed \"$1\" \"$2\"\n");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "bbc\n");
    EXPECT_EQ(term.screen.Bells(), 1);
}

TEST_F(SedPipeTest, ExpressionIsOneArgumentAndTheEnvironmentIsEmpty) {
    setenv("ZT_PROBE", "set", 1);
    const char* expression = "s/a/b/; $(touch shell-ran) `touch x` 'q";
    Load("abc\n", expression);
    // The text comes on standard input, from a file no name leads to, readable by its owner alone.
    StandIn(
        "printf '%s\\n' \"$#\" \"$1\" \"$2\" \"${ZT_PROBE-none}\" \"${HOME-none}\"\n"
        "/usr/bin/stat -L -c '%a %h' /proc/self/fd/0\n/bin/cat\n");
    ASSERT_TRUE(Filter());
    unsetenv("ZT_PROBE");
    EXPECT_EQ(TextOf(ed), "2\n-e\n" + std::string(expression) + "\nnone\nnone\n600 0\nabc\n");
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(SedPipeTest, ViHandsALastLineWithoutLineFeedWithOne) {
    Load("a\nb", "s/a/c/", VI);
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "c\nb\n");
    Load("a\nb", "s/a/c/", WS);
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "c\nb");
}

TEST_F(SedPipeTest, NamesPlantedInTheDirectoryAreNeitherUsedNorTouched) {
    WriteFile("target", "precious\n");
    ASSERT_EQ(symlink("target", "zt$$"), 0);
    ASSERT_EQ(mkdir("zt##", 0755), 0);
    WriteFile("edited", "abc\n");
    ASSERT_TRUE(LoadFile(ed, "edited"));
    std::strcpy(ed.CommandText, "s/a/b/");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "bbc\n");
    EXPECT_EQ(ReadFile("target"), "precious\n");
    EXPECT_EQ(ReadFile("edited"), "abc\n");
    struct stat st;
    ASSERT_EQ(lstat("zt$$", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(std::filesystem::is_directory("zt##"));
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "abc\n");
}

// With no place for a file the text cannot be handed over: nothing runs and nothing changes. The last
// place tried is enough.
TEST_F(SedPipeTest, NoPlaceForTheTextRefusesTheRunBeforeAnyChange) {
    ASSERT_EQ(mkdir("gone", 0755), 0);
    ASSERT_EQ(chdir("gone"), 0);
    ASSERT_EQ(rmdir("../gone"), 0);
    const char* tmpdir = getenv("TMPDIR");
    std::string oldTmpdir = tmpdir ? tmpdir : "";
    unsetenv("TMPDIR");
    ed.TempDir = "/nonexistent-zt-dir";
    Load("abc\n", "s/a/b/");
    TypeByte(ed, 'x');
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "xabc\n");
    EXPECT_EQ(Kill(), "KILL");
    EXPECT_TRUE(Shown("ERROR   2 :No such file|directory"));
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "abc\n") << "the typed x was still the newest change";

    ed.TempDir = workDir.path().c_str();
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "bbc\n");
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "abc\n");
    ASSERT_EQ(chdir(workDir.path().c_str()), 0);
    if (tmpdir) setenv("TMPDIR", oldTmpdir.c_str(), 1);
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(SedPipeTest, PromptTakesTheExpressionAndCancelDoesNothing) {
    Load("abc\n", "");
    term.AddBurst("s/b/X/\r");
    SedPipe(ed);
    EXPECT_TRUE(Shown("mode EX:"));
    EXPECT_EQ(TextOf(ed), "aXc\n");

    term.AddBurst("s/a/Y/\x15");  // WS cancel
    SedPipe(ed);
    EXPECT_EQ(TextOf(ed), "aXc\n");
    EXPECT_EQ(Leftovers(), "");
}

}  // namespace
