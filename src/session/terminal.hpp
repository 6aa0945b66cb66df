// The terminal seam: the real one over descriptors 0 and 1, an in-memory one in the tests.
#pragma once

#include <cstddef>
#include <cstdint>

struct WinSize {
    int rows = 0;
    int cols = 0;
    bool failed = false;  // the terminal could not be asked
};

inline constexpr int kEndOfInput = -1;   // the terminal is gone
inline constexpr int kInterrupted = -2;  // a signal arrived; look at the signal flags

class Terminal {
public:
    virtual int ReadByte() = 0;       // 0..255, kEndOfInput or kInterrupted
    virtual bool InputPending() = 0;  // is a byte already waiting? (a failed check counts as yes)
    virtual void Write(const void* data, size_t n) = 0;
    virtual WinSize Size() = 0;
    // Saves the current settings first, and asks for pastes to come bracketed.
    virtual void EnterRawMode() = 0;
    virtual void RestoreMode() = 0;  // pastes unbracketed again, back to the saved settings
    virtual void StopProcessGroup() = 0;

protected:
    ~Terminal() = default;  // never deleted through this interface
};

// Flags set by the signal handlers; the main flow acts on them when a read comes back interrupted.
struct SignalFlags {
    volatile int continued = 0;  // SIGCONT
    volatile int hangup = 0;     // SIGHUP or SIGTERM
    volatile int resized = 0;    // SIGWINCH
};
extern SignalFlags gSignals;

// Installs the handlers for SIGCONT, SIGHUP, SIGTERM and SIGWINCH without SA_RESTART, so a blocking read
// returns.
void InstallSignalHandlers();

// The real terminal on descriptors 0 (keyboard) and 1 (screen).
class RealTerminal : public Terminal {
public:
    int ReadByte() override;
    bool InputPending() override;
    void Write(const void* data, size_t n) override;
    WinSize Size() override;
    void EnterRawMode() override;
    void RestoreMode() override;
    void StopProcessGroup() override;

private:
    unsigned char saved_[64] = {};  // struct termios, kept opaque here
    bool haveSaved_ = false;
    bool pasteBracketed_ = false;
    // Bracketed paste is turned on with the first output (one write for both): until then this holds on.
    bool pasteOnPending_ = false;
    // Keys are read as many as have arrived at once into input_, and handed out a byte at a time.
    size_t inputAt_ = 0, inputEnd_ = 0;
    // When a look found nothing waiting (monotonic nanoseconds), 0 after a read: one key asks up to
    // three times, and a look is a system call.
    int64_t quietAt_ = 0;
    // Last and without an initializer: a start-up does not touch its pages.
    unsigned char input_[4096];
};
