// The real binary in a pseudo-terminal: raw mode, the first screen, suspend and continue, the exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/fake_terminal.hpp"

namespace fs = std::filesystem;

namespace {

class Session {
public:
    // Starts `program` (a name in the build directory) on `file` inside `dir`; an empty `file` starts
    // it without an argument.
    Session(const std::string& program, const std::string& dir, const std::string& file,
            const char* termName = "TERM=xterm", const char* locale = nullptr)
        : Session(program, dir, file.empty() ? std::vector<std::string>{} : std::vector<std::string>{file},
                  termName, locale) {}
    // The same with the arguments `args`.
    Session(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
            const char* termName = "TERM=xterm", const char* locale = nullptr) {
        winsize ws{};
        ws.ws_row = 24;
        ws.ws_col = 80;
        std::string path = std::string(ZT_BINARY_DIR) + "/" + program;
        std::vector<char*> argv = {path.data()};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = forkpty(&master_, nullptr, nullptr, &ws);
        if (pid_ == 0) {
            if (chdir(dir.c_str()) != 0) _exit(111);
            const char* env[] = {termName, "HOME=/nonexistent", locale, nullptr};
            execve(path.c_str(), argv.data(), const_cast<char**>(env));
            _exit(112);
        }
    }
    ~Session() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }

    // Collects output until `needle` has appeared (after `from`), or a few seconds pass.
    bool WaitFor(const std::string& needle, size_t from = 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (output.find(needle, from) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (!ReadSome(100)) return output.find(needle, from) != std::string::npos;
        }
        return true;
    }
    void Send(const std::string& keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    termios Settings() {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }
    // Collects output until `done` holds for all of it, or a few seconds pass.
    template <class Done>
    bool WaitUntil(Done done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done(output)) {
            if (std::chrono::steady_clock::now() > deadline || !ReadSome(100)) return done(output);
        }
        return true;
    }
    // Waits for the child to stop (true) or end; *status gets the wait status.
    bool WaitChange(int* status, bool untraced) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            ReadSome(20);
            int r = waitpid(pid_, status, WNOHANG | (untraced ? WUNTRACED : 0));
            if (r == pid_) {
                if (WIFEXITED(*status) || WIFSIGNALED(*status)) reaped_ = true;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
    }
    // The window changes as a terminal's does: the kernel signals the editor.
    void Resize(int rows, int cols) {
        winsize ws{};
        ws.ws_row = (unsigned short)rows;
        ws.ws_col = (unsigned short)cols;
        ASSERT_EQ(ioctl(master_, TIOCSWINSZ, &ws), 0);
    }
    void CloseMaster() {
        close(master_);
        master_ = -1;
    }
    pid_t pid() const { return pid_; }

