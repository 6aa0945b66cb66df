// Loading files into the edit buffer and inserting them at the cursor, on real files in a fresh
// directory per test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class LoadTest : public ::testing::Test {
protected:
    WorkDir workDir{"load"};
    const std::string& dir = workDir.path();
    FakeTerminal term{24, 80};
    Editor ed{term};

    void SetUp() override { ed.Exit = ThrowOnExit; }
    static void Write(const std::string& name, const std::string& content, mode_t mode = 0644) {
        WriteFile(name, content, mode);
    }
    std::string Text() const { return TextOf(ed); }
    bool Shown(const std::string& s) const { return term.output.find(s) != std::string::npos; }
};

TEST_F(LoadTest, EmptyExistingFile) {
    Write("empty.txt", "", 0600);
    ASSERT_TRUE(LoadFile(ed, "empty.txt"));
    EXPECT_EQ(ed.TextLength(), 0u);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_EQ(ed.BufferCapacity, 102400u);
    EXPECT_EQ(ed.FileMode, 0600u);
    EXPECT_EQ(ed.FileUid, uint32_t(getuid()));
    EXPECT_TRUE(ed.FileExisted);
    EXPECT_STREQ(ed.FileName, "empty.txt");
}

TEST_F(LoadTest, MissingFileIsNewAndSilent) {
    ASSERT_TRUE(LoadFile(ed, "missing.txt"));
    EXPECT_EQ(ed.TextLength(), 0u);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_FALSE(ed.FileExisted);
    EXPECT_EQ(ed.FileMode, 0644u);
    EXPECT_EQ(ed.FileUid, 0xFFFFFFFFu);
    EXPECT_FALSE(Shown("ERROR"));
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(LoadTest, TenThousandBytesWithoutFinalLineFeed) {
    std::string content(10000, 'a');
    content[4000] = '\n';
    Write("big.txt", content);
    ASSERT_TRUE(LoadFile(ed, "big.txt"));
    EXPECT_EQ(ed.BufferCapacity, 122400u);
    EXPECT_EQ(Text(), content);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_EQ(ByteAt(ed, 0), '\n');
    EXPECT_EQ(ed.Cursor, ed.TextStart);
    EXPECT_EQ(ed.ChangedMark, ' ');
}

TEST_F(LoadTest, SetIdBitsAreDropped) {
    Write("prog", "#!/bin/sh\n");
    ASSERT_EQ(chmod("prog", 04755), 0);
    ASSERT_TRUE(LoadFile(ed, "prog"));
    EXPECT_EQ(ed.FileMode, 0755u);
    struct stat st;
    ASSERT_EQ(stat("prog", &st), 0);
    EXPECT_EQ(ed.FileModTime, st.st_mtime);
}

TEST_F(LoadTest, EveryLoadStartsTheFileAfresh) {
    Write("a.txt", "first\n");
    Write("b.txt", "second file\n");
    ASSERT_TRUE(LoadFile(ed, "a.txt"));
    ed.ChangedMark = '*';
    ed.Mark = 3;
    ed.BlockBegin = 2;
    ed.BlockEnd = 4;
    ed.BlockVisible = 0;
    ed.ExitRequest = 2;
    ed.InsertMode = kOverwrite;
    ed.ViCommandState = 0;
    ed.LineNumber = 7;
    ed.Cursor = 5;
    ed.sys.ErrorNumber = 12;
    ComposeErrorText(ed);
    ASSERT_TRUE(LoadFile(ed, "b.txt"));
    EXPECT_EQ(Text(), "second file\n");
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_EQ(ed.Mark, 0u);
    EXPECT_EQ(ed.BlockBegin, 0u);
    EXPECT_EQ(ed.BlockEnd, 0u);
    EXPECT_EQ(ed.BlockVisible, 1);
    EXPECT_EQ(ed.ExitRequest, 0);
    EXPECT_EQ(ed.InsertMode, kInsert);
    EXPECT_EQ(ed.ViCommandState, 1);
    EXPECT_EQ(ed.LineNumber, 1u);
    EXPECT_EQ(ed.Cursor, ed.TextStart);
    EXPECT_STREQ(ed.ErrorText, "ERROR   ");
}

TEST_F(LoadTest, DirectoryOpensButIsReportedAndFails) {
    ASSERT_EQ(mkdir("sub", 0755), 0);
    term.AddBurst("x");
    EXPECT_FALSE(LoadFile(ed, "sub"));
    EXPECT_TRUE(Shown("ERROR  21 :Is a directory"));
    EXPECT_EQ(ed.TextLength(), 0u);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_STREQ(ed.FileName, "sub");
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(LoadTest, TooLongNameIsRefused) {
    std::string name(300, 'n');
    term.AddBurst("x");
    EXPECT_FALSE(LoadFile(ed, name.c_str()));
    EXPECT_TRUE(Shown("File name too long"));
    EXPECT_EQ(ed.TextLength(), 0u);
}

TEST_F(LoadTest, WithoutANameThePromptAsks) {
    Write("notes.txt", "hello\n");
    term.AddBurst("notes.txt\r");
    ASSERT_TRUE(LoadFile(ed, nullptr));
    EXPECT_TRUE(Shown("FILENAME:"));
    EXPECT_STREQ(ed.FileName, "notes.txt");
    EXPECT_EQ(Text(), "hello\n");
    EXPECT_EQ(ed.ChangedMark, ' ');
}

TEST_F(LoadTest, EmptyAnswerAtThePromptFails) {
    term.AddBurst("\r");
    EXPECT_FALSE(LoadFile(ed, nullptr));
}

// A sparse file of 4 GiB costs no disk space; it must be refused, never cut to what fits.
TEST_F(LoadTest, FourGibibytesAndMoreAreRefused) {
    int fd = open("huge", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(1) << 32), 0);
    close(fd);
    term.AddBurst("x");
    EXPECT_FALSE(LoadFile(ed, "huge"));
    EXPECT_TRUE(Shown("ERROR  27 :File too large"));
    EXPECT_EQ(ed.TextLength(), 0u);
    EXPECT_LE(ed.reserved, 1u << 20);
}

uint64_t AddressSpaceInUse() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmSize:") {
            uint64_t kb = 0;
            in >> kb;
            return kb * 1024;
        }
    }
    return 0;
}

