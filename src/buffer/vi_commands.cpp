// vi's command state: entering the insert state, the operators d and y, marker a, paste and the
// combined commands D, C and S. Two-key commands read their second key raw and drop any key they do
// not know.
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// Start of marker a's line, or 0 when the marker is not set. A marker left beyond the text (a
// whole-text restore does not move it) counts as the last line.
Pos MarkerLineStart(Editor& ed) {
    if (ed.BlockBegin == 0) return 0;
    return LineStartOf(ed, ed.BlockBegin > ed.TextEnd ? ed.TextEnd : ed.BlockBegin);
}

// Start of the line after p's line, or TextEnd on the last line.
Pos NextLineStart(Editor& ed, Pos p) {
    bool last = false;
    Pos end = p + LineRest(ed, p, &last);
    return last ? ed.TextEnd : end + 1;
}

// The whole lines from the cursor's line through the marker's, set up as the region between Mark and
// the cursor. False, nothing changed, when the marker is not set.
bool SetUpMarkerRange(Editor& ed) {
    Pos marker = MarkerLineStart(ed);
    if (marker == 0) return false;
    if (ed.Cursor > marker) {
        ed.Mark = marker;
        ed.Cursor = NextLineStart(ed, ed.Cursor);
    } else {
        ed.Cursor = LineStartOf(ed, ed.Cursor);
        ed.Mark = NextLineStart(ed, marker);
    }
    return true;
}

// What a refused marker-range copy must put back.
struct SavedRegion {
    Pos cursor, mark;
    bool byChars;
    void Restore(Editor& ed) const {
        ed.Cursor = cursor;
        ed.Mark = mark;
        ed.PasteByChars = byChars;
    }
};

// End of the span d w removes from the cursor.
Pos ViWordSpanEnd(const Editor& ed) {
    auto b = [&ed](Pos q) { return ByteAt(ed, q); };
    Pos p = ed.Cursor;
    if (b(p) == '\n') return p + 1;  // joins the next line
    if (b(p) > ' ') {
        p = NextChar(ed, p);
        while (IsWordChar(b(p))) p = NextChar(ed, p);
        if (b(p) == '\n') return p;  // a word at the line's end goes without the line feed
    }
    // From here as Delete word: up to a line end or the first character of the next word.
    Pos before = p;
    p = NextChar(ed, p);
    while (b(p) != '\n' && !(b(p) > ' ' && !IsWordChar(b(before)))) {
        before = p;
        p = NextChar(ed, p);
    }
    return p;
}

void DeleteViWord(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    if (!KillBytes(ed, ed.Cursor, ViWordSpanEnd(ed) - ed.Cursor)) return;
    ed.PasteByChars = true;
    ed.Cursor = CharStartAt(ed, ed.Cursor);
}

void DeleteMarkerRange(Editor& ed) {
    SavedRegion old{ed.Cursor, ed.Mark, ed.PasteByChars};
    if (!SetUpMarkerRange(ed)) return;
    if (!CopyRegionToKill(ed) || !RemoveBytes(ed, ed.KillSource, ed.KillLength)) {
        old.Restore(ed);
        return;
    }
    ed.Cursor = ed.KillSource;
    ed.BlockBegin = ed.BlockEnd = 0;
    ed.RecountLines = true;
}

void YankMarkerRange(Editor& ed) {
    SavedRegion old{ed.Cursor, ed.Mark, ed.PasteByChars};
    if (!SetUpMarkerRange(ed)) return;
    if (!CopyRegionToKill(ed)) {
        old.Restore(ed);
        return;
    }
    ed.Cursor = MarkerLineStart(ed);
    ed.RecountLines = true;
}

void YankLine(Editor& ed) {
    Pos start = LineStartOf(ed, ed.Cursor);
    if (SaveToKill(ed, start, NextLineStart(ed, start) - start)) ed.PasteByChars = false;
}

// C and S: the line's rest, or on a line feed the line feed itself, kill-saved. False when refused.
bool KillRestOfLine(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return true;  // nothing to take; the kill buffer keeps its kind
    size_t n = ByteAt(ed, ed.Cursor) == '\n' ? 1 : LineRest(ed, ed.Cursor);
    if (!KillBytes(ed, ed.Cursor, n)) return false;
    ed.PasteByChars = true;
    ed.Cursor = CharStartAt(ed, ed.Cursor);
    return true;
}

