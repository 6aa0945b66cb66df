// Whether to let the terminal scroll its text rows before the composed ones go out, and by how much.
#include <cstdlib>
#include <cstring>

#include "screen/renderer.hpp"

namespace {

// A row of blanks, as a scroll leaves it; made by the compiler, so that no code runs for it at start.
// It holds no bytes aside, so it has no room for them either.
struct BlankRow {
    uint32_t glyph[kMaxColumns];
    uint8_t info[kMaxColumns];
    constexpr BlankRow() : glyph(), info() {
        for (int c = 0; c < kMaxColumns; ++c) {
            glyph[c] = ' ';
            info[c] = kAttrPlain;
        }
    }
};
constexpr BlankRow kBlankRow;

CellRow Blanks() {
    return {const_cast<uint32_t*>(kBlankRow.glyph), const_cast<uint8_t*>(kBlankRow.info), nullptr};
}

// The bytes the text rows cost against what the terminal shows, sent as they are.
size_t RowsCost(Editor& ed, CellSender& s) {
    Screen& sc = ed.screen;
    for (int r = 0; r < sc.TextRows; ++r) {
        const CellRow composed = FrameRow(sc, r), shown = ShownRow(sc, r);
        if (SameCells(composed, shown, sc.Columns)) continue;
        s.Row(r, composed, shown, sc.Columns, true);
    }
    return s.bytes;
}

// What the terminal shows moves with its rows: rows `from` on, `count` of them, to row `to`.
void MoveShownRows(Screen& sc, int from, int to, int count) {
    // Row by row, in an order that reads each before it is overwritten; the bytes aside only where a cell
    // has some.
    const size_t bytes = RowCellBytes(sc.Columns);
    for (int i = 0; i < count; ++i) {
        const int k = to < from ? i : count - 1 - i;
        const CellRow dst = ShownRow(sc, to + k), src = ShownRow(sc, from + k);
        for (int c = 0; c < sc.Columns; ++c)
            if (ExtraBytes(src, c)) std::memcpy(dst.extra[c], src.extra[c], kCellExtra);
        std::memcpy(dst.glyph, src.glyph, bytes);
    }
}

// Sets the scroll region over the text rows, where it is not set already.
void SetTextRegion(Editor& ed, CellSender& s) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    if (sc.RegionRows == n) return;
    char seq[16];
    std::memcpy(seq, "\x1b[1;", 4);
    char* o = NumberToDecimal(uint64_t(n), seq + 15);
    const size_t digits = size_t(seq + 15 - o);
    std::memmove(seq + 4, o + 1, digits);
    seq[4 + digits] = 'r';
    s.Emit(seq, 5 + digits);
    if (!s.dry) sc.RegionRows = n;
    s.row = s.col = 0;  // setting the region puts the cursor home
}

// Sends, or in a dry run counts, the text rows by letting the terminal move its rows from row `top`
// down by k rows first (positive: the text moves up). From the top row the region scrolls; from a row
// below it rows are deleted or inserted there (a terminal that shifts only). The rows that stay in
// view are brought up to date before the move, where they still are, which spares moving back to them
// across it; then the move; then the rows that came into view, over the blanks it left.
size_t ScrollAndSend(Editor& ed, CellSender& s, int k, int top) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    const int d = k > 0 ? k : -k;
    SetTextRegion(ed, s);
    for (int r = 0; r < top; ++r) s.Row(r, FrameRow(sc, r), ShownRow(sc, r), sc.Columns, true);
    for (int r = k > 0 ? top : top + d; r < n && r + k < n; ++r) {
        const int now = r + k;  // where composed row r shows before the move
        s.Row(now, FrameRow(sc, r), ShownRow(sc, now), sc.Columns, true);
    }

    // The move itself: plain attributes (a terminal may fill the new rows with the background in
    // force), the cursor to the margin, one LF or ESC M per row; or the cursor to the row's start and
    // one delete or insert.
    s.SetAttr(kAttrPlain);
    if (top == 0) {
        s.MoveTo(k > 0 ? n - 1 : 0, 0, nullptr);
        for (int i = 0; i < d; ++i) s.Emit(k > 0 ? "\n" : "\x1bM", k > 0 ? 1 : 2);
        s.row = k > 0 ? n - 1 : 0;
    } else {
        s.MoveTo(top, 0, nullptr);
        char seq[8] = {0x1B, '['};
        size_t len = 2;
        if (d != 1) {
            char* o = NumberToDecimal(uint64_t(d), seq + 6);
            const size_t digits = size_t(seq + 6 - o);
            std::memmove(seq + 2, o + 1, digits);
            len += digits;
        }
        seq[len++] = k > 0 ? 'M' : 'L';
        s.Emit(seq, len);
        s.row = top;
    }
    s.col = 0;
    const int first = k > 0 ? n - d : top;  // the rows that came into view
    if (!s.dry) {
        if (k > 0)
            MoveShownRows(sc, top + d, top, n - top - d);
        else
            MoveShownRows(sc, top, top + d, n - top - d);
        for (int r = first; r < first + d; ++r) BlankCells(ShownRow(sc, r), 0, sc.Columns, kAttrPlain);
    }
    for (int r = first; r < first + d; ++r) {
        // A dry run leaves the shown rows as they were: compare with the blanks the move leaves.
        s.Row(r, FrameRow(sc, r), s.dry ? Blanks() : ShownRow(sc, r), sc.Columns, true);
    }
    return s.bytes;
}

}  // namespace

