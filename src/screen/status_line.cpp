// The status row: changed mark, typing mode, file name, line:column and the help hint.
#include <cstring>

#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

void Put(uint8_t* img, int col, const char* text) { std::memcpy(img + col, text, std::strlen(text)); }

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
void PutPosition(uint8_t* img, int end, uint64_t line, uint64_t column) {
    char tmp[48];
    char* last = tmp + sizeof tmp - 1;
    char* p = NumberToDecimal(column, last);
    *p = ':';
    p = NumberToDecimal(line, p - 1);
    for (char* q = last; q > p; --q, --end) {
        if (end < 0) break;
        img[end] = uint8_t(*q);
    }
}

}  // namespace

void ClearStatusRow(Editor& ed) {
    std::memset(ed.screen.StatusImage, ' ', size_t(ed.screen.Columns));
    ed.screen.StatusImage[ed.screen.Columns] = 0;
}

void DrawStatusLine(Editor& ed) {
    ComposeStatusLine(ed);
    SendStatusRow(ed);
}

void ComposeStatusLine(Editor& ed) {
    ed.screen.StatusPending = true;
    ClearStatusRow(ed);
    const int c = ed.screen.Columns;
    uint8_t* img = ed.screen.StatusImage;
    if (c >= 32) {
        img[1] = ed.ChangedMark;
        Put(img, c - 4, "vi");
        const char* word;
        if (ed.EditMode == VI && ed.ViCommandState == 1) {
            word = "CMD ";
        } else {
            if (ed.EditMode != VI) {
                Put(img, c - 12, "altH=hel");
                Put(img, c - 4, ModeTag(ed.EditMode));
            }
            word = ed.InsertMode == kInsert ? "INS " : "OVR ";
        }
        Put(img, 4, word);
        // A control byte in the name must not reach the terminal as one.
        for (int i = 0; i < c - 30 && ed.FileName[i]; ++i) img[10 + i] = Printable(uint8_t(ed.FileName[i]));
        PutPosition(img, c - 15, ed.LineNumber, ed.screen.CursorColumn + 1);
    }
}

void ShowStatusText(Editor& ed, const char* text) {
    uint8_t* img = ed.screen.StatusImage;
    const int c = ed.screen.Columns;
    // A row composed for another width (or never composed) cannot be overlaid.
    if (strnlen(reinterpret_cast<const char*>(img), kRowImageSize) != size_t(c)) ClearStatusRow(ed);
    for (int i = 0; i < c && uint8_t(text[i]) > 0x0A; ++i) img[i] = Printable(uint8_t(text[i]));
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
