// The status row: changed mark, typing mode, file name, line:column and the help hint.
#include <cstring>

#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// ASCII text from column col; it must fit the row.
void Put(Editor& ed, int col, const char* text) {
    PutText(StatusCells(ed.screen), ed.screen.StatusWidth, col, ed.screen.StatusWidth,
            reinterpret_cast<const uint8_t*>(text), std::strlen(text), false, kAttrStatus);
}

const char* ModeTag(uint8_t mode) {
    switch (mode) {
        case PICO:
            return "p Pi";
        case EMACS:
            return "p Em";
        case NEDIT:
            return "p NE";
        default:
            return "p WS";
    }
}

// "line:column" with the column's last digit at `end`; whatever would fall left of column 0 is lost.
void PutPosition(Editor& ed, int end, uint64_t line, uint64_t column) {
    char tmp[48];
    char* last = tmp + sizeof tmp;
    char* p = NumberToDecimal(column, last - 1);
    *p = ':';
    p = NumberToDecimal(line, p - 1) + 1;
    int from = end + 1 - int(last - p);
    if (from < 0) {
        p -= from;
        from = 0;
    }
    PutText(StatusCells(ed.screen), ed.screen.StatusWidth, from, end + 1, reinterpret_cast<const uint8_t*>(p),
            size_t(last - p), false, kAttrStatus);
}

}  // namespace

void ClearStatusRow(Editor& ed) {
    Screen& sc = ed.screen;
    if (ed.Utf8) ReserveCellExtras(ed);
    sc.StatusWidth = sc.Columns;
    BlankCells(StatusCells(ed.screen), 0, sc.Columns, kAttrStatus);
}

void DrawStatusLine(Editor& ed) {
    ComposeStatusLine(ed);
    SendStatusRow(ed);
}

void ComposeStatusLine(Editor& ed) {
    ed.screen.StatusPending = true;
    ClearStatusRow(ed);
    const int c = ed.screen.Columns;
    if (c >= 32) {
        const char mark[2] = {char(ed.ChangedMark), 0};
        Put(ed, 1, mark);
        Put(ed, c - 4, "vi");
        const char* word;
        if (ed.EditMode == VI && ed.ViCommandState == 1) {
            word = "CMD ";
        } else {
            if (ed.EditMode != VI) {
                Put(ed, c - 12, "altH=hel");
                Put(ed, c - 4, ModeTag(ed.EditMode));
            }
            word = ed.InsertMode == kInsert ? "INS " : "OVR ";
        }
        Put(ed, 4, word);
        // The name as characters; a control byte in it must not reach the terminal as one.
        PutText(StatusCells(ed.screen), c, 10, 10 + c - 30, reinterpret_cast<const uint8_t*>(ed.FileName),
                strnlen(ed.FileName, sizeof ed.FileName), ed.Utf8, kAttrStatus);
        PutPosition(ed, c - 15, ed.LineNumber, ed.screen.CursorColumn + 1);
    }
}

void ShowStatusText(Editor& ed, const char* text) {
    Screen& sc = ed.screen;
    // A row composed for another width (or never composed) cannot be overlaid.
    if (sc.StatusWidth != sc.Columns) ClearStatusRow(ed);
    size_t n = 0;
    while (uint8_t(text[n]) > 0x0A) ++n;
    PutText(StatusCells(ed.screen), sc.Columns, 0, sc.Columns, reinterpret_cast<const uint8_t*>(text), n,
            ed.Utf8, kAttrStatus);
    SendStatusRow(ed);
    PromptCursor(ed);
    FlushOutput(ed);  // seen at once, also while a long save runs under it
}

uint8_t ShowStatusTextAndWait(Editor& ed, const char* text) {
    ShowStatusText(ed, text);
    ed.screen.Waiting = {.shows = StatusRow::Message, .text = text};
    uint8_t key = ReadAnswerKey(ed);
    ed.screen.Waiting = {};
    return key;
}
