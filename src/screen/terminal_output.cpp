// Cells to the terminal. A composed row is compared cell by cell with what the terminal is known to
// show (Screen::Shown), and only the cells that differ go out. All output is gathered in Screen::Out
// and written at once by FlushOutput, which the key reader calls before it waits.
//
// A cell goes out as the bytes of its character: one byte, or in a UTF-8 locale the UTF-8 sequence
// with its combining marks; a wide character is written once and fills two cells. No write ever covers
// half of a wide character the terminal shows without the other half going out with it, and no erase
// starts inside one. Besides cells, only these sequences are ever sent:
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
//   ESC [ n @, ESC [ n P   insert n blanks at the cursor, or delete n cells there, the rest of the row
//                          moving along (n omitted when 1); plain attributes; never through half of a
//                          wide character, nor pushing one half of it off the row's end
//   ESC [ n L, ESC [ n M   insert or delete n rows at the cursor's, at its start and inside the region
//                          over the text rows, which the rows below it move in (n omitted when 1)
//                          These four only on terminals known to have them (TermKind::Shifting).
//   ESC [ H ESC [ 2 J      home and erase the whole screen, when nothing it shows is known (the first
//                          screen, after a resize); ESC [ m before them when another attribute may be on
//   ESC [ 1 ; t r          scroll region over the text rows (t = TextRows); the cursor goes home
//   ESC [ r                scroll region back to the whole screen (before the terminal is handed back)
//   LF                     at the region's last row: the text rows scroll up by one
//   ESC M                  at the region's first row: the text rows scroll down by one
//   ESC 7, ESC 8           the cursor's place and attributes saved where it passes the place it
//                          ends on with plain ones, and put back at the end, when that is shorter
//                          than a move there; until the terminal is handed over or resized, ESC 8
//                          is a move back to that place
//   CR LF                  once more when the editor leaves, below the status row
//   0x07                   the bell
// The terminal session itself turns bracketed paste on and off around editing (ESC [ ? 2004 h / l).
// A character written into the last column leaves the cursor's place unknown (terminals differ on
// where it stands), so the next cell is positioned absolutely.
#include <cstring>

#include "screen/renderer.hpp"