    std::string output;

private:
    bool ReadSome(int ms) {
        if (master_ < 0) return false;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        output.append(buf, size_t(n));
        return true;
    }
    int master_ = -1;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// What the program wrote and how it ended, started without a terminal (standard input /dev/null).
struct Plain {
    int status = -1;  // the exit status, or -1 when it did not exit
    std::string out, err;
};
Plain RunPlain(const std::string& dir, const std::string& program, const std::vector<std::string>& args) {
    std::string path = std::string(ZT_BINARY_DIR) + "/" + program;
    std::vector<char*> argv = {path.data()};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2], err[2];
    Plain r;
    if (pipe(out) != 0 || pipe(err) != 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        if (chdir(dir.c_str()) != 0 || devnull < 0) _exit(111);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        const char* env[] = {"TERM=xterm", "HOME=/nonexistent", nullptr};
        execve(path.c_str(), argv.data(), const_cast<char**>(env));
        _exit(112);
    }
    close(out[1]);
    close(err[1]);
    // Small outputs: read one pipe to its end, then the other.
    for (auto [fd, to] : {std::pair{out[0], &r.out}, std::pair{err[0], &r.err}}) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) to->append(buf, size_t(n));
        close(fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

class Pty : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/zt-e2e-XXXXXX";
        dir = mkdtemp(t);
        std::ofstream(dir + "/notes.txt") << "first line\nsecond line\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Read(const std::string& name) {
        std::ifstream f(dir + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    std::string dir;
};

TEST_F(Pty, FirstScreenRawModeAndCleanExit) {
    Session s("ztws", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    EXPECT_NE(s.output.find("irst line"), std::string::npos);  // the f is the highlighted cursor cell
    EXPECT_EQ(s.output.rfind("\x1b[?2004h\x1b[m\x1b[H\x1b[2J", 0), 0u)
        << "pastes asked for bracketed, then the first screen erased, from home";
    termios raw = s.Settings();
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(raw.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(raw.c_oflag & OPOST, 0u) << "a line feed only moves down";

    s.Send("\x03");   // ^C is a key (page down), not a signal
    s.Send("\x0bq");  // ^K Q on an unchanged text leaves at once
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Pty, ModeFollowsTheProgramName) {
    Session s("ztem", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help Em")) << s.output;
    s.Send("\x18\x03");  // ^X ^C
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Pty, SuspendHandsBackACookedTerminalAndContinueRedraws) {
    Session s("ztws", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help WS"));
    s.Send("\x0bz");  // ^K Z
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, true));
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_NE(s.Settings().c_lflag & ICANON, 0u) << "the shell gets its own settings back";

    size_t before = s.output.size();
    kill(s.pid(), SIGCONT);
    ASSERT_TRUE(s.WaitFor("altH=help WS", before)) << "the whole screen comes back";
    EXPECT_TRUE(s.WaitFor("second line", before));
    ASSERT_TRUE(s.WaitFor("\x1b[K", before)) << "the empty rows are cleared again";
    EXPECT_EQ(s.Settings().c_lflag & ICANON, 0u) << "raw again";

    s.Send("abc\x0bq");  // changed: the question comes
    ASSERT_TRUE(s.WaitFor("SAVE? Ynl", before));
    s.Send("y");
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("notes.txt"), "abcfirst line\nsecond line\n");
    EXPECT_EQ(Read("notes.txt~"), "first line\nsecond line\n");
}

TEST_F(Pty, PasteIsTextAndBracketedPasteIsOnOnlyWhileEditing) {
    constexpr char kOn[] = "\x1b[?2004h", kOff[] = "\x1b[?2004l";
    Session s("ztpi", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help Pi")) << s.output;
    ASSERT_EQ(s.output.rfind(kOn, 0), 0u) << "asked for before the first screen";
    // PICO's Return would copy the indent of the line before: a paste must not.
    s.Send("\x1b[200~  if a:\r\n    b\r  c\n\x1b[201~");
    ASSERT_TRUE(s.WaitFor("  if a:"));

    s.Send("\x1a");  // ^Z suspends
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, true));
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_NE(s.output.find(kOff), std::string::npos) << "off while the shell has the terminal";
    size_t stopped = s.output.size();
    kill(s.pid(), SIGCONT);
    ASSERT_TRUE(s.WaitFor(kOn, stopped)) << "on again after the continue";

    s.Send("\x18y");  // ^X Y: save and leave
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("notes.txt"), "  if a:\n    b\n  c\nfirst line\nsecond line\n");
    EXPECT_GT(s.output.rfind(kOff), s.output.rfind(kOn)) << "off at the exit";
    EXPECT_NE(s.Settings().c_lflag & ICANON, 0u) << "the terminal is restored";

    // A start-up that ends at the name prompt leaves it off too.
    Session t("ztpi", dir, "");
    ASSERT_TRUE(t.WaitFor("FILENAME:"));
    t.Send("\r");
    ASSERT_TRUE(t.WaitChange(&status, false));
    EXPECT_GT(t.output.rfind(kOff), t.output.rfind(kOn));
}

