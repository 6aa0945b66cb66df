// The text window, the screen cache and what the terminal shows. Rows are composed as images (cells
// with the attribute changes between them, see RowComposer); an image that differs from its cache slot
// is compared cell by cell with what the terminal is known to show, and only the cells that differ go
// out. All output is gathered in Screen::Out and written at once by FlushOutput, which the key reader
// calls before it waits. The images hold ESC[0m, ESC[1m and ESC[7m between their cells; they are
// never sent as they stand. Only these sequences are ever sent:
//   ESC [ r ; c H          cursor position, 1-based, shortest form: ESC[rH for column 1, ESC[H for 1;1
//   ESC [ n A / B / C / D  cursor up, down, right, left by n (n omitted when 1); down only where
//                          the scroll region's last row does not lie between the two rows
//   CR, BS                 cursor to column 1 of its row, one column left
//   CR LF                  cursor to the start of the next row, where LF does not scroll
//   ESC [ m                attributes off (also ends the status colours)
//   ESC [ 1 m, ESC [ 0;1 m bold: block cells, and the cursor cell on ordinary terminals
//   ESC [ 7 m, ESC [ 0;7 m reverse: the cursor cell on the Linux console
//   ESC [ 44;33;1 m, ESC [ 0;44;33;1 m    the status colours
//   ESC [ K                erase to the end of the row: trailing blanks of a text row, plain attributes
//   ESC [ 1 ; t r          scroll region over the text rows (t = TextRows); the cursor goes home
//   ESC [ r                scroll region back to the whole screen (before the terminal is handed back)
//   LF                     at the region's last row: the text rows scroll up by one
//   ESC M                  at the region's first row: the text rows scroll down by one
//   ESC 7, ESC 8           the cursor's place and attributes saved where it passes the place it
//                          ends on, and put back at the end, when that is shorter than a move there
//   LF                     once more when the editor leaves, below the status row
//   0x07                   the bell
// A character written into the last column leaves the cursor's place unknown (terminals differ on
// where it stands), so the next cell is positioned absolutely.
#include <cstdlib>
#include <cstring>

#include "screen/screen.hpp"

namespace {

constexpr size_t kAttrLen = 4;  // ESC [ x m inside a row image
constexpr char kNormal[] = "\x1b[0m";
constexpr char kBold[] = "\x1b[1m";
constexpr char kReverse[] = "\x1b[7m";

// An invalidated slot: no zero byte anywhere, so every image (which ends in one) differs from it.
constexpr uint8_t kInvalid = 0xFF;

size_t ImageLength(const uint8_t* image) {
    const void* z = std::memchr(image, 0, kRowImageSize);
    return z ? size_t(static_cast<const uint8_t*>(z) - image) : kRowImageSize - 1;
}

bool SameImage(const uint8_t* a, const uint8_t* b) {
    size_t n = ImageLength(a);
    return std::memcmp(a, b, n + 1) == 0;
}

// Splits a row image into cells and their attributes; returns the number of cells (at most `columns`).
// The status row carries no attribute changes: every cell has the status colours.
int DecodeImage(const uint8_t* image, bool status, int columns, uint8_t* cells, uint8_t* attrs) {
    uint8_t attr = status ? kAttrStatus : kAttrPlain;
    int n = 0;
    for (const uint8_t* p = image; *p && n < columns; ++p) {
        if (!status && p[0] == 0x1B && p[1] == '[' && p[2] && p[3] == 'm') {
            attr = p[2] == '1' ? kAttrBold : p[2] == '7' ? kAttrReverse : kAttrPlain;
            p += kAttrLen - 1;
            continue;
        }
        cells[n] = *p;
        attrs[n] = attr;
        ++n;
    }
    return n;
}

char* PutNumber(char* out, int v) {
    char digits[12];
    char* end = NumberToDecimal(uint64_t(v), digits + sizeof digits - 1);
    size_t n = size_t(digits + sizeof digits - 1 - end);
    std::memcpy(out, end + 1, n);
    return out + n;
}

// ESC [ n <final>, n left out when it is 1.
size_t RelativeMove(char* out, int n, char final) {
    char* o = out;
    *o++ = 0x1B;
    *o++ = '[';
    if (n != 1) o = PutNumber(o, n);
    *o++ = final;
    return size_t(o - out);
}

size_t AbsoluteMove(char* out, int row, int col) {
    char* o = out;
    *o++ = 0x1B;
    *o++ = '[';
    if (row > 0 || col > 0) o = PutNumber(o, row + 1);
    if (col > 0) {
        *o++ = ';';
        o = PutNumber(o, col + 1);
    }
    *o++ = 'H';
    return size_t(o - out);
}

// The shortest way from `from` to `to` within one row.
size_t HorizontalMove(char* out, int from, int to) {
    if (to == from) return 0;
    if (to == 0) {
        *out = '\r';
        return 1;
    }
    if (to < from && from - to <= 3) {
        std::memset(out, '\b', size_t(from - to));
        return size_t(from - to);
    }
    return to > from ? RelativeMove(out, to - from, 'C') : RelativeMove(out, from - to, 'D');
}

const char* SgrFor(uint8_t from, uint8_t to) {
    switch (to) {
        case kAttrBold:
            return from == kAttrPlain ? "\x1b[1m" : "\x1b[0;1m";
        case kAttrReverse:
            return from == kAttrPlain ? "\x1b[7m" : "\x1b[0;7m";
        case kAttrStatus:
            return from == kAttrPlain || from == kAttrBold ? "\x1b[44;33;1m" : "\x1b[0;44;33;1m";
        default:
            return "\x1b[m";
    }
}

// Sends cells, tracking the terminal cursor and attribute as it goes. A dry run only counts the bytes
// it would send and leaves the editor's state alone.
struct CellSender {
    Editor& ed;
    bool dry;
    size_t bytes = 0;
    int row, col;
    uint8_t attr;

