// Every way a save can go, under a failure of each system call it makes, one at a time: the n-th
// open, read, write, fsync, close, rename, link, unlink, fchown, fchmod, truncate or attribute call
// fails with a chosen error, or a write moves only half its bytes. Before every call and after the
// save, the file or its backup must hold the last text saved; a failed save keeps the "*", leaves
// the exit request alone and no temporary file behind; a save that succeeds keeps what the file was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kGood = "the last text saved\nsecond line\n";
const std::string kNew = "the new text, longer than the old one\nwith more lines\nthan before\n";

// An access ACL: the owner rw, user 1234 rw, the group r, mask rw, others r.
std::string AclBlob() {
    std::string b;
    auto put32 = [&](uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
        b.append(reinterpret_cast<const char*>(&tag), 2);
        b.append(reinterpret_cast<const char*>(&perm), 2);
        put32(id);
    };
    put32(2);
    entry(0x01, 6, ~0u);
    entry(0x02, 6, 1234);
    entry(0x04, 4, ~0u);
    entry(0x10, 6, ~0u);
    entry(0x20, 4, ~0u);
    return b;
}

std::string Attributes(const std::string& path) {
    char names[4096];
    ssize_t n = llistxattr(path.c_str(), names, sizeof names);
    std::string all;
    for (ssize_t at = 0; at > -1 && at < n; at += ssize_t(std::strlen(names + at)) + 1) {
        char value[4096];
        ssize_t len = lgetxattr(path.c_str(), names + at, value, sizeof value);
        all += std::string(names + at) + "=" + std::string(value, size_t(len > 0 ? len : 0)) + ";";
    }
    return all;
}

bool Exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// One way a save goes: the files it starts from, the name edited, where its backup goes and what a
// successful save must have kept.
struct SavePath {
    const char* what;
    std::function<void(const std::string& dir)> make;
    std::string name;    // relative to the directory, or absolute ("/tmp...": no backup)
    std::string read;    // the file whose content is the text (the link's target for a link)
    bool backup = true;  // a backup name~ is left after a successful save
    std::function<void(const std::string& dir)> kept = nullptr;
};