TEST_F(Pty, WindowChangeRedrawsAWaitingPromptAtOnce) {
    Session s("ztws", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    s.Send("\x11i2");  // ^Q I: GO LINE:, 2 typed
    ASSERT_TRUE(s.WaitFor("GO LINE:"));
    ASSERT_TRUE(s.WaitFor("2"));
    size_t before = s.output.size();
    s.Resize(30, 100);
    s.Resize(10, 40);
    // No key is sent: the signal alone brings the screen back, erased and drawn again, the prompt with its
    // entry on the status row.
    ASSERT_TRUE(s.WaitFor("\x1b[2J", before)) << s.output.substr(before);
    const size_t erased = s.output.rfind("\x1b[2J");
    ASSERT_TRUE(s.WaitFor("GO LINE:  2", erased));
    EXPECT_NE(s.output.find("second line", erased), std::string::npos);

    s.Send("\rX\x0bx");  // the prompt was still waiting: line 2, X typed there, ^K X saves and leaves
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("notes.txt"), "first line\nXsecond line\n");
}

TEST_F(Pty, HangUpKeepsUnsavedTextAndExitsWithOne) {
    Session s("ztws", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("altH=help WS"));
    s.Send("xyz");
    ASSERT_TRUE(s.WaitFor("xyz"));
    s.CloseMaster();
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(Read("notes.txt.save"), "xyzfirst line\nsecond line\n");
    EXPECT_EQ(Read("notes.txt"), "first line\nsecond line\n");
    struct stat st;
    ASSERT_EQ(stat((dir + "/notes.txt.save").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Pty, OverlongFileNameIsRefusedBeforeTheScreen) {
    Session s("ztws", dir, std::string(300, 'n'));
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(s.output.find("too long"), std::string::npos);
    EXPECT_EQ(s.output.find("\x1b["), std::string::npos) << "the screen was not touched";
}

TEST_F(Pty, WithoutAFileTheBannerAsksAndEnterLeaves) {
    Session s("ztpi", dir, "");
    ASSERT_TRUE(s.WaitFor("FILENAME:")) << s.output;
    EXPECT_NE(s.output.find("renpad zt v2.31"), std::string::npos);
    EXPECT_NE(s.output.find("Key bindings in PICO mode:"), std::string::npos);
    s.Send("\r");
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(s.Settings().c_lflag & ICANON, 0u) << "the terminal is restored";
}

TEST_F(Pty, LinuxConsoleCursorIsReverseVideo) {
    Session s("ztvi", dir, "notes.txt", "TERM=linux");
    ASSERT_TRUE(s.WaitFor("vi")) << s.output;
    // The cursor cell in reverse video, whatever attribute was in force before it.
    ASSERT_TRUE(s.WaitFor("7mf")) << s.output;
    EXPECT_EQ(s.output.find("1mf"), std::string::npos);
    s.Send("i");
    s.Send("\x1b");
    s.Send(":q!\r");
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Pty, OptionsAreAnsweredWithoutTouchingTheTerminal) {
    Plain help = RunPlain(dir, "ztvi", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word : {"ztws", "ztem", "ztpi", "ztvi", "ztne", "+LINE", "--", "FILE~", "FILE.save",
                             "TERM", "LC_ALL", "LANG", "HOME"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;

    Plain version = RunPlain(dir, "ztws", {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zt " ZT_VERSION "\n");

    Plain unknown = RunPlain(dir, "ztws", {"-x", "notes.txt"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err.rfind("zt: unknown option '-x'\n", 0), 0u) << unknown.err;
    EXPECT_NE(unknown.err.find("--help"), std::string::npos);
    Plain hostile = RunPlain(dir, "ztws", {"-\x1b]0;title\x07"});
    EXPECT_EQ(hostile.err.rfind("zt: unknown option '-.]0;title.'\n", 0), 0u)
        << "no control byte reaches the terminal";

    // Options end at the file name, and nothing after --help runs.
    EXPECT_EQ(RunPlain(dir, "ztws", {"--bogus", "--help"}).status, 2);
    EXPECT_EQ(RunPlain(dir, "ztws", {"+2", "--long"}).status, 2);
    Plain line = RunPlain(dir, "ztws", {"+2x", "notes.txt"});
    EXPECT_EQ(line.status, 2);
    EXPECT_NE(line.err.find("'+2x'"), std::string::npos);
    EXPECT_EQ(line.out, "");

    int files = 0;
    for (auto& e : fs::directory_iterator(dir)) files += e.path().filename() != "notes.txt";
    EXPECT_EQ(files, 0) << "no file was made or touched";
    EXPECT_EQ(Read("notes.txt"), "first line\nsecond line\n");
}

TEST_F(Pty, DoubleDashEditsAFileNamedLikeAnOption) {
    Session s("ztws", dir, std::vector<std::string>{"--", "--help"});
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    s.Send("abc\x0bx");  // ^K X: save and leave
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("--help"), "abc");
}

TEST_F(Pty, StartLineOpensThereAndPlusAloneAtTheEnd) {
    const std::pair<const char*, const char*> cases[] = {
        {"+2", "first line\nXsecond line\n"},
        {"+", "first line\nXsecond line\nX"},
    };
    for (auto [option, expected] : cases) {
        Session s("ztpi", dir, std::vector<std::string>{option, "notes.txt"});
        ASSERT_TRUE(s.WaitFor("altH=help Pi")) << s.output;
        s.Send("X\x0f");  // ^O: save
        s.Send("\x18");   // ^X: unchanged now, so it leaves at once
        int status = 0;
        ASSERT_TRUE(s.WaitChange(&status, false));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(Read("notes.txt"), expected) << option;
    }
}

// What git, jj and crontab take as "drop this edit".
TEST_F(Pty, ViColonCqLeavesUnsavedWithStatusOne) {
    Session s("ztvi", dir, "notes.txt");
    ASSERT_TRUE(s.WaitFor("CMD")) << s.output;
    s.Send("x");
    s.Send(":cq\r");
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(Read("notes.txt"), "first line\nsecond line\n");
    EXPECT_NE(s.Settings().c_lflag & ICANON, 0u) << "the terminal is restored";
}

// In a UTF-8 locale the text goes out as its characters, in the cells a terminal gives them: a wide
// character takes two, the column in the status line counts cells, and a Backspace takes a wide
// character whole.
TEST_F(Pty, Utf8TextShowsAsCharacters) {
    const std::string line = "Grüße aus Köln — “quoted” € 日本語";
    std::ofstream(dir + "/utf8.txt") << line << "\nzweite Zeile\n";
    Session s("ztws", dir, "utf8.txt", "TERM=xterm", "LANG=C.UTF-8");
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    s.Send(
        "\x11"
        "d");  // ^Q D: to the line's end
    s.Send("\x7f");
    ScreenModel screen;
    auto shows = [&screen](const std::string& output) {
        screen.Resize(24, 80);
        screen.SetUtf8(true);
        screen.Feed(reinterpret_cast<const uint8_t*>(output.data()), output.size());
        return screen.Row(23).find(" 1:33 ") != std::string::npos;
    };
    ASSERT_TRUE(s.WaitUntil(shows)) << s.output;
    EXPECT_EQ(screen.Row(0), "Grüße aus Köln — “quoted” € 日本" + std::string(80 - 32, ' '));
    EXPECT_EQ(screen.Row(1).substr(0, 13), "zweite Zeile ");
    EXPECT_EQ(screen.Row(23).substr(61, 6), " 1:33 ");
    EXPECT_EQ(screen.CursorRow(), 0);
    EXPECT_EQ(screen.CursorCol(), 32);
    s.Send("\x0bx");  // ^K X: save and leave
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("utf8.txt"), "Grüße aus Köln — “quoted” € 日本\nzweite Zeile\n");
}

// On a terminal known to insert and delete characters and lines the rest of a row or of the window
// moves on the terminal; on an unknown one it is drawn again. Either way the screen is the same.
TEST_F(Pty, KnownTerminalsShiftCharactersAndLines) {
    std::string text;
    for (int i = 1; i <= 30; ++i) text += "line " + std::to_string(i) + "\n";
    std::ofstream(dir + "/lines.txt") << text;
    for (const char* termName : {"TERM=xterm", "TERM=dumb"}) {
        SCOPED_TRACE(termName);
        Session s("ztws", dir, "lines.txt", termName);
        ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
        ScreenModel screen;
        // Each key once the screen shows the one before, so that each has its own refresh.
        auto key = [&](const std::string& keys, const std::string& row1, const std::string& place) {
            s.Send(keys);
            return s.WaitUntil([&](const std::string& output) {
                screen.Resize(24, 80);
                screen.Feed(reinterpret_cast<const uint8_t*>(output.data()), output.size());
                return screen.Row(1).rfind(row1, 0) == 0 && screen.Row(23).find(place) != std::string::npos;
            });
        };
        ASSERT_TRUE(key("\x1b[B\x1b[C\x1b[C", "line 2 ", " 2:3 "));
        ASSERT_TRUE(key("X", "liXne 2 ", " 2:4 "));
        ASSERT_TRUE(key("\x1b[3~", "liXe 2 ", "*"));
        ASSERT_TRUE(key("\r", "liX ", " 3:1 "));
        EXPECT_EQ(screen.Row(2).rfind("e 2 ", 0), 0u);
        EXPECT_EQ(screen.Row(3).rfind("line 3 ", 0), 0u);
        EXPECT_EQ(screen.Row(22).rfind("line 22 ", 0), 0u);
        const bool shifted = std::string(termName) == "TERM=xterm";
        for (const char* seq : {"\x1b[@", "\x1b[P", "\x1b[L"})
            EXPECT_EQ(s.output.find(seq) != std::string::npos, shifted) << seq;
    }
}

// Under a file size limit a save that crosses it fails as any failed write does: the editor lives
// on with its text, the file and the directory are as before, no temporary file is left.
TEST_F(Pty, SaveOverTheFileSizeLimitFailsAndTheEditorLivesOn) {
    struct rlimit old, tight;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    tight = old;
    tight.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    Session s("ztws", dir, "notes.txt");  // the editor inherits the limit
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    s.Send("\x1b[200~" + std::string(20000, 'a') + "\x1b[201~");
    s.Send("\x0bs");  // ^K S
    ASSERT_TRUE(s.WaitFor("ERROR  27 :File too large")) << s.output.substr(s.output.size() - 300);
    int status = 0;
    EXPECT_EQ(waitpid(s.pid(), &status, WNOHANG), 0) << "still running";
    EXPECT_EQ(Read("notes.txt"), "first line\nsecond line\n");
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"notes.txt"});
    s.Send("x");       // the error's key
    s.Send("\x0bqn");  // ^K Q, N: leave without saving
    ASSERT_TRUE(s.WaitChange(&status, false));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A file name that holds a terminal control sequence reaches the terminal with its control bytes
// as dots, also in the line printed when the editor is told to end.
TEST_F(Pty, FileNameInTheExitLineIsShownWithoutControls) {
    Session s("ztws", dir, "t\x1b]0;owned\x07.txt");
    ASSERT_TRUE(s.WaitFor("altH=help WS")) << s.output;
    s.Send("abc");
    ASSERT_TRUE(s.WaitFor("abc"));
    kill(s.pid(), SIGTERM);
    int status = 0;
    ASSERT_TRUE(s.WaitChange(&status, false));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(s.output.find("unsaved text kept in t.]0;owned..txt.save"), std::string::npos) << s.output;
    EXPECT_EQ(s.output.find("\x1b]"), std::string::npos);
    EXPECT_EQ(s.output.find('\x07'), std::string::npos);
    EXPECT_EQ(Read("t\x1b]0;owned\x07.txt.save"), "abc");
}

}  // namespace
