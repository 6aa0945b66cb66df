#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/key_tables.hpp"
#include "session/session.hpp"

void NoOp(Editor&) {}

// Rung at once, after what was gathered before it.
void Bell(Editor& ed) {
    SendBytes(ed, "\a", 1);
    DrainOutput(ed);
}

void Suspend(Editor& ed) {
    PromptCursor(ed);
    ReleaseTerminal(ed);
    // The shell gets the terminal as it was before the editor took it.
    ed.term.RestoreMode();
    ed.term.StopProcessGroup();
    // Execution goes on here after the continue; the interrupted read does the rest.
}

void RunCommand(Editor& ed, int id) {
    if (id < 0 || id >= kCommandCount) return;
    ed.KillAppend = false;
    ed.RepeatSearch = false;
    kCommands[id](ed);
}

namespace {

enum class Typing { No, Char, Break, BreakNoIndent };

// What a plain key byte does in this state when it only types: a character, or a line break with or
// without the line's indent. Everything else (a command, a prompt, an overwrite) is No.
Typing TypingOf(Editor& ed, uint8_t b) {
    const bool inserting = ed.InsertMode == kInsert;
    const bool chars = inserting || ByteAt(ed, ed.Cursor) == '\n';  // overwriting inserts at a line end
    if (b == 27) return Typing::No;
    if (ed.EditMode == VI) {
        if (b == Ctrl('M')) return inserting ? Typing::Break : Typing::No;
        if (b == Ctrl('G') || b == Ctrl('H')) return Typing::No;
        return chars ? Typing::Char : Typing::No;
    }
    if (b >= 32) return chars ? Typing::Char : Typing::No;
    Handler h = (*ControlMapFor(ed.EditMode))[b];
    if (h == NewLineNoIndent) return Typing::BreakNoIndent;
    if (h == NewLine) return inserting ? Typing::Break : Typing::No;
    if (h == InsertChar) return chars ? Typing::Char : Typing::No;
    return Typing::No;
}

TypedKey RunKind(Typing t) {
    return t == Typing::Break           ? TypedKey::Break
           : t == Typing::BreakNoIndent ? TypedKey::BreakNoIndent
                                        : TypedKey::Char;
}

// What the dispatcher notes of a plain key before its command runs.
void BeginPlainKey(Editor& ed, uint8_t b) {
    if (ed.EditMode == EMACS || ed.EditMode == PICO) {
        if (b != Ctrl('K')) ed.KillAppend = false;
        if (b != Ctrl('S') && b != Ctrl('R')) ed.RepeatSearch = false;
    }
    ed.LastKeyByte = b;
    ed.KeyTailLength = uint8_t(ReadCharTail(ed, b, ed.KeyTail));
}

void RunPlainKey(Editor& ed, uint8_t b) {
    if (ed.EditMode == VI) {
        if (b == Ctrl('G'))
            DeleteChar(ed);
        else if (b == Ctrl('H'))
            DeleteLeft(ed);
        else if (b == Ctrl('M'))
            NewLine(ed);
        else
            InsertChar(ed);
    } else if (b >= 32) {
        InsertChar(ed);
    } else {
        (*ControlMapFor(ed.EditMode))[b](ed);
    }
}

// Typing with more input already waiting: the keys that only type are taken as one run, so the tail
// of the text moves once for all of them. The first byte that does anything else is held back for
// the next key read.
void TypeWaitingKeys(Editor& ed, uint8_t b, Typing kind) {
    TypedRun run;
    for (;;) {
        if (!AddTypedKey(ed, run, RunKind(kind))) {
            FinishTypedRun(ed, run);
            RunPlainKey(ed, b);  // alone, it shows the missing room, or starts afresh
            return;
        }
        if (ed.HasReadAhead || (ed.EditMode == VI && ed.PushedBackKey) || !ed.term.InputPending()) break;
        int next = ed.term.ReadByte();
        kind = next < 0 || next == 127 ? Typing::No : TypingOf(ed, uint8_t(next));
        if (kind == Typing::No) {
            ed.HasReadAhead = true;
            ed.ReadAhead = next;
            break;
        }
        b = uint8_t(next);
        // As DispatchKey does for every key it reads.
        ed.PrevCursor = ed.CommandCursor;
        ed.CommandCursor = run.at + run.length;
        BeginPlainKey(ed, b);
    }
    FinishTypedRun(ed, run);
}

}  // namespace

void DispatchKey(Editor& ed) {
    ed.PrevCursor = ed.CommandCursor;
    ed.CommandCursor = ed.Cursor;
    Key key = KeyDecoder(ed);
    if (key.paste) {
        InsertPaste(ed);
    } else if (key.IsCommand()) {
        RunCommand(ed, key.command);
    } else {
        uint8_t b = key.byte;
        BeginPlainKey(ed, b);
        Typing kind = ed.buf ? TypingOf(ed, b) : Typing::No;
        if (kind != Typing::No && KeyWaiting(ed))
            TypeWaitingKeys(ed, b, kind);
        else
            RunPlainKey(ed, b);
    }
    if (ed.ErrorPending) {
        ed.ErrorPending = false;
        ShowError(ed);
        RestoreCursor(ed);
    }
    if (ed.RecountLines) {
        RecountLineNumber(ed);
        ed.RecountLines = false;
    }
}

// Shows the prefix, reads the second key and runs what the table gives for its low five bits.
static void RunPrefix(Editor& ed, char letter, const std::array<uint8_t, 27>& table) {
    char text[5] = {'^', letter, ' ', ' ', 0};
    ShowPrefixKey(ed, text);
    ed.screen.Waiting = {.shows = StatusRow::Prefix, .text = text};
    Key key = KeyDecoder(ed);
    ed.screen.Waiting = {};
    if (key.paste) {  // the prefix gives way to the paste
        InsertPaste(ed);
        return;
    }
    unsigned index = key.byte & 0x1F;  // a decoded cursor key reads as byte 0: entry 0
    if (index >= 27) return;
    RunCommand(ed, table[index]);
}

void PrefixWsK(Editor& ed) { RunPrefix(ed, 'K', kWsKPrefix); }
void PrefixWsQ(Editor& ed) { RunPrefix(ed, 'Q', kWsQPrefix); }
void PrefixEmacsX(Editor& ed) { RunPrefix(ed, 'X', kEmacsXPrefix); }
void PrefixPicoJ(Editor& ed) { RunPrefix(ed, 'J', kPicoJPrefix); }
void PrefixPicoQ(Editor& ed) { RunPrefix(ed, 'Q', kPicoQPrefix); }
