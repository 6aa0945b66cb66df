// The text rows as cells: the window's top line, the horizontal offset, and each row composed from
// the text with the block and the cursor highlighted.
#include <cstring>

#include "screen/renderer.hpp"

namespace {

// Composes the rows of one refresh. A cell's attribute is the one in force when it is reached: the
// block's bold, the cursor's highlight, plain after the cursor cell until the block rule applies again.
struct RowComposer {
    Editor& ed;
    bool blockShown = false;
    bool blockOn = false;
    bool cursorOn = false;
    uint8_t attr = kAttrPlain;

    bool InBlock(Pos p) const { return blockShown && ed.BlockBegin <= p && p < ed.BlockEnd; }
    void BlockRule(Pos p) {
        bool in = InBlock(p);
        if (in && !blockOn) {
            attr = kAttrBold;
            blockOn = true;
        } else if (!in && blockOn) {
            attr = kAttrPlain;
            blockOn = false;
        }
    }

    // Steps over the characters hidden left of the window; one that is partly visible (a tab, a wide
    // character) is left to the composing loop.
    void SkipHidden(Pos* pp, uint64_t* dp) {
        const Pos from = *pp;
        const Pos p = SkipToColumn(ed, from, dp, ed.screen.HorizontalOffset);
        // The block may begin or end among the hidden cells; its attributes change there all the same.
        if (blockShown) {
            if (from < ed.BlockBegin && ed.BlockBegin < p) BlockRule(ed.BlockBegin);
            if (from < ed.BlockEnd && ed.BlockEnd < p) BlockRule(ed.BlockEnd);
        }
        *pp = p;
    }

    // Row r from line position p into `row`; returns the position where the next row starts, and sets
    // *finished once the end of the text was reached.
    Pos Compose(const CellRow& row, int r, Pos p, bool* finished) {
        const int columns = ed.screen.Columns;
        const uint64_t offset = ed.screen.HorizontalOffset;
        const bool utf8 = ed.Utf8;
        const uint8_t* buf = ed.buf;
        blockOn = InBlock(p);
        attr = blockOn ? kAttrBold : kAttrPlain;
        uint64_t d = 0;  // cells of the line before p
        int s = 0;       // cells of the row composed
        unsigned tabFill = 0;
        if (offset > 0) SkipHidden(&p, &d);
        for (;;) {
            // The next cell: a tab's fill, the end of the text or of the line, or a character at p.
            const bool filling = tabFill > 0;
            const Pos at = p;
            Pos next = p;
            uint8_t cell = ' ';
            TextChar ch{1, 1, CharShape::Shown};
            bool rowEnds = false;
            if (filling) {
                --tabFill;
            } else if (p >= ed.TextEnd) {
                rowEnds = true;
            } else {
                const uint8_t b = buf[p];
                next = p + 1;
                if (b == '\n') {
                    rowEnds = true;
                } else if (b == '\t') {
                    tabFill = unsigned(8 - d % 8 - 1);
                } else if (!utf8) {
                    cell = (b < 0x20 || (b >= 0x7F && b <= 0x9F)) ? '.' : b;
                } else if (b < 0x80 && buf[next] < 0x80) {
                    // Plain ASCII with no mark after it; the closing line feed ends every look ahead.
                    cell = b >= 0x20 && b < 0x7F ? b : '.';
                } else {
                    ch = CharAt(buf + p, buf + ed.TextEnd, true);
                    next = p + ch.length;
                    cell = 0;
                }
            }
            // A cursor inside a character stands on all of it.
            if (!filling && (at == ed.Cursor || (ed.Cursor > at && ed.Cursor < next))) {
                ed.screen.DrawnCursorPos = {r, s};
                ed.screen.CursorColumn = uint64_t(s) + offset;
                if (ed.InsertMode == kInsert) {
                    attr = ed.ConsoleVariant == 4 ? kAttrReverse : kAttrBold;
                    cursorOn = true;
                } else {
                    BlockRule(at);
                }
            } else {
                BlockRule(at);
            }
            if (rowEnds) {
                if (p < ed.TextEnd)
                    ++p;
                else
                    *finished = true;
                break;
            }
            p = next;
            if (s >= columns) {
                // Clipped: the rest of the line is not shown, and attributes no longer change.
                if (p < ed.TextEnd) {
                    const void* lf = std::memchr(buf + p, '\n', ed.TextEnd - p);
                    if (lf) {
                        p = Pos(static_cast<const uint8_t*>(lf) - buf) + 1;
                        break;
                    }
                    p = ed.TextEnd;
                }
                *finished = true;
                break;
            }
            const unsigned w = ch.width;
            if (d + w <= offset) {
                d += w;  // hidden left of the window
                continue;
            }
            if (d < offset || s + int(w) > columns) {
                // A wide character cut by the window's left or right edge: a blank in its visible cell.
                SetByteCell(row, s, ' ', attr);
                s += 1;
            } else {
                if (cell)
                    SetByteCell(row, s, cell, attr);
                else
                    SetCharCells(row, s, buf + at, ch, attr);
                s += int(w);
            }
            d += w;
            if (cursorOn) {
                attr = kAttrPlain;
                cursorOn = false;
                blockOn = false;
            }
        }
        // The cursor on a line end or at the end of the text shows as a highlighted space.
        if (cursorOn) {
            if (s < columns) SetByteCell(row, s++, ' ', attr);
            attr = kAttrPlain;
            cursorOn = false;
            blockOn = false;
        }
        for (; s < columns; ++s) SetByteCell(row, s, ' ', attr);
        return p;
    }

