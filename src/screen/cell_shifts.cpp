// Cells the terminal moves itself: when a row's new cells are what it shows with cells inserted or
// deleted at one place (a character typed or deleted, the window moved sideways), the terminal shifts
// the rest of the row (ESC [ n @, ESC [ n P) and only the cells that still differ go out.
#include <cstring>
#include <initializer_list>

#include "screen/renderer.hpp"

namespace {

// |k| cells inserted (k > 0) or deleted (k < 0) at column `at`; k = 0: no shift.
struct Shift {
    int at = 0;
    int k = 0;
    int left = 0;    // the cells that still differ after it
    int differ = 0;  // and without it
};

// What a terminal would show after a shift, for a dry run, which leaves the screen state alone.
struct ScratchRow {
    uint32_t glyph[kMaxColumns];
    uint8_t info[kMaxColumns];
    uint8_t extra[kMaxColumns][kCellExtra];
};

// Cell ca of a and cell cb of b draw the same.
bool Same(const CellRow& a, int ca, const CellRow& b, int cb) { return SameRun(a, ca, b, cb, 1) == 1; }

// A shift brings in blanks in plain attributes.
bool IsPlainBlank(const CellRow& a, int c) { return a.glyph[c] == ' ' && a.info[c] == kAttrPlain; }

// Whether composed cell c (at or right of the shift) shows once the terminal made the shift.
bool ShowsAfter(const CellRow& cells, const CellRow& shown, int n, Shift sh, int c) {
    if (sh.k > 0) return c < sh.at + sh.k ? IsPlainBlank(cells, c) : Same(cells, c, shown, c - sh.k);
    return c - sh.k < n ? Same(cells, c, shown, c - sh.k) : IsPlainBlank(cells, c);
}

// The widest shift looked for: as many cells as a burst of typing or a word deleted moves, or a window
// moved sideways by a few columns. Wider ones are rare, and every one tried costs a look at the row.
constexpr int kWidestShift = 40;

// Cell c of a and of b hold the same character, whatever their attributes.
bool SameCharacter(const CellRow& a, const CellRow& b, int c) {
    if (a.glyph[c] != b.glyph[c] || ExtraBytes(a, c) != ExtraBytes(b, c)) return false;
    return ExtraBytes(a, c) == 0 || std::memcmp(a.extra[c], b.extra[c], ExtraBytes(a, c)) == 0;
}

// The shift that leaves the fewest cells to send, if it leaves fewer than the row as it stands (whether
// that is fewer bytes is for the caller to find out). It starts at the row's first difference, or past
// cells there that only change their attributes (the cursor's highlight that left them). A shift by
// `hint` that leaves at most one cell is taken at once: rows of many look-alike cells would otherwise
// have many shifts tried.
Shift FindShift(const CellRow& cells, const CellRow& shown, int n, int hint) {
    Shift best;
    const int first = FirstDifference(cells, shown, 0, n);
    // Where neither row reaches the last column, their ends tell the one shift there can be.
    const int endShown = PlainBlanksFrom(shown, first, n) - 1;
    // What is shown is blank from the first difference on (a cleared screen): a shift only moves blanks.
    if (endShown < first) return best;
    int fewest = 0;
    for (int c = first; c < n; ++c) fewest += !SameCell(cells, shown, c);
    if (fewest < 2) return best;  // a shift costs more than a cell
    const int differ = fewest;
    int past = first;
    while (past < n && SameCharacter(cells, shown, past)) ++past;
    const int endNow = PlainBlanksFrom(cells, 0, n) - 1;
    const bool ends = endNow < n - 1 && endShown < n - 1;
    int budget = 4 * n;  // cells compared, so that a row of many look-alike shifts stays cheap
    for (int tries = past > first && past < n ? 2 : 1; tries > 0; --tries) {
        int at = tries == 2 ? first : past;
        // A shift starts on a character's first cell, in what is shown and in what is to be.
        while (at > 0 && (IsRightHalf(shown, at) || IsRightHalf(cells, at))) --at;
        int before = 0;  // cells left of the shift still to send
        for (int c = first; c < at; ++c) before += !SameCell(cells, shown, c);
        // Whether a shift by k here leaves fewer cells than the best so far, which it then becomes.
        auto better = [&](int k) {
            const int d = k > 0 ? k : -k;
            if (at + d >= n || (ends && k != endNow - endShown)) return false;
            // Cut no wide character: none may lose a half pushed off the end or deleted.
            if (k > 0 ? IsRightHalf(shown, n - d) : IsRightHalf(shown, at + d)) return false;
            const Shift sh{at, k, 0};
            // A quick look first: most of the three cells after the inserted ones must agree.
            const int look = k > 0 ? at + d : at;
            int agree = 0, looked = 0;
            for (int c = look; c < look + 3 && c < n; ++c, ++looked)
                agree += ShowsAfter(cells, shown, n, sh, c);
            if (agree < (looked < 2 ? looked : 2)) return false;
            // The cells the shift brings back to their places come in runs, passed a run at a time: from
            // sameFrom to sameTo, cell c shows what cell c - k showed.
            int left = before;
            int c = at;
            const int sameFrom = k > 0 ? at + d : at, sameTo = k > 0 ? n : n - d;
            while (c < n && left < fewest) {
                if (c >= sameFrom && c < sameTo) {
                    c += SameRun(cells, c, shown, c - k, sameTo - c);
                    if (c == sameTo) continue;
                } else if (IsPlainBlank(cells, c)) {
                    ++c;
                    continue;
                }
                ++left;
                ++c;
            }
            budget -= c - at;
            if (left >= fewest) return false;
            fewest = left;
            best = sh;
            best.left = left;
            best.differ = differ;
            return true;
        };
        if (hint != 0 && better(hint) && fewest <= 1) return best;
        for (int d = 1; d <= kWidestShift && at + d < n && budget > 0; ++d)
            for (const int k : {d, -d})
                if (k != hint) (void)better(k);
    }
    return best;
}

// The terminal's shift, made in the row that records what it shows.
void ApplyShift(const CellRow& row, int n, Shift sh) {
    if (sh.k > 0) {
        MoveCells(row, sh.at + sh.k, sh.at, n - sh.at - sh.k);
        BlankCells(row, sh.at, sh.at + sh.k, kAttrPlain);
    } else {
        const int d = -sh.k;
        MoveCells(row, sh.at, sh.at + d, n - sh.at - d);
        BlankCells(row, n - d, n, kAttrPlain);
    }
}

// The bytes of a shift's sequence: ESC [ n @ or ESC [ n P, the count left out when it is one.
size_t SequenceBytes(int k) {
    const int d = k > 0 ? k : -k;
    return d == 1 ? 3 : d < 10 ? 4 : d < 100 ? 5 : 6;
}

// Whether cell c is the right half of a wide character once the terminal made the shift.
bool RightHalfAfter(const CellRow& shown, int n, Shift sh, int c) {
    if (c < sh.at) return IsRightHalf(shown, c);
    const int from = c - sh.k;
    if (sh.k > 0 ? c < sh.at + sh.k : from >= n) return false;  // a blank the shift brought in
    return IsRightHalf(shown, from);
}

// The most bytes a shift that leaves a cell or none costs, found without making it: the move to it,
// the sequence, and the cell left (sent from where the shift leaves the cursor, without the cells in
// between sent again, which only a real sending weighs). 0: not known, as where a wide character
// meets that cell.
size_t MostShiftBytes(const CellSender& s, int r, const CellRow& cells, const CellRow& shown, int n,
                      Shift sh) {
    CellSender probe(s);
    probe.dry = true;
    probe.bytes = 0;
    probe.MoveTo(r, sh.at, &shown, kAttrPlain);
    probe.SetAttr(kAttrPlain);
    probe.bytes += SequenceBytes(sh.k);
    if (sh.left == 0) return probe.bytes;
    int c = 0;
    while (c < n && (c < sh.at ? SameCell(cells, shown, c) : ShowsAfter(cells, shown, n, sh, c))) ++c;
    if (c == n || IsRightHalf(cells, c) || RightHalfAfter(shown, n, sh, c)) return 0;
    int end = c + 1;
    while (end < n && IsRightHalf(cells, end)) ++end;
    if (end < n && RightHalfAfter(shown, n, sh, end)) return 0;
    probe.MoveTo(r, c, nullptr);
    probe.Run(cells, c, end);
    return probe.bytes;
}

// The bytes from where a dry run ended to the start of the row after r, where the sending mostly goes
// on: a way of sending a row that leaves the cursor's place unknown (in the last column) costs that
// much more.
[[gnu::noinline]] size_t OnToNextRow(const CellSender& s, int r) {
    CellSender next(s);
    next.bytes = 0;
    next.MoveTo(r + 1, 0, nullptr);
    return next.bytes;
}

// The shift, then the cells that still differ.
void ShiftAndSend(CellSender& s, int r, const CellRow& cells, const CellRow& shown, int n, bool erase,
                  Shift sh, ScratchRow* scratch) {
    s.MoveTo(r, sh.at, &shown, kAttrPlain);
    s.SetAttr(kAttrPlain);  // the blanks come in with the attributes in force
    char seq[8] = {0x1B, '['};
    const int d = sh.k > 0 ? sh.k : -sh.k;
    size_t len = 2;
    if (d != 1) {
        char digits[4];
        const char* first = NumberToDecimal(uint64_t(d), digits + 3) + 1;
        const size_t count = size_t(digits + 4 - first);
        std::memcpy(seq + len, first, count);
        len += count;
    }
    seq[len++] = sh.k > 0 ? '@' : 'P';
    s.Emit(seq, len);
    CellRow after = shown;
    if (s.dry) {
        after = {scratch->glyph, scratch->info, scratch->extra};
        CopyCells(after, shown, 0, n);
    }
    ApplyShift(after, n, sh);
    s.Diff(r, cells, after, n, erase);
}

// Row on a row that a shift may help: the shift is weighed against sending the cells as they are. Kept
// out of Row, whose frame stays small: the first screen sends every row and shifts none.
[[gnu::noinline]] void RowWithShift(CellSender& s, int r, const CellRow& cells, const CellRow& shown, int n,
                                    bool erase, Shift sh) {
    // Sent as they are, the cells that differ cost a byte each at least, but for the row's blank tail,
    // which one erase may clear: a shift that costs less is taken without costing that sending. One that
    // leaves a cell or none (the row of a window moved sideways) is not even made in a dry run first.
    const int blankFrom = erase && n == s.ed.screen.Columns ? PlainBlanksFrom(cells, 0, n) : n;
    size_t least = size_t(sh.differ);
    for (int c = FirstDifference(cells, shown, blankFrom, n); c < n;
         c = FirstDifference(cells, shown, c + 1, n))
        --least;
    ScratchRow scratch;
    const size_t most = sh.left <= 1 ? MostShiftBytes(s, r, cells, shown, n, sh) : 0;
    if (most != 0 && most < least) {
        ShiftAndSend(s, r, cells, shown, n, erase, sh, s.dry ? &scratch : nullptr);
        return;
    }
    CellSender shifted(s);
    shifted.dry = true;
    shifted.bytes = 0;
    ShiftAndSend(shifted, r, cells, shown, n, erase, sh, &scratch);
    const size_t shiftedCost = shifted.bytes + OnToNextRow(shifted, r);
    bool shift = shiftedCost < least;
    if (!shift) {
        CellSender plain(s);
        plain.dry = true;
        plain.bytes = 0;
        plain.Diff(r, cells, shown, n, erase);
        shift = shiftedCost < plain.bytes + OnToNextRow(plain, r);
    }
    if (!shift) {
        s.Diff(r, cells, shown, n, erase);
    } else if (s.dry) {
        s.bytes += shifted.bytes;
        s.row = shifted.row;
        s.col = shifted.col;
        s.attr = shifted.attr;
    } else {
        ShiftAndSend(s, r, cells, shown, n, erase, sh, nullptr);
    }
}

}  // namespace

void CellSender::Row(int r, const CellRow& cells, const CellRow& shown, int n, bool erase) {
    const Screen& sc = ed.screen;
    const Shift sh =
        sc.Kind == TermKind::Shifting && n == sc.Columns ? FindShift(cells, shown, n, lastShift) : Shift{};
    if (sh.k != 0) lastShift = sh.k;
    if (sh.k == 0) {
        Diff(r, cells, shown, n, erase);
        return;
    }
    RowWithShift(*this, r, cells, shown, n, erase, sh);
}
