// The refresh of the text window and the operations that choose the cursor's screen row.
#include <cstring>

#include "screen/renderer.hpp"

void ReadWindowSize(Editor& ed) {
    WinSize ws = ed.term.Size();
    if (ws.failed && ed.screen.SizeKnown) return;  // keep the last size read
    int rows = ws.rows;
    int cols = ws.cols;
    if (ws.failed || cols <= 0) {
        rows = 24;
        cols = 80;
    } else {
        ed.screen.SizeKnown = true;
    }
    if (rows < 1) rows = 1;
    if (rows > kMaxRows) rows = kMaxRows;
    if (cols > kMaxColumns) cols = kMaxColumns;
    Screen& sc = ed.screen;
    // After a resize nothing the terminal shows is known any more.
    if (rows - 1 != sc.TextRows || cols != sc.Columns) {
        sc.TextRows = rows - 1;
        sc.Columns = cols;
        InvalidateScreenCache(ed);
    }
}

static void SendFrame(Editor& ed) {
    Screen& sc = ed.screen;
    // Rows composed for another size are composed again for this one.
    if (sc.FrameRows != sc.TextRows || sc.FrameColumns != sc.Columns) ComposeFrame(ed);
    sc.FramePending = false;
    // The rows that differ from what the terminal shows, looked for once for the scroll choice and the
    // sending, and only among the rows composed since the last sending. On a screen of unknown content
    // every row goes out, unlooked at: its pages are about to be written anyway.
    bool differs[kMaxRows];
    int changed = 0;
    for (int r = 0; r < sc.TextRows; ++r) {
        differs[r] = sc.ScreenUnknown ||
                     (!sc.Kept[r].onTerminal && !SameCells(FrameRow(sc, r), ShownRow(sc, r), sc.Columns));
        changed += differs[r];
    }
    sc.FrameFromSavedPlace = sc.SavedPlaceKnown && !sc.ScreenUnknown && sc.TermRow == sc.SavedPlace.row &&
                             sc.TermCol == sc.SavedPlace.col && sc.TermAttr == kAttrPlain;
    sc.FrameStartAt = sc.OutLength;
    ScrollIfCheaper(ed, changed);  // a row it sent goes through the sending again, which finds it the same
    for (int r = 0; r < sc.TextRows; ++r)
        if (differs[r]) SendChangedCells(ed, r, FrameRow(sc, r), sc.Columns);
    for (int r = 0; r < sc.TextRows; ++r) sc.Kept[r].onTerminal = true;
    sc.FrameEndAt = sc.OutLength;
}

// A frame's rows that set out from the place the terminal saved and end where the cursor stays (typing
// after a move): the status row then goes out first, from there, and ESC 8 brings the cursor back for
// the rows, when that is shorter than sending it after them and coming back. Its cells go out as they
// differ, without a shift: the status line's changes are a mark and a few digits.
bool StatusBeforeFrame(Editor& ed, int n) {
    Screen& sc = ed.screen;
    const ScreenPos end = sc.CursorScreenPos;
    if (!sc.FrameFromSavedPlace || !sc.SavedPlaceKnown || sc.ScreenUnknown || sc.OutLength != sc.FrameEndAt ||
        sc.TermAttr != kAttrPlain || sc.TermRow != end.row || sc.TermCol != end.col ||
        (end.row == sc.SavedPlace.row && end.col == sc.SavedPlace.col))
        return false;
    const CellRow cells = StatusCells(sc), shown = ShownRow(sc, sc.TextRows);
    if (SameCells(cells, shown, n)) return false;
    CellSender after(ed, true);
    after.Diff(sc.TextRows, cells, shown, n, false);
    // The way back from it: ESC 7 slipped in where the rows passed the cursor's place, and ESC 8; or a
    // move and the attributes turned off.
    size_t back =
        sc.ReturnPlaceSet && sc.ReturnPlace.row == end.row && sc.ReturnPlace.col == end.col ? 4 : 99;
    const size_t later = after.bytes;
    after.bytes = 0;
    after.MoveTo(end.row, end.col, nullptr, kAttrPlain);
    after.SetAttr(kAttrPlain);
    if (after.bytes < back) back = after.bytes;
    CellSender first(ed, true);
    first.row = sc.SavedPlace.row;
    first.col = sc.SavedPlace.col;
    first.attr = kAttrPlain;
    first.Diff(sc.TextRows, cells, shown, n, false);
    uint8_t status[512];
    const size_t length = first.bytes + 2;
    if (length >= later + back || length > sizeof status || sc.OutLength + length > sizeof sc.Out)
        return false;
    // The status row goes out at the end, as from the saved place, and then moves before the rows.
    const size_t rowsAt = sc.FrameStartAt, statusAt = sc.OutLength;
    first.dry = false;
    first.row = sc.SavedPlace.row;
    first.col = sc.SavedPlace.col;
    first.attr = kAttrPlain;
    first.Diff(sc.TextRows, cells, shown, n, false);
    SendBytes(ed, kRestoreCursor, 2);
    std::memcpy(status, sc.Out + statusAt, length);
    std::memmove(sc.Out + rowsAt + length, sc.Out + rowsAt, statusAt - rowsAt);
    std::memcpy(sc.Out + rowsAt, status, length);
    sc.ReturnPlaceSet = false;  // the cursor ends on its place
    sc.WantedCursor = end;
    return true;
}

