// The undo history: the record layout, taking changes back one by one in every mode, the whole-text
// snapshot file, the wrap of the stack and the records that stop an undo.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

uint32_t StackWord(const Editor& ed, size_t at) {
    const uint8_t* s = ed.undo.Stack + at;
    return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
}

// The names in the current directory, one a line.
std::string Entries() {
    std::string names;
    for (auto& e : std::filesystem::directory_iterator(".")) names += e.path().filename().string() + "\n";
    return names;
}

std::string Slurp(const char* name) {
    std::ifstream f(name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity)); }
    void TearDown() override { RemoveSnapshotFile(ed); }
    void Capacity(uint64_t c) { ASSERT_TRUE(ReserveBuffer(ed, c)); }
    // The text with the cursor at the '|' (which is not part of it).
    void Load(uint8_t mode, const std::string& marked) {
        LoadMarked(ed, mode, marked);
        ClearUndo(ed);
    }
    void Keys(const std::string& keys) {
        term.AddBurst(keys);
        while (term.InputLeft() || ed.HasReadAhead) DispatchKey(ed);
    }
    std::string Text() const {
        const std::string t = TextOf(ed);
        return t.substr(0, ed.Cursor - 1) + '|' + t.substr(ed.Cursor - 1);
    }
    std::string Plain() const { return TextOf(ed); }
    std::string Kill() const { return KillText(ed); }
    void SetKill(const std::string& k) {
        std::memcpy(ed.kill, k.data(), k.size());
        ed.KillLength = k.size();
    }
    void UndoAll() {
        for (int i = 0; i < 100000 && ed.undo.UndoTop != 4; ++i) Undo(ed);
    }
    WorkDir dir{"undo"};
    FakeTerminal term;
    Editor ed{term};
};

TEST_F(UndoTest, RecordsAreLittleEndianWordsWithASelfLink) {
    Load(NEDIT, "xabcd|");
    ASSERT_TRUE(MakeRoom(ed, 3, 2));
    EXPECT_EQ(StackWord(ed, 4), 0x12345678u);
    EXPECT_EQ(StackWord(ed, 8), 2u);  // offset from the text start
    EXPECT_EQ(StackWord(ed, 12), 2u);
    EXPECT_EQ(StackWord(ed, 16), 4u);
    EXPECT_EQ(ed.undo.Stack[4], 0x78);
    RemoveBytes(ed, 2, 5);  // "ab..c" with the two opened bytes undefined
    const uint8_t* data = ed.undo.Stack + 20 + 12;
    EXPECT_EQ(StackWord(ed, 20), 0x12345679u);
    EXPECT_EQ(StackWord(ed, 24), 1u);
    EXPECT_EQ(StackWord(ed, 28), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 2), "ab");
    EXPECT_EQ(StackWord(ed, 20 + 12 + 5), 20u);
    EXPECT_EQ(ed.undo.UndoTop, 20u + 16 + 5);
    RecordOverwrite(ed, 1);
    EXPECT_EQ(StackWord(ed, 41), 0x1234567Au);
    EXPECT_EQ(ed.undo.Stack[41 + 8], 'x');
    RecordSwap(ed, 2);
    EXPECT_EQ(StackWord(ed, 57), 0x12345677u);
    EXPECT_EQ(StackWord(ed, 57 + 12), 57u);
    EXPECT_EQ(StackWord(ed, 0), 0u);  // no wrap yet
}

TEST_F(UndoTest, TypingIsTakenBackOneByteAtATime) {
    Load(WS, "xyz|");
    Keys("abc");
    Keys("\x15");
    EXPECT_EQ(Text(), "xyzab|");
    Keys("\x15\x15");
    EXPECT_EQ(Text(), "xyz|");
    EXPECT_TRUE(ed.RecountLines || ed.LineNumber == 1);
    Keys("\x13");  // ^S: left; a fourth undo leaves text and cursor alone
    Keys("\x15");
    EXPECT_EQ(Text(), "xy|z");
}