    CellSender(Editor& e, bool d)
        : ed(e), dry(d), row(e.screen.TermRow), col(e.screen.TermCol), attr(e.screen.TermAttr) {}
    // Writes the tracked state back (a real run only).
    void Commit() {
        if (dry) return;
        ed.screen.TermRow = row;
        ed.screen.TermCol = col;
        ed.screen.TermAttr = attr;
    }
    void Emit(const void* p, size_t n) {
        bytes += n;
        if (!dry) SendBytes(ed, p, n);
    }
    void SetAttr(uint8_t a) {
        if (attr == a) return;
        const char* seq = SgrFor(attr, a);
        Emit(seq, std::strlen(seq));
        attr = a;
    }
    // Moves the cursor to (r, c) the cheapest way: absolutely, relatively, or by sending again the
    // cells in between when they already show with the attribute in force. `shown` is row r as the
    // terminal shows it (nullptr: not to be re-sent).
    // Notes where the cursor will end, passed with plain attributes: a place the flush can return to.
    void NoteMark() {
        Screen& sc = ed.screen;
        if (dry || row != sc.DrawnCursorPos.row || col != sc.DrawnCursorPos.col || attr != kAttrPlain) return;
        sc.MarkSet = true;
        sc.MarkAt = sc.OutLength;
        sc.Mark = {row, col};
    }
    void MoveTo(int r, int c, const uint8_t* shownCells, const uint8_t* shownAttrs) {
        NoteMark();
        if (row == r && col == c) return;
        char best[32];
        size_t bestLen = AbsoluteMove(best, r, c);
        if (row >= 0 && row == r) {
            char alt[32];
            size_t n = HorizontalMove(alt, col, c);
            if (n < bestLen) {
                std::memcpy(best, alt, n);
                bestLen = n;
            }
            if (shownCells && c > col && size_t(c - col) < bestLen && attr != kAttrUnknown) {
                bool same = true;
                for (int k = col; k < c; ++k) same = same && shownAttrs[k] == attr;
                if (same) {
                    std::memcpy(best, shownCells + col, size_t(c - col));
                    bestLen = size_t(c - col);
                }
            }
        } else if (row >= 0) {
            // Up and down stop at a region's margins: only where none lies between the rows. The
            // region's top margin is the first row, so a move up always gets there.
            const int region = ed.screen.RegionRows;
            if (region == 0 || r < row || (row < region && r < region)) {
                char alt[32];
                size_t n = RelativeMove(alt, r > row ? r - row : row - r, r > row ? 'B' : 'A');
                n += HorizontalMove(alt + n, col, c);
                // CR LF to the start of the next row, where the line feed cannot scroll.
                const int lastRow = region ? region - 1 : ed.screen.TextRows;
                if (r == row + 1 && c == 0 && row != lastRow && row < ed.screen.TextRows) {
                    std::memcpy(alt, "\r\n", 2);
                    n = 2;
                }
                if (n < bestLen) {
                    std::memcpy(best, alt, n);
                    bestLen = n;
                }
            }
        }
        Emit(best, bestLen);
        row = r;
        col = c;
        // A place off the screen is where the terminal clamps it, which is not known here.
        if (r > ed.screen.TextRows || c >= ed.screen.Columns) row = -1;
        NoteMark();
    }
    void Cells(const uint8_t* p, int n) {
        Emit(p, size_t(n));
        col += n;
        if (col >= ed.screen.Columns) row = -1;  // autowrap: the cursor's place is uncertain
    }

