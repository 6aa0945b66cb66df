// The filter through sed: the whole text is sed's standard input, from a file without a name, and
// its standard output becomes the text.
//
// The output is gathered in the free room behind the text (a run empties the clipboard), so the old
// text stays whole until sed has ended with exit code 0 and everything it wrote has arrived and fits.
// Standard error is drained alongside, so that a sed with much to say never blocks on a full pipe.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <initializer_list>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

constexpr int kExecFailed = 31;  // the child's exit code when sed cannot be started
constexpr size_t kLongestExpression = 124;
constexpr size_t kLargestRead = size_t(1) << 30;
// Any count this large makes the undo record a snapshot of the whole text.
constexpr size_t kWholeText = 0xFFFFFFFF;

void CloseIfOpen(Editor& ed, int& fd) {
    if (fd >= 0) ed.sys.Close(fd);
    fd = -1;
}

// The child: the text's file as standard input, output pipe as standard output, error pipe as
// standard error, then sed.
[[noreturn]] void RunSed(Editor& ed, int in, int out[2], int errors[2]) {
    SystemCalls& sys = ed.sys;
    if (sys.Dup2(in, 0) < 0) sys.ExitNow(sys.ErrorNumber);
    if (sys.Close(out[0]) < 0 || sys.Dup2(out[1], 1) < 0) sys.ExitNow(sys.ErrorNumber);
    sys.Close(errors[0]);
    if (sys.Dup2(errors[1], 2) < 0) sys.ExitNow(sys.ErrorNumber);
    char option[] = "-e";
    char* argv[] = {const_cast<char*>(ed.SedPath), option, ed.CommandText, nullptr};
    char* envp[] = {nullptr};
    sys.DefaultSignal(SIGPIPE);  // the editor ignores it; sed must not inherit that
    sys.Execve(ed.SedPath, argv, envp);
    sys.ExitNow(kExecFailed);
}

struct Collected {
    size_t length = 0;      // output bytes gathered
    bool overflow = false;  // sed wrote more than the room holds
    bool spoke = false;     // sed wrote to its standard error
    int error = 0;          // a failed poll or read
};

// Reads both pipes until each has reached its end. Output beyond the room is not kept: the pipe is
// closed instead, which ends a sed that goes on writing.
Collected Collect(Editor& ed, int outFd, int errFd, uint8_t* into, size_t room) {
    Collected c;
    struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    uint8_t discard[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (ed.sys.Poll(fds, 2, -1) < 0) {
            c.error = ed.sys.ErrorNumber;
            break;
        }
        if (fds[0].fd >= 0 && fds[0].revents) {
            long n;
            if (c.length == room) {
                n = ed.sys.Read(fds[0].fd, discard, 1);
                if (n > 0) c.overflow = true;
            } else {
                size_t want = room - c.length;
                n = ed.sys.Read(fds[0].fd, into + c.length, want < kLargestRead ? want : kLargestRead);
                if (n > 0) c.length += size_t(n);
            }
            if (n < 0) c.error = ed.sys.ErrorNumber;
            if (n < 0 || n == 0 || c.overflow) CloseIfOpen(ed, fds[0].fd);
        }
        if (fds[1].fd >= 0 && fds[1].revents) {
            long n = ed.sys.Read(fds[1].fd, discard, sizeof discard);
            if (n > 0) c.spoke = true;
            if (n <= 0) CloseIfOpen(ed, fds[1].fd);
        }
        if (c.error) break;
    }
    CloseIfOpen(ed, fds[0].fd);
    CloseIfOpen(ed, fds[1].fd);
    return c;
}

void KeepInText(const Editor& ed, Pos& p) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    if (p < ed.TextStart) p = ed.TextStart;
}