TEST_F(UndoTest, OverwriteExchangeAndLineDeletionComeBack) {
    Load(WS, "a|xb");
    Keys("\x16y");  // ^V overwrite, then y over the x
    EXPECT_EQ(Plain(), "ayb");
    Keys("\x15");
    EXPECT_EQ(Text(), "a|xb");

    Load(EMACS, "ab|cd\nef");
    Keys("\x14");  // ^T
    ASSERT_NE(Plain(), "abcd\nef");
    Keys("\x1f");
    EXPECT_EQ(Plain(), "abcd\nef");
    Load(EMACS, "ab\n|cd");
    Keys("\x14");
    ASSERT_EQ(Plain(), "abc\nd");
    Keys("\x1f");
    EXPECT_EQ(Plain(), "ab\ncd");

    Load(WS, "one\ntw|o\nthree\n");
    Keys("\x19");  // ^Y
    ASSERT_EQ(Plain(), "one\nthree\n");
    Keys("\x15");
    EXPECT_EQ(Text(), "one\n|two\nthree\n");

    Load(VI, "a|bc");
    term.AddBurst("z");
    ViReplaceChar(ed);
    ASSERT_EQ(Plain(), "azc");
    Undo(ed);
    EXPECT_EQ(Text(), "a|bc");
}

TEST_F(UndoTest, UndoKeysOfEveryMode) {
    struct Case {
        uint8_t mode;
        const char* undo;
    } cases[] = {{WS, "\x15"}, {EMACS, "\x1f"}, {PICO, "\x11u"}, {NEDIT, "\x15"}, {VI, "u"}};
    for (const Case& c : cases) {
        Load(c.mode, "ab|c\nd");
        ed.ViCommandState = 1;
        DeleteChar(ed);
        ASSERT_EQ(Plain(), "ab\nd") << int(c.mode);
        Keys(c.undo);
        EXPECT_EQ(Text(), "ab|c\nd") << int(c.mode);
        EXPECT_TRUE(ed.RecountLines || ed.LineNumber == 1) << int(c.mode);
    }
}

TEST_F(UndoTest, BlockMarksAndMarkFollowTheUndo) {
    Load(WS, "0123|456789");
    ed.BlockBegin = 6;
    ed.BlockEnd = 9;
    ASSERT_TRUE(MakeRoom(ed, 4, 3));
    std::memcpy(At(ed, 4), "xyz", 3);
    Undo(ed);
    EXPECT_EQ(Plain(), "0123456789");
    EXPECT_EQ(ed.BlockBegin, 6u);
    EXPECT_EQ(ed.BlockEnd, 9u);
    EXPECT_EQ(ed.ChangedMark, '*');

    Load(EMACS, "0123|456789");
    ed.Mark = 8;
    RemoveBytes(ed, 2, 3);
    Undo(ed);
    EXPECT_EQ(Text(), "0|123456789");
    EXPECT_EQ(ed.Mark, 8u);
}

