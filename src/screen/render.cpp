// The text window and the screen cache. Every byte the editor puts on the screen leaves through
// SendRow, MoveTerminalCursor or RepaintScreen, and only these sequences are ever sent:
//   ESC [ rrr ; ccc H      cursor position, 1-based, always three digits each (10 bytes)
//   ESC [ 0 m              attributes off
//   ESC [ 1 m              bold: block cells, and the cursor cell on ordinary terminals
//   ESC [ 7 m              reverse: the cursor cell on the Linux console
//   ESC [44m ESC [33m ESC [1m    status colours, before the status row
//   ESC [40m ESC [37m ESC [0m    after the status row
//   0x07                   the bell (written by Bell, not here)
// Rows are never erased: each one is written at its full width.
#include <cstring>

#include "screen/screen.hpp"

namespace {

constexpr char kNormal[] = "\x1b[0m";
constexpr char kBold[] = "\x1b[1m";
constexpr char kReverse[] = "\x1b[7m";
constexpr char kStatusColours[] = "\x1b[44m\x1b[33m\x1b[1m";
constexpr char kAfterStatus[] = "\x1b[40m\x1b[37m\x1b[0m";
constexpr size_t kAttrLen = 4;
constexpr size_t kCursorSeqLen = 10;
static_assert(sizeof kStatusColours - 1 == 14 && sizeof kAfterStatus - 1 == 14);

// An invalidated slot: no zero byte anywhere, so every image (which ends in one) differs from it.
constexpr uint8_t kInvalid = 0xFF;

char* PutCursorSequence(char* out, int row, int col) {
    if (row < 0) row = 0;
    if (col < 0) col = 0;
    if (row > 998) row = 998;
    if (col > 998) col = 998;
    std::memcpy(out, "\x1b[000;000H", kCursorSeqLen);
    NumberToDecimal(uint64_t(row + 1), out + 4);
    NumberToDecimal(uint64_t(col + 1), out + 8);
    return out + kCursorSeqLen;
}

size_t ImageLength(const uint8_t* image) {
    const void* z = std::memchr(image, 0, kRowImageSize);
    return z ? size_t(static_cast<const uint8_t*>(z) - image) : kRowImageSize - 1;
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
    Pos Compose(int r, Pos p, bool* finished) {
        const int columns = ed.screen.Columns;
        const uint64_t offset = ed.screen.HorizontalOffset;
        out = ed.screen.RowImage;
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

    void Blank() {
        out = ed.screen.RowImage;
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

void RefreshWindow(Editor& ed) {
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

    RowComposer rc{ed};
    rc.blockShown = ed.BlockVisible && ed.BlockBegin && ed.BlockEnd && ed.BlockBegin < ed.BlockEnd;
    if (!ed.buf) {
        for (int r = 0; r < sc.TextRows; ++r) {
            rc.Blank();
            SendRow(ed, sc.TextRows - r, sc.RowImage);
        }
        RestoreCursor(ed);
        return;
    }

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
    Pos top = lineStart;
    for (int k = 0; k < row && top > ed.TextStart; ++k) top = LineStartBefore(ed, top - 1);

    Pos p = top;
    bool finished = false;
    for (int r = 0; r < sc.TextRows; ++r) {
        if (finished)
            rc.Blank();
        else
            p = rc.Compose(r, p, &finished);
        SendRow(ed, sc.TextRows - r, sc.RowImage);
    }
    RestoreCursor(ed);
}

void SendRow(Editor& ed, int slot, const uint8_t* image) {
    if (slot < 0 || slot > kMaxRows) return;
    uint8_t* cached = ed.screen.Cache[slot];
    size_t len = ImageLength(image);
    bool differs = false;
    for (size_t i = 0; i <= len; ++i) {
        uint8_t b = i < len ? image[i] : 0;
        if (cached[i] != b) {
            cached[i] = b;
            differs = true;
        }
    }
    if (!differs) return;
    char out[kCursorSeqLen + 14 + kRowImageSize + 14 + kCursorSeqLen];
    char* o = PutCursorSequence(out, ed.screen.TextRows - slot, 0);
    if (slot == 0) {
        std::memcpy(o, kStatusColours, 14);
        o += 14;
    }
    std::memcpy(o, image, len);
    o += len;
    if (slot == 0) {
        std::memcpy(o, kAfterStatus, 14);
        o += 14;
    }
    o = PutCursorSequence(o, ed.screen.CursorScreenPos.row, ed.screen.CursorScreenPos.col);
    ed.term.Write(out, size_t(o - out));
}

void SendStatusRow(Editor& ed) { SendRow(ed, 0, ed.screen.StatusImage); }

void ShowPrefixKey(Editor& ed, const char* text) {
    uint8_t* img = ed.screen.StatusImage;
    for (int i = 0; i < 4 && img[i] && text[i]; ++i) img[i] = Printable(uint8_t(text[i]));
    SendStatusRow(ed);
}

void MoveTerminalCursor(Editor& ed, int row, int col) {
    char seq[kCursorSeqLen];
    PutCursorSequence(seq, row, col);
    ed.term.Write(seq, kCursorSeqLen);
}

void InvalidateScreenCache(Editor& ed) { std::memset(ed.screen.Cache, kInvalid, sizeof ed.screen.Cache); }

void RepaintScreen(Editor& ed) {
    Screen& sc = ed.screen;
    char out[kCursorSeqLen + 14 + kRowImageSize + 14];
    for (int slot = sc.TextRows; slot >= 0; --slot) {
        const uint8_t* img = sc.Cache[slot];
        const void* z = std::memchr(img, 0, kRowImageSize);
        if (!z) continue;  // invalidated: the next refresh sends it anyway
        size_t len = size_t(static_cast<const uint8_t*>(z) - img);
        char* o = PutCursorSequence(out, sc.TextRows - slot, 0);
        if (slot == 0) {
            std::memcpy(o, kStatusColours, 14);
            o += 14;
        }
        std::memcpy(o, img, len);
        o += len;
        if (slot == 0) {
            std::memcpy(o, kAfterStatus, 14);
            o += 14;
        }
        ed.term.Write(out, size_t(o - out));
    }
    MoveTerminalCursor(ed, sc.CursorScreenPos.row, sc.CursorScreenPos.col);
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