    // Sends the cells of screen row r that differ from `shown` (what the terminal shows there), and
    // unless this is a dry run records them there. `erase`: trailing blanks may be erased to the end.
    void Row(int r, const uint8_t* cells, const uint8_t* attrs, int n, uint8_t* shownCells,
             uint8_t* shownAttrs, bool erase) {
        int blankFrom = n;
        if (erase && n == ed.screen.Columns) {
            while (blankFrom > 0 && cells[blankFrom - 1] == ' ' && attrs[blankFrom - 1] == kAttrPlain)
                --blankFrom;
        }
        for (int c = 0; c < n; ++c) {
            if (cells[c] == shownCells[c] && attrs[c] == shownAttrs[c]) continue;
            if (c >= blankFrom) {
                // In the blank tail: erase to the end when that is shorter than the blanks to send.
                size_t changed = 0;
                for (int k = c; k < n; ++k) changed += cells[k] != shownCells[k] || attrs[k] != shownAttrs[k];
                size_t cost = 3 + (attr == kAttrPlain ? 0 : 3);
                if (changed > cost) {
                    MoveTo(r, c, shownCells, shownAttrs);
                    SetAttr(kAttrPlain);
                    Emit("\x1b[K", 3);
                    if (!dry) {
                        std::memset(shownCells + c, ' ', size_t(n - c));
                        std::memset(shownAttrs + c, kAttrPlain, size_t(n - c));
                    }
                    return;
                }
            }
            // The changed cells from here on that share this attribute go out at once; in the blank
            // tail one by one, as the erase may win at the next.
            int end = c + 1;
            while (end < blankFrom && attrs[end] == attrs[c] &&
                   (cells[end] != shownCells[end] || attrs[end] != shownAttrs[end]))
                ++end;
            MoveTo(r, c, shownCells, shownAttrs);
            SetAttr(attrs[c]);
            Cells(cells + c, end - c);
            if (!dry) {
                std::memcpy(shownCells + c, cells + c, size_t(end - c));
                std::memcpy(shownAttrs + c, attrs + c, size_t(end - c));
            }
            c = end - 1;
        }
    }
};

// A row of blanks, as a scroll leaves it; made by the compiler, so that no code runs for it at start.
struct BlankRow {
    uint8_t cells[kMaxColumns];
    uint8_t attrs[kMaxColumns];
    constexpr BlankRow() : cells(), attrs() {
        for (int c = 0; c < kMaxColumns; ++c) {
            cells[c] = ' ';
            attrs[c] = kAttrPlain;
        }
    }
};
constexpr BlankRow kBlankRow;

void PlaceCursor(Editor& ed) {
    Screen& sc = ed.screen;
    const ScreenPos w = sc.WantedCursor;
    if (sc.TermRow == w.row && sc.TermCol == w.col) return;
    CellSender s(ed, false);
    bool onScreen = w.row >= 0 && w.row <= sc.TextRows && w.col >= 0 && w.col < sc.Columns;
    s.MoveTo(w.row, w.col, onScreen ? sc.ShownCell[w.row] : nullptr,
             onScreen ? sc.ShownAttr[w.row] : nullptr);
    s.Commit();
}

void Drain(Editor& ed) {
    Screen& sc = ed.screen;
    sc.MarkSet = false;  // its offset was in what goes out now
    if (sc.OutLength == 0) return;
    ed.term.Write(sc.Out, sc.OutLength);
    sc.OutLength = 0;
}

// The bytes the text rows cost against what the terminal shows, sent as they are.
size_t RowsCost(Editor& ed, CellSender& s) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    uint8_t cells[kMaxColumns], attrs[kMaxColumns];
    for (int r = 0; r < n; ++r) {
        if (SameImage(sc.Frame[r], sc.Cache[n - r])) continue;
        int count = DecodeImage(sc.Frame[r], false, sc.Columns, cells, attrs);
        s.Row(r, cells, attrs, count, sc.ShownCell[r], sc.ShownAttr[r], true);
    }
    return s.bytes;
}