namespace {

char* PutNumber(char* out, int v) {
    char digits[12];
    char* end = NumberToDecimal(uint64_t(v), digits + sizeof digits - 1);
    size_t n = size_t(digits + sizeof digits - 1 - end);
    std::memcpy(out, end + 1, n);
    return out + n;
}

// ESC [ n <final>, n left out when it is 1.
[[gnu::noinline]] size_t RelativeMove(char* out, int n, char final) {
    char* o = out;
    *o++ = 0x1B;
    *o++ = '[';
    if (n != 1) o = PutNumber(o, n);
    *o++ = final;
    return size_t(o - out);
}

[[gnu::noinline]] size_t AbsoluteMove(char* out, int row, int col) {
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
[[gnu::noinline]] size_t HorizontalMove(char* out, int from, int to) {
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

// The bytes that set attribute `to` where `from` is in force; none for no attribute wanted.
[[gnu::noinline]] size_t SgrBytes(uint8_t from, uint8_t to) {
    return to == kAttrUnknown || to == from ? 0 : std::strlen(SgrFor(from, to));
}

void PlaceCursor(Editor& ed) {
    Screen& sc = ed.screen;
    const ScreenPos w = sc.WantedCursor;
    if (sc.TermRow == w.row && sc.TermCol == w.col) return;
    CellSender s(ed, false);
    const bool onScreen = w.row >= 0 && w.row <= sc.TextRows && w.col >= 0 && w.col < sc.Columns;
    const CellRow shown = ShownRow(sc, onScreen ? w.row : 0);
    s.MoveTo(w.row, w.col, onScreen ? &shown : nullptr, kAttrPlain);
    s.Commit();
}

// What the terminal shows changed besides a frame's rows going out: every text row needs a look again.
void ForgetFrameShown(Screen& sc) {
    for (Screen::KeptRow& k : sc.Kept) k.onTerminal = false;
}

void Drain(Editor& ed) {
    Screen& sc = ed.screen;
    sc.ReturnPlaceSet = false;  // its offset was in what goes out now
    sc.FrameFromSavedPlace = false;
    if (sc.OutLength == 0) return;
    ed.term.Write(sc.Out, sc.OutLength);
    sc.OutLength = 0;
}

// When nothing of what the terminal shows is known (the first screen, after a resize), one erase of
// the whole screen is cheaper than erasing the rest of every row.
[[gnu::cold, gnu::noinline]] void ClearUnknownScreen(Editor& ed) {
    Screen& sc = ed.screen;
    sc.ScreenUnknown = false;
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
    }
    SendBytes(ed, sc.TermAttr == kAttrPlain ? "\x1b[H\x1b[2J" : "\x1b[m\x1b[H\x1b[2J",
              sc.TermAttr == kAttrPlain ? 7 : 10);
    for (int r = 0; r <= sc.TextRows; ++r) {
        const CellRow shown = ShownRow(sc, r);
        BlankCells(CellRow{shown.glyph, shown.info, nullptr}, 0, sc.Columns, kAttrPlain);
    }
    sc.TermRow = sc.TermCol = 0;
    sc.TermAttr = kAttrPlain;
}

// Puts the cursor back on the marked place with the plain attributes it had there, by saving it
// there (ESC 7, slipped into the output) and restoring it now (ESC 8), when that is shorter than
// moving there and turning the attributes off.
bool BackToReturnPlace(Editor& ed) {
    Screen& sc = ed.screen;
    const ScreenPos w = sc.WantedCursor;
    if (!sc.ReturnPlaceSet || sc.ReturnPlace.row != w.row || sc.ReturnPlace.col != w.col ||
        w.row > sc.TextRows || w.col >= sc.Columns || sc.OutLength + 4 > sizeof sc.Out)
        return false;
    CellSender dry(ed, true);
    const CellRow shown = ShownRow(sc, w.row);
    dry.MoveTo(w.row, w.col, &shown, kAttrPlain);
    const bool coloured = dry.attr != kAttrPlain && dry.attr != kAttrUnknown;
    if (dry.bytes + (coloured ? 3 : 0) <= 4) return false;
    std::memmove(sc.Out + sc.ReturnPlaceAt + 2, sc.Out + sc.ReturnPlaceAt, sc.OutLength - sc.ReturnPlaceAt);
    std::memcpy(sc.Out + sc.ReturnPlaceAt, kSaveCursor, 2);
    std::memcpy(sc.Out + sc.OutLength + 2, kRestoreCursor, 2);
    sc.OutLength += 4;
    sc.SavedPlaceKnown = true;
    sc.SavedPlace = w;
    sc.TermRow = w.row;
    sc.TermCol = w.col;
    sc.TermAttr = kAttrPlain;
    return true;
}

}  // namespace

CellSender::CellSender(Editor& e, bool d)
    : ed(e),
      dry(d),
      row(e.screen.TermRow),
      col(e.screen.TermCol),
      attr(e.screen.TermAttr),
      lastShift(e.screen.LastShift) {}

void CellSender::Commit() {
    if (dry) return;
    ed.screen.TermRow = row;
    ed.screen.TermCol = col;
    ed.screen.TermAttr = attr;
    ed.screen.LastShift = lastShift;
}

void CellSender::Emit(const void* p, size_t n) {
    bytes += n;
    if (!dry) SendBytes(ed, p, n);
}

void CellSender::SetAttr(uint8_t a) {
    if (attr == a) return;
    const char* seq = SgrFor(attr, a);
    Emit(seq, std::strlen(seq));
    attr = a;
}

// Notes where the cursor will end, passed with plain attributes: a place the flush can return to.
void CellSender::NoteReturnPlace() {
    Screen& sc = ed.screen;
    if (dry || row != sc.DrawnCursorPos.row || col != sc.DrawnCursorPos.col || attr != kAttrPlain) return;
    sc.ReturnPlaceSet = true;
    sc.ReturnPlaceAt = sc.OutLength;
    sc.ReturnPlace = {row, col};
}

void CellSender::MoveTo(int r, int c, const CellRow* shown, uint8_t next) {
    NoteReturnPlace();
    if (row == r && col == c) return;
    const Screen& sc = ed.screen;
    const int columns = sc.Columns;
    // The ways there, each weighed with the attribute change that follows it: the bytes, whether
    // `next` is set before them (cells sent again show in it), and the attribute in force after them.
    uint8_t best[96];  // a vertical move and cells sent again costing under an absolute move
    size_t bestLen = AbsoluteMove(reinterpret_cast<char*>(best), r, c);
    size_t bestCost = bestLen + SgrBytes(attr, next);
    bool setFirst = false;
    uint8_t after = attr;
    auto consider = [&](const uint8_t* way, size_t n, bool first, uint8_t in) __attribute__((noinline)) {
        const size_t cost = n + SgrBytes(first ? attr : in, next);
        if (cost >= bestCost) return;
        std::memmove(best, way, n);
        bestLen = n;
        bestCost = cost;
        setFirst = first;
        after = in;
    };
    // Into row r (by nothing, up or down, or CR LF), then along it from the column that leaves the
    // cursor in: by a move, or by sending again the cells in between, when they are whole characters
    // in the attribute in force, or in `next` set first.
    struct Into {
        char bytes[16];
        size_t n;
        int col;
    } ways[2];
    int count = 0;
    if (row == r) {
        ways[count++] = {{}, 0, col};
    } else if (row >= 0) {
        // Up and down stop at a region's margins: only where none lies between the rows. The
        // region's top margin is the first row, so a move up always gets there.
        const int region = sc.RegionRows;
        if (region == 0 || r < row || (row < region && r < region)) {
            ways[count].n = RelativeMove(ways[count].bytes, r > row ? r - row : row - r, r > row ? 'B' : 'A');
            ways[count++].col = col;
            // CR LF to the start of the next row, where the line feed cannot scroll.
            const int lastRow = region ? region - 1 : sc.TextRows;
            if (r == row + 1 && row != lastRow && row < sc.TextRows) ways[count++] = {{'\r', '\n'}, 2, 0};
        }
    }
    for (int w = 0; w < count; ++w) {
        uint8_t way[96];
        const size_t n = ways[w].n;
        const int from = ways[w].col;
        std::memcpy(way, ways[w].bytes, n);
        consider(way, n + HorizontalMove(reinterpret_cast<char*>(way) + n, from, c), false, attr);
        if (!shown || c <= from || IsRightHalf(*shown, from) || (c < columns && IsRightHalf(*shown, c)))
            continue;
        for (int i = 0; i < 2; ++i) {
            const uint8_t a = i == 0 ? attr : next;
            if (a == kAttrUnknown || (i == 1 && next == attr)) continue;
            size_t cost = n;
            int k = from;
            for (; k < c && AttrOf(*shown, k) == a && cost < bestLen; ++k)
                cost += CellBytes(*shown, k, way + cost);
            if (k == c) consider(way, cost, i == 1, a);
        }
    }
    // Back to where the terminal saved its cursor, with plain attributes.
    const size_t elsewhere = bestCost;
    if (sc.SavedPlaceKnown && sc.SavedPlace.row == r && sc.SavedPlace.col == c)
        consider(reinterpret_cast<const uint8_t*>(kRestoreCursor), 2, false, kAttrPlain);
    if (setFirst) SetAttr(next);
    Emit(best, bestLen);
    // An ESC 7 slipped in before this ESC 8 would move the place it comes back to.
    if (bestCost < elsewhere && !dry) ed.screen.ReturnPlaceSet = false;
    attr = after;
    row = r;
    col = c;
    // A place off the screen is where the terminal clamps it, which is not known here.
    if (r > sc.TextRows || c >= columns) row = -1;
    NoteReturnPlace();
}

void CellSender::Run(const CellRow& cells, int from, int to) {
    uint8_t out[512];
    size_t n = 0;
    for (int k = from; k < to; ++k) {
        const uint8_t a = AttrOf(cells, k);
        if (a != attr || n + kCellBytes > sizeof out) {
            Emit(out, n);
            n = 0;
            SetAttr(a);
        }
        // A glyph below 0x80 is one ASCII byte, with none aside.
        const uint32_t g = cells.glyph[k];
        if (g - 1 < 0x7F)
            out[n++] = uint8_t(g);
        else
            n += CellBytes(cells, k, out + n);
    }
    Emit(out, n);
    col += to - from;
    if (col >= ed.screen.Columns) row = -1;  // autowrap: the cursor's place is uncertain
}

void CellSender::Diff(int r, const CellRow& cells, const CellRow& shown, int n, bool erase) {
    const int blankFrom = erase && n == ed.screen.Columns ? PlainBlanksFrom(cells, 0, n) : n;
    for (int c = FirstDifference(cells, shown, 0, n); c < n; c = FirstDifference(cells, shown, c + 1, n)) {
        if (c >= blankFrom && !IsRightHalf(shown, c)) {
            // In the blank tail: erase to the end when that is shorter than the blanks to send.
            size_t changed = 0;
            for (int k = c; k < n; ++k) changed += !SameCell(cells, shown, k);
            size_t cost = 3 + (attr == kAttrPlain ? 0 : 3);
            if (changed > cost) {
                MoveTo(r, c, &shown, kAttrPlain);
                SetAttr(kAttrPlain);
                Emit("\x1b[K", 3);
                if (!dry) {
                    BlankCells(shown, c, n, kAttrPlain);
                }
                return;
            }
        }
        // The changed cells from here on that share this attribute go out at once; in the blank tail
        // one by one, as the erase may win at the next. A wide character, composed or shown, goes out
        // whole.
        int from = c;
        while (from > 0 && (IsRightHalf(cells, from) || IsRightHalf(shown, from))) --from;
        int end = c + 1;
        const uint8_t a = AttrOf(cells, c);
        for (;;) {
            while (end < blankFrom && AttrOf(cells, end) == a && !SameCell(cells, shown, end)) ++end;
            // Up to three ASCII cells that show already in this attribute, between two that do not, go out
            // again: that is shorter than a move over them.
            int k = end;
            while (k < blankFrom && k < end + 3 && SameCell(cells, shown, k) && AttrOf(cells, k) == a &&
                   cells.glyph[k] - 0x20u < 0x5Fu)
                ++k;
            if (k == end || k == blankFrom || SameCell(cells, shown, k) || AttrOf(cells, k) != a ||
                IsRightHalf(cells, k) || IsRightHalf(shown, k))
                break;
            end = k;
        }
        while (end < n && (IsRightHalf(cells, end) || IsRightHalf(shown, end))) ++end;
        MoveTo(r, from, &shown, a);
        Run(cells, from, end);
        if (!dry) CopyCells(shown, cells, from, end);
        c = end - 1;
    }
}

void SendCells(Editor& ed, int r, const CellRow& cells, int n) {
    Screen& sc = ed.screen;
    const CellRow shown = ShownRow(sc, r);
    // On a screen of unknown content every row goes out; what it shows is not even looked at, which
    // on the first screen spares reading pages that are about to be written.
    if (!sc.ScreenUnknown && SameCells(cells, shown, n)) return;
    SendChangedCells(ed, r, cells, n);
}

void SendChangedCells(Editor& ed, int r, const CellRow& cells, int n) {
    Screen& sc = ed.screen;
    const CellRow shown = ShownRow(sc, r);
    if (sc.ScreenUnknown) ClearUnknownScreen(ed);
    CellSender s(ed, false);
    s.Row(r, cells, shown, n, r < sc.TextRows);
    s.Commit();
    sc.WantedCursor = sc.CursorScreenPos;
}

void SendStatusRow(Editor& ed) {
    Screen& sc = ed.screen;
    sc.StatusPending = false;
    const int n = sc.StatusWidth < sc.Columns ? sc.StatusWidth : sc.Columns;
    if (!StatusBeforeFrame(ed, n)) SendCells(ed, sc.TextRows, StatusCells(sc), n);
    sc.FrameFromSavedPlace = false;
}

[[gnu::cold]] void ShowPrefixKey(Editor& ed, const char* text) {
    Screen& sc = ed.screen;
    const size_t n = strnlen(text, 4);
    PutText(StatusCells(sc), sc.StatusWidth, 0, 4, reinterpret_cast<const uint8_t*>(text), n, false,
            kAttrStatus);
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

void FlushOutput(Editor& ed) {
    if (!BackToReturnPlace(ed)) {
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

[[gnu::cold]] void ReleaseTerminal(Editor& ed) {
    Screen& sc = ed.screen;
    sc.SavedPlaceKnown = false;  // whoever has the terminal next may save its cursor too
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
        sc.TermRow = sc.TermCol = -1;
    }
    FlushOutput(ed);
}

[[gnu::cold]] void InvalidateScreenCache(Editor& ed) {
    Screen& sc = ed.screen;
    // Unknown cells differ from every composed one. Rows below the status row are not used at this
    // size; a larger size invalidates again.
    for (int r = 0; r <= sc.TextRows; ++r)
        std::memset(ShownRow(sc, r).info, kAttrUnknown, size_t(sc.Columns));
    // A region set for another size is put back first.
    if (sc.RegionRows != 0) {
        SendBytes(ed, "\x1b[r", 3);
        sc.RegionRows = 0;
    }
    sc.TermRow = sc.TermCol = -1;
    sc.TermAttr = kAttrUnknown;
    sc.ScreenUnknown = true;
    sc.SavedPlaceKnown = false;  // a terminal may move its saved cursor into a smaller screen
    ForgetFrameShown(sc);
}

[[gnu::cold]] void RepaintScreen(Editor& ed) {
    Screen& sc = ed.screen;
    // Whatever the shell did, nothing of the terminal's state is known now but what it shows should be.
    // The region was given back before the stop; should anyone else have stopped the editor, it is
    // given back now.
    sc.TermRow = sc.TermCol = -1;
    sc.TermAttr = kAttrUnknown;
    sc.RegionRows = 0;
    sc.SavedPlaceKnown = false;
    ForgetFrameShown(sc);
    SendBytes(ed, "\x1b[r", 3);
    uint32_t glyph[kMaxColumns];
    uint8_t info[kMaxColumns], extra[kMaxColumns][kCellExtra];
    const CellRow wasRow{glyph, info, extra};
    for (int r = 0; r <= sc.TextRows; ++r) {
        const CellRow shown = ShownRow(sc, r);
        for (int c = 0; c < sc.Columns; ++c) CopyCell(wasRow, c, shown, c);
        std::memset(shown.info, kAttrUnknown, size_t(sc.Columns));
        CellSender s(ed, false);
        s.Row(r, wasRow, shown, sc.Columns, r < sc.TextRows);
        s.Commit();
    }
    sc.WantedCursor = sc.CursorScreenPos;
}
