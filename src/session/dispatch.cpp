#include "buffer/buffer.hpp"
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

void DispatchKey(Editor& ed) {
    ed.PrevCursor = ed.CommandCursor;
    ed.CommandCursor = ed.Cursor;
    Key key = KeyDecoder(ed);
    if (key.IsCommand()) {
        RunCommand(ed, key.command);
    } else {
        uint8_t b = key.byte;
        if (ed.EditMode == EMACS || ed.EditMode == PICO) {
            if (b != Ctrl('K')) ed.KillAppend = false;
            if (b != Ctrl('S') && b != Ctrl('R')) ed.RepeatSearch = false;
        }
        ed.LastKeyByte = b;
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
    if (ed.RecountLines) {
        RecountLineNumber(ed);
        ed.RecountLines = false;
    }
}

// Shows the prefix, reads the second key and runs what the table gives for its low five bits.
static void RunPrefix(Editor& ed, char letter, const std::array<uint8_t, 27>& table) {
    char text[5] = {'^', letter, ' ', ' ', 0};
    ShowPrefixKey(ed, text);
    Key key = KeyDecoder(ed);
    unsigned index = key.byte & 0x1F;  // a decoded cursor key reads as byte 0: entry 0
    if (index >= 27) return;
    RunCommand(ed, table[index]);
}

void PrefixWsK(Editor& ed) { RunPrefix(ed, 'K', kWsKPrefix); }
void PrefixWsQ(Editor& ed) { RunPrefix(ed, 'Q', kWsQPrefix); }
void PrefixEmacsX(Editor& ed) { RunPrefix(ed, 'X', kEmacsXPrefix); }
void PrefixPicoJ(Editor& ed) { RunPrefix(ed, 'J', kPicoJPrefix); }
void PrefixPicoQ(Editor& ed) { RunPrefix(ed, 'Q', kPicoQPrefix); }