// Sends, or in a dry run counts, the text rows by letting the terminal scroll them by k rows first
// (positive: the text moves up). The rows that stay in view are brought up to date before the scroll,
// where they still are, which spares moving back to them across it; then the scroll; then the rows
// that came into view, over the blanks it left.
size_t ScrollAndSend(Editor& ed, CellSender& s, int k) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    const int d = k > 0 ? k : -k;
    if (sc.RegionRows != n) {
        char seq[16];
        std::memcpy(seq, "\x1b[1;", 4);
        char* o = PutNumber(seq + 4, n);
        *o++ = 'r';
        s.Emit(seq, size_t(o - seq));
        if (!s.dry) sc.RegionRows = n;
        s.row = s.col = 0;  // setting the region puts the cursor home
    }
    uint8_t cells[kMaxColumns], attrs[kMaxColumns];
    for (int r = k > 0 ? 0 : d; r < n && r + k < n; ++r) {
        const int now = r + k;  // where composed row r shows before the scroll
        int count = DecodeImage(sc.Frame[r], false, sc.Columns, cells, attrs);
        s.Row(now, cells, attrs, count, sc.ShownCell[now], sc.ShownAttr[now], true);
        if (!s.dry) std::memcpy(sc.Cache[n - now], sc.Frame[r], kRowImageSize);
    }

    // The scroll itself: plain attributes (a terminal may fill the new rows with the background in
    // force), the cursor to the margin, one LF or ESC M per row.
    s.SetAttr(kAttrPlain);
    s.MoveTo(k > 0 ? n - 1 : 0, 0, nullptr, nullptr);
    for (int i = 0; i < d; ++i) s.Emit(k > 0 ? "\n" : "\x1bM", k > 0 ? 1 : 2);
    s.row = k > 0 ? n - 1 : 0;
    s.col = 0;
    if (!s.dry) {
        // The terminal's rows moved; so do the shown cells and the images sent.
        const size_t moved = size_t(n - d);
        if (k > 0) {
            std::memmove(sc.ShownCell[0], sc.ShownCell[k], moved * kMaxColumns);
            std::memmove(sc.ShownAttr[0], sc.ShownAttr[k], moved * kMaxColumns);
            for (int r = 0; r < int(moved); ++r)
                std::memcpy(sc.Cache[n - r], sc.Cache[n - r - k], kRowImageSize);
        } else {
            std::memmove(sc.ShownCell[d], sc.ShownCell[0], moved * kMaxColumns);
            std::memmove(sc.ShownAttr[d], sc.ShownAttr[0], moved * kMaxColumns);
            for (int r = n - 1; r >= d; --r) std::memcpy(sc.Cache[n - r], sc.Cache[n - r + d], kRowImageSize);
        }
        for (int r = k > 0 ? int(moved) : 0; r < (k > 0 ? n : d); ++r) {
            std::memset(sc.ShownCell[r], ' ', kMaxColumns);
            std::memset(sc.ShownAttr[r], kAttrPlain, kMaxColumns);
            std::memset(sc.Cache[n - r], kInvalid, kRowImageSize);
        }
    }

    for (int r = k > 0 ? n - d : 0; r < (k > 0 ? n : d); ++r) {
        int count = DecodeImage(sc.Frame[r], false, sc.Columns, cells, attrs);
        // A dry run leaves the shown rows as they were: compare with the blanks the scroll leaves.
        uint8_t* shownCells = s.dry ? const_cast<uint8_t*>(kBlankRow.cells) : sc.ShownCell[r];
        uint8_t* shownAttrs = s.dry ? const_cast<uint8_t*>(kBlankRow.attrs) : sc.ShownAttr[r];
        s.Row(r, cells, attrs, count, shownCells, shownAttrs, true);
        if (!s.dry) std::memcpy(sc.Cache[n - r], sc.Frame[r], kRowImageSize);
    }
    return s.bytes;
}

uint64_t HashImage(const uint8_t* image) {
    uint64_t h = 1469598103934665603ull;
    for (const uint8_t* p = image; *p && p < image + kRowImageSize; ++p) h = (h ^ *p) * 1099511628211ull;
    return h;
}

