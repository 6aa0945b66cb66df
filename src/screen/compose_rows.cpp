// The text rows as cells: the window's top line, the horizontal offset, and each row composed from
// the text with the block and the cursor highlighted.
#include <cstring>

#include "screen/renderer.hpp"

namespace {

// What a refresh finds before it composes a row.
struct Layout {
    Pos top = 0;         // the start of the line on the top row
    Pos cursor = 0;      // the start of the character the cursor stands on
    Pos cursorLine = 0;  // the start of the cursor's line
    // A place on the cursor's line at or before the first visible cell, and its column: the hidden part
    // of that row is skipped from there.
    Pos skipFrom = 0;
    uint64_t skipColumn = 0;
};

// Bytes before the cursor from where its row's hidden part is skipped (see LayOut).
constexpr Pos kNearBytes = Pos(kMaxColumns) * kCellBytes;

// Cells left of the window's edge where a row notes the place it skips the next refresh's hidden part
// from: a window moved back by as many columns still starts there.
constexpr uint64_t kSkipMargin = 32;

// Composes the rows of one refresh. A cell's attribute is the one in force when it is reached: the
// block's bold, the cursor's highlight, plain after the cursor cell until the block rule applies again.
struct RowComposer {
    Editor& ed;
    Layout layout;
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
    // character) is left to the composing loop. It starts from the nearest known place of the line at
    // or before the window's edge: the line start, the cursor's near place, or one of the two the row
    // noted last time (`k`, when `resume`): where its hidden part ended, and a place a little before.
    // Both are noted again.
    void SkipHidden(Pos* pp, uint64_t* dp, Screen::KeptRow& k, bool resume) {
        const uint64_t offset = ed.screen.HorizontalOffset;
        const Pos from = *pp;
        Pos p = from;
        if (from == layout.cursorLine) {
            p = layout.skipFrom;
            *dp = layout.skipColumn;
        }
        if (resume && k.edgeColumn > *dp && k.edgeColumn <= offset) {
            p = k.edgeAt;
            *dp = k.edgeColumn;
        } else if (resume && k.skipColumn > *dp && k.skipColumn <= offset) {
            p = k.skipAt;
            *dp = k.skipColumn;
        }
        if (offset - *dp > kSkipMargin) {
            p = SkipToColumn(ed, p, dp, offset - kSkipMargin);
            k.skipAt = p;
            k.skipColumn = *dp;
        } else if (!resume) {
            k.skipAt = p;
            k.skipColumn = *dp;
        }
        p = SkipToColumn(ed, p, dp, offset);
        k.edgeAt = p;
        k.edgeColumn = *dp;
        // The block may begin or end among the hidden cells; its attributes change there all the same.
        if (blockShown) {
            if (from < ed.BlockBegin && ed.BlockBegin < p) BlockRule(ed.BlockBegin);
            if (from < ed.BlockEnd && ed.BlockEnd < p) BlockRule(ed.BlockEnd);
        }
        *pp = p;
    }

    // Bytes from p on, at most `room`, that are each one plain visible cell, with no cursor or block
    // boundary among them: they go into the row at once, in the attribute in force at p (which the
    // block rule settles first).
    int PlainRun(Pos p, int room) {
        BlockRule(p);
        Pos limit = p + Pos(room < 0 ? 0 : room);
        if (limit > ed.TextEnd) limit = ed.TextEnd;
        if (layout.cursor > p && layout.cursor < limit) limit = layout.cursor;
        if (blockShown) {
            if (ed.BlockBegin > p && ed.BlockBegin < limit) limit = ed.BlockBegin;
            if (ed.BlockEnd > p && ed.BlockEnd < limit) limit = ed.BlockEnd;
        }
        const uint8_t* buf = RunBase(ed, p);  // a row lies in one line, so in one run
        Pos q = p;
        if (ed.Utf8) {
            // ASCII, and bytes that begin no sequence or one broken at its second byte, which show as
            // "." and take no marks; a letter after which a mark may follow is left to the character
            // decoding. The closing line feed ends every look ahead.
            for (; q < limit; ++q) {
                const uint8_t b = buf[q];
                if (b >= 0x80) {
                    if (BeginsNoSequence(b) || !SecondByteFits(b, buf[q + 1])) continue;
                    break;
                }
                if (b == '\t' || b == '\n') break;
                if (b < 0x20 || b == 0x7F) continue;
                const uint8_t after = buf[q + 1];
                if (after >= 0x80 && !BeginsNoSequence(after) && SecondByteFits(after, buf[q + 2])) break;
            }
        } else {
            while (q < limit && buf[q] >= 0x20 && !(buf[q] >= 0x7F && buf[q] <= 0x9F)) ++q;
        }
        return int(q - p);
    }

