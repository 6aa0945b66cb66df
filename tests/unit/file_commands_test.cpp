// The file and exit commands: the save questions and their answers, the exit requests, and the block,
// mark and cursor left by Insert file in each mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class FileCommandsTest : public ::testing::Test {
protected:
    WorkDir workDir{"cmds"};
    const std::string& dir = workDir.path();
    FakeTerminal term{24, 80};
    Editor ed{term};

    void SetUp() override { ed.Exit = ThrowOnExit; }
    static void Write(const std::string& name, const std::string& content) { WriteFile(name, content); }
    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Text() const { return TextOf(ed); }
    // notes.txt loaded in `mode` and changed to "new\n".
    void Changed(uint8_t mode = WS, const char* name = "notes.txt") {
        ed.EditMode = mode;
        Write(name, "old\n");
        ASSERT_TRUE(LoadFile(ed, name));
        std::memcpy(InPlace(ed, ed.TextStart, 3), "new", 3);
        ed.ChangedMark = '*';
    }
    bool Shown(const std::string& s) const { return term.output.find(s) != std::string::npos; }
};

TEST_F(FileCommandsTest, QuitOnUnchangedTextAsksNothing) {
    Write("notes.txt", "old\n");
    ASSERT_TRUE(LoadFile(ed, "notes.txt"));
    Quit(ed);
    EXPECT_EQ(ed.ExitRequest, 1);
    EXPECT_FALSE(Shown("SAVE?"));
}

TEST_F(FileCommandsTest, QuitAnswerNoLeavesWithoutSaving) {
    for (const char* key : {"n", "N"}) {
        Changed();
        term.AddBurst(key);
        Quit(ed);
        EXPECT_TRUE(Shown("SAVE? Ynl"));
        EXPECT_EQ(ed.ExitRequest, 1) << key;
        EXPECT_EQ(Read("notes.txt"), "old\n");
        EXPECT_EQ(ed.ChangedMark, '*');
    }
}

TEST_F(FileCommandsTest, QuitAnswerLSavesAndAsksForTheNextFile) {
    for (const char* key : {"l", "L"}) {
        Changed();
        term.AddBurst(key);
        Quit(ed);
        EXPECT_EQ(ed.ExitRequest, 2) << key;
        EXPECT_EQ(Read("notes.txt"), "new\n");
        EXPECT_EQ(ed.ChangedMark, ' ');
    }
}

TEST_F(FileCommandsTest, QuitAnyOtherKeySavesAndLeaves) {
    for (const char* key : {"y", "Y", "\r", "x", "\x0e"}) {
        Changed();
        term.AddBurst(key);
        Quit(ed);
        EXPECT_EQ(ed.ExitRequest, 1) << int(key[0]);
        EXPECT_EQ(Read("notes.txt"), "new\n");
        EXPECT_EQ(Read("notes.txt~"), "old\n");
        EXPECT_EQ(ed.ChangedMark, ' ');
    }
}

TEST_F(FileCommandsTest, CancelKeyOfEachModeReturnsToEditing) {
    struct Case {
        uint8_t mode;
        const char* cancel;
        const char* other;  // another mode's cancel key, an ordinary yes here
    };
    for (Case c : {Case{WS, "\x15", "\x03"}, Case{EMACS, "\x07", "\x15"}, Case{PICO, "\x03", "\x07"},
                   Case{NEDIT, "\x03", "\x15"}, Case{VI, "\x03", "\x15"}}) {
        Changed(c.mode);
        term.AddBurst(c.cancel);
        Quit(ed);
        EXPECT_EQ(ed.ExitRequest, 0) << int(c.mode);
        EXPECT_EQ(Read("notes.txt"), "old\n");
        EXPECT_EQ(ed.ChangedMark, '*');
        term.AddBurst(c.other);
        Quit(ed);
        EXPECT_EQ(ed.ExitRequest, 1) << int(c.mode);
        EXPECT_EQ(Read("notes.txt"), "new\n");
    }
}