// Lets the terminal scroll its text rows by the shift that makes them closest to the composed ones,
// when sending the rows that way costs fewer bytes; the rows then all go out with the scroll, and
// the refresh's own pass finds nothing left to send.
void ScrollIfCheaper(Editor& ed) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    if (n < 2 || sc.ScreenUnknown) return;  // nothing known on the terminal is worth keeping
    int changed = 0;
    for (int r = 0; r < n; ++r) changed += !SameImage(sc.Frame[r], sc.Cache[n - r]);
    if (changed < 3) return;

    uint64_t composed[kMaxRows], shown[kMaxRows];
    for (int r = 0; r < n; ++r) {
        composed[r] = HashImage(sc.Frame[r]);
        shown[r] = HashImage(sc.Cache[n - r]);
    }
    int bestShift = 0, bestMatches = 0;
    for (int k = 1 - n; k < n; ++k) {
        if (k == 0) continue;
        int matches = 0;
        for (int r = k > 0 ? 0 : -k; r < n && r + k < n; ++r) matches += composed[r] == shown[r + k];
        if (matches > bestMatches ||
            (matches == bestMatches && matches > 0 && std::abs(k) < std::abs(bestShift))) {
            bestMatches = matches;
            bestShift = k;
        }
    }
    if (bestMatches == 0) return;

    CellSender plain(ed, true);
    const size_t withoutScroll = RowsCost(ed, plain);
    CellSender dry(ed, true);
    if (ScrollAndSend(ed, dry, bestShift) >= withoutScroll) return;
    CellSender s(ed, false);
    ScrollAndSend(ed, s, bestShift);
    s.Commit();
}

// Composes the row images of one refresh. Each row starts with the attribute of its first position,
// so its image depends on that row alone and an unchanged row matches its cache slot.
struct RowComposer {
    Editor& ed;
    bool blockShown = false;
    bool blockOn = false;
    bool cursorOn = false;
    uint8_t* out = nullptr;

    bool InBlock(Pos p) const { return blockShown && ed.BlockBegin <= p && p < ed.BlockEnd; }
    void Attr(const char* seq) {
        std::memcpy(out, seq, kAttrLen);
        out += kAttrLen;
    }
    void BlockRule(Pos p) {
        bool in = InBlock(p);
        if (in && !blockOn) {
            Attr(kBold);
            blockOn = true;
        } else if (!in && blockOn) {
            Attr(kNormal);
            blockOn = false;
        }
    }

    // Steps over the cells hidden left of the window without composing them; a tab that is partly
    // visible, the cursor and the line end are left to the composing loop.
    void SkipHidden(Pos* pp, uint64_t* dp) {
        Pos p = *pp;
        uint64_t d = *dp;
        const uint64_t offset = ed.screen.HorizontalOffset;
        const void* lf = p < ed.TextEnd ? std::memchr(ed.buf + p, '\n', ed.TextEnd - p) : nullptr;
        Pos lineEnd = lf ? Pos(static_cast<const uint8_t*>(lf) - ed.buf) : ed.TextEnd;
        while (p < lineEnd && p != ed.Cursor && d < offset) {
            Pos end = lineEnd - p < offset - d ? lineEnd : p + Pos(offset - d);
            if (ed.Cursor > p && ed.Cursor < end) end = ed.Cursor;
            const void* t = std::memchr(ed.buf + p, '\t', end - p);
            Pos stop = t ? Pos(static_cast<const uint8_t*>(t) - ed.buf) : end;
            d += stop - p;
            p = stop;
            if (p == end) continue;
            uint64_t advance = 8 - d % 8;
            if (d + advance > offset) break;
            d += advance;
            ++p;
        }
        // The block may begin or end among the hidden cells; its attributes change there all the same.
        if (blockShown) {
            if (*pp < ed.BlockBegin && ed.BlockBegin < p) BlockRule(ed.BlockBegin);
            if (*pp < ed.BlockEnd && ed.BlockEnd < p) BlockRule(ed.BlockEnd);
        }
        *pp = p;
        *dp = d;
    }