    void Blank(const CellRow& row) {
        for (int s = 0; s < ed.screen.Columns; ++s) SetByteCell(row, s, ' ', kAttrPlain);
    }
};

// The size, the offset and the cursor's column, the window's top line. Returns false when there is
// no buffer to show; else *top is the start of the line on the top row.
bool LayOut(Editor& ed, Pos* top) {
    const bool regionMode = ed.EditMode == EMACS || ed.EditMode == PICO || ed.EditMode == NEDIT;
    if (regionMode && ed.BlockVisible && ed.Mark) {
        ed.BlockBegin = ed.Mark < ed.Cursor ? ed.Mark : ed.Cursor;
        ed.BlockEnd = ed.Mark < ed.Cursor ? ed.Cursor : ed.Mark;
    }
    ReadWindowSize(ed);
    Screen& sc = ed.screen;
    sc.HorizontalOffset = 0;
    sc.CursorColumn = 0;
    sc.DrawnCursorPos = {0, 0};
    if (!ed.buf) return false;

    // The cursor's column decides the offset shared by every row.
    const Pos lineStart = LineStartAt(ed, ed.Cursor);
    const uint64_t c = ColumnOf(ed, lineStart, ed.Cursor);
    const uint64_t keep = sc.Columns > 5 ? uint64_t(sc.Columns - 5) : 0;  // the cursor's screen column
    if (c > keep) sc.HorizontalOffset = c - keep;
    sc.CursorColumn = c;

    int row = sc.CursorScreenPos.row;
    if (row > sc.TextRows - 1) row = sc.TextRows - 1;  // after a resize, or the prompt's row
    if (row < 0) row = 0;
    Pos p = lineStart;
    for (int k = 0; k < row && p > ed.TextStart; ++k) p = LineStartAt(ed, p - 1);
    *top = p;
    return true;
}

}  // namespace

void ComposeFrame(Editor& ed) {
    Pos top = 0;
    const bool text = LayOut(ed, &top);
    Screen& sc = ed.screen;
    sc.FrameRows = sc.TextRows;
    sc.FrameColumns = sc.Columns;
    RowComposer rc{ed};
    rc.blockShown = ed.BlockVisible && ed.BlockBegin && ed.BlockEnd && ed.BlockBegin < ed.BlockEnd;
    Pos p = top;
    bool finished = !text;
    for (int r = 0; r < sc.TextRows; ++r) {
        const CellRow row = GridRow(sc.Frame, sc, r);
        if (finished)
            rc.Blank(row);
        else
            p = rc.Compose(row, r, p, &finished);
    }
}
