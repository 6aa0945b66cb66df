// The prompt line: one entry field on the status row from column 10, and what is built on it.
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

constexpr int kFieldColumn = 10;
constexpr char kBanner[] = "Wrenpad zt v" ZT_VERSION "\nEnter filename or leave with RETURN\n\n";

// The entry field shows the n bytes entered as characters, from column 10 to the row's end; returns
// the cells they take.
int EchoEntry(Editor& ed, const char* buf, size_t n) {
    const Screen& sc = ed.screen;
    if (sc.Columns <= kFieldColumn) return int(n);
    const CellRow row = StatusCells(ed.screen);
    BlankCells(row, kFieldColumn, sc.Columns, kAttrStatus);
    return PutText(row, sc.Columns, kFieldColumn, sc.Columns, reinterpret_cast<const uint8_t*>(buf), n,
                   ed.Utf8, kAttrStatus) -
           kFieldColumn;
}

}  // namespace

uint8_t CancelKey(const Editor& ed) {
    switch (ed.EditMode) {
        case EMACS:
            return 0x07;
        case PICO:
        case VI:
        case NEDIT:
            return 0x03;
        default:
            return 0x15;
    }
}

void ShowPromptRow(Editor& ed, const char* prompt, const char* entry, size_t n) {
    Screen& sc = ed.screen;
    ClearStatusRow(ed);
    size_t promptLength = 0;
    while (uint8_t(prompt[promptLength]) > 0x0A) ++promptLength;
    PutText(StatusCells(sc), sc.Columns, 0, sc.Columns, reinterpret_cast<const uint8_t*>(prompt),
            promptLength, false, kAttrStatus);
    const int col = kFieldColumn + EchoEntry(ed, entry, n);
    sc.CursorScreenPos = {sc.TextRows, col < sc.Columns ? col : sc.Columns - 1};
    // The prompt row is brought up to date after every key, and the cursor goes after the entry.
    SendStatusRow(ed);
    MoveTerminalCursor(ed, sc.CursorScreenPos.row, sc.CursorScreenPos.col);
}

size_t ReadLine(Editor& ed, const char* prompt, char* buf, size_t maxLen) {
    Screen& sc = ed.screen;
    const uint8_t savedState = ed.ViCommandState;
    const ScreenPos savedPos = sc.CursorScreenPos;
    ed.ViCommandState = 2;
    size_t limit = maxLen;
    if (sc.Columns > kFieldColumn && size_t(sc.Columns - kFieldColumn) < limit)
        limit = size_t(sc.Columns - kFieldColumn);
    const uint8_t cancel = CancelKey(ed);
    sc.Waiting = {StatusRow::Prompt, prompt, buf, 0, savedPos};

    size_t n = 0;
    while (n < limit) {
        sc.Waiting.entryLength = n;
        ShowPromptRow(ed, prompt, buf, n);

        Key key = KeyDecoder(ed);
        if (key.paste) {
            n += ReadPastedLine(ed, buf + n, limit - n);
            continue;
        }
        uint8_t b = key.byte;  // 0 for a command key
        if (ed.EditMode == VI && b == 0) {
            n = 0;
            break;
        }
        if (key.IsCommand()) continue;
        if (b == cancel) {
            n = 0;
            break;
        }
        if (b == 0x0D) break;
        if (b == 8) {
            // One whole character goes.
            if (n > 0) {
                const auto* entry = reinterpret_cast<const uint8_t*>(buf);
                n = size_t(CharStartBefore(entry, entry + n, ed.Utf8) - entry);
            }
            continue;
        }
        if (b < 0x20) continue;
        buf[n++] = char(b);
    }
    sc.Waiting = {};
    if (maxLen > 0 || n > 0) buf[n] = 0;
    sc.CursorScreenPos = savedPos;
    ed.ViCommandState = savedState;
    return n;
}

uint64_t ReadNumber(Editor& ed, const char* prompt, unsigned base, bool* empty) {
    bool none;
    if (ed.EditMode != VI) {
        none = ReadLine(ed, prompt, ed.CommandText, sizeof ed.CommandText - 4) == 0;
        if (none) ed.RepeatSearch = false;
        RestoreCursor(ed);
        if (none) {
            if (empty) *empty = true;
            return 0;
        }
    } else {
        none = ed.CommandText[0] == 0;
    }
    if (empty) *empty = none;
    uint64_t v = 0;
    for (const char* p = ed.CommandText; *p >= '0' && *p < char('0' + base); ++p) {
        uint64_t digit = uint64_t(*p - '0');
        // An absurdly long number stays the largest one rather than wrapping to a small line.
        v = v > (UINT64_MAX - digit) / base ? UINT64_MAX : v * base + digit;
    }
    return v;
}

size_t AskNewName(Editor& ed) {
    size_t n = ReadLine(ed, "   NAME:", ed.NewFileName, sizeof ed.NewFileName - 1);
    RestoreCursor(ed);
    return n;
}

uint8_t AskKey(Editor& ed, const char* question) {
    uint8_t b = ShowStatusTextAndWait(ed, question);
    RestoreCursor(ed);
    return b;
}

bool StartupNamePrompt(Editor& ed) {
    HelpText help = HelpTextFor(ed.EditMode);
    const size_t banner = sizeof kBanner - 1;
    if (ed.buf && ed.textRoom > ed.TextStart + banner + help.length + 1) {
        GatherText(ed);
        uint8_t* text = At(ed, ed.TextStart);
        ForgetColumns(ed);
        std::memcpy(text, kBanner, banner);
        std::memcpy(text + banner, help.text, help.length);
        ed.TextEnd = ed.TextStart + banner + help.length;
        *At(ed, ed.TextEnd) = '\n';
        ed.Cursor = ed.TextStart;
        ed.LineNumber = 1;
        // The banner is no file: nothing of the old one may show or be pasted into it.
        ed.KillLength = 0;
        ed.Mark = ed.BlockBegin = ed.BlockEnd = 0;
    }
    RefreshWindow(ed);
    return ReadLine(ed, "FILENAME:", ed.FileName, sizeof ed.FileName - 1) > 0;
}

void ResetEditingState(Editor& ed) {
    ClearUndo(ed);
    ed.Mark = 0;
    ed.LastFindPos = 0;
    ed.LastFindKind = 0;
    ed.RepeatSearch = false;
    ed.ExitRequest = 0;
    ed.KillLength = 0;
    ed.BlockBegin = 0;
    ed.BlockEnd = 0;
}

void SetMode(Editor& ed) {
    size_t n = ReadLine(ed, "SET MODE", ed.CommandText, sizeof ed.CommandText - 4);
    RestoreCursor(ed);
    ResetEditingState(ed);
    if (n >= 4) SelectModeByName(ed, ed.CommandText);
}