    // Row r from line position p; returns the position where the next row starts, and sets *finished
    // once the end of the text was reached.
    Pos Compose(uint8_t* image, int r, Pos p, bool* finished) {
        const int columns = ed.screen.Columns;
        const uint64_t offset = ed.screen.HorizontalOffset;
        out = image;
        blockOn = InBlock(p);
        Attr(blockOn ? kBold : kNormal);
        uint64_t d = 0;
        int s = 0;
        unsigned tabFill = 0;
        if (offset > 0) SkipHidden(&p, &d);
        for (;;) {
            if (p == ed.Cursor && tabFill == 0) {
                ed.screen.DrawnCursorPos = {r, s};
                ed.screen.CursorColumn = uint64_t(s) + offset;
                if (ed.InsertMode == kInsert) {
                    Attr(ed.ConsoleVariant == 4 ? kReverse : kBold);
                    cursorOn = true;
                } else {
                    BlockRule(p);
                }
            } else {
                BlockRule(p);
            }
            uint8_t cell;
            if (tabFill > 0) {
                cell = ' ';
                --tabFill;
            } else if (p >= ed.TextEnd) {
                *finished = true;
                break;
            } else {
                uint8_t b = ed.buf[p++];
                if (b == '\n') break;
                if (b == '\t') {
                    cell = ' ';
                    tabFill = unsigned(8 - d % 8 - 1);
                } else {
                    cell = Printable(b);
                }
            }
            if (s >= columns) {
                // Clipped: the rest of the line is not shown, and attributes no longer change.
                if (p < ed.TextEnd) {
                    const void* lf = std::memchr(ed.buf + p, '\n', ed.TextEnd - p);
                    if (lf) {
                        p = Pos(static_cast<const uint8_t*>(lf) - ed.buf) + 1;
                        break;
                    }
                    p = ed.TextEnd;
                }
                *finished = true;
                break;
            }
            ++d;
            if (d > offset) {
                *out++ = cell;
                if (cursorOn) {
                    Attr(kNormal);
                    cursorOn = false;
                    blockOn = false;
                }
                ++s;
            }
        }
        // The cursor on a line end or at the end of the text shows as a highlighted space.
        if (cursorOn) {
            if (s < columns) {
                *out++ = ' ';
                ++s;
            }
            Attr(kNormal);
            cursorOn = false;
            blockOn = false;
        }
        if (s < columns) {
            std::memset(out, ' ', size_t(columns - s));
            out += columns - s;
        }
        *out = 0;
        return p;
    }

    void Blank(uint8_t* image) {
        out = image;
        Attr(kNormal);
        std::memset(out, ' ', size_t(ed.screen.Columns));
        out[ed.screen.Columns] = 0;
    }
};

Pos LineStartBefore(const Editor& ed, Pos p) {
    if (p <= ed.TextStart) return ed.TextStart;
    // A backward scan always meets the leading line feed at 0.
    const void* lf = memrchr(ed.buf, '\n', p);
    return lf ? Pos(static_cast<const uint8_t*>(lf) - ed.buf) + 1 : ed.TextStart;
}

}  // namespace

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
    // After a resize the slots no longer stand for the rows the terminal shows.
    if (rows - 1 != sc.TextRows || cols != sc.Columns) {
        sc.TextRows = rows - 1;
        sc.Columns = cols;
        InvalidateScreenCache(ed);
    }
}

// Steps 1 to 5 of a refresh: the region, the size, the offset and the cursor's column, the window's top
// line. Returns the top line's start; *cursorRow is the row the cursor's line lands on and *lineStart
// that line's start. False when there is no buffer to show.
static bool LayOut(Editor& ed, Pos* top, int* cursorRow, Pos* cursorLine) {
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

    // The cursor's display column decides the offset shared by every row.
    Pos lineStart = LineStartBefore(ed, ed.Cursor);
    uint64_t c = 0;
    for (Pos q = lineStart; q < ed.Cursor;) {
        const void* t = std::memchr(ed.buf + q, '\t', ed.Cursor - q);
        Pos tab = t ? Pos(static_cast<const uint8_t*>(t) - ed.buf) : ed.Cursor;
        c += tab - q;
        if (tab == ed.Cursor) break;
        c += 8 - c % 8;
        q = tab + 1;
    }
    const uint64_t keep = sc.Columns > 5 ? uint64_t(sc.Columns - 5) : 0;  // the cursor's screen column
    if (c > keep) sc.HorizontalOffset = c - keep;
    sc.CursorColumn = c;

    int row = sc.CursorScreenPos.row;
    if (row > sc.TextRows - 1) row = sc.TextRows - 1;  // after a resize, or the prompt's row
    if (row < 0) row = 0;
    Pos p = lineStart;
    int k = 0;
    for (; k < row && p > ed.TextStart; ++k) p = LineStartBefore(ed, p - 1);
    *top = p;
    *cursorRow = k;
    *cursorLine = lineStart;
    return true;
}

