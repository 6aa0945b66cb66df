// Deleting by character, word, line and line part. WS removes plainly and pulls block marks out of
// the span; PICO, EMACS and vi keep what they remove in the kill buffer; NEDIT just removes.
#include "buffer/buffer.hpp"
#include "screen/screen.hpp"

namespace {

// The removal of a word, a line or a line part in the current mode; false when a kill was refused.
bool RemoveSpan(Editor& ed, Pos p, size_t n) {
    switch (ed.EditMode) {
        case WS:
            RemoveBytesMovingMarks(ed, p, n);
            return true;
        case NEDIT:
            RemoveBytes(ed, p, n);
            return true;
        default:
            return KillBytes(ed, p, n);
    }
}

// One byte at p: plain, except that vi keeps it as characters in the kill buffer.
bool RemoveOne(Editor& ed, Pos p) {
    if (ed.EditMode != VI) {
        RemoveBytes(ed, p, 1);
        return true;
    }
    if (!KillBytes(ed, p, 1)) return false;
    ed.PasteByChars = true;
    return true;
}

}  // namespace

void DeleteChar(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    (void)RemoveOne(ed, ed.Cursor);
}

void DeleteLeft(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    Pos old = ed.Cursor;
    CharLeft(ed);
    if (ed.Cursor != old) {
        if (!RemoveOne(ed, ed.Cursor)) ed.Cursor = old;  // vi's refused kill: nothing changes
        return;
    }
    // Only vi stops at a line start: there the line joins the one above.
    if (ed.buf[ed.Cursor - 1] != '\n' || !RemoveOne(ed, ed.Cursor - 1)) return;
    --ed.Cursor;
    --ed.LineNumber;
    WindowRowUp(ed);
}

void DeleteWord(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    Pos p = ed.Cursor + 1;
    if (ed.buf[ed.Cursor] != '\n') {
        // A word goes with the blanks after it; a line end or the next word's first byte stops it.
        while (ed.buf[p] != '\n' && !(ed.buf[p] > ' ' && !IsWordChar(ed.buf[p - 1]))) ++p;
    }
    (void)RemoveSpan(ed, ed.Cursor, p - ed.Cursor);
}

void DeleteLine(Editor& ed) {
    Pos start = LineStartOf(ed, ed.Cursor);
    bool last = false;
    size_t n = LineRest(ed, start, &last);
    if (!last) ++n;  // the final line feed stays: the last line is only emptied
    if (!RemoveSpan(ed, start, n)) return;
    if (ed.EditMode == VI) ed.PasteByChars = false;
    ed.Cursor = start;
}

void KillLine(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    size_t n = ed.buf[ed.Cursor] == '\n' ? 1 : LineRest(ed, ed.Cursor);
    (void)RemoveSpan(ed, ed.Cursor, n);
}

void DeleteToLineEnd(Editor& ed) {
    size_t n = LineRest(ed, ed.Cursor);
    // At the line end PICO still saves the empty text, emptying the kill buffer.
    (void)RemoveSpan(ed, ed.Cursor, n);
}

void DeleteToLineStart(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    // The byte just left of the cursor goes last; PICO keeps it, so its kill is tried first.
    Pos left = ed.Cursor - 1;
    Pos start = LineStartOf(ed, left);
    if (ed.EditMode == PICO) {
        ed.KillAppend = false;  // it replaces the kill buffer even after a ^K
        if (!SaveToKill(ed, left, 1)) return;
    }
    CharLeft(ed);
    ed.Cursor = start;
    // Two changes, so that undo gives back the last byte first and the rest of the line after it.
    if (ed.EditMode == WS) {
        RemoveBytesMovingMarks(ed, start, left - start);
        RemoveBytesMovingMarks(ed, start, 1);
    } else {
        RemoveBytes(ed, start, left - start);
        RemoveBytes(ed, start, 1);
    }
}

void JoinLines(Editor& ed) {
    bool last = false;
    Pos end = ed.Cursor + LineRest(ed, ed.Cursor, &last);
    if (last) return;
    if (!RemoveOne(ed, end)) return;
    ed.Cursor = end;
}
