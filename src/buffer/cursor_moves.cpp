// Cursor movement commands: they move Cursor and the screen row, never the text.
#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// Lines per page and per half page; a window of zero or one text row steps nothing.
uint64_t PageLines(const Editor& ed) { return ed.screen.TextRows > 1 ? uint64_t(ed.screen.TextRows - 1) : 0; }
uint64_t HalfPageLines(const Editor& ed) { return PageLines(ed) / 2; }

void LinesUp(Editor& ed, uint64_t count) {
    DisplayColumn(ed, ed.Cursor);  // the wanted column is taken afresh at every vertical move
    Pos start = StepLinesBack(ed, ed.Cursor, count);
    // Going up can only stop early at line 1, so the number stays exact without a recount.
    ed.LineNumber = ed.LineNumber > count ? ed.LineNumber - count : 1;
    ed.Cursor = PositionAtColumn(ed, start, ed.WantedColumn);
}

void LinesDown(Editor& ed, uint64_t count) {
    DisplayColumn(ed, ed.Cursor);
    // On the last line the step gives the cursor itself, not its line start; the scan that met the
    // closing line feed has asked for the recount that repairs the number added here.
    Pos start = LineStartOf(ed, StepLinesForward(ed, ed.Cursor, count));
    ed.LineNumber += count;
    ed.Cursor = PositionAtColumn(ed, start, ed.WantedColumn);
}

// The cursor to p when p still lies in the text (positions not kept in step may point beyond it, or
// into a character that changes around them have made).
void JumpTo(Editor& ed, Pos p) {
    if (p < ed.TextStart || p > ed.TextEnd) return;
    ed.Cursor = CharStartAt(ed, p);
    ed.RecountLines = true;
}

}  // namespace

void CharLeft(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    if (ByteAt(ed, ed.Cursor - 1) == '\n') {
        if (ed.EditMode == VI) return;
        WindowRowUp(ed);
        --ed.LineNumber;
    }
    ed.Cursor = PrevChar(ed, ed.Cursor);
}

void CharRight(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    if (ByteAt(ed, ed.Cursor) == '\n') {
        if (ed.EditMode == VI) return;
        WindowRowDown(ed);
        ++ed.LineNumber;
    }
    ed.Cursor = NextChar(ed, ed.Cursor);
}

void LineUp(Editor& ed) {
    WindowRowUp(ed);
    LinesUp(ed, 1);
}

void LineDown(Editor& ed) {
    WindowRowDown(ed);
    LinesDown(ed, 1);
}

void LineStart(Editor& ed) { ed.Cursor = LineStartOf(ed, ed.Cursor); }
void LineEnd(Editor& ed) { ed.Cursor = LineEndOf(ed, ed.Cursor); }

void FirstNonBlank(Editor& ed) {
    Pos p = LineStartOf(ed, ed.Cursor);
    // A blank that carries a combining mark is no longer blank.
    while (ByteAt(ed, p) <= ' ' && ByteAt(ed, p) != '\n' && NextChar(ed, p) == p + 1) ++p;
    ed.Cursor = p;
}

void PageUp(Editor& ed) { LinesUp(ed, PageLines(ed)); }
void PageDown(Editor& ed) { LinesDown(ed, PageLines(ed)); }
void HalfPageUp(Editor& ed) { LinesUp(ed, HalfPageLines(ed)); }
void HalfPageDown(Editor& ed) { LinesDown(ed, HalfPageLines(ed)); }
// The screen row stays, so the window moves by the line the cursor moves.
void ScrollUp(Editor& ed) { LinesUp(ed, 1); }
void ScrollDown(Editor& ed) { LinesDown(ed, 1); }

void WordLeft(Editor& ed) {
    auto b = [&ed](Pos q) { return ByteAt(ed, q); };
    Pos p = ed.Cursor;
    for (;;) {
        // Line starts are crossed backwards onto the previous line's line feed, empty lines included.
        while (b(p - 1) == '\n') {
            if (p <= ed.TextStart) {
                ed.Cursor = p;
                return;
            }
            --p;
            --ed.LineNumber;
        }
        p = PrevChar(ed, p);
        if (IsWordChar(b(p))) break;
    }
    // A character's first byte says whether it belongs to a word.
    for (Pos q; IsWordChar(b(q = PrevChar(ed, p)));) p = q;
    ed.Cursor = p;
}