// Inserts the kill buffer at p: the cursor on the last byte of characters, at the start of lines.
// Whole lines always end with a line feed: lines taken from a last line without one get it here, so
// they cannot run into the line they land in front of. At the end of a text without a final line
// feed, lines go after a new line feed instead, and the text still ends without one.
[[nodiscard]] bool PasteAt(Editor& ed, Pos p, bool afterLastLine) {
    size_t n = ed.KillLength;
    if (n == 0) return false;
    bool byLines = !ed.PasteByChars;
    bool addLineFeed = byLines && ed.kill[n - 1] != '\n';
    size_t total = n + (addLineFeed ? 1 : 0);
    if (!MakeRoom(ed, p, total)) return false;
    uint8_t* room = At(ed, p);
    Pos start = p;
    if (afterLastLine) {
        room[0] = '\n';
        start = p + 1;
        std::memcpy(room + 1, ed.kill, total - 1);
    } else {
        std::memcpy(room, ed.kill, n);
        if (addLineFeed) room[n] = '\n';
    }
    ed.Mark = start;
    ed.Cursor = byLines ? start : CharStartAt(ed, p + n - 1);
    ed.BlockVisible = 0;
    ed.RecountLines = true;
    return true;
}

}  // namespace

// ---- Entering the insert state.

void ViInsert(Editor& ed) {
    ed.InsertMode = kInsert;
    ed.ViCommandState = 0;
}

void ViAppend(Editor& ed) {
    CharRight(ed);  // in vi this never passes the line's end
    ed.InsertMode = kInsert;
    ed.ViCommandState = 0;
}

void ViAppendLineEnd(Editor& ed) {
    LineEnd(ed);
    ed.ViCommandState = 0;
}

void ViInsertLineStart(Editor& ed) {
    FirstNonBlank(ed);
    ed.ViCommandState = 0;
}

void ViOpenBelow(Editor& ed) {
    LineEnd(ed);
    NewLine(ed);
    ed.ViCommandState = 0;
}

void ViOpenAbove(Editor& ed) {
    LineStart(ed);
    NewLine(ed);  // at a line start the indent is empty
    LineUp(ed);
    ed.ViCommandState = 0;
}

void ViReplaceMode(Editor& ed) {
    ed.InsertMode = kOverwrite;
    ed.ViCommandState = 0;
}

// ---- Operators, marker and paste.

void ViDelete(Editor& ed) {
    switch (ReadKeyLead(ed)) {
        case 'w':
            DeleteViWord(ed);
            break;
        case 'd':
            DeleteLine(ed);  // in vi: kill-saved, by lines
            break;
        case '\'':
            if (ReadKeyLead(ed) == 'a') DeleteMarkerRange(ed);
            break;
        default:
            break;
    }
}

void ViYank(Editor& ed) {
    switch (ReadKeyLead(ed)) {
        case 'y':
            YankLine(ed);
            break;
        case '\'':
            if (ReadKeyLead(ed) == 'a') YankMarkerRange(ed);
            break;
        default:
            break;
    }
}

void ViSetMark(Editor& ed) {
    if (ReadKeyLead(ed) == 'a') ed.BlockBegin = LineStartOf(ed, ed.Cursor);
}

void ViGoMark(Editor& ed) {
    if (ReadKeyLead(ed) != 'a') return;
    Pos marker = MarkerLineStart(ed);
    if (marker == 0) return;
    ed.Cursor = marker;
    ed.RecountLines = true;
}

void PasteAfter(Editor& ed) {
    if (ed.KillLength == 0) return;
    if (ed.PasteByChars) {
        Pos old = ed.Cursor;
        CharRight(ed);
        if (!PasteAt(ed, ed.Cursor, false)) ed.Cursor = old;
        return;
    }
    bool last = false;
    Pos end = ed.Cursor + LineRest(ed, ed.Cursor, &last);
    // On the last line an empty one takes the lines at its start, one with text after it.
    bool moves = !last || LineStartOf(ed, ed.Cursor) < ed.TextEnd;
    if (PasteAt(ed, last ? ed.TextEnd : end + 1, last && moves) && moves) WindowRowDown(ed);
}

void PasteBefore(Editor& ed) {
    if (ed.KillLength == 0) return;
    static_cast<void>(PasteAt(ed, ed.PasteByChars ? ed.Cursor : LineStartOf(ed, ed.Cursor), false));
}

// ---- Combined commands.

void ViDeleteToLineEnd(Editor& ed) {
    // At the line end this saves nothing, emptying the kill buffer.
    if (!KillBytes(ed, ed.Cursor, LineRest(ed, ed.Cursor))) return;
    ed.PasteByChars = true;
    CharLeft(ed);
}

void ViChangeToLineEnd(Editor& ed) {
    if (!KillRestOfLine(ed)) return;
    ed.ViCommandState = 0;
}

void ViSubstituteLine(Editor& ed) {
    Pos old = ed.Cursor;
    LineStart(ed);
    if (!KillRestOfLine(ed)) {
        ed.Cursor = old;
        return;
    }
    FirstNonBlank(ed);
    ed.ViCommandState = 0;
}

void ViZZ(Editor& ed) {
    if (ReadKeyLead(ed) == 'Z') SaveAndQuit(ed);
}
