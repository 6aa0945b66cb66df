#include "session/terminal.hpp"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

static_assert(sizeof(termios) <= 64, "room for the saved settings");

SignalFlags gSignals;

static void OnContinue(int) { gSignals.continued = 1; }
static void OnHangup(int) { gSignals.hangup = 1; }
static void OnResize(int) { gSignals.resized = 1; }

void InstallSignalHandlers() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: the blocking read must come back
    sa.sa_handler = OnContinue;
    sigaction(SIGCONT, &sa, nullptr);
    sa.sa_handler = OnHangup;
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = OnResize;
    sigaction(SIGWINCH, &sa, nullptr);
    // A terminal that is gone must not kill the editor while it writes the emergency copy.
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, nullptr);
    // A write beyond the file size limit then fails as "File too large" instead of ending the editor.
    sigaction(SIGXFSZ, &sa, nullptr);
}

namespace {

// How long a look that found nothing waiting still holds. A key that comes meanwhile is read next all
// the same: at worst one refresh goes out that it would have spared.
constexpr int64_t kQuietNanoseconds = 250'000;

int64_t Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

int RealTerminal::ReadByte() {
    for (;;) {
        if (gSignals.continued || gSignals.hangup || gSignals.resized) return kInterrupted;
        if (inputAt_ < inputEnd_) return input_[inputAt_++];
        quietAt_ = 0;
        ssize_t r = ::read(0, input_, sizeof input_);
        if (r > 0) {
            inputAt_ = 1;
            inputEnd_ = size_t(r);
            // A read takes all that has arrived: one that left room found nothing more waiting.
            if (size_t(r) < sizeof input_) quietAt_ = Now();
            return input_[0];
        }
        if (r == 0) return kEndOfInput;
        if (errno == EINTR) {
            if (gSignals.continued || gSignals.hangup || gSignals.resized) return kInterrupted;
            continue;
        }
        if (errno == EAGAIN) continue;
        return kEndOfInput;
    }
}

bool RealTerminal::InputPending() {
    if (inputAt_ < inputEnd_) return true;
    const int64_t now = Now();
    if (quietAt_ != 0 && now - quietAt_ < kQuietNanoseconds) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(0, &set);
    timeval tv{0, 0};
    int r = ::select(1, &set, nullptr, nullptr, &tv);
    if (r == 0) quietAt_ = now;
    return r != 0;  // a failed check counts as pending
}

void RealTerminal::Write(const void* data, size_t n) {
    static const char kPasteOn[] = "\x1b[?2004h";
    iovec parts[2] = {{const_cast<char*>(kPasteOn), 8}, {const_cast<void*>(data), n}};
    iovec* part = pasteOnPending_ ? parts : parts + 1;
    int count = pasteOnPending_ ? 2 : 1;
    pasteOnPending_ = false;
    while (count > 0) {
        ssize_t r = ::writev(1, part, count);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;  // write errors are not the editor's to report
        size_t done = size_t(r);
        for (; count > 0 && done >= part->iov_len; --count, ++part) done -= part->iov_len;
        if (count > 0) {
            part->iov_base = static_cast<char*>(part->iov_base) + done;
            part->iov_len -= done;
        }
    }
}

WinSize RealTerminal::Size() {
    winsize ws;
    std::memset(&ws, 0, sizeof ws);
    if (::ioctl(0, TIOCGWINSZ, &ws) < 0) return {0, 0, true};
    return {ws.ws_row, ws.ws_col};
}

void RealTerminal::EnterRawMode() {
    termios t;
    if (::tcgetattr(0, &t) < 0) return;
    std::memcpy(saved_, &t, sizeof t);
    haveSaved_ = true;
    t.c_lflag &= ~tcflag_t(ISIG | ICANON | ECHO);
    t.c_iflag &= ~tcflag_t(ICRNL | IXON);
    // Bytes go out as written: a line feed only moves down, as the screen's bookkeeping counts it.
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_cc[VMIN] = 1;
    ::tcsetattr(0, TCSANOW, &t);
    pasteOnPending_ = true;
    pasteBracketed_ = true;
}

void RealTerminal::RestoreMode() {
    // Turned off only when it went out, with whatever went before.
    if (pasteBracketed_ && !pasteOnPending_) Write("\x1b[?2004l", 8);
    pasteOnPending_ = false;
    pasteBracketed_ = false;
    if (!haveSaved_) return;
    termios t;
    std::memcpy(&t, saved_, sizeof t);
    ::tcsetattr(0, TCSANOW, &t);
}

void RealTerminal::StopProcessGroup() { ::kill(0, SIGSTOP); }
