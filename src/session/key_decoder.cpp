// Bytes to keys. A key with ESC is an alt key or an escape sequence; every sequence a terminal sends is
// read whole, up to its final byte, so none of its bytes is ever typed or run as a command.
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/key_tables.hpp"
#include "session/session.hpp"

// A signal interrupted the read: after a continue the terminal is ours again, after a hang-up it is
// gone, after a window change the screen is drawn at the new size. Whatever waited goes on waiting.
static void HandleInterrupt(Editor& ed) {
    if (gSignals.hangup) TerminalLost(ed);
    if (gSignals.continued) {
        gSignals.continued = 0;
        ed.term.EnterRawMode();  // saves what the shell left, which the exit restores
        RepaintScreen(ed);
        // The window may have changed while the shell had it, without a signal for us.
        gSignals.resized = 1;
    }
    if (gSignals.resized) {
        gSignals.resized = 0;
        // Sizes alone cannot tell: a window made smaller and then as large again between two reads
        // ends at the old size with its rows cut or reflowed.
        InvalidateScreenCache(ed);
        RedrawScreen(ed);
    }
}

uint8_t ReadKeyByte(Editor& ed) {
    if (ed.EditMode == VI && ed.PushedBackKey) {
        uint8_t c = ed.PushedBackKey;
        ed.PushedBackKey = 0;
        return c;
    }
    for (;;) {
        int b;
        if (ed.HasReadAhead) {
            ed.HasReadAhead = false;
            b = ed.ReadAhead;
        } else {
            OutputBeforeWait(ed);
            b = ed.term.ReadByte();
        }
        if (b >= 0) return uint8_t(b);
        if (b == kInterrupted) {
            HandleInterrupt(ed);
            continue;
        }
        TerminalLost(ed);  // end of input: nobody is left to type
    }
}

bool KeyWaiting(Editor& ed) {
    return ed.HasReadAhead || (ed.EditMode == VI && ed.PushedBackKey) || ed.term.InputPending();
}