// Composes every text row into Frame, with every state effect of a refresh but the cursor's.
static void ComposeFrame(Editor& ed) {
    Pos top = 0, cursorLine = 0;
    int cursorRow = 0;
    const bool text = LayOut(ed, &top, &cursorRow, &cursorLine);
    Screen& sc = ed.screen;
    RowComposer rc{ed};
    rc.blockShown = ed.BlockVisible && ed.BlockBegin && ed.BlockEnd && ed.BlockBegin < ed.BlockEnd;
    Pos p = top;
    bool finished = !text;
    for (int r = 0; r < sc.TextRows; ++r) {
        if (finished)
            rc.Blank(sc.Frame[r]);
        else
            p = rc.Compose(sc.Frame[r], r, p, &finished);
    }
}

static void SendFrame(Editor& ed) {
    Screen& sc = ed.screen;
    sc.FramePending = false;
    ScrollIfCheaper(ed);
    for (int r = 0; r < sc.TextRows; ++r) SendRow(ed, sc.TextRows - r, sc.Frame[r]);
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

// When nothing of what the terminal shows is known (the first screen, after a resize), one erase of
// the whole screen is cheaper than erasing the rest of every row.
static void ClearUnknownScreen(Editor& ed) {
    Screen& sc = ed.screen;
    if (!sc.ScreenUnknown) return;
    sc.ScreenUnknown = false;
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
    }
    SendBytes(ed, sc.TermAttr == kAttrPlain ? "\x1b[H\x1b[2J" : "\x1b[m\x1b[H\x1b[2J",
              sc.TermAttr == kAttrPlain ? 7 : 10);
    for (int r = 0; r <= sc.TextRows && r <= kMaxRows; ++r) {
        std::memset(sc.ShownCell[r], ' ', kMaxColumns);
        std::memset(sc.ShownAttr[r], kAttrPlain, kMaxColumns);
    }
    sc.TermRow = sc.TermCol = 0;
    sc.TermAttr = kAttrPlain;
}

void SendRow(Editor& ed, int slot, const uint8_t* image) {
    if (slot < 0 || slot > kMaxRows) return;
    Screen& sc = ed.screen;
    uint8_t* cached = sc.Cache[slot];
    size_t len = ImageLength(image);
    if (slot == 0) sc.StatusPending = false;
    // On a screen of unknown content every row goes out; the cache is not even looked at, which on
    // the first screen spares reading pages that are about to be written.
    if (!sc.ScreenUnknown && std::memcmp(cached, image, len) == 0 && cached[len] == 0) return;
    std::memcpy(cached, image, len);
    cached[len] = 0;
    const int row = sc.TextRows - slot;
    if (row >= 0) {
        ClearUnknownScreen(ed);
        uint8_t cells[kMaxColumns], attrs[kMaxColumns];
        int n = DecodeImage(image, slot == 0, sc.Columns, cells, attrs);
        CellSender s(ed, false);
        s.Row(row, cells, attrs, n, sc.ShownCell[row], sc.ShownAttr[row], slot != 0);
        s.Commit();
    }
    sc.WantedCursor = sc.CursorScreenPos;
}

void SendStatusRow(Editor& ed) { SendRow(ed, 0, ed.screen.StatusImage); }

void ShowPrefixKey(Editor& ed, const char* text) {
    uint8_t* img = ed.screen.StatusImage;
    for (int i = 0; i < 4 && img[i] && text[i]; ++i) img[i] = Printable(uint8_t(text[i]));
    SendStatusRow(ed);
}

void MoveTerminalCursor(Editor& ed, int row, int col) { ed.screen.WantedCursor = {row, col}; }

void SendBytes(Editor& ed, const void* data, size_t n) {
    Screen& sc = ed.screen;
    if (sc.OutLength + n > sizeof sc.Out) Drain(ed);
    if (n > sizeof sc.Out) {
        ed.term.Write(data, n);
        return;
    }
    std::memcpy(sc.Out + sc.OutLength, data, n);
    sc.OutLength += n;
}

