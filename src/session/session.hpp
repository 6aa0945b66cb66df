// Start-up, the main loop, key decoding and dispatch.
#pragma once

#include <cstdio>

#include "editor.hpp"

inline constexpr int kCommandCount = 84;
namespace cmd {
enum : uint8_t {
    LineStart = 0,
    LineUp = 1,
    PageUp = 2,
    CharLeft = 3,
    CharRight = 4,
    LineEnd = 5,
    LineDown = 6,
    PageDown = 7,
    ToggleInsert = 8,
    DeleteChar = 9,
    NoOp = 10,
    Quit = 11,
    Save = 12,
    SaveAndLoad = 13,
    GoTextStart = 14,
    GoTextEnd = 15,
    InsertFile = 16,
    GoLine = 17,
    WordLeft = 18,
    WordRight = 19,
    MarkBlockEnd = 20,
    CopyBlock = 21,
    SaveAndQuit = 22,
    DeleteToLineStart = 23,
    PreviousPosition = 24,
    DeleteBlock = 25,
    Replace = 26,
    Find = 27,
    LastFind = 28,
    ToggleBlock = 29,
    WindowTop = 30,
    WindowBottom = 31,
    GoBlockBegin = 32,
    GoBlockEnd = 33,
    DeleteToLineEnd = 34,
    MoveBlock = 35,
    MarkBlockBegin = 36,
    WriteBlock = 37,
    ExchangeMark = 38,
    CopyRegion = 39,
    ReplaceForward = 40,
    SaveAs = 41,
    DeleteWord = 42,
    ViInsert = 43,
    ExCommand = 44,
    ViAppend = 45,
    ViAppendLineEnd = 46,
    ViOpenBelow = 47,
    WindowTop2 = 48,
    WindowBottom2 = 49,
    ViOpenAbove = 50,
    ViInsertLineStart = 51,
    ViReplaceMode = 52,
    ViDelete = 53,
    HalfPageDown = 54,
    HalfPageUp = 55,
    FirstNonBlank = 56,
    FindForwardExact = 57,
    FindBackwardExact = 58,
    PasteAfter = 59,
    PasteBefore = 60,
    Help = 61,
    SetMode = 62,
    DeleteLeft = 63,
    ViSubstituteLine = 64,
    ViZZ = 65,
    ViCenterLine = 66,
    WordEnd = 67,
    ViGoFirstLine = 68,
    ViSetMark = 69,
    ViYank = 70,
    LoadNew = 71,
    SedPipe = 72,
    RepeatReplace = 73,
    ViReplaceChar = 74,
    ViChangeToLineEnd = 75,
    ViDeleteToLineEnd = 76,
    JoinLines = 77,
    Bell = 78,
    Calculate = 79,
    ViGoMark = 80,
    Suspend = 81,
    WindowMiddle = 82,
    Undo = 83,
};
}  // namespace cmd

// ---- The command line.
// Edit on, or what the command line asks for instead.
enum class StartAction : uint8_t { Edit, Help, Version, UnknownOption, BadLine, NameTooLong };
// Where the cursor starts in the first text loaded.
enum class StartLine : uint8_t { Top, Line, End };
struct CommandLine {
    StartAction action = StartAction::Edit;
    const char* file = nullptr;  // none: the name is asked for
    StartLine at = StartLine::Top;
    uint64_t line = 0;              // with StartLine::Line, from 1
    const char* refused = nullptr;  // the argument that is no option, line or name
};
// Options (+LINE, +, --, --help, --version) up to the first other argument, which is the file; any
// argument after it is ignored.
CommandLine ReadCommandLine(int argc, char* const* argv);
// Prints the usage, the version or why the command line is refused; the exit status, or -1 to edit.
int AnswerCommandLine(const CommandLine& cl, bool utf8, std::FILE* out, std::FILE* err);

// ---- Start-up and the main loop.
// Sets EditMode from a four-byte word ("ztws" ...); false, mode unchanged, when none matches.
bool SelectModeByName(Editor& ed, const char* word);
// Mode from the program name's last four characters (WS when none matches).
void SelectModeFromProgramName(Editor& ed, const char* argv0);
// Console variant and what the terminal can do, from the first TERM entry of the environment.
void NoteConsoleVariant(Editor& ed, char** envp);
// Mode, console variant, the first load and the start line; false when the load failed.
bool StartEditor(Editor& ed, int argc, char** argv, char** envp);
// Everything from raw mode to the exit; the exit status.
int RunEditor(Editor& ed, int argc, char** argv, char** envp);
// One pass of the main loop; false when the editor is to leave.
bool EditStep(Editor& ed);
// Status row cursor, line feed, undo snapshot let go, terminal restored.
void LeaveEditor(Editor& ed);

// ---- Keys.
// One byte from the keyboard (vi: the pushed-back byte first). Handles a continue after a suspend,
// and leaves the editor (keeping an emergency copy of unsaved text) when the terminal is gone.
uint8_t ReadKeyByte(Editor& ed);
// Is a key byte already there to read, from the terminal or held back by the editor?
bool KeyWaiting(Editor& ed);
// In a UTF-8 locale, the continuation bytes that are already waiting after the lead byte `lead`, as
// far as they go on a valid sequence, into tail; their count. A byte that does not go on is held
// back for the next key read.
size_t ReadCharTail(Editor& ed, uint8_t lead, uint8_t* tail);
// ReadCommandByte, the rest of a character read and dropped: for second keys that know only ASCII.
int ReadKeyLead(Editor& ed);
Key KeyDecoder(Editor& ed);
// One raw key byte for a question, a message or the help page: a key that comes as an escape sequence
// is read whole and answers as its ESC; a paste is discarded whole and answers nothing.
uint8_t ReadAnswerKey(Editor& ed);
// The raw second key of a command (vi's r, d, y, m, ', z, Z and 1): the byte as typed, or -1 when an
// escape sequence (read whole) or a paste (put into the text) came instead.
int ReadCommandByte(Editor& ed);
void DispatchKey(Editor& ed);
// Runs CommandId id (ids of 84 and more are ignored).
void RunCommand(Editor& ed, int id);
// The terminal is gone or a hang-up arrived: keep unsaved text, restore, leave with status 1.
void TerminalLost(Editor& ed);

// ---- Pastes, once the decoder has read their start.
// The pasted text goes in at the cursor as one change; "Memory exhausted" and no change when it does
// not fit.
void InsertPaste(Editor& ed);
// Reads the paste to its end; the bytes of its first line, at most `room` of them, go to `out` (tab
// kept, other control bytes left out). Returns how many.
size_t ReadPastedLine(Editor& ed, char* out, size_t room);

// ---- Window changes.
// The screen drawn again at the terminal's size, with what the status row shows while a key is
// awaited (the status line, a prefix, a question or message, a prompt).
void RedrawScreen(Editor& ed);

// ---- Commands of the session.
void NoOp(Editor& ed);
void Bell(Editor& ed);
void Suspend(Editor& ed);
void PrefixWsK(Editor& ed);
void PrefixWsQ(Editor& ed);
void PrefixEmacsX(Editor& ed);
void PrefixPicoJ(Editor& ed);
void PrefixPicoQ(Editor& ed);