void WordRight(Editor& ed) {
    auto b = [&ed](Pos q) { return ByteAt(ed, q); };
    const bool toWordEnd = ed.EditMode == EMACS;
    Pos p = ed.Cursor;
    while (p < ed.TextEnd) {
        if (b(p) == '\n') ++ed.LineNumber;
        const Pos before = p;
        p = NextChar(ed, p);
        if (toWordEnd ? IsWordChar(b(before)) && !IsWordChar(b(p))
                      : IsWordChar(b(p)) && !IsWordChar(b(before)))
            break;
    }
    ed.Cursor = p;
}

void WordEnd(Editor& ed) {
    auto b = [&ed](Pos q) { return ByteAt(ed, q); };
    Pos p = ed.Cursor;
    for (;;) {
        while (b(p) == '\n') {
            if (p >= ed.TextEnd) {
                ed.Cursor = p;
                return;
            }
            ++p;
            ++ed.LineNumber;
        }
        // Always one step, even right after a line feed: a line's first byte is never a stop.
        p = NextChar(ed, p);
        if (IsWordChar(b(p)) && !IsWordChar(b(NextChar(ed, p)))) break;
    }
    ed.Cursor = p;
}

void WindowTop(Editor& ed) {
    int row = ed.screen.CursorScreenPos.row;
    ed.Cursor = StepLinesBack(ed, ed.Cursor, row > 0 ? uint64_t(row) : 0);
    WindowHome(ed);
    ed.RecountLines = true;
}

void WindowBottom(Editor& ed) {
    int below = ed.screen.TextRows - 1 - ed.screen.CursorScreenPos.row;
    ed.Cursor = LineEndOf(ed, StepLinesForward(ed, ed.Cursor, below > 0 ? uint64_t(below) : 0));
    WindowLastRow(ed);
    ed.RecountLines = true;
}

void WindowMiddle(Editor& ed) {
    int row = ed.screen.CursorScreenPos.row;
    Pos top = StepLinesBack(ed, ed.Cursor, row > 0 ? uint64_t(row) : 0);
    // (R - 1) / 2 lines and one more for an even R: the line on row R / 2.
    int down = ed.screen.TextRows / 2;
    ed.Cursor = LineStartOf(ed, StepLinesForward(ed, top, down > 0 ? uint64_t(down) : 0));
    CenterLine(ed);
    ed.RecountLines = true;
}

void GoTextStart(Editor& ed) {
    ed.Cursor = ed.TextStart;
    ed.RecountLines = true;
}

void GoTextEnd(Editor& ed) {
    ed.Cursor = ed.TextEnd;
    ed.RecountLines = true;
}

void ViGoFirstLine(Editor& ed) {
    if (ReadKeyLead(ed) == 'G') GoTextStart(ed);
}

void GoLineNumber(Editor& ed, uint64_t n) {
    ed.Cursor = LineStartOf(ed, StepLinesForward(ed, ed.TextStart, n > 1 ? n - 1 : 0));
    ed.RecountLines = true;
}

void GoLine(Editor& ed) {
    bool empty = true;
    uint64_t n = ReadNumber(ed, "GO LINE:", 10, &empty);
    if (empty || n == 0) return;
    GoLineNumber(ed, n);
}

void GoBlockBegin(Editor& ed) {
    if (ed.BlockBegin != 0) JumpTo(ed, ed.BlockBegin);
}

void GoBlockEnd(Editor& ed) {
    if (ed.BlockEnd != 0) JumpTo(ed, ed.BlockEnd);
}

void LastFind(Editor& ed) {
    if (ed.LastFindKind != 0) JumpTo(ed, ed.LastFindPos);
}

// PrevCursor is not kept in step with changes: beyond a shortened text it is simply refused.
void PreviousPosition(Editor& ed) { JumpTo(ed, ed.PrevCursor); }

void CenterLine(Editor& ed) { WindowRowCentre(ed); }

void ViCenterLine(Editor& ed) {
    if (ReadKeyLead(ed) == '.') CenterLine(ed);
}

void ExchangeMark(Editor& ed) {
    Pos old = ed.Mark;
    if (old < ed.TextStart || old > ed.TextEnd) return;
    ed.Mark = ed.Cursor;
    ed.BlockVisible = 1;
    ed.Cursor = CharStartAt(ed, old);
    CenterLine(ed);
    ed.RecountLines = true;
}