TEST_F(LoadTest, RefusedMemoryIsReportedAndTheLoadFails) {
    int fd = open("large", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 200 << 20), 0);  // needs a reservation of about 400 MB
    close(fd);
    uint64_t used = AddressSpaceInUse();
    ASSERT_GT(used, 0u);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    struct rlimit tight = old;
    tight.rlim_cur = used + (64 << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    term.AddBurst("x");
    bool loaded = LoadFile(ed, "large");
    setrlimit(RLIMIT_AS, &old);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(Shown("ERROR  12 :Memory exhausted"));
    ASSERT_NE(ed.buf, nullptr);
    EXPECT_EQ(ed.TextLength(), 0u);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
}

TEST_F(LoadTest, InsertAtTheCursor) {
    Write("main.txt", "one\ntwo\n");
    Write("part.txt", "INSERT");
    ASSERT_TRUE(LoadFile(ed, "main.txt"));
    ed.Cursor = ed.TextStart + 4;
    size_t n = 0;
    ASSERT_TRUE(InsertFileAtCursor(ed, "part.txt", &n));
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(Text(), "one\nINSERTtwo\n");
    EXPECT_EQ(ed.ChangedMark, '*');
}

TEST_F(LoadTest, InsertFailuresChangeNothing) {
    Write("main.txt", "one\ntwo\n");
    Write("toolarge.txt", std::string(200000, 'z'));
    ASSERT_TRUE(LoadFile(ed, "main.txt"));
    ASSERT_EQ(mkdir("sub", 0755), 0);
    size_t n = 99;
    term.AddBurst("x");
    EXPECT_FALSE(InsertFileAtCursor(ed, "nothere.txt", &n));
    EXPECT_TRUE(Shown("ERROR   2 :No such file|directory"));
    term.AddBurst("x");
    EXPECT_FALSE(InsertFileAtCursor(ed, "toolarge.txt", &n));
    EXPECT_TRUE(Shown("ERROR  12 :Memory exhausted"));
    term.AddBurst("x");
    EXPECT_FALSE(InsertFileAtCursor(ed, "sub", &n));
    EXPECT_TRUE(Shown("ERROR  21 :Is a directory"));
    EXPECT_EQ(Text(), "one\ntwo\n");
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(term.InputLeft());
}

}  // namespace
