// Saving with backup copies, links, modes and owners, failures that must keep the old files, and the
// range writer; on real files in a fresh directory per test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
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

// Runs a piece of a test as the unprivileged user, so that permission checks apply even under root.
class AsNobody {
public:
    AsNobody() {
        if (geteuid() != 0 || setresgid(65534, 65534, 0) != 0) return;
        dropped_ = setresuid(65534, 65534, 0) == 0;
        if (!dropped_) (void)setresgid(0, 0, 0);
    }
    ~AsNobody() {
        if (dropped_) {
            (void)setresuid(0, 0, 0);
            (void)setresgid(0, 0, 0);
        }
    }

private:
    bool dropped_ = false;
};

class SaveTest : public ::testing::Test {
protected:
    WorkDir workDir{"save"};
    const std::string& dir = workDir.path();
    FakeTerminal term{24, 80};
    Editor ed{term};
    mode_t oldMask = 0;

    void SetUp() override {
        ed.Exit = ThrowOnExit;
        chmod(dir.c_str(), 0777);  // open to the unprivileged user of the permission tests
        oldMask = umask(022);
    }
    void TearDown() override { umask(oldMask); }
    static void Write(const std::string& name, const std::string& content, mode_t mode = 0644) {
        WriteFile(name, content, mode);
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static mode_t Mode(const std::string& name) {
        struct stat st;
        return stat(name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    static bool Exists(const std::string& name) {
        struct stat st;
        return lstat(name.c_str(), &st) == 0;
    }
    // The text replaced as an edit would, the changed mark set.
    void SetText(const std::string& s) {
        PutText(ed, s);
        ed.ChangedMark = '*';
    }
    void LoadAndEdit(const char* name, const std::string& text) {
        ASSERT_TRUE(LoadFile(ed, name));
        SetText(text);
    }
    size_t FilesInDir() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
        return n;
    }
    bool Shown(const std::string& s) const { return term.output.find(s) != std::string::npos; }
};

TEST_F(SaveTest, UnchangedTextWritesNothing) {
    Write("notes.txt", "old\n");
    ASSERT_TRUE(LoadFile(ed, "notes.txt"));
    EXPECT_TRUE(SaveFile(ed));
    EXPECT_FALSE(Exists("notes.txt~"));
    EXPECT_FALSE(Shown("SAVE:"));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(SaveTest, OldVersionBecomesTheBackup) {
    Write("notes.txt", "old\n");
    LoadAndEdit("notes.txt", "new text\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_TRUE(Shown("   SAVE:"));
    EXPECT_EQ(Read("notes.txt"), "new text\n");
    EXPECT_EQ(Read("notes.txt~"), "old\n");
    EXPECT_EQ(FilesInDir(), 2u);  // no temporary file left behind
    EXPECT_FALSE(term.InputLeft());

    SetText("third\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("notes.txt"), "third\n");
    EXPECT_EQ(Read("notes.txt~"), "new text\n");
}

TEST_F(SaveTest, ModeBitsSurviveTheUmask) {
    for (mode_t mode : {0600, 0755, 0700}) {
        std::string name = std::to_string(mode) + ".txt";
        Write(name, "x\n", mode);
        LoadAndEdit(name.c_str(), "y\n");
        ASSERT_TRUE(SaveFile(ed)) << name;
        EXPECT_EQ(Mode(name), mode) << name;
        EXPECT_EQ(Read(name), "y\n");
    }
}

TEST_F(SaveTest, NewFileGetsDefaultModeLessUmask) {
    umask(027);
    LoadAndEdit("fresh.txt", "hello\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Mode("fresh.txt"), 0640u);
    EXPECT_EQ(Read("fresh.txt"), "hello\n");
    EXPECT_FALSE(Exists("fresh.txt~"));
    // The second save keeps that mode, even with another umask.
    umask(0);
    SetText("again\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Mode("fresh.txt"), 0640u);
    EXPECT_EQ(Read("fresh.txt~"), "hello\n");
}

TEST_F(SaveTest, OwnerIsKept) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
    Write("owned.txt", "old\n");
    ASSERT_EQ(chown("owned.txt", 1234, 2345), 0);
    LoadAndEdit("owned.txt", "new\n");
    ASSERT_TRUE(SaveFile(ed));
    struct stat st;
    ASSERT_EQ(stat("owned.txt", &st), 0);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 2345u);
}

TEST_F(SaveTest, SymbolicLinkStaysALink) {
    ASSERT_EQ(mkdir("real", 0755), 0);
    Write("real/target.txt", "old content\n", 0640);
    struct utimbuf t {
        5000, 1234567
    };
    ASSERT_EQ(utime("real/target.txt", &t), 0);
    ASSERT_EQ(symlink("real/target.txt", "link.txt"), 0);
    LoadAndEdit("link.txt", "new content\n");
    ASSERT_TRUE(SaveFile(ed));

    struct stat st;
    ASSERT_EQ(lstat("link.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Read("real/target.txt"), "new content\n");
    EXPECT_EQ(Mode("real/target.txt"), 0640u);
    ASSERT_EQ(lstat("link.txt~", &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(Read("link.txt~"), "old content\n");
    EXPECT_EQ(st.st_mtime, 1234567);
    EXPECT_EQ(st.st_atime, 0);
    EXPECT_FALSE(Exists("real/target.txt~"));
    EXPECT_EQ(FilesInDir(), 3u);
}

// A file swapped for a link to another file while it is edited: the save asks, and then replaces the
// link by a file of its own; the file the link led to is neither written nor copied into a backup.
TEST_F(SaveTest, LinkPutInPlaceOfTheFileIsReplacedNotFollowed) {
    Write("secret", "root's own text\n", 0600);
    Write("f.txt", "user text\n");
    for (const char* answer : {"n", "y"}) {
        LoadAndEdit("f.txt", "edited\n");
        ASSERT_EQ(unlink("f.txt"), 0);
        ASSERT_EQ(symlink("secret", "f.txt"), 0);
        term.AddBurst(answer);
        bool saved = SaveIfChanged(ed);
        EXPECT_TRUE(Shown("FILE CHANGED, SAVE? Yn"));
        EXPECT_EQ(Read("secret"), "root's own text\n");
        EXPECT_EQ(Mode("secret"), 0600u);
        EXPECT_FALSE(Exists("f.txt~") && Read("f.txt~") == "root's own text\n");
        if (*answer == 'n') {
            EXPECT_FALSE(saved);
            EXPECT_TRUE(std::filesystem::is_symlink("f.txt"));
            ASSERT_EQ(unlink("f.txt"), 0);
            Write("f.txt", "user text\n");
        } else {
            EXPECT_TRUE(saved);
            EXPECT_FALSE(std::filesystem::is_symlink("f.txt"));
            EXPECT_EQ(Read("f.txt"), "edited\n");
            EXPECT_EQ(Mode("f.txt"), 0644u) << "the mode of the file that was loaded";
        }
    }
    EXPECT_FALSE(term.InputLeft());
}

// A directory whose default ACL names a user: a new file made there would carry that user's entry,
// which the file saved never had. The saved file has the attributes of the old one and no others.
TEST_F(SaveTest, NoAclComesFromTheDirectory) {
    ASSERT_EQ(mkdir("shared", 0755), 0);
    Write("plain.txt", "old\n", 0644);
    ASSERT_EQ(rename("plain.txt", "shared/plain.txt"), 0);  // made before the default, so without one
    std::string acl;
    auto put = [&acl](uint16_t tag, uint16_t perm, uint32_t id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2);
        acl.append(reinterpret_cast<const char*>(&perm), 2);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    };
    uint32_t version = 2;
    acl.append(reinterpret_cast<const char*>(&version), 4);
    put(0x01, 7, ~0u), put(0x02, 7, 1234), put(0x04, 5, ~0u), put(0x10, 7, ~0u), put(0x20, 5, ~0u);
    if (setxattr("shared", "system.posix_acl_default", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no ACLs on this file system";
    LoadAndEdit("shared/plain.txt", "new\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("shared/plain.txt"), "new\n");
    EXPECT_EQ(llistxattr("shared/plain.txt", nullptr, 0), 0) << "no attributes, as before";
    EXPECT_EQ(Mode("shared/plain.txt"), 0644u);
}

TEST_F(SaveTest, LinkChainsAndDanglingLinksAreFollowed) {
    ASSERT_EQ(mkdir("a", 0755), 0);
    ASSERT_EQ(mkdir("a/b", 0755), 0);
    Write("a/b/end.txt", "end\n");
    ASSERT_EQ(symlink("b/end.txt", "a/mid"), 0);  // relative to the link's own directory
    ASSERT_EQ(symlink("a/mid", "first"), 0);
    LoadAndEdit("first", "changed\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("a/b/end.txt"), "changed\n");
    EXPECT_TRUE(std::filesystem::is_symlink("first"));
    EXPECT_TRUE(std::filesystem::is_symlink("a/mid"));

    ASSERT_EQ(symlink("later.txt", "dangling"), 0);
    LoadAndEdit("dangling", "created\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_TRUE(std::filesystem::is_symlink("dangling"));
    EXPECT_EQ(Read("later.txt"), "created\n");
}

TEST_F(SaveTest, NamesUnderTmpGetNoBackup) {
    ASSERT_EQ(dir.compare(0, 4, "/tmp"), 0);
    std::string name = dir + "/x";
    Write(name, "old\n");
    LoadAndEdit(name.c_str(), "new\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read(name), "new\n");
    EXPECT_FALSE(Exists(name + "~"));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(SaveTest, ReadOnlyFileIsRefused) {
    Write("ro.txt", "keep\n", 0444);
    LoadAndEdit("ro.txt", "lost\n");
    term.AddBurst("x");
    bool saved;
    {
        AsNobody nobody;
        if (geteuid() == 0) GTEST_SKIP() << "no unprivileged user to test with";
        saved = SaveFile(ed);
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(Shown("ERROR  13 :Permission denied"));
    EXPECT_EQ(Read("ro.txt"), "keep\n");
    EXPECT_FALSE(Exists("ro.txt~"));
    EXPECT_FALSE(term.InputLeft());
}

// A group member saves root's group-writable file: a new file could only be the member's own, so the
// file is written where it is, after a complete backup copy, and stays root's.
TEST_F(SaveTest, FileOfAnOwnerTheUserCannotGiveIsWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make another user's file";
    Write("shared.txt", "old text\n", 0664);
    ASSERT_EQ(chown("shared.txt", 0, 65534), 0);  // root's, in the group AsNobody takes
    struct stat before;
    ASSERT_EQ(stat("shared.txt", &before), 0);
    LoadAndEdit("shared.txt", "the member's text\n");
    bool saved;
    {
        AsNobody member;
        if (geteuid() == 0) GTEST_SKIP() << "no unprivileged user to test with";
        saved = SaveIfChanged(ed);
    }
    EXPECT_TRUE(saved);
    struct stat after;
    ASSERT_EQ(stat("shared.txt", &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(after.st_gid, 65534u);
    EXPECT_EQ(after.st_mode & 07777, 0664u);
    EXPECT_EQ(Read("shared.txt"), "the member's text\n");
    EXPECT_EQ(Read("shared.txt~"), "old text\n");
    EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(SaveTest, RootMayReplaceAReadOnlyFile) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may write a read-only file";
    Write("ro.txt", "old\n", 0444);
    LoadAndEdit("ro.txt", "new\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("ro.txt"), "new\n");
    EXPECT_EQ(Mode("ro.txt"), 0444u);
}

TEST_F(SaveTest, UnwritableDirectoryFailsAndKeepsTheFile) {
    ASSERT_EQ(mkdir("locked", 0777), 0);
    Write("locked/f.txt", "keep\n", 0666);
    LoadAndEdit("locked/f.txt", "lost\n");
    ASSERT_EQ(chmod("locked", 0555), 0);
    term.AddBurst("x");
    bool saved;
    {
        AsNobody nobody;
        if (geteuid() == 0) GTEST_SKIP() << "no unprivileged user to test with";
        saved = SaveFile(ed);
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(Shown("ERROR  13 :Permission denied"));
    EXPECT_EQ(Read("locked/f.txt"), "keep\n");
    EXPECT_FALSE(Exists("locked/f.txt~"));
}

TEST_F(SaveTest, NameInAMissingDirectoryFails) {
    LoadAndEdit("nodir/f.txt", "text\n");
    term.AddBurst("x");
    EXPECT_FALSE(SaveFile(ed));
    EXPECT_TRUE(Shown("ERROR   2 :No such file|directory"));
    EXPECT_FALSE(term.InputLeft());
}

// A write that fails halfway (here: a file size limit) must leave the old file and its backup
// exactly as they were, and no temporary file behind.
TEST_F(SaveTest, FailedWriteKeepsOldFileAndBackup) {
    Write("notes.txt", "old\n");
    Write("notes.txt~", "older backup\n");
    LoadAndEdit("notes.txt", std::string(50000, 'n'));
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit tight = old;
    tight.rlim_cur = 1000;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    term.AddBurst("x");
    bool saved = SaveFile(ed);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(Shown("ERROR  27 :File too large"));
    EXPECT_EQ(Read("notes.txt"), "old\n");
    EXPECT_EQ(Read("notes.txt~"), "older backup\n");
    EXPECT_EQ(FilesInDir(), 2u);
    EXPECT_EQ(ed.ChangedMark, '*');
}

TEST_F(SaveTest, ViAddsTheClosingLineFeed) {
    ed.EditMode = VI;
    LoadAndEdit("vi.txt", "abc");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("vi.txt"), "abc\n");
    SetText("abc\n");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("vi.txt"), "abc\n");
    SetText("");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("vi.txt"), "");

    ed.EditMode = WS;
    SetText("abc");
    ASSERT_TRUE(SaveFile(ed));
    EXPECT_EQ(Read("vi.txt"), "abc");
}

TEST_F(SaveTest, WriteRangeCreatesAndTruncates) {
    umask(022);
    Write("out.txt", "a much longer old content\n", 0600);
    LoadAndEdit("main.txt", "0123456789");
    ASSERT_TRUE(WriteRange(ed, "out.txt", ed.TextStart + 2, ed.TextStart + 5));
    EXPECT_EQ(Read("out.txt"), "234");
    EXPECT_EQ(Mode("out.txt"), 0600u);  // an existing file keeps its mode
    ASSERT_TRUE(WriteRange(ed, "new.txt", ed.TextStart, ed.TextEnd));
    EXPECT_EQ(Read("new.txt"), "0123456789");
    EXPECT_EQ(Mode("new.txt"), 0644u);
    Write("tool", "old", 06755);
    ASSERT_TRUE(WriteRange(ed, "tool", ed.TextStart, ed.TextEnd));
    EXPECT_EQ(Mode("tool"), 0755u) << "no file written keeps a set-id bit";
}

TEST_F(SaveTest, PrivateRangeIsExclusiveAndRefusesLinks) {
    LoadAndEdit("main.txt", "secret");
    Write("snap", "old snapshot", 0644);
    ASSERT_TRUE(WriteRange(ed, "snap", ed.TextStart, ed.TextEnd, true));
    EXPECT_EQ(Read("snap"), "secret");
    EXPECT_EQ(Mode("snap"), 0600u);

    Write("victim", "untouched");
    ASSERT_EQ(symlink("victim", "planted"), 0);
    term.AddBurst("x");
    EXPECT_FALSE(WriteRange(ed, "planted", ed.TextStart, ed.TextEnd, true));
    EXPECT_TRUE(Shown("ERROR  17 :File exists"));
    EXPECT_EQ(Read("victim"), "untouched");
    EXPECT_TRUE(std::filesystem::is_symlink("planted"));
}

TEST_F(SaveTest, BlockWriteInViAddsLineFeedOnlyAtTextEnd) {
    ed.EditMode = VI;
    LoadAndEdit("main.txt", "one\ntwo");
    ed.BlockBegin = ed.TextStart;
    ed.BlockEnd = ed.TextStart + 3;
    ASSERT_TRUE(WriteBlockToFile(ed, "inner.txt"));
    EXPECT_EQ(Read("inner.txt"), "one");
    ed.BlockBegin = ed.TextStart + 4;
    ed.BlockEnd = ed.TextEnd;
    ASSERT_TRUE(WriteBlockToFile(ed, "tail.txt"));
    EXPECT_EQ(Read("tail.txt"), "two\n");
    EXPECT_EQ(ed.ChangedMark, '*');
}

// The emergency copy: never over an existing file, never through a link, private, and somewhere.
TEST_F(SaveTest, EmergencyCopiesAreNumbered) {
    LoadAndEdit("notes.txt", "unsaved work\n");
    char written[4200];
    ASSERT_TRUE(EmergencySave(ed, written, sizeof written));
    EXPECT_STREQ(written, "notes.txt.save");
    EXPECT_EQ(Read("notes.txt.save"), "unsaved work\n");
    EXPECT_EQ(Mode("notes.txt.save"), 0600u);
    Write("victim", "untouched");
    ASSERT_EQ(symlink("victim", "notes.txt.save.1"), 0);  // a planted link is passed over
    ASSERT_TRUE(EmergencySave(ed, written, sizeof written));
    EXPECT_STREQ(written, "notes.txt.save.2");
    EXPECT_EQ(Read("notes.txt.save.2"), "unsaved work\n");
    EXPECT_EQ(Read("victim"), "untouched");
    EXPECT_EQ(Read("notes.txt.save"), "unsaved work\n");
    EXPECT_EQ(term.output, "");
}

TEST_F(SaveTest, EmergencyCopyWithoutANameAndInHome) {
    ASSERT_TRUE(LoadFile(ed, "x"));
    ed.FileName[0] = 0;
    SetText("nameless");
    char written[4200];
    ASSERT_TRUE(EmergencySave(ed, written, sizeof written));
    EXPECT_STREQ(written, "zt.save");
    EXPECT_EQ(Read("zt.save"), "nameless");

    // The file's directory is unusable: the copy goes home.
    ASSERT_EQ(mkdir("home", 0700), 0);
    std::string home = dir + "/home";
    const char* oldHome = getenv("HOME");
    std::string saveHome = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    LoadAndEdit("gone/notes.txt", "rescued\n");
    bool ok = EmergencySave(ed, written, sizeof written);
    if (oldHome)
        setenv("HOME", saveHome.c_str(), 1);
    else
        unsetenv("HOME");
    ASSERT_TRUE(ok);
    EXPECT_EQ(std::string(written), home + "/notes.txt.save");
    EXPECT_EQ(Read(home + "/notes.txt.save"), "rescued\n");
    EXPECT_EQ(Mode(home + "/notes.txt.save"), 0600u);
}

}  // namespace