namespace {

Key Plain(uint8_t b) { return Key{-1, b}; }
Key Command(int id) { return Key{id, 0}; }
Key PasteStart() {
    Key k;
    k.paste = true;
    return k;
}

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kPasteStart = 200;

// A byte read too early: the next key read begins with it.
void PushBack(Editor& ed, uint8_t b) {
    ed.HasReadAhead = true;
    ed.ReadAhead = b;
}

// What key decoding needs of a control sequence once it is read.
struct Sequence {
    uint8_t final = 0;  // 0: broken off by a byte that belongs to no sequence
    bool plain = true;  // only digits and semicolons before the final byte
    int count = 0;      // parameters given
    uint32_t param[2] = {0, 0};
    bool firstEmpty = true;
};

// Parameter values stop growing here: nothing the decoder looks at is larger.
constexpr uint32_t kParamCeiling = 100000;

// Reads the rest of a control sequence: parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, the
// final byte 0x40-0x7E; rxvt's "$" after digit parameters is a final byte too. An SS3 key takes only
// digits and semicolons before its final byte. Any other byte breaks the sequence off and is dropped
// with it, except an ESC, which begins the next key.
Sequence ReadSequence(Editor& ed, bool ss3) {
    Sequence s;
    bool intermediates = false, onlyDigits = true;
    for (;;) {
        const uint8_t b = ReadKeyByte(ed);
        if (b == '$' && !ss3 && !intermediates && s.count > 0 && onlyDigits) {
            s.final = b;
            return s;
        }
        if (b >= 0x40 && b <= 0x7E) {
            s.final = b;
            return s;
        }
        const bool digit = b >= '0' && b <= '9';
        if (b >= 0x30 && b <= 0x3F && !intermediates && (!ss3 || digit || b == ';')) {
            if (s.count == 0) s.count = 1;
            if (digit) {
                if (s.count <= 2) {
                    uint32_t& v = s.param[s.count - 1];
                    v = v >= kParamCeiling ? v : v * 10 + uint32_t(b - '0');
                    if (s.count == 1) s.firstEmpty = false;
                }
            } else if (b == ';') {
                ++s.count;
                onlyDigits = false;
            } else {
                s.plain = false;  // a private marker or ":": a report, never a key
                onlyDigits = false;
            }
            continue;
        }
        if (b >= 0x20 && b <= 0x2F && !ss3) {
            intermediates = true;
            s.plain = false;
            continue;
        }
        if (b == kEsc) PushBack(ed, b);
        s.final = 0;
        return s;
    }
}

// Ctrl held, by the modifier parameter's encoding (1 + shift 1, alt 2, ctrl 4, meta 8).
bool CtrlHeld(uint32_t modifier) { return modifier >= 1 && ((modifier - 1) & 4) != 0; }

// NEDIT's bindings have no word moves: there Ctrl+Left and Ctrl+Right stay arrows.
bool HasWordMoves(const Editor& ed) { return ed.EditMode != NEDIT; }

// An arrow by the letter of ESC [ A..D (or rxvt's a..d); Ctrl turns left and right into word moves.
Key Arrow(const Editor& ed, uint8_t letter, bool ctrl) {
    const uint8_t up = letter & ~0x20;
    if (ctrl && HasWordMoves(ed) && up == 'C') return Command(cmd::WordRight);
    if (ctrl && HasWordMoves(ed) && up == 'D') return Command(cmd::WordLeft);
    return Command(kCursorKeys[9 + (up - 'A')]);
}

// After ESC and an introducer ("[" as terminals send it; in WS, PICO and NEDIT any byte serves, and so
// does a byte above 123 in vi's command state): the key the sequence stands for, or false when it is
// dropped whole.
bool ReadControlSequence(Editor& ed, uint8_t introducer, Key* key) {
    const Sequence s = ReadSequence(ed, false);
    if (s.final == 0) return false;
    if (introducer == '[' && s.count == 0 && s.plain) {
        if (s.final == '[') {  // the Linux console's F1..F5: ESC [ [ A..E
            (void)ReadKeyByte(ed);
            return false;
        }
        if (s.final == 'M') {  // a mouse report: three bytes of button and place follow
            for (int i = 0; i < 3; ++i) (void)ReadKeyByte(ed);
            return false;
        }
    }
    if (!s.plain) return false;
    switch (s.final) {
        case '~':
        case '^':  // rxvt's Ctrl and Shift forms of the same keys
        case '$':
            if (s.firstEmpty) return false;
            if (s.param[0] <= 8) return *key = Command(kCursorKeys[s.param[0]]), true;
            if (s.param[0] == kPasteStart && s.final == '~' && s.count == 1 && introducer == '[')
                return *key = PasteStart(), true;
            return false;
        case 'a':
        case 'b':
        case 'c':
        case 'd':  // rxvt's shifted arrows
            return *key = Arrow(ed, s.final, false), true;
        default:
            break;
    }
    if (s.final < 'A' || s.final > 'I') return false;
    if (s.final <= 'D') return *key = Arrow(ed, s.final, s.count >= 2 && CtrlHeld(s.param[1])), true;
    return *key = Command(kCursorKeys[9 + (s.final - 'A')]), true;
}

// ESC O and a byte that came with it: the terminal's SS3 key. Arrows, line start and end; rxvt's
// controlled arrows; every other one (F1..F4 among them) is dropped whole.
bool ReadSs3(Editor& ed, Key* key) {
    const Sequence s = ReadSequence(ed, true);
    const uint32_t modifier = s.count >= 2 ? s.param[1] : s.param[0];
    switch (s.final) {
        case 'A':
        case 'B':
        case 'C':
        case 'D':
            return *key = Arrow(ed, s.final, CtrlHeld(modifier)), true;
        case 'a':
        case 'b':
        case 'c':
        case 'd':
            return *key = Arrow(ed, s.final, true), true;
        case 'H':
            return *key = Command(cmd::LineStart), true;
        case 'F':
            return *key = Command(cmd::LineEnd), true;
        default:
            return false;
    }
}

// ESC O arriving together with the byte after it is a terminal's key, not a typed alt-O.
bool Ss3Follows(Editor& ed, uint8_t c) { return c == 'O' && ed.EditMode != VI && KeyWaiting(ed); }

enum class Found : uint8_t { None, Key, Dropped };

// After ESC, the byte c: when it begins a sequence as terminals send them (ESC [, or ESC O with its key
// byte along), the sequence read whole. Alt held with such a key puts one more ESC in front (rxvt's
// Alt+arrows): ESC ESC [ A reads as ESC [ A. None when c begins no sequence.
Found TerminalSequence(Editor& ed, uint8_t c, Key* key) {
    if (c == '[') return ReadControlSequence(ed, c, key) ? Found::Key : Found::Dropped;
    if (Ss3Follows(ed, c)) return ReadSs3(ed, key) ? Found::Key : Found::Dropped;
    if (c == kEsc && ed.EditMode != VI && KeyWaiting(ed)) {
        const uint8_t d = ReadKeyByte(ed);
        if (d == '[' || Ss3Follows(ed, d)) return TerminalSequence(ed, d, key);
        PushBack(ed, d);
    }
    return Found::None;
}

// After ESC and the byte c: a terminal's sequence, the alt keys of each mode, else a key sequence.
bool AfterEscape(Editor& ed, uint8_t c, Key* key) {
    const Found found = TerminalSequence(ed, c, key);
    if (found != Found::None) return found == Found::Key;
    if (ed.EditMode == NEDIT && (c == 'i' || c == 'I')) {
        *key = Command(cmd::InsertFile);
        return true;
    }
    if (ed.EditMode == EMACS) {
        if (c == '%') return *key = Command(cmd::ReplaceForward), true;
        if (c == '<') return *key = Command(cmd::GoTextStart), true;
        if (c == '>') return *key = Command(cmd::GoTextEnd), true;
        uint8_t up = c & ~0x20;
        if (up >= 'B' && up <= 'Y') return *key = Command(kEmacsAltKeys[up - 'B']), true;
        return ReadControlSequence(ed, c, key);
    }
    if ((c & ~0x20) == 'H') return *key = Command(cmd::Help), true;
    // Any byte serves as the introducer here: ESC x A reads like ESC [ A.
    return ReadControlSequence(ed, c, key);
}

// How a key read raw began: a byte alone, an escape sequence or alt key, or a paste.
enum class RawKey : uint8_t { Byte, Sequence, Paste };

// One key read raw, *first its first byte as typed. A sequence is read whole; an alt key takes its
// second byte along, except in vi, where ESC and the byte after it are two keys.
RawKey ReadRawKey(Editor& ed, uint8_t* first) {
    const uint8_t b = ReadKeyByte(ed);
    *first = b;
    if (b != kEsc || !KeyWaiting(ed)) return RawKey::Byte;
    const uint8_t c = ReadKeyByte(ed);
    Key key;
    const Found found = TerminalSequence(ed, c, &key);
    if (found != Found::None) return found == Found::Key && key.paste ? RawKey::Paste : RawKey::Sequence;
    if (ed.EditMode != VI) return RawKey::Sequence;
    PushBack(ed, c);
    return RawKey::Byte;
}

}  // namespace

