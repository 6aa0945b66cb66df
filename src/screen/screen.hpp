// Drawing the text window and the status row through the screen cache; prompts; help pages.
#pragma once

#include "editor.hpp"

// ---- Rendering and the screen cache.
void ReadWindowSize(Editor& ed);
// Composes every text row, sends those that differ from the cache, then puts the terminal cursor on
// the cursor cell (stored in CursorScreenPos and DrawnCursorPos).
void RefreshWindow(Editor& ed);
// RefreshWindow without sending: for a key that arrives while more input is already waiting. Every
// state effect of the refresh happens; the rows go out with the next refresh, or before the editor
// waits for a key (OutputBeforeWait) when a command waits before the next refresh.
void ComposeWindow(Editor& ed);
// Before a key is awaited: when no input is waiting, sends what was composed and not yet sent, and
// flushes the output.
void OutputBeforeWait(Editor& ed);
// Sends `image` (zero-terminated) for cache slot k when it differs from what the slot holds: the cells
// that differ from what the terminal shows; the terminal cursor then goes to CursorScreenPos.
void SendRow(Editor& ed, int slot, const uint8_t* image);
void SendStatusRow(Editor& ed);  // StatusImage to slot 0
// The first four cells of the status row become `text` (a pending prefix key: "^K  ").
void ShowPrefixKey(Editor& ed, const char* text);
// Where the terminal cursor is to stand once the output is written.
void MoveTerminalCursor(Editor& ed, int row, int col);
// Output: bytes are gathered in the state object and written in one write by FlushOutput (or when the
// buffer is full). FlushOutput first puts the cursor where it was asked for and the attributes off.
void SendBytes(Editor& ed, const void* data, size_t n);
void FlushOutput(Editor& ed);
// Writes what is gathered as it stands (the cursor and the attributes as they are).
void DrainOutput(Editor& ed);
// Whether FlushOutput has anything to write.
bool OutputWaiting(const Editor& ed);
// FlushOutput, with the scroll region given back to the whole screen: before the terminal goes to the
// shell or the editor leaves.
void ReleaseTerminal(Editor& ed);
// Makes every slot differ from any image, so the next refresh sends every row.
void InvalidateScreenCache(Editor& ed);
// Writes every row again as the terminal showed it (after the terminal came back from the shell).
void RepaintScreen(Editor& ed);
void WindowRowUp(Editor& ed);
void WindowRowDown(Editor& ed);
void WindowRowCentre(Editor& ed);
void WindowHome(Editor& ed);
void WindowLastRow(Editor& ed);
void PromptCursor(Editor& ed);   // status row, column 10
void RestoreCursor(Editor& ed);  // back to DrawnCursorPos
// Writes v's digits so the last lands at `end`; returns the position before the first digit.
char* NumberToDecimal(uint64_t v, char* end);
// The byte as a cell: control bytes (0x00-0x1F, 0x7F-0x9F) show as '.'.
inline uint8_t Printable(uint8_t c) { return (c < 0x20 || (c >= 0x7F && c <= 0x9F)) ? '.' : c; }

// ---- Status row.
void DrawStatusLine(Editor& ed);
// The status line composed into StatusImage, not sent.
void ComposeStatusLine(Editor& ed);
void ClearStatusRow(Editor& ed);
// Copies text over the start of the status row (up to its first byte <= 0x0A), sends it and puts the
// terminal cursor at the status row, column 10.
void ShowStatusText(Editor& ed, const char* text);
// ShowStatusText, then one raw key byte (a paste answers nothing).
uint8_t ShowStatusTextAndWait(Editor& ed, const char* text);

// ---- Prompts.
// The mode's cancel key: ^U in WS, ^G in EMACS, ^C in PICO, vi and NEDIT.
uint8_t CancelKey(const Editor& ed);
// Reads one line after `prompt` into buf (at most maxLen bytes, fewer on narrow screens); returns the
// length, 0 for an empty entry or a cancel.
size_t ReadLine(Editor& ed, const char* prompt, char* buf, size_t maxLen);
// The prompt row: the prompt at column 0, the n bytes of the entry from column 10, the terminal cursor
// after them; sent whole.
void ShowPromptRow(Editor& ed, const char* prompt, const char* entry, size_t n);
// A number in base 10 or 8 from the start of the entry (vi: from CommandText without a prompt).
// *empty tells whether the prompt was left empty or cancelled.
uint64_t ReadNumber(Editor& ed, const char* prompt, unsigned base, bool* empty);
size_t AskNewName(Editor& ed);  // "   NAME:" into NewFileName
// Single-key question: the raw reply byte.
uint8_t AskKey(Editor& ed, const char* question);
// Banner and help as the buffer, then "FILENAME:"; false when the user leaves.
bool StartupNamePrompt(Editor& ed);
void SetMode(Editor& ed);
// Resets the per-file editing state a load also resets (history, marks, clipboard, search, exit).
void ResetEditingState(Editor& ed);

// ---- Help pages.
struct HelpText {
    const char* text;
    size_t length;
};
HelpText HelpTextFor(uint8_t mode);
void Help(Editor& ed);
// Puts back what the help page took away (nothing when no page is shown).
void EndHelp(Editor& ed);

// ---- vi ex command line.
void ExCommand(Editor& ed);
