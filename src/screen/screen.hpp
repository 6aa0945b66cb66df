// Drawing the text window and the status row through the screen cache; prompts; help pages.
#pragma once

#include <cstring>

#include "buffer/buffer.hpp"
#include "editor.hpp"

// ---- Cells: a row of them, as composed or as the terminal shows it (Cells in editor.hpp).
struct CellRow {
    uint32_t* glyph;
    uint8_t* info;
    uint8_t (*extra)[kCellExtra];
};
// Row r of the composed rows and of what the terminal shows, at the screen's present width, and the
// status row. Without bytes aside reserved, no cell holds any.
inline CellRow GridRow(Screen& sc, int r, bool shown) {
    const size_t at = size_t(r) * size_t(sc.Columns), bytes = RowCellBytes(sc.Columns);
    uint8_t* const row = sc.Grids + (2 * size_t(r) + shown) * bytes;
    return {reinterpret_cast<uint32_t*>(row), row + 4 * size_t(sc.Columns),
            sc.Extra ? sc.Extra + (shown ? kGridCells : 0) + at : nullptr};
}
inline CellRow FrameRow(Screen& sc, int r) { return GridRow(sc, r, false); }
inline CellRow ShownRow(Screen& sc, int r) { return GridRow(sc, r, true); }
inline CellRow StatusCells(Screen& sc) {
    return {sc.Status.Glyph, sc.Status.Info, sc.Extra ? sc.Extra + 2 * kGridCells : nullptr};
}
// Reserves the cells' bytes aside, once (in a UTF-8 locale); without them marks beyond a cell's first
// four bytes are not drawn. Released with the editor.
void ReserveCellExtras(Editor& ed);
void ReleaseCellExtras(Editor& ed);
inline uint8_t AttrOf(const CellRow& row, int c) { return row.info[c] & kAttrBits; }
inline bool IsRightHalf(const CellRow& row, int c) { return row.glyph[c] == kRightHalf; }
inline size_t ExtraBytes(const CellRow& row, int c) { return row.info[c] >> kExtraShift; }
// The bytes drawn in cell c into out (room for kCellBytes); returns their count, 0 for a right half.
inline size_t CellBytes(const CellRow& row, int c, uint8_t* out) {
    uint32_t g = row.glyph[c];
    size_t n = 0;
    for (; n < 4 && (g & 0xFF); ++n, g >>= 8) out[n] = uint8_t(g);
    if (const size_t more = ExtraBytes(row, c)) {
        std::memcpy(out + n, row.extra[c], more);
        n += more;
    }
    return n;
}
inline bool SameCell(const CellRow& a, const CellRow& b, int c) {
    if (a.glyph[c] != b.glyph[c] || a.info[c] != b.info[c]) return false;
    const size_t more = ExtraBytes(a, c);
    return more == 0 || std::memcmp(a.extra[c], b.extra[c], more) == 0;
}
bool SameCells(const CellRow& a, const CellRow& b, int n);
// A hash of the first n cells: rows that draw the same have the same one.
uint64_t HashCells(const CellRow& row, int n);
inline void CopyCell(const CellRow& to, int tc, const CellRow& from, int fc) {
    to.glyph[tc] = from.glyph[fc];
    to.info[tc] = from.info[fc];
    if (const size_t more = ExtraBytes(from, fc)) std::memcpy(to.extra[tc], from.extra[fc], more);
}
// Cell c becomes the one byte b (no zero) with attribute attr.
inline void SetByteCell(const CellRow& row, int c, uint8_t b, uint8_t attr) {
    row.glyph[c] = b;
    row.info[c] = attr;
}
// How many of the cells from ca on in a draw as those from cb on in b, of `count` at most.
int SameRun(const CellRow& a, int ca, const CellRow& b, int cb, int count);
// The first of the cells c..n-1 in which a and b draw differently (n: none).
inline int FirstDifference(const CellRow& a, const CellRow& b, int c, int n) {
    return c + SameRun(a, c, b, c, n - c);
}
// Cells from..from+count-1 of the row to cells to..to+count-1, as memmove moves bytes.
void MoveCells(const CellRow& row, int to, int from, int count);
// Cells c..end-1 of `from` into the same cells of `to`.
void CopyCells(const CellRow& to, const CellRow& from, int c, int end);
// The first of the cells from..n-1 behind which all are blanks in plain attributes (n: none).
int PlainBlanksFrom(const CellRow& row, int from, int n);
// Cells from..to-1 become blanks with attribute attr.
void BlankCells(const CellRow& row, int from, int to, uint8_t attr);
// Cell c, and c + 1 for a wide one, draw the character ch found at p, with attribute attr. Marks
// beyond a cell's room are left out.
void SetCharCells(const CellRow& row, int c, const uint8_t* p, const TextChar& ch, uint8_t attr);
// Lays the n bytes at s out as characters from column c, up to column limit, over what the row held
// (a wide character cut by this loses its other half too); a wide character that does not fit before
// limit is left out. Returns the column after the last cell written.
int PutText(const CellRow& row, int width, int c, int limit, const uint8_t* s, size_t n, bool utf8,
            uint8_t attr);

// ---- Rendering.
void ReadWindowSize(Editor& ed);
// Composes every text row, sends those that differ from what the terminal shows, then puts the terminal
// cursor on the cursor cell (stored in CursorScreenPos and DrawnCursorPos).
void RefreshWindow(Editor& ed);
// RefreshWindow without sending: for a key that arrives while more input is already waiting. Every
// state effect of the refresh happens; the rows go out with the next refresh, or before the editor
// waits for a key (OutputBeforeWait) when a command waits before the next refresh.
void ComposeWindow(Editor& ed);
// Before a key is awaited: when no input is waiting, sends what was composed and not yet sent, and
// flushes the output.
void OutputBeforeWait(Editor& ed);
// Sends the status row's cells that differ from what the terminal shows; the terminal cursor then goes
// to CursorScreenPos (nothing moves when no cell differs).
void SendStatusRow(Editor& ed);
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
// Forgets what the terminal shows, so the next refresh sends every row.
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

// ---- Status row.
void DrawStatusLine(Editor& ed);
// The status line composed into Status, not sent.
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