TEST_F(UndoTest, LargeDeletionKeepsItsSnapshotInAFileWithoutAName) {
    Capacity(300000);
    std::string text;
    for (int i = 0; text.size() < 80000; ++i) text += "line " + std::to_string(i) + "\n";
    Load(WS, text + "|");
    SetKill("clip");
    ASSERT_TRUE(RemoveBytes(ed, 101, 70000));
    EXPECT_EQ(Entries(), "") << "nothing in the directory";
    struct stat st;
    ASSERT_EQ(fstat(ed.undo.SnapshotFd, &st), 0);
    EXPECT_EQ(st.st_nlink, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(StackWord(ed, 4), 0x1234567Bu);
    EXPECT_EQ(ed.undo.UndoTop, 20u);  // a snapshot is one plain record
    Undo(ed);
    EXPECT_TRUE(Plain() == text);
    EXPECT_EQ(ed.Cursor, 101u);
    EXPECT_EQ(Kill(), "clip");
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
    EXPECT_EQ(ed.undo.UndoTop, 4u);
}

TEST_F(UndoTest, SnapshotInViKeepsTheTextExactly) {
    Capacity(300000);
    std::string text(70001, 'v');
    Load(VI, text);  // no final line feed: the file gets one, the text does not
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    Undo(ed);
    EXPECT_TRUE(Plain() == text);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
}

TEST_F(UndoTest, OnlyTheNewestSnapshotComesBack) {
    Capacity(400000);
    std::string first(90000, 'a'), second(80000, 'b');
    Load(NEDIT, first);
    ASSERT_TRUE(
        RecordDeletion(ed, ed.TextStart, SIZE_MAX));  // what the filter does before replacing the text
    PutText(ed, second);
    ASSERT_TRUE(RecordDeletion(ed, ed.TextStart, SIZE_MAX));
    EXPECT_EQ(StackWord(ed, 4), 0u);  // the first one's file is gone
    Undo(ed);
    EXPECT_TRUE(Plain() == second);
    Undo(ed);  // the invalidated record stops the undo
    EXPECT_TRUE(Plain() == second);
    EXPECT_EQ(ed.undo.UndoTop, 20u);
}

TEST_F(UndoTest, SnapshotRestoreKeepsWithinTheCapacity) {
    // Old text, snapshot and kill buffer together exceed the capacity: the snapshot is read over the
    // old text and the kill buffer is kept.
    Capacity(200000);
    std::string before(100000, 'o'), after(90000, 'n'), clip(20000, 'k');
    Load(PICO, before);
    ASSERT_TRUE(RecordDeletion(ed, ed.TextStart, SIZE_MAX));
    PutText(ed, after);
    SetKill(clip);
    Undo(ed);
    EXPECT_TRUE(Plain() == before);
    EXPECT_EQ(Kill(), clip);

    // Snapshot and kill buffer alone exceed it: the kill buffer is emptied.
    Load(PICO, before);
    ASSERT_TRUE(RecordDeletion(ed, ed.TextStart, SIZE_MAX));
    PutText(ed, before.substr(0, 10));
    SetKill(std::string(150000, 'k'));
    Undo(ed);
    EXPECT_TRUE(Plain() == before);
    EXPECT_EQ(ed.KillLength, 0u);
    EXPECT_LE(ed.TextLength() + ed.KillLength, ed.BufferCapacity);
}

TEST_F(UndoTest, SnapshotLongerThanTheCapacityIsRefused) {
    Capacity(300000);
    std::string text(100000, 't');
    Load(WS, text);
    RemoveBytes(ed, 1, 99990);
    ed.BufferCapacity = 50000;  // a smaller buffer than the one the snapshot came from
    term.AddBurst(" ");         // the key that ends the error report
    Undo(ed);
    EXPECT_TRUE(Plain() == std::string(10, 't'));
    EXPECT_NE(term.output.find("File too large"), std::string::npos);
}

TEST_F(UndoTest, NamesPlantedInTheDirectoryAndASecondEditorChangeNothing) {
    Capacity(300000);
    std::ofstream("victim") << "keep me";
    ASSERT_EQ(symlink("victim", "zt##"), 0);
    ASSERT_EQ(mkdir("zt$$", 0755), 0);
    std::string text(80000, 'p');
    Load(EMACS, text);
    FakeTerminal otherTerm;
    Editor other{otherTerm};
    ASSERT_TRUE(ReserveBuffer(other, 300000));
    LoadMarked(other, WS, std::string(90000, 'o'));
    ClearUndo(other);

    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    ASSERT_TRUE(RemoveBytes(other, 1, 80000));
    Undo(ed);
    Undo(other);
    EXPECT_TRUE(Plain() == text);
    EXPECT_EQ(TextOf(other), std::string(90000, 'o'));
    EXPECT_EQ(Slurp("victim"), "keep me");
    struct stat st;
    ASSERT_EQ(lstat("zt##", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(std::filesystem::is_directory("zt$$"));
    EXPECT_EQ(otherTerm.output.find("ERROR"), std::string::npos);
    EXPECT_EQ(term.output.find("ERROR"), std::string::npos);
}

// Where no directory takes the snapshot it goes to memory; where memory may not hold it either, the
// deletion is refused before anything changes and the history stays as it was.
TEST_F(UndoTest, SnapshotFallsBackToTheTemporaryDirectoryThenMemoryThenRefuses) {
    Capacity(300000);
    std::string text(80000, 'f');
    ASSERT_EQ(mkdir("gone", 0755), 0);
    ASSERT_EQ(chdir("gone"), 0);
    ASSERT_EQ(rmdir("../gone"), 0);  // the current directory takes no file any more
    const char* tmpdir = getenv("TMPDIR");
    std::string oldTmpdir = tmpdir ? tmpdir : "";
    setenv("TMPDIR", (dir.path() + "/missing").c_str(), 1);
    ed.TempDir = dir.path().c_str();

    Load(WS, text);
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    char link[4096] = {};
    ASSERT_GT(
        readlink(("/proc/self/fd/" + std::to_string(ed.undo.SnapshotFd)).c_str(), link, sizeof link - 1), 0);
    EXPECT_EQ(std::string(link).rfind(dir.path() + "/", 0), 0u) << link;
    Undo(ed);
    EXPECT_TRUE(Plain() == text);

    ed.TempDir = "/nonexistent-zt-dir";
    Keys("x");
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
    ASSERT_NE(ed.undo.SnapshotCopy, nullptr);
    Undo(ed);
    EXPECT_TRUE(Plain() == "x" + text);

    ed.undo.CopyLimit = 1000;
    EXPECT_FALSE(RemoveBytes(ed, 1, 70000));
    EXPECT_TRUE(ed.ErrorPending);
    EXPECT_EQ(ed.sys.ErrorNumber, err::kNoMemory);
    ed.ErrorPending = false;
    EXPECT_TRUE(Plain() == "x" + text);
    Undo(ed);
    EXPECT_TRUE(Plain() == text) << "the typed x was the newest change still";

    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    if (tmpdir)
        setenv("TMPDIR", oldTmpdir.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST_F(UndoTest, TheEditedFileNamedLikeTheSnapshotIsNotReplaced) {
    Capacity(300000);
    std::string text(80000, 'e');
    std::ofstream("zt##") << text;
    std::strcpy(ed.FileName, "zt##");
    Load(WS, text);
    term.AddBurst(" ");
    RemoveBytes(ed, 1, 70000);
    EXPECT_TRUE(Slurp("zt##") == text);
    RemoveSnapshotFile(ed);
    EXPECT_TRUE(Slurp("zt##") == text);
}

TEST_F(UndoTest, LoadingAndModeChangeEmptyTheHistory) {
    std::ofstream("other.txt") << "fresh\n";
    Load(WS, "abc|");
    Keys("xy");
    ASSERT_TRUE(LoadFile(ed, "other.txt"));
    Undo(ed);
    EXPECT_EQ(Plain(), "fresh\n");
    EXPECT_EQ(ed.Cursor, 1u);

    Load(WS, "abc|");
    Keys("xy");
    term.AddBurst("ztem\r");
    SetMode(ed);
    Undo(ed);
    EXPECT_EQ(Plain(), "abcxy");
}

TEST_F(UndoTest, LoadingLetsGoOfTheSnapshot) {
    Capacity(300000);
    Load(WS, std::string(80000, 'l'));
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    ASSERT_GE(ed.undo.SnapshotFd, 0);
    ClearUndo(ed);
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
    EXPECT_EQ(Entries(), "");
}

struct Lost {};
[[noreturn]] void ThrowLost(Editor&, int) { throw Lost{}; }

TEST_F(UndoTest, EveryExitLeavesNothingBehind) {
    Capacity(300000);
    Load(WS, std::string(80000, 'x'));
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    LeaveEditor(ed);
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
    EXPECT_EQ(Entries(), "");

    Load(WS, std::string(80000, 'x'));
    std::strcpy(ed.FileName, "file.txt");
    ASSERT_TRUE(RemoveBytes(ed, 1, 70000));
    ed.Exit = ThrowLost;
    EXPECT_THROW(TerminalLost(ed), Lost);
    EXPECT_EQ(ed.undo.SnapshotFd, -1);
}

TEST_F(UndoTest, WrapGoesBackIntoOldRecordsUntilAnOverwrittenOne) {
    Capacity(400000);
    Load(NEDIT, "");
    // 16-byte records: 4095 of them fill the stack up to its nominal end.
    std::string typed;
    for (int i = 0; i < 4095; ++i) {
        uint8_t c = uint8_t('a' + i % 26);
        TypeByte(ed, c);
        typed += char(c);
    }
    ASSERT_EQ(ed.undo.UndoTop, 4u + 4095 * 16);
    ASSERT_EQ(StackWord(ed, 0), 0u);
    for (int i = 0; i < 10; ++i) TypeByte(ed, '#');
    EXPECT_EQ(StackWord(ed, 0), 4u + 4094 * 16);  // the bottom link: the newest record before the wrap
    EXPECT_EQ(ed.undo.UndoTop, 4u + 10 * 16);
    for (int i = 0; i < 10; ++i) Undo(ed);
    EXPECT_TRUE(Plain() == typed);
    // Back through the old records down to the first one the new records covered.
    for (int i = 0; i < 4085; ++i) Undo(ed);
    EXPECT_EQ(Plain(), typed.substr(0, 10));
    Pos cursor = ed.Cursor;
    Undo(ed);
    Undo(ed);
    EXPECT_EQ(Plain(), typed.substr(0, 10));
    EXPECT_EQ(ed.Cursor, cursor);
}

TEST_F(UndoTest, RecordsCrossingTheNominalEndAndLargeDeletionsWrap) {
    Capacity(400000);
    std::string text(130000, 'w');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char('a' + i % 23);
    Load(WS, text);
    RemoveBytes(ed, 1, 60000);  // fills the stack up to offset 60,020
    std::string afterFirst = Plain();
    RemoveBytes(ed, 1, 5480);  // starts at 60,020 and ends past the nominal end
    EXPECT_EQ(ed.undo.UndoTop, 60020u + 16 + 5480);
    RemoveBytes(ed, 1, 60000);  // wraps and covers the first deletion
    EXPECT_EQ(ed.undo.UndoTop, 4u + 16 + 60000);
    Undo(ed);
    Undo(ed);
    EXPECT_TRUE(Plain() == afterFirst);
    Undo(ed);  // the first record is gone: nothing happens
    EXPECT_TRUE(Plain() == afterFirst);
}

TEST_F(UndoTest, BrokenRecordsStopTheUndo) {
    Load(WS, "abc|");
    Keys("xyz");
    size_t top = ed.undo.UndoTop;
    ed.undo.Stack[top - 4] ^= 1;  // the link no longer points at its record
    Undo(ed);
    Undo(ed);
    EXPECT_EQ(Text(), "abcxyz|");
    EXPECT_EQ(ed.undo.UndoTop, top);
    ed.undo.Stack[top - 4] ^= 1;

    // An insertion record whose count runs past the text.
    ed.undo.Stack[top - 16 + 8] = 200;
    Undo(ed);
    EXPECT_EQ(Text(), "abcxyz|");
    ed.undo.Stack[top - 16 + 8] = 1;

    // An unknown kind.
    ed.undo.Stack[top - 16] = 0x70;
    Undo(ed);
    EXPECT_EQ(Text(), "abcxyz|");
    ed.undo.Stack[top - 16] = 0x78;
    Undo(ed);
    EXPECT_EQ(Text(), "abcxy|");

    // A swap record at the first text byte would exchange the leading line feed.
    Load(EMACS, "ab");
    RecordSwap(ed, 2);
    ed.undo.Stack[ed.undo.UndoTop - 16 + 4] = 0;
    Undo(ed);
    EXPECT_EQ(Plain(), "ab");
    EXPECT_EQ(ByteAt(ed, 0), '\n');
}

TEST_F(UndoTest, DeletionWithoutRoomKeepsItsRecord) {
    Capacity(100);
    Load(PICO, std::string(50, 'r'));
    RemoveBytes(ed, 1, 20);
    SetKill(std::string(70, 'k'));  // leaves 0 bytes of room
    term.AddBurst(" ");             // ends the "Memory exhausted" report
    Undo(ed);
    EXPECT_TRUE(Plain() == std::string(30, 'r'));
    ed.KillLength = 0;
    Undo(ed);
    EXPECT_TRUE(Plain() == std::string(50, 'r'));
}

// Random editing in each mode, then undo everything: the text is back byte for byte.
TEST_F(UndoTest, RandomEditsAreUndoneByteForByte) {
    const uint8_t modes[] = {WS, EMACS, PICO, NEDIT, VI};
    std::string original = "alpha beta\n\tgamma delta\n\nepsilon  zeta eta\ntheta\niota kappa lambda\n";
    for (unsigned seed = 1; seed <= 40; ++seed) {
        uint8_t mode = modes[seed % 5];
        Load(mode, original);
        std::mt19937 rng(seed);
        for (int step = 0; step < 250; ++step) {
            unsigned r = rng() % 30;
            switch (r) {
                case 0:
                case 1:
                case 2:
                case 3:
                    TypeByte(ed, uint8_t(" abcxyz\t"[rng() % 8]));
                    break;
                case 4:
                    ed.InsertMode = ed.InsertMode == kInsert ? kOverwrite : kInsert;
                    break;
                case 5:
                    NewLine(ed);
                    break;
                case 6:
                    DeleteChar(ed);
                    break;
                case 7:
                    DeleteLeft(ed);
                    break;
                case 8:
                    DeleteWord(ed);
                    break;
                case 9:
                    DeleteLine(ed);
                    break;
                case 10:
                    KillLine(ed);
                    break;
                case 11:
                    DeleteToLineEnd(ed);
                    break;
                case 12:
                    DeleteToLineStart(ed);
                    break;
                case 13:
                    JoinLines(ed);
                    break;
                case 14:
                    TransposeChars(ed);
                    break;
                case 15:
                    if (mode == WS || mode == VI)
                        MarkBlockBegin(ed);
                    else
                        SetMark(ed);
                    break;
                case 16:
                    if (mode == WS || mode == VI)
                        MarkBlockEnd(ed);
                    else
                        CopyRegion(ed);
                    break;
                case 17:
                    if (mode == WS)
                        MoveBlock(ed);
                    else
                        CutRegion(ed);
                    break;
                case 18:
                    if (mode == WS)
                        CopyBlock(ed);
                    else
                        Paste(ed);
                    break;
                case 19:
                    if (mode == WS)
                        DeleteBlock(ed);
                    else
                        Paste(ed);
                    break;
                case 20:
                    term.AddBurst(std::string(1, "q\r "[rng() % 3]));
                    ViReplaceChar(ed);
                    break;
                case 21:
                    OpenLine(ed);
                    break;
                case 22:
                    CharLeft(ed);
                    break;
                case 23:
                    CharRight(ed);
                    break;
                case 24:
                    LineUp(ed);
                    break;
                case 25:
                    LineDown(ed);
                    break;
                case 26:
                    WordRight(ed);
                    break;
                case 27:
                    LineStart(ed);
                    break;
                case 28:
                    LineEnd(ed);
                    break;
                default:
                    ed.Cursor = ed.TextStart + rng() % (ed.TextLength() + 1);
                    break;
            }
            if (ed.Cursor > ed.TextEnd) ed.Cursor = ed.TextEnd;
            RecountLineNumber(ed);
            ASSERT_EQ(ByteAt(ed, ed.TextEnd), '\n');
        }
        ASSERT_EQ(StackWord(ed, 0), 0u) << "the stack wrapped; seed " << seed;
        ASSERT_FALSE(term.InputLeft());
        UndoAll();
        EXPECT_EQ(Plain(), original) << "mode " << int(mode) << " seed " << seed;
        EXPECT_EQ(ed.undo.UndoTop, 4u);
    }
}

}  // namespace
