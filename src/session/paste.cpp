// Bracketed pastes: the terminal sends ESC [ 200 ~, the pasted bytes, ESC [ 201 ~. Once the decoder has
// read the start, the text is read here up to the closing marker and taken as text, never as keys.
#include <utility>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

constexpr char kEndMarker[] = "\x1b[201~";
constexpr size_t kEndLength = sizeof kEndMarker - 1;

// The paste's text a byte at a time, CR and CR LF read as LF; -1 once the closing marker is read.
class PastedText {
public:
    explicit PastedText(Editor& ed) : ed_(ed) {}

    int Next() {
        for (;;) {
            const int b = Raw();
            if (b < 0) return -1;
            const bool lfAfterCr = b == '\n' && afterCr_;
            afterCr_ = b == '\r';
            if (lfAfterCr) continue;
            return afterCr_ ? '\n' : b;
        }
    }

private:
    // Bytes as sent, the closing marker taken out. An ESC that does not begin the marker is text, and
    // so are the bytes read after it to find that out.
    int Raw() {
        if (heldAt_ < heldLength_) return held_[heldAt_++];
        if (ended_) return -1;
        const uint8_t b = std::exchange(escBack_, false) ? uint8_t(0x1B) : ReadKeyByte(ed_);
        if (b != 0x1B) return b;
        heldAt_ = 0;
        heldLength_ = 1;
        held_[0] = b;
        while (heldLength_ < kEndLength) {
            const uint8_t c = ReadKeyByte(ed_);
            if (c != uint8_t(kEndMarker[heldLength_])) {
                if (c == 0x1B)
                    escBack_ = true;  // it may begin the marker itself
                else
                    held_[heldLength_++] = c;
                return held_[heldAt_++];
            }
            held_[heldLength_++] = c;
        }
        ended_ = true;
        heldLength_ = 0;
        return -1;
    }

    Editor& ed_;
    uint8_t held_[kEndLength] = {};
    size_t heldAt_ = 0, heldLength_ = 0;
    bool escBack_ = false;
    bool afterCr_ = false;
    bool ended_ = false;
};

}  // namespace

void InsertPaste(Editor& ed) {
    PastedText text(ed);
    // The whole paste is gathered before the text changes, so that one too large changes nothing.
    const uint64_t room = ed.buf ? Room(ed) : 0;
    uint8_t* gathered = room > 0 ? static_cast<uint8_t*>(ed.sys.Reserve(size_t(room))) : nullptr;
    size_t n = 0;
    bool fits = true;
    for (int b; (b = text.Next()) >= 0;) {
        if (gathered && n < room)
            gathered[n++] = uint8_t(b);
        else
            fits = false;
    }
    if (ed.EditMode == EMACS || ed.EditMode == PICO) {
        ed.KillAppend = false;
        ed.RepeatSearch = false;
    }
    if (!fits || !PasteText(ed, gathered, n)) {
        ed.sys.ErrorNumber = err::kNoMemory;
        ShowError(ed);
        RestoreCursor(ed);
    }
    if (gathered) ed.sys.Release(gathered, size_t(room));
}

size_t ReadPastedLine(Editor& ed, char* out, size_t room) {
    PastedText text(ed);
    size_t n = 0;
    bool firstLine = true;
    for (int b; (b = text.Next()) >= 0;) {
        if (b == '\n') firstLine = false;
        if (firstLine && n < room && (b >= 0x20 || b == '\t')) out[n++] = char(b);
    }
    return n;
}
