// Deleting by character, word, line and line part. WS removes plainly and pulls block marks out of
// the span; PICO, EMACS and vi keep what they remove in the kill buffer; NEDIT just removes.
#include "buffer/buffer.hpp"
#include "screen/screen.hpp"

namespace {

// The removal of a word, a line or a line part in the current mode; false when a kill was refused.
bool RemoveSpan(Editor& ed, Pos p, size_t n) {
    switch (ed.EditMode) {
        case WS:
            return RemoveBytesMovingMarks(ed, p, n);
        case NEDIT:
            return RemoveBytes(ed, p, n);
        default:
            return KillBytes(ed, p, n);
    }
}

// The character at p (p < TextEnd): plain, except that vi keeps it in the kill buffer as characters.
bool RemoveOne(Editor& ed, Pos p) {
    const size_t n = NextChar(ed, p) - p;
    if (ed.EditMode != VI) return RemoveBytes(ed, p, n);
    if (!KillBytes(ed, p, n)) return false;
    ed.PasteByChars = true;
    return true;
}

// What was on either side of a removal at the cursor may now form one character: the cursor goes to
// its start.
void CursorOntoChar(Editor& ed) { ed.Cursor = CharStartAt(ed, ed.Cursor); }

}  // namespace

void DeleteChar(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    if (RemoveOne(ed, ed.Cursor)) CursorOntoChar(ed);
}

void DeleteLeft(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    Pos old = ed.Cursor;
    CharLeft(ed);
    if (ed.Cursor != old) {
        if (RemoveOne(ed, ed.Cursor))
            CursorOntoChar(ed);
        else
            ed.Cursor = old;  // vi's refused kill: nothing changes
        return;
    }
    // Only vi stops at a line start: there the line joins the one above.
    if (ByteAt(ed, ed.Cursor - 1) != '\n' || !RemoveOne(ed, ed.Cursor - 1)) return;
    --ed.Cursor;
    CursorOntoChar(ed);
    --ed.LineNumber;
    WindowRowUp(ed);
}

void DeleteWord(Editor& ed) {
    if (ed.Cursor >= ed.TextEnd) return;
    Pos before = ed.Cursor, p = NextChar(ed, ed.Cursor);
    if (ByteAt(ed, ed.Cursor) != '\n') {
        // A word goes with the blanks after it; a line end or the next word's first character stops it.
        while (ByteAt(ed, p) != '\n' && !(ByteAt(ed, p) > ' ' && !IsWordChar(ByteAt(ed, before)))) {
            before = p;
            p = NextChar(ed, p);
        }
    }
    if (RemoveSpan(ed, ed.Cursor, p - ed.Cursor)) CursorOntoChar(ed);
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
    size_t n = ByteAt(ed, ed.Cursor) == '\n' ? 1 : LineRest(ed, ed.Cursor);
    if (RemoveSpan(ed, ed.Cursor, n)) CursorOntoChar(ed);
}

void DeleteToLineEnd(Editor& ed) {
    size_t n = LineRest(ed, ed.Cursor);
    // At the line end PICO still saves the empty text, emptying the kill buffer.
    (void)RemoveSpan(ed, ed.Cursor, n);
}

void DeleteToLineStart(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    // The character just left of the cursor goes last; PICO keeps it, so its kill is tried first.
    Pos left = PrevChar(ed, ed.Cursor);
    size_t last = ed.Cursor - left;
    Pos start = LineStartOf(ed, left);
    if (ed.EditMode == PICO) {
        ed.KillAppend = false;  // it replaces the kill buffer even after a ^K
        if (!SaveToKill(ed, left, last)) return;
    }
    Pos cursor = ed.Cursor;
    CharLeft(ed);
    ed.Cursor = start;
    // Two changes, so that undo gives back the last character first and the rest of the line after it.
    bool ws = ed.EditMode == WS;
    if (!(ws ? RemoveBytesMovingMarks(ed, start, left - start) : RemoveBytes(ed, start, left - start))) {
        ed.Cursor = cursor;
        return;
    }
    if (ws)
        RemoveBytesMovingMarks(ed, start, last);
    else
        RemoveBytes(ed, start, last);
}

void JoinLines(Editor& ed) {
    bool last = false;
    Pos end = ed.Cursor + LineRest(ed, ed.Cursor, &last);
    if (last) return;
    if (!RemoveOne(ed, end)) return;
    ed.Cursor = end;
    CursorOntoChar(ed);
}