    // Row r from line position p into `row`; returns the position where the next row starts, and sets
    // *finished once the end of the text was reached. `k` notes where the row's hidden part ends;
    // `resume`: what it noted is still a place of this line, unchanged.
    Pos Compose(const CellRow row, int r, Pos p, bool* finished, Screen::KeptRow& k, bool resume) {
        const int columns = ed.screen.Columns;
        const uint64_t offset = ed.screen.HorizontalOffset;
        const bool utf8 = ed.Utf8;
        const uint8_t* buf = RunBase(ed, p);  // a row lies in one line, so in one run
        blockOn = InBlock(p);
        attr = blockOn ? kAttrBold : kAttrPlain;
        uint64_t d = 0;  // cells of the line before p
        int s = 0;       // cells of the row composed
        unsigned tabFill = 0;
        if (offset > 0) {
            SkipHidden(&p, &d, k, resume);
        } else {
            k.skipAt = k.edgeAt = p;
            k.skipColumn = k.edgeColumn = 0;
        }
        for (;;) {
            if (tabFill == 0 && !cursorOn && d >= offset && p != layout.cursor) {
                const int n = PlainRun(p, columns - s);
                if (n > 0) {
                    if (utf8) {
                        for (int k = 0; k < n; ++k) {
                            const uint8_t b = buf[p + Pos(k)];
                            row.glyph[s + k] = b >= 0x20 && b < 0x7F ? b : '.';
                        }
                    } else {
                        for (int k = 0; k < n; ++k) row.glyph[s + k] = buf[p + Pos(k)];
                    }
                    std::memset(row.info + s, attr, size_t(n));
                    s += n;
                    d += unsigned(n);
                    p += Pos(n);
                }
            }
            // The next cell: a tab's fill, the end of the text or of the line, or a character at p.
            const bool filling = tabFill > 0;
            const Pos here = p;
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
                } else if (b >= 0x80 && (BeginsNoSequence(b) || !SecondByteFits(b, buf[next]))) {
                    cell = '.';  // no character begins here: a byte of none, or a lead byte broken off
                } else {
                    ch = CharAt(buf + p, RunEnd(ed, p), true);
                    next = p + ch.length;
                    cell = ch.shape == CharShape::Dot ? '.' : 0;
                }
            }
            if (!filling && here == layout.cursor) {
                ed.screen.DrawnCursorPos = {r, s};
                ed.screen.CursorColumn = uint64_t(s) + offset;
                if (ed.InsertMode == kInsert) {
                    attr = ed.ConsoleVariant == 4 ? kAttrReverse : kAttrBold;
                    cursorOn = true;
                } else {
                    BlockRule(here);
                }
            } else {
                BlockRule(here);
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
                    const Pos lf = FindByte(ed, p, ed.TextEnd, '\n');
                    if (lf < ed.TextEnd) {
                        p = lf + 1;
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
                    SetCharCells(row, s, buf + here, ch, attr);
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
        BlankCells(row, s, columns, attr);
        return p;
    }

    void Blank(const CellRow& row) { BlankCells(row, 0, ed.screen.Columns, kAttrPlain); }
};

// The size, the offset and the cursor's column, the window's top line. False when there is no buffer
// to show.
bool LayOut(Editor& ed, Layout* lay) {
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

    // The cursor's column decides the offset shared by every row; a cursor inside a character stands
    // on all of it. On a long line of characters the column of a place a few thousand bytes before the
    // cursor is asked too, and the hidden part of the cursor's row is skipped from there. Asked last,
    // that place is the one ColumnOf keeps: a change at the cursor leaves it standing, and the next
    // refresh counts from it only the bytes up to the cursor.
    const Pos lineStart = LineStartAt(ed, ed.Cursor);
    lay->cursor = CharStartAt(ed, ed.Cursor);
    lay->cursorLine = lineStart;
    const uint64_t c = ColumnOf(ed, lineStart, lay->cursor);
    Pos near = lineStart;
    uint64_t nearColumn = 0;
    if (ed.Utf8 && lay->cursor - lineStart > kNearBytes) {
        near = CharStartAt(ed, lay->cursor - kNearBytes);
        // Among bytes of no character, a place that is no continuation byte, which ColumnOf can count
        // back to from the place it keeps.
        for (int k = 0; k < 8 && near > lineStart && (ByteAt(ed, near) & 0xC0) == 0x80; ++k)
            near = CharStartAt(ed, near - 1);
        nearColumn = ColumnOf(ed, lineStart, near);
    }
    const uint64_t keep = sc.Columns > 5 ? uint64_t(sc.Columns - 5) : 0;  // the cursor's screen column
    if (c > keep) sc.HorizontalOffset = c - keep;
    sc.CursorColumn = c;
    const bool fromNear = sc.HorizontalOffset >= nearColumn;
    lay->skipFrom = fromNear ? near : lineStart;
    lay->skipColumn = fromNear ? nearColumn : 0;

    int row = sc.CursorScreenPos.row;
    if (row > sc.TextRows - 1) row = sc.TextRows - 1;  // after a resize, or the prompt's row
    if (row < 0) row = 0;
    Pos p = lineStart;
    for (int k = 0; k < row && p > ed.TextStart; ++k) p = LineStartAt(ed, p - 1);
    lay->top = p;
    return true;
}

}  // namespace

void ComposeFrame(Editor& ed) {
    if (ed.Utf8) ReserveCellExtras(ed);
    RowComposer rc{ed, {}};
    const bool text = LayOut(ed, &rc.layout);
    Screen& sc = ed.screen;
    rc.blockShown = ed.BlockVisible && ed.BlockBegin && ed.BlockEnd && ed.BlockBegin < ed.BlockEnd;
    // A row composed before is taken as it is when it looks the same and its line did not change: a line
    // ending before the first change, or one of the bytes that followed the last, moved with them. The
    // cursor's row, old and new, is always composed again.
    const bool keep = sc.FrameRows == sc.TextRows && sc.FrameColumns == sc.Columns && ed.ChangedFrom != 0 &&
                      sc.KeptOffset == sc.HorizontalOffset && sc.KeptUtf8 == ed.Utf8 && !sc.KeptRegion &&
                      !rc.blockShown;
    const Pos head = ed.ChangedFrom, tail = ed.TextEnd - ed.TailKept, moved = ed.TextEnd - sc.KeptTextEnd;
    const int oldCursorRow = sc.KeptCursorRow, oldRows = sc.FrameRows;
    // Whatever it looks like, a row still shows the line it was composed from when that line ends before
    // the first change, or is one of the bytes that followed the last.
    const bool known = ed.ChangedFrom != 0 && sc.KeptUtf8 == ed.Utf8;
    sc.FrameRows = sc.TextRows;
    sc.FrameColumns = sc.Columns;
    sc.KeptCursorRow = -1;
    Pos p = rc.layout.top;
    bool finished = !text;
    for (int r = 0; r < sc.TextRows; ++r) {
        Screen::KeptRow& k = sc.Kept[r];
        if (finished) {
            rc.Blank(FrameRow(sc, r));
            k.valid = false;
            k.onTerminal = false;
            continue;
        }
        bool same = false;
        if (known && k.valid && r < oldRows) {
            if (p == k.start && k.next <= head) {
                same = true;
            } else if (p >= tail && p == k.start + moved) {  // moved may wrap: positions add modulo 2^64
                same = true;
                k.start = p;
                k.next += moved;
                k.skipAt += moved;
                k.edgeAt += moved;
            }
        }
        if (p == rc.layout.cursorLine) {
            sc.KeptCursorRow = r;
        } else if (keep && same && r != oldCursorRow) {
            p = k.next;
            continue;
        }
        k.start = p;
        p = rc.Compose(FrameRow(sc, r), r, p, &finished, k, same);
        k.next = p;
        k.valid = !finished;
        k.onTerminal = false;
    }
    // A window moved sideways moves every row's cells alike: by as many as the offset changed.
    const int64_t sideways = int64_t(sc.KeptOffset - sc.HorizontalOffset);
    if (sideways != 0 && sideways >= -kMaxColumns && sideways <= kMaxColumns) sc.LastShift = int(sideways);
    sc.KeptOffset = sc.HorizontalOffset;
    sc.KeptUtf8 = ed.Utf8;
    sc.KeptRegion = rc.blockShown;
    sc.KeptTextEnd = ed.TextEnd;
    ed.ChangedFrom = ~Pos(0);
    ed.TailKept = ed.TextEnd;
}