void RefreshWindow(Editor& ed) {
    ComposeFrame(ed);
    SendFrame(ed);
    RestoreCursor(ed);
}

void ComposeWindow(Editor& ed) {
    ComposeFrame(ed);
    ed.screen.FramePending = true;
    RestoreCursor(ed);
}

void OutputBeforeWait(Editor& ed) {
    Screen& sc = ed.screen;
    if (!sc.FramePending && !sc.StatusPending && !OutputWaiting(ed)) return;
    if (ed.term.InputPending()) return;  // the next key's refresh will show it all
    // Rows composed for a key whose refresh was skipped go out now, under whatever the command that
    // waits has put on the status row, with the cursor where that command wants it.
    const ScreenPos wanted = sc.WantedCursor;
    if (sc.FramePending) SendFrame(ed);
    if (sc.StatusPending) SendStatusRow(ed);
    sc.WantedCursor = wanted;
    FlushOutput(ed);
}

static void SetCursorScreenPos(Editor& ed, int row, int col) {
    ed.screen.CursorScreenPos = {row, col};
    MoveTerminalCursor(ed, row, col);
}

void WindowRowUp(Editor& ed) {
    const ScreenPos& p = ed.screen.CursorScreenPos;
    SetCursorScreenPos(ed, p.row > 0 ? p.row - 1 : 0, p.col);
}

void WindowRowDown(Editor& ed) {
    const ScreenPos& p = ed.screen.CursorScreenPos;
    SetCursorScreenPos(ed, p.row < ed.screen.TextRows - 1 ? p.row + 1 : p.row, p.col);
}

void WindowRowCentre(Editor& ed) {
    uint64_t col = ed.buf ? ColumnOf(ed, LineStartAt(ed, ed.Cursor), ed.Cursor) : 0;
    if (col > uint64_t(kMaxColumns)) col = kMaxColumns;
    SetCursorScreenPos(ed, ed.screen.TextRows / 2, int(col));
}

void WindowHome(Editor& ed) { SetCursorScreenPos(ed, 0, 0); }

void WindowLastRow(Editor& ed) {
    SetCursorScreenPos(ed, ed.screen.TextRows > 0 ? ed.screen.TextRows - 1 : 0, 0);
}

// Only the terminal cursor moves: the window keeps its place under a message or question.
void PromptCursor(Editor& ed) { MoveTerminalCursor(ed, ed.screen.TextRows, 10); }

void RestoreCursor(Editor& ed) {
    const ScreenPos p = ed.screen.DrawnCursorPos;
    SetCursorScreenPos(ed, p.row, p.col);
}

char* NumberToDecimal(uint64_t v, char* end) {
    do {
        *end-- = char('0' + v % 10);
        v /= 10;
    } while (v);
    return end;
}