// The shift of the rows from `top` down that makes them closest to the composed ones, and the number of
// rows that then show as composed; top is 0 or, on a terminal that shifts, the best row for the shift.
struct RowShift {
    int k = 0, top = 0, matches = 0;
};

// Lets the terminal scroll its text rows by the shift that makes them closest to the composed ones,
// when sending the rows that way costs fewer bytes; the rows then all go out with the scroll, and
// the refresh's own pass finds nothing left to send. A terminal that shifts may also move only the
// rows below a row that stays (a line inserted or deleted in the window).
void ScrollIfCheaper(Editor& ed, int changed) {
    Screen& sc = ed.screen;
    const int n = sc.TextRows;
    // Nothing known on the terminal is worth keeping, or too little changed for a scroll to pay.
    if (n < 2 || sc.ScreenUnknown || changed < 3) return;

    uint64_t composed[kMaxRows], shown[kMaxRows];
    for (int r = 0; r < n; ++r) {
        composed[r] = HashCells(FrameRow(sc, r), sc.Columns);
        shown[r] = HashCells(ShownRow(sc, r), sc.Columns);
    }
    // A shift is worth a look only where it brings a changed row to where the terminal shows it: a row
    // that stays as it is (a blank one below the text's end) matches rows like it wherever it moves.
    bool changedRow[kMaxRows];
    for (int r = 0; r < n; ++r) changedRow[r] = composed[r] != shown[r];
    int bestShift = 0, bestMatches = 0;
    for (int k = 1 - n; k < n; ++k) {
        if (k == 0) continue;
        int matches = 0, gained = 0;
        for (int r = k > 0 ? 0 : -k; r < n && r + k < n; ++r) {
            const bool match = composed[r] == shown[r + k];
            matches += match;
            gained += match && changedRow[r];
        }
        if (gained == 0) continue;
        if (matches > bestMatches ||
            (matches == bestMatches && matches > 0 && std::abs(k) < std::abs(bestShift))) {
            bestMatches = matches;
            bestShift = k;
        }
    }
    RowShift inner;
    if (sc.Kind == TermKind::Shifting) {
        // Rows 0..top-1 stay, the rows from top down move by k: the rows that stay matching, plus the
        // rows that move matching from where they land.
        int stay[kMaxRows + 1];
        stay[0] = 0;
        for (int r = 0; r < n; ++r) stay[r + 1] = stay[r] + (composed[r] == shown[r]);
        for (int k = 1 - n; k < n; ++k) {
            if (k == 0) continue;
            const int d = k > 0 ? k : -k;
            int moved = 0, gained = 0;  // matches of the moved rows from row r down, r falling
            for (int r = n - 1; r >= 1; --r) {
                if (r + k >= 0 && r + k < n && composed[r] == shown[r + k]) {
                    ++moved;
                    gained += changedRow[r];
                }
                // Rows from top = r - d on move by an insertion (k < 0) land from r on; a deletion
                // moves the rows from top = r on.
                const int top = k > 0 ? r : r - d;
                if (top < 1 || top + d >= n || gained == 0) continue;
                const int matches = stay[top] + moved;
                if (matches > inner.matches ||
                    (matches == inner.matches &&
                     (d < std::abs(inner.k) || (d == std::abs(inner.k) && top < inner.top))))
                    inner = {k, top, matches};
            }
        }
    }
    if (bestMatches == 0 && inner.k == 0) return;

    CellSender plain(ed, true);
    size_t cheapest = RowsCost(ed, plain);
    RowShift chosen;
    if (bestMatches > 0) {
        CellSender dry(ed, true);
        const size_t cost = ScrollAndSend(ed, dry, bestShift, 0);
        if (cost < cheapest) {
            cheapest = cost;
            chosen = {bestShift, 0, bestMatches};
        }
    }
    if (inner.matches > bestMatches) {  // else the whole window's scroll moves as much
        CellSender dry(ed, true);
        if (ScrollAndSend(ed, dry, inner.k, inner.top) < cheapest) chosen = inner;
    }
    if (chosen.k == 0) return;
    CellSender s(ed, false);
    ScrollAndSend(ed, s, chosen.k, chosen.top);
    s.Commit();
}
