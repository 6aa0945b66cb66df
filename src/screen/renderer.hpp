// Inside the renderer: the row composer, the cell sender and the scroll choice meet here.
#pragma once

#include "screen/screen.hpp"

// Composes every text row into Frame, with every state effect of a refresh but the terminal cursor's.
void ComposeFrame(Editor& ed);

// Lets the terminal scroll its text rows when the composed rows then cost fewer bytes to send; the
// rows that scroll are then sent with it. `changed`: how many text rows differ from what the terminal
// shows.
void ScrollIfCheaper(Editor& ed, int changed);

// ESC 7 and ESC 8: the terminal saves its cursor's place and attributes, and goes back to them.
inline constexpr char kSaveCursor[] = "\0337", kRestoreCursor[] = "\0338";

// The status row's first n cells sent before the rows of the frame just sent, where that is shorter
// than after them; whether they were.
bool StatusBeforeFrame(Editor& ed, int n);

// Sends the first n cells of `cells` as screen row r when they differ from what the terminal shows
// there; the terminal cursor then goes to CursorScreenPos.
void SendCells(Editor& ed, int r, const CellRow& cells, int n);
// SendCells for a row already found to differ.
void SendChangedCells(Editor& ed, int r, const CellRow& cells, int n);

// Sends cells, tracking the terminal cursor and attribute as it goes. A dry run only counts the bytes
// it would send and leaves the editor's state alone.
struct CellSender {
    Editor& ed;
    bool dry;
    size_t bytes = 0;
    int row, col;
    uint8_t attr;
    int lastShift;  // Screen::LastShift as this sender goes

    CellSender(Editor& e, bool d);
    // Writes the tracked state back (a real run only).
    void Commit();
    void Emit(const void* p, size_t n);
    void SetAttr(uint8_t a);
    // Moves the cursor to (r, c) the cheapest way: absolutely, relatively, back to the place the
    // terminal saved (ESC 8), or by sending again the cells in between when they already show with the
    // attribute in force, or with `next` (the attribute wanted once there, kAttrUnknown: none) set
    // before. `shown` is row r as the terminal shows it (nullptr: not to be sent again).
    void MoveTo(int r, int c, const CellRow* shown, uint8_t next = kAttrUnknown);
    // Sends cells from..to-1 of `cells` where the cursor stands, each with its attribute.
    void Run(const CellRow& cells, int from, int to);
    // Sends the first n cells of screen row r that differ from `shown` (what the terminal shows there),
    // and unless this is a dry run records them there. `erase`: trailing blanks may be erased to the
    // end of the row. On a terminal that shifts cells, it first inserts or deletes cells where that
    // leaves fewer to send.
    void Row(int r, const CellRow& cells, const CellRow& shown, int n, bool erase);
    // Row without shifting: the cells that differ, as they are.
    void Diff(int r, const CellRow& cells, const CellRow& shown, int n, bool erase);

private:
    void NoteReturnPlace();
};