TEST_F(FileCommandsTest, FailedSaveKeepsEditingWithTheMark) {
    Changed(WS, "nodir/notes.txt");  // the write fails: no such directory
    term.AddBurst("y");
    term.AddBurst(" ");  // the key the error waits for
    Quit(ed);
    EXPECT_EQ(ed.ExitRequest, 0);
    EXPECT_EQ(ed.ChangedMark, '*');
    term.AddBurst("l");
    term.AddBurst(" ");
    Quit(ed);
    EXPECT_EQ(ed.ExitRequest, 0);
    term.AddBurst(" ");
    SaveAndQuit(ed);
    EXPECT_EQ(ed.ExitRequest, 0);
    term.AddBurst(" ");
    SaveAndLoad(ed);
    EXPECT_EQ(ed.ExitRequest, 0);
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(FileCommandsTest, SaveAndTheSaveAndGoCommands) {
    Changed();
    Save(ed);
    EXPECT_EQ(Read("notes.txt"), "new\n");
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_EQ(ed.ExitRequest, 0);
    Write("notes.txt", "changed behind our back\n");
    Save(ed);  // unchanged text: nothing is written
    EXPECT_EQ(Read("notes.txt"), "changed behind our back\n");
    SaveAndQuit(ed);
    EXPECT_EQ(ed.ExitRequest, 1);
    ed.ExitRequest = 0;
    SaveAndLoad(ed);
    EXPECT_EQ(ed.ExitRequest, 2);
}

// Another program appends to the file while it is open: every save command asks before writing over
// it; the cancel key and N write nothing and keep the mark, any other key saves. vi's w! never asks.
TEST_F(FileCommandsTest, FileChangedOnDiskIsAskedAboutByEverySave) {
    struct Case {
        const char* what;
        uint8_t mode;
        Handler command;
        const char* keys;  // read by the command before its question
        uint8_t exitRequest;
    };
    const Case cases[] = {
        {"WS ^KS", WS, Save, "", 0},        {"WS ^KX", WS, SaveAndQuit, "", 1},
        {"WS ^KD", WS, SaveAndLoad, "", 2}, {"EMACS ^X^S", EMACS, Save, "", 0},
        {"PICO ^O", PICO, Save, "", 0},     {"NEDIT ^S", NEDIT, Save, "", 0},
        {"vi :w", VI, ExCommand, "w\r", 0}, {"vi :wq", VI, ExCommand, "wq\r", 1},
        {"vi :x", VI, ExCommand, "x\r", 1}, {"vi ZZ", VI, ViZZ, "Z", 1},
        {"WS ^KQ y", WS, Quit, "y", 1},
    };
    const std::string appended = "old\n33 bytes another program wrote\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* answer : {"cancel", "n", "N", "y"}) {
            Changed(c.mode);
            Write("notes.txt", appended);
            DrawStatusLine(ed);  // so that the question is sent again
            term.output.clear();
            if (*c.keys) term.AddBurst(c.keys);
            term.AddBurst(std::string(answer) == "cancel" ? std::string(1, char(CancelKey(ed))) : answer);
            ed.ExitRequest = 0;
            c.command(ed);
            EXPECT_TRUE(Shown("FILE CHANGED, SAVE? Yn")) << answer;
            EXPECT_FALSE(term.InputLeft());
            if (*answer == 'y') {
                EXPECT_EQ(Read("notes.txt"), "new\n");
                EXPECT_EQ(Read("notes.txt~"), appended) << "the backup holds what was on disk";
                EXPECT_EQ(ed.ChangedMark, ' ');
                EXPECT_EQ(ed.ExitRequest, c.exitRequest);
            } else {
                EXPECT_EQ(Read("notes.txt"), appended) << answer;
                EXPECT_EQ(ed.ChangedMark, '*');
                EXPECT_EQ(ed.ExitRequest, 0);
            }
        }
    }

    // Once saved, the file is what the editor wrote: the next save asks nothing.
    Changed();
    Write("notes.txt", appended);
    term.AddBurst("y");
    Save(ed);
    *InPlace(ed, ed.TextStart, 1) = 'N';
    ed.ChangedMark = '*';
    term.output.clear();
    Save(ed);
    EXPECT_FALSE(Shown("FILE CHANGED"));
    EXPECT_EQ(Read("notes.txt"), "New\n");

    // vi's w! writes without asking.
    Changed(VI);
    Write("notes.txt", appended);
    term.output.clear();
    term.AddBurst("w!\r");
    ExCommand(ed);
    EXPECT_FALSE(Shown("FILE CHANGED"));
    EXPECT_EQ(Read("notes.txt"), "new\n");
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(FileCommandsTest, LoadNewQuestion) {
    Changed(EMACS);
    term.AddBurst("\x07");
    LoadNew(ed);
    EXPECT_TRUE(Shown("SAVE? Yn"));
    EXPECT_EQ(ed.ExitRequest, 0);
    term.AddBurst("n");
    LoadNew(ed);
    EXPECT_EQ(ed.ExitRequest, 2);
    EXPECT_EQ(Read("notes.txt"), "old\n");
    ed.ExitRequest = 0;
    term.AddBurst("\r");
    LoadNew(ed);
    EXPECT_EQ(ed.ExitRequest, 2);
    EXPECT_EQ(Read("notes.txt"), "new\n");
    ed.ExitRequest = 0;
    LoadNew(ed);  // unchanged now: no question
    EXPECT_EQ(ed.ExitRequest, 2);
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(FileCommandsTest, SaveAsWritesUnderTheNewName) {
    Write("notes.txt", "old\n");
    ASSERT_TRUE(LoadFile(ed, "notes.txt"));
    term.AddBurst("copy.txt\r");
    SaveAs(ed);
    EXPECT_STREQ(ed.FileName, "copy.txt");
    EXPECT_EQ(Read("copy.txt"), "old\n");
    EXPECT_EQ(ed.ChangedMark, ' ');

    term.AddBurst("\x15");  // cancelled: nothing
    SaveAs(ed);
    EXPECT_STREQ(ed.FileName, "copy.txt");
}

TEST_F(FileCommandsTest, FailedSaveAsKeepsTheOldName) {
    Write("notes.txt", "old\n");
    ASSERT_TRUE(LoadFile(ed, "notes.txt"));
    term.AddBurst("nodir/copy.txt\r");
    term.AddBurst(" ");
    SaveAs(ed);
    EXPECT_TRUE(Shown("ERROR   2 :No such file|directory"));
    EXPECT_STREQ(ed.FileName, "notes.txt");
    EXPECT_EQ(ed.ChangedMark, ' ');
}

TEST_F(FileCommandsTest, InsertFileMarksTheInsertedTextPerMode) {
    Write("part.txt", "AB\nCD\n");
    for (uint8_t mode : {WS, VI, EMACS, NEDIT, PICO}) {
        ed.EditMode = mode;
        Write("main.txt", "one\ntwo\n");
        ASSERT_TRUE(LoadFile(ed, "main.txt"));
        ed.Cursor = ed.TextStart + 4;
        ed.LineNumber = 2;
        term.AddBurst("part.txt\r");
        InsertFile(ed);
        ASSERT_EQ(Text(), "one\nAB\nCD\ntwo\n") << int(mode);
        EXPECT_EQ(ed.BlockBegin, ed.TextStart + 4);
        EXPECT_EQ(ed.BlockEnd, ed.TextStart + 10);
        if (mode == EMACS || mode == NEDIT) {
            EXPECT_EQ(ed.Mark, ed.TextStart + 10);
            EXPECT_EQ(ed.BlockVisible, 0);
            EXPECT_EQ(ed.Cursor, ed.TextStart + 4);
        } else if (mode == PICO) {
            EXPECT_EQ(ed.Cursor, ed.TextStart + 10);
            EXPECT_EQ(ed.LineNumber, 4u);
        } else {
            EXPECT_EQ(ed.Cursor, ed.TextStart + 4) << int(mode);
            EXPECT_EQ(ed.BlockVisible, 1);
        }
    }
}

TEST_F(FileCommandsTest, InsertFileFailureOrCancelChangesNothing) {
    Write("main.txt", "one\n");
    ASSERT_TRUE(LoadFile(ed, "main.txt"));
    term.AddBurst("\x15");
    InsertFile(ed);
    term.AddBurst("absent.txt\r");
    term.AddBurst(" ");
    InsertFile(ed);
    EXPECT_EQ(Text(), "one\n");
    EXPECT_EQ(ed.BlockBegin, 0u);
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(FileCommandsTest, WriteBlockNeedsAValidBlock) {
    Write("main.txt", "one\ntwo\n");
    ASSERT_TRUE(LoadFile(ed, "main.txt"));
    ed.BlockBegin = ed.TextStart;
    ed.BlockEnd = ed.TextStart + 4;
    ed.BlockVisible = 0;
    WriteBlock(ed);
    EXPECT_FALSE(Shown("NAME:"));

    ed.BlockVisible = 1;
    ed.FileMode = 0700;
    umask(022);
    term.AddBurst("block.txt\r");
    WriteBlock(ed);
    EXPECT_EQ(Read("block.txt"), "one\n");
    struct stat st;
    ASSERT_EQ(stat("block.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(ed.ChangedMark, ' ');
}

}  // namespace