uint8_t ReadAnswerKey(Editor& ed) {
    for (;;) {
        uint8_t b, tail[3];
        const RawKey kind = ReadRawKey(ed, &b);
        if (kind == RawKey::Byte) (void)ReadCharTail(ed, b, tail);  // an answer is a whole character
        if (kind != RawKey::Paste) return b;
        (void)ReadPastedLine(ed, nullptr, 0);
    }
}

int ReadCommandByte(Editor& ed) {
    uint8_t b;
    switch (ReadRawKey(ed, &b)) {
        case RawKey::Byte:
            return b;
        case RawKey::Paste:
            InsertPaste(ed);
            return -1;
        default:
            return -1;
    }
}

Key KeyDecoder(Editor& ed) {
    for (;;) {
        uint8_t b = ReadKeyByte(ed);
        if (b == 127) b = 8;  // DEL is backspace, for the first byte only
        Key key;
        if (ed.EditMode != VI) {
            if (b != kEsc) return Plain(b);
            if (AfterEscape(ed, ReadKeyByte(ed), &key)) return key;
            continue;
        }
        if (ed.ViCommandState == 1) {
            if (b == kEsc) {
                uint8_t c = ReadKeyByte(ed);
                if (c == '[') {
                    if (ReadControlSequence(ed, c, &key)) return key;
                    continue;
                }
                ed.PushedBackKey = c;  // runs as the next command key
                return Command(cmd::NoOp);
            }
            if (ed.Utf8 && b >= 0x80) {  // a character, or a byte of a broken one: no command
                uint8_t tail[3];
                (void)ReadCharTail(ed, b, tail);
                return Command(cmd::NoOp);
            }
            if (b > 123) {
                if (ReadControlSequence(ed, b, &key)) return key;
                continue;
            }
            return Command(kViCommandKeys[b]);
        }
        if (b != kEsc) return Plain(b);
        const uint8_t state = ed.ViCommandState;  // the insert state, or a prompt's
        ed.ViCommandState = 1;
        if (!KeyWaiting(ed)) return Command(cmd::CharLeft);  // a lone ESC
        uint8_t c = ReadKeyByte(ed);
        if (c == '[') {
            ed.ViCommandState = state;
            if (AfterEscape(ed, c, &key)) return key;
            continue;
        }
        ed.PushedBackKey = c;
        return Command(cmd::NoOp);
    }
}

size_t ReadCharTail(Editor& ed, uint8_t lead, uint8_t* tail) {
    if (!ed.Utf8 || lead < 0xC2 || lead > 0xF4) return 0;
    const size_t want = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    size_t n = 0;
    while (n < want && !(ed.EditMode == VI && ed.PushedBackKey)) {
        int b;
        if (ed.HasReadAhead) {
            b = ed.ReadAhead;
        } else if (ed.term.InputPending()) {
            b = ed.term.ReadByte();
        } else {
            break;
        }
        ed.HasReadAhead = n == 0 ? !SecondByteFits(lead, b) : b < 0x80 || b > 0xBF;
        if (ed.HasReadAhead) {
            ed.ReadAhead = b;
            break;
        }
        tail[n++] = uint8_t(b);
    }
    return n;
}

int ReadKeyLead(Editor& ed) {
    const int b = ReadCommandByte(ed);
    uint8_t tail[3];
    if (b >= 0) (void)ReadCharTail(ed, uint8_t(b), tail);
    return b;
}
