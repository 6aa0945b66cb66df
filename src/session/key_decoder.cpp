#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/key_tables.hpp"
#include "session/session.hpp"

// A signal interrupted the read: after a continue the terminal is ours again, after a hang-up it is
// gone.
static void HandleInterrupt(Editor& ed) {
    if (gSignals.hangup) TerminalLost(ed);
    if (gSignals.continued) {
        gSignals.continued = 0;
        ed.term.EnterRawMode();  // saves what the shell left, which the exit restores
        RepaintScreen(ed);
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

static Key Plain(uint8_t b) { return Key{-1, b}; }
static Key Command(int id) { return Key{id, 0}; }

// The bytes after ESC and an introducer: a digit and "~", or a letter A..I. Anything else drops the
// sequence; the caller then starts afresh.
static bool ReadSequence(Editor& ed, Key* key) {
    uint8_t d = ReadKeyByte(ed);
    if (d <= '8') {
        uint8_t e = ReadKeyByte(ed);
        if (e != '~' || d < '0') return false;
        *key = Command(kCursorKeys[d - '0']);
        return true;
    }
    if (d >= 'A' && d <= 'I') {
        *key = Command(kCursorKeys[9 + (d - 'A')]);
        return true;
    }
    return false;
}

// After ESC and the byte c: the alt keys of each mode, else a cursor-key sequence.
static bool AfterEscape(Editor& ed, uint8_t c, Key* key) {
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
        return ReadSequence(ed, key);
    }
    if ((c & ~0x20) == 'H') return *key = Command(cmd::Help), true;
    // Any byte serves as the introducer here: ESC O A reads like ESC [ A.
    return ReadSequence(ed, key);
}

Key KeyDecoder(Editor& ed) {
    for (;;) {
        uint8_t b = ReadKeyByte(ed);
        if (b == 127) b = 8;  // DEL is backspace, for the first byte only
        Key key;
        if (ed.EditMode != VI) {
            if (b != 27) return Plain(b);
            if (AfterEscape(ed, ReadKeyByte(ed), &key)) return key;
            continue;
        }
        if (ed.ViCommandState == 1) {
            if (b == 27) {
                uint8_t c = ReadKeyByte(ed);
                if (c == '[') {
                    if (ReadSequence(ed, &key)) return key;
                    continue;
                }
                ed.PushedBackKey = c;  // runs as the next command key
                return Command(cmd::NoOp);
            }
            if (b > 123) {
                if (ReadSequence(ed, &key)) return key;
                continue;
            }
            return Command(kViCommandKeys[b]);
        }
        if (b != 27) return Plain(b);
        ed.ViCommandState = 1;
        if (!KeyWaiting(ed)) return Command(cmd::CharLeft);  // a lone ESC
        uint8_t c = ReadKeyByte(ed);
        if (c == '[') {
            ed.ViCommandState = 0;
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
    // The second byte's range excludes overlong forms, surrogates and values beyond U+10FFFF.
    int lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    int hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
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
        ed.HasReadAhead = b < lo || b > hi;
        if (ed.HasReadAhead) {
            ed.ReadAhead = b;
            break;
        }
        tail[n++] = uint8_t(b);
        lo = 0x80;
        hi = 0xBF;
    }
    return n;
}

uint8_t ReadKeyLead(Editor& ed) {
    uint8_t b = ReadKeyByte(ed), tail[3];
    (void)ReadCharTail(ed, b, tail);
    return b;
}