void DrainOutput(Editor& ed) { Drain(ed); }

// Puts the cursor back on the marked place with the plain attributes it had there, by saving it
// there (ESC 7, slipped into the output) and restoring it now (ESC 8), when that is shorter than
// moving there and turning the attributes off.
static bool BackToMark(Editor& ed) {
    Screen& sc = ed.screen;
    const ScreenPos w = sc.WantedCursor;
    if (!sc.MarkSet || sc.Mark.row != w.row || sc.Mark.col != w.col || w.row > sc.TextRows ||
        w.col >= sc.Columns || sc.OutLength + 4 > sizeof sc.Out)
        return false;
    CellSender dry(ed, true);
    dry.MoveTo(w.row, w.col, sc.ShownCell[w.row], sc.ShownAttr[w.row]);
    const bool coloured = sc.TermAttr != kAttrPlain && sc.TermAttr != kAttrUnknown;
    if (dry.bytes + (coloured ? 3 : 0) <= 4) return false;
    std::memmove(sc.Out + sc.MarkAt + 2, sc.Out + sc.MarkAt, sc.OutLength - sc.MarkAt);
    std::memcpy(sc.Out + sc.MarkAt,
                "\x1b"
                "7",
                2);
    std::memcpy(sc.Out + sc.OutLength + 2,
                "\x1b"
                "8",
                2);
    sc.OutLength += 4;
    sc.TermRow = w.row;
    sc.TermCol = w.col;
    sc.TermAttr = kAttrPlain;
    return true;
}

void FlushOutput(Editor& ed) {
    if (!BackToMark(ed)) {
        PlaceCursor(ed);
        // Nothing written outside the editor's rows (a message of sed, the shell) takes a colour of ours.
        if (ed.screen.TermAttr != kAttrPlain && ed.screen.TermAttr != kAttrUnknown) {
            SendBytes(ed, "\x1b[m", 3);
            ed.screen.TermAttr = kAttrPlain;
        }
    }
    Drain(ed);
}

bool OutputWaiting(const Editor& ed) {
    const Screen& sc = ed.screen;
    return sc.OutLength > 0 || sc.TermRow != sc.WantedCursor.row || sc.TermCol != sc.WantedCursor.col ||
           (sc.TermAttr != kAttrPlain && sc.TermAttr != kAttrUnknown);
}

void ReleaseTerminal(Editor& ed) {
    Screen& sc = ed.screen;
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
        sc.TermRow = sc.TermCol = -1;
    }
    FlushOutput(ed);
}

void InvalidateScreenCache(Editor& ed) {
    Screen& sc = ed.screen;
    std::memset(sc.Cache, kInvalid, sizeof sc.Cache);
    // Rows below the status row are not used at this size; a larger size invalidates again.
    std::memset(sc.ShownAttr, kAttrUnknown, size_t(sc.TextRows + 1) * kMaxColumns);
    // A region set for another size is put back first.
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
    }
    sc.TermRow = sc.TermCol = -1;
    sc.TermAttr = kAttrUnknown;
    sc.ScreenUnknown = true;
}

void RepaintScreen(Editor& ed) {
    Screen& sc = ed.screen;
    // Whatever the shell did, nothing of the terminal's state is known now but what it shows should be.
    // The region was given back before the stop; should anyone else have stopped the editor, it is
    // given back now.
    sc.TermRow = sc.TermCol = -1;
    sc.TermAttr = kAttrUnknown;
    sc.RegionRows = 0;
    SendBytes(ed, "\x1b[r", 3);
    uint8_t cells[kMaxColumns], attrs[kMaxColumns];
    for (int r = 0; r <= sc.TextRows && r <= kMaxRows; ++r) {
        std::memcpy(cells, sc.ShownCell[r], sizeof cells);
        std::memcpy(attrs, sc.ShownAttr[r], sizeof attrs);
        std::memset(sc.ShownAttr[r], kAttrUnknown, sizeof attrs);
        CellSender s(ed, false);
        s.Row(r, cells, attrs, sc.Columns, sc.ShownCell[r], sc.ShownAttr[r], r < sc.TextRows);
        s.Commit();
    }
    sc.WantedCursor = sc.CursorScreenPos;
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
    size_t col = ed.buf ? ed.Cursor - LineStartBefore(ed, ed.Cursor) : 0;
    if (col > size_t(kMaxColumns)) col = kMaxColumns;
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
