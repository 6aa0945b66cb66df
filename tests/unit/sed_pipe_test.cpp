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
        std::memcpy(ed.buf + ed.TextEnd + 1, "KILL", 4);
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
    std::string Kill() const {
        return std::string(reinterpret_cast<char*>(ed.buf + ed.TextEnd + 1), ed.KillLength);
    }
    bool Shown(const std::string& s) const { return term.output.find(s) != std::string::npos; }
    static bool Exists(const char* name) {
        struct stat st;
        return lstat(name, &st) == 0;
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
    EXPECT_FALSE(Exists("zt$$"));

    Undo(ed);
    EXPECT_EQ(TextOf(ed), "a cat\nand a bat\n");
    EXPECT_FALSE(Exists("zt##"));
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
    EXPECT_TRUE(Exists("zt##")) << "the run is one undo step";
    EXPECT_FALSE(Exists("zt$$"));
    Undo(ed);
    EXPECT_EQ(TextOf(ed), "one\ntwo\n");
    EXPECT_FALSE(Exists("zt##"));
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
    EXPECT_FALSE(Exists("zt$$"));
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
    EXPECT_FALSE(Exists("zt$$"));
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
    EXPECT_FALSE(Exists("zt$$"));
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
    EXPECT_FALSE(Exists("zt$$"));
}

TEST_F(SedPipeTest, EndlessOutputEndsWithMemoryExhausted) {
    Load("abc\n", ":a;p;ba");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_TRUE(Shown("Memory exhausted"));
}

TEST_F(SedPipeTest, MuchOnStandardErrorDoesNotBlockSed) {
    Load("abc\n", "s/a/b/");
    StandIn("/usr/bin/head -c 1000000 /dev/zero >&2\n/bin/sed \"$1\" \"$2\" \"$3\"\n");
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "bbc\n");
    EXPECT_EQ(term.screen.Bells(), 1);
}

TEST_F(SedPipeTest, ExpressionIsOneArgumentAndTheEnvironmentIsEmpty) {
    setenv("ZT_PROBE", "set", 1);
    const char* expression = "s/a/b/; $(touch shell-ran) `touch x` 'q";
    Load("abc\n", expression);
    StandIn(
        "printf '%s\\n' \"$#\" \"$1\" \"$2\" \"$3\" \"${ZT_PROBE-none}\" \"${HOME-none}\"\n"
        "/usr/bin/stat -c %a \"$3\"\n");
    ASSERT_TRUE(Filter());
    unsetenv("ZT_PROBE");
    EXPECT_EQ(TextOf(ed), "3\n-e\n" + std::string(expression) + "\nzt$$\nnone\nnone\n600\n");
    EXPECT_FALSE(Exists("shell-ran"));
}

TEST_F(SedPipeTest, ViHandsALastLineWithoutLineFeedWithOne) {
    Load("a\nb", "s/a/c/", VI);
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "c\nb\n");
    Load("a\nb", "s/a/c/", WS);
    ASSERT_TRUE(Filter());
    EXPECT_EQ(TextOf(ed), "c\nb");
}

TEST_F(SedPipeTest, PlantedLinkIsNeitherFollowedNorRemoved) {
    WriteFile("target", "precious\n");
    ASSERT_EQ(symlink("target", "zt$$"), 0);
    Load("abc\n", "s/a/b/");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_EQ(ReadFile("target"), "precious\n");
    struct stat st;
    ASSERT_EQ(lstat("zt$$", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(SedPipeTest, UnwritablePipeFileChangesNothing) {
    ASSERT_EQ(mkdir("zt$$", 0755), 0);
    Load("abc\n", "s/a/b/");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_TRUE(Shown("ERROR  17"));
    EXPECT_TRUE(std::filesystem::is_directory("zt$$"));
}

TEST_F(SedPipeTest, EditedFileNamedLikeThePipeFileIsLeftAlone) {
    WriteFile("zt$$", "abc\n");
    ASSERT_TRUE(LoadFile(ed, "zt$$"));
    std::strcpy(ed.CommandText, "s/a/b/");
    EXPECT_FALSE(Filter(1));
    EXPECT_EQ(TextOf(ed), "abc\n");
    EXPECT_EQ(ReadFile("zt$$"), "abc\n");
    EXPECT_TRUE(Shown("ERROR  17"));
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
    EXPECT_FALSE(Exists("zt$$"));
}

}  // namespace