// The n bytes at `from` become the text (the undo snapshot of the old one was taken before sed ran).
void ReplaceText(Editor& ed, const uint8_t* from, size_t n) {
    ForgetColumns(ed);
    std::memmove(At(ed, ed.TextStart), from, n);
    ed.TextEnd = ed.TextStart + n;
    *At(ed, ed.TextEnd) = '\n';
    // Nothing the old positions marked is there any more.
    ed.Mark = 0;
    for (Pos* p : {&ed.Cursor, &ed.PrevCursor, &ed.CommandCursor, &ed.LastFindPos, &ed.WrapOrigin})
        KeepInText(ed, *p);
    ed.Cursor = CharStartAt(ed, ed.Cursor);
}

}  // namespace

bool FilterThroughSed(Editor& ed) {
    ed.RecountLines = true;
    if (!ed.buf) {
        ed.sys.ErrorNumber = err::kInvalid;
        return ShowError(ed);
    }
    // In vi a text without a closing line feed is handed over with one.
    static const uint8_t kLineFeed = '\n';
    size_t n = ed.TextLength();
    bool closing = ed.EditMode == VI && n > 0 && ByteAt(ed, ed.TextEnd - 1) != '\n';
    long copy = UnnamedCopy(ed, RunsBetween(ed, ed.TextStart, ed.TextEnd), &kLineFeed, closing ? 1 : 0);
    if (copy < 0) return ShowError(ed);
    int in = int(copy);
    // One undo brings back the text as it is now, whatever sed makes of it.
    if (!RecordDeletion(ed, ed.TextStart, kWholeText)) {
        CloseIfOpen(ed, in);
        return ShowError(ed);
    }
    int errors[2] = {-1, -1}, out[2] = {-1, -1};
    long pid = -1;
    if (ed.sys.Pipe(errors) >= 0 && ed.sys.Pipe(out) >= 0) pid = ed.sys.Fork();
    if (pid == 0) RunSed(ed, in, out, errors);
    int error = ed.sys.ErrorNumber;
    CloseIfOpen(ed, in);
    CloseIfOpen(ed, out[1]);
    CloseIfOpen(ed, errors[1]);
    if (pid < 0) {
        CloseIfOpen(ed, out[0]);
        CloseIfOpen(ed, errors[0]);
        ed.sys.ErrorNumber = error;
        return ShowError(ed);
    }

    // A filter run takes the clipboard and the block with it; the output is gathered behind the text,
    // so that the old text stays whole until sed has succeeded.
    ed.KillLength = 0;
    ed.KillSource = 0;
    ed.BlockBegin = ed.BlockEnd = 0;
    GatherText(ed);
    uint64_t limit = ed.BufferCapacity < ed.textRoom - 2 ? ed.BufferCapacity : ed.textRoom - 2;
    size_t staging = ed.TextEnd + 1;
    size_t used = ed.TextLength();
    size_t room = used < limit ? size_t(limit - used) : 0;
    Collected c = Collect(ed, out[0], errors[0], At(ed, staging), room);

    int status = 0;
    error = c.error;
    if (ed.sys.WaitPid(pid, &status) < 0 && !error) error = ed.sys.ErrorNumber;
    if (c.spoke) Bell(ed);
    ed.ChangedMark = '*';  // set once sed has run, even when it changed nothing

    if (!error) {
        if (c.overflow)
            error = err::kNoMemory;
        else if (WIFSIGNALED(status))
            error = 128 + WTERMSIG(status);  // as a shell reports it
        else if (!WIFEXITED(status))
            error = err::kIoError;
        else
            error = WEXITSTATUS(status);
    }
    // An empty output keeps the old text: a filter such as d never empties the buffer.
    if (!error && c.length > 0) {
        ReplaceText(ed, At(ed, staging), c.length);
        return true;
    }
    if (!error) return true;
    ed.sys.ErrorNumber = error;
    return ShowError(ed);
}

void SedPipe(Editor& ed) {
    size_t n = ReadLine(ed, "mode EX:", ed.CommandText, kLongestExpression);
    RestoreCursor(ed);
    if (n == 0) return;
    (void)FilterThroughSed(ed);
}