std::vector<SavePath> Paths(const std::string& dir) {
    std::vector<SavePath> p;
    p.push_back({"replace",
                 [](const std::string&) {
                     WriteFile("notes.txt", kGood, 0640);
                     WriteFile("notes.txt~", "an older backup\n");
                     if (geteuid() == 0) (void)!chown("notes.txt", 1234, 2345);
                 },
                 "notes.txt", "notes.txt", true,
                 [](const std::string&) {
                     struct stat st;
                     ASSERT_EQ(stat("notes.txt", &st), 0);
                     EXPECT_EQ(st.st_mode & 07777, 0640u);
                     if (geteuid() == 0) {
                         EXPECT_EQ(st.st_uid, 1234u);
                         EXPECT_EQ(st.st_gid, 2345u);
                     }
                 }});
    p.push_back(
        {"attributes",
         [](const std::string&) {
             WriteFile("notes.txt", kGood, 0660);
             std::string acl = AclBlob();
             ASSERT_EQ(setxattr("notes.txt", "user.origin", "kept", 4, 0), 0);
             ASSERT_EQ(setxattr("notes.txt", "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
         },
         "notes.txt", "notes.txt", true,
         [](const std::string&) {
             std::string acl = AclBlob();
             EXPECT_EQ(Attributes("notes.txt"), "user.origin=kept;system.posix_acl_access=" + acl + ";");
             struct stat st;
             ASSERT_EQ(stat("notes.txt", &st), 0);
             EXPECT_EQ(st.st_mode & 0777, 0664u) << "the group bits are the ACL's mask";
         }});
    p.push_back({"link",
                 [](const std::string&) {
                     fs::create_directory("real");
                     WriteFile("real/target.txt", kGood, 0600);
                     ASSERT_EQ(symlink("real/target.txt", "link.txt"), 0);
                 },
                 "link.txt", "real/target.txt", true,
                 [](const std::string&) {
                     EXPECT_TRUE(fs::is_symlink("link.txt"));
                     EXPECT_FALSE(Exists("real/target.txt~"));
                 }});
    p.push_back({"hard link",
                 [](const std::string&) {
                     WriteFile("notes.txt", kGood);
                     ASSERT_EQ(link("notes.txt", "other.txt"), 0);
                 },
                 "notes.txt", "notes.txt", true,
                 [](const std::string&) {
                     EXPECT_EQ(ReadFile("other.txt"), kNew) << "the second name sees the new text";
                 }});
    p.push_back({"hard link with attributes",
                 [](const std::string&) {
                     WriteFile("notes.txt", kGood, 0660);
                     std::string acl = AclBlob();
                     ASSERT_EQ(setxattr("notes.txt", "user.origin", "kept", 4, 0), 0);
                     ASSERT_EQ(setxattr("notes.txt", "system.posix_acl_access", acl.data(), acl.size(), 0),
                               0);
                     ASSERT_EQ(link("notes.txt", "other.txt"), 0);
                 },
                 "notes.txt", "notes.txt", true,
                 [](const std::string&) {
                     std::string all = "user.origin=kept;system.posix_acl_access=" + AclBlob() + ";";
                     EXPECT_EQ(Attributes("notes.txt"), all);
                     EXPECT_EQ(ReadFile("other.txt"), kNew);
                     // The backup copy is no more open than the file: its ACL, or its owner alone.
                     struct stat st;
                     if (stat("notes.txt~", &st) == 0 && Attributes("notes.txt~") != all) {
                         EXPECT_EQ(st.st_mode & 077, 0u);
                     }
                 }});
    p.push_back({"set-uid", [](const std::string&) { WriteFile("tool", kGood, 04755); }, "tool", "tool", true,
                 [](const std::string&) {
                     struct stat st;
                     ASSERT_EQ(stat("tool", &st), 0);
                     EXPECT_EQ(st.st_mode & 07777, 0755u);
                     if (stat("tool~", &st) == 0) {
                         EXPECT_EQ(st.st_mode & 07777, 0755u);
                     }
                 }});
    p.push_back({"new file", [](const std::string&) {}, "fresh.txt", "fresh.txt", false});
    p.push_back({"under /tmp", [](const std::string& d) { WriteFile(d + "/x", kGood); }, dir + "/x",
                 dir + "/x", false});
    p.push_back({"under /tmp, in place",
                 [](const std::string& d) {
                     WriteFile(d + "/y", kGood);
                     ASSERT_EQ(link((d + "/y").c_str(), (d + "/y2").c_str()), 0);
                 },
                 dir + "/y", dir + "/y", false,
                 [](const std::string& d) { EXPECT_EQ(ReadFile(d + "/y2"), kNew); }});
    return p;
}

// Looks at the files before every system call the save makes.
struct Watch {
    std::string file, backup;
    bool fresh = false;
    int steps = 0;
    std::string broken;  // the first step at which neither held the last text saved
};

std::string Content(const std::string& p, bool* exists) {
    *exists = Exists(p);
    return *exists ? ReadFile(p) : "";
}

void Look(void* context, SysCall call) {
    Watch& w = *static_cast<Watch*>(context);
    ++w.steps;
    if (!w.broken.empty()) return;
    bool fileThere = false, backupThere = false;
    std::string file = Content(w.file, &fileThere), backup = Content(w.backup, &backupThere);
    bool ok = w.fresh ? !fileThere || file == kNew : file == kGood || file == kNew || backup == kGood;
    if (!ok)
        w.broken = "before call " + std::to_string(w.steps) + " (kind " + std::to_string(int(call)) + ")";
}

const char* const kKindNames[] = {"open", "read",   "write",  "fsync",  "close",    "rename",
                                  "link", "unlink", "fchown", "fchmod", "truncate", "setxattr"};
static_assert(std::size(kKindNames) == size_t(SysCall::Count));

// The commands that save, taken in turn; each leaves its own exit request on success.
struct SaveCommand {
    const char* what;
    uint8_t mode;
    const char* keys;  // typed after the command's own key
    Handler run;
    uint8_t exitOnSuccess;
};
const SaveCommand kCommands[] = {
    {"WS ^KS", WS, "", Save, 0},
    {"WS ^KX", WS, "", SaveAndQuit, 1},
    {"WS ^KD", WS, "", SaveAndLoad, 2},
    {"vi :wq", VI, "wq\r", ExCommand, 1},
};

class SaveFaults : public ::testing::Test {
protected:
    WorkDir workDir{"faults"};
    const std::string& dir = workDir.path();

    void Clear() {
        for (auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    }
    // Temporary files of the editor's own still in the directory (or its subdirectory).
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> left;
        for (auto& e : fs::recursive_directory_iterator(dir))
            if (e.path().filename().string().find(".zt-") != std::string::npos)
                left.push_back(e.path().string());
        return left;
    }
};

TEST_F(SaveFaults, EveryCallOfEverySavePathFailsSafely) {
    ASSERT_EQ(dir.compare(0, 4, "/tmp"), 0);
    const int kErrors[] = {EIO, ENOSPC, EPERM, 0};  // 0: a short write
    int injected = 0, runs = 0, command = 0;
    for (const SavePath& path : Paths(dir)) {
        SCOPED_TRACE(path.what);
        std::string backup = path.name + "~";
        // One run without a fault counts the calls of each kind this path makes.
        unsigned calls[size_t(SysCall::Count)] = {};
        for (int attempt = -1;; ++attempt) {
            // attempt -1 is the clean run; then every (kind, n, error) in turn.
            size_t kind = 0;
            unsigned nth = 0;
            int error = 0;
            if (attempt >= 0) {
                int left = attempt;
                for (kind = 0; kind < size_t(SysCall::Count); ++kind) {
                    int here = int(calls[kind]) * int(std::size(kErrors));
                    if (left < here) break;
                    left -= here;
                }
                if (kind == size_t(SysCall::Count)) break;
                nth = unsigned(left / int(std::size(kErrors))) + 1;
                error = kErrors[left % int(std::size(kErrors))];
                if (error == 0 && SysCall(kind) != SysCall::Write) continue;
            }
            Clear();
            path.make(dir);
            const SaveCommand& cmd = kCommands[command++ % std::size(kCommands)];
            SCOPED_TRACE(std::string(cmd.what) + ", " + (attempt < 0 ? "no fault" : kKindNames[kind]) + " " +
                         std::to_string(nth) + " fails with " + std::to_string(error));
            FakeTerminal term{24, 80};
            auto ed = std::make_unique<Editor>(term);
            ed->Exit = ThrowOnExit;
            ed->EditMode = cmd.mode;
            ASSERT_TRUE(LoadFile(*ed, path.name.c_str()));
            PutText(*ed, kNew);
            ed->ChangedMark = '*';

            Watch watch{path.read, backup, !Exists(path.read), 0, ""};
            ed->sys.ResetCounts();
            ed->sys.Observer = Look;
            ed->sys.ObserverContext = &watch;
            if (attempt >= 0) ed->sys.ArmFault(SysCall(kind), nth, error);
            if (*cmd.keys) term.AddBurst(cmd.keys);
            term.AddBurst("x");  // the key an error waits for
            cmd.run(*ed);
            ed->sys.Observer = nullptr;
            bool fired = ed->sys.FaultFired();
            ed->sys.Disarm();
            ++runs;
            if (attempt < 0) {
                for (size_t k = 0; k < size_t(SysCall::Count); ++k) calls[k] = ed->sys.CallCount(SysCall(k));
                ASSERT_EQ(ed->ChangedMark, ' ') << "the clean run saves";
            }
            if (fired) ++injected;

            EXPECT_EQ(watch.broken, "") << "neither the file nor its backup held the last text saved";
            bool there = false;
            std::string file = Content(path.read, &there);
            if (ed->ChangedMark == ' ') {
                EXPECT_EQ(file, kNew);
                EXPECT_EQ(ed->ExitRequest, cmd.exitOnSuccess);
                // A backup that could not be made is skipped (only an injected fault does that).
                if (path.backup && !fired) {
                    EXPECT_EQ(ReadFile(backup), kGood);
                }
                if (!path.backup && path.name[0] == '/' && !fired) {
                    EXPECT_FALSE(Exists(backup));
                }
                if (path.kept) path.kept(dir);
                EXPECT_TRUE(Leftovers().empty());
            } else {
                EXPECT_TRUE(fired) << "only an injected fault makes a save fail";
                EXPECT_EQ(ed->ChangedMark, '*');
                EXPECT_EQ(ed->ExitRequest, 0);
                // The new text may be all there when only the directory could not be synced.
                if (watch.fresh) {
                    EXPECT_TRUE(!there || file == kNew);
                } else {
                    EXPECT_TRUE(file == kGood || file == kNew || ReadFile(backup) == kGood);
                }
                // A failed unlink is the one thing that can keep a temporary file.
                if (SysCall(kind) != SysCall::Unlink) {
                    EXPECT_TRUE(Leftovers().empty());
                }
            }
            if (HasFailure()) return;
        }
    }
    std::printf("[ faults   ] %d save runs, %d with an injected fault, 0 crashes\n", runs, injected);
    RecordProperty("faults_injected", injected);
    EXPECT_GT(injected, 300);
}

}  // namespace
