// The WS block between two marks, and the region between Mark and the cursor with its kill buffer.
#include <cstring>

#include "buffer/buffer.hpp"

void MarkBlockBegin(Editor& ed) {
    ed.BlockBegin = ed.Cursor;
    ed.BlockVisible = 1;
}

void MarkBlockEnd(Editor& ed) {
    ed.BlockEnd = ed.Cursor;
    ed.BlockVisible = 1;
}

void ToggleBlock(Editor& ed) { ed.BlockVisible = ed.BlockVisible ? 0 : 1; }

void CopyBlock(Editor& ed) {
    if (!BlockValid(ed)) return;
    size_t n = ed.BlockEnd - ed.BlockBegin;
    if (!CopyBlockToCursor(ed)) return;
    ed.BlockBegin = ed.Cursor;
    ed.BlockEnd = ed.Cursor + n;
    // Bytes that now meet at the copy's edges may form one character.
    ed.Cursor = CharStartAt(ed, ed.Cursor);
}

void MoveBlock(Editor& ed) {
    if (!BlockValid(ed)) return;
    Pos at = ed.Cursor;
    size_t n = ed.BlockEnd - ed.BlockBegin;
    bool before = at < ed.BlockBegin;
    if (!CopyBlockToCursor(ed)) return;
    // The old block now lies at BlockBegin: behind the copy when the cursor was before it. Where it
    // cannot go, the copy is taken back again.
    if (!RemoveBytes(ed, ed.BlockBegin, n)) {
        Undo(ed);
        ed.Cursor = at;
        return;
    }
    if (before) {
        ed.BlockBegin = at;
        ed.BlockEnd = at + n;
        ed.Cursor = at;
    } else {
        ed.BlockBegin = at - n;
        ed.BlockEnd = at;
        ed.Cursor = at - n;
    }
    ed.Cursor = CharStartAt(ed, ed.Cursor);
    ed.RecountLines = true;
}

void DeleteBlock(Editor& ed) {
    if (!BlockValid(ed)) return;
    Pos begin = ed.BlockBegin;
    if (!RemoveBytes(ed, begin, ed.BlockEnd - begin)) return;
    ed.BlockBegin = 0;
    ed.BlockEnd = 0;
    ed.Cursor = CharStartAt(ed, begin);
    ed.RecountLines = true;
}

void SetMark(Editor& ed) {
    ed.Mark = ed.Cursor;
    ed.BlockVisible = 1;
}

// A refusal has been reported and has changed nothing.
void CopyRegion(Editor& ed) { static_cast<void>(CopyRegionToKill(ed)); }

void CutRegion(Editor& ed) {
    if (!ed.BlockVisible || ed.Mark == 0) {
        if (ed.EditMode == PICO) DeleteLine(ed);
        return;
    }
    // A region too large for the kill buffer is refused whole, so nothing is cut.
    if (!CopyRegionToKill(ed) || !RemoveBytes(ed, ed.KillSource, ed.KillLength)) return;
    ed.Cursor = CharStartAt(ed, ed.KillSource);
    ed.RecountLines = true;
}

void Paste(Editor& ed) {
    size_t n = ed.KillLength;
    if (n == 0) return;
    if (!MakeRoom(ed, ed.Cursor, n)) return;
    ed.Mark = ed.Cursor;
    std::memcpy(At(ed, ed.Cursor), ed.kill, n);
    ed.Cursor = CharEndAt(ed, ed.Cursor + n);
    ed.BlockVisible = 0;
    if (ed.EditMode != VI) CenterLine(ed);
    ed.RecountLines = true;
}

void SelectAll(Editor& ed) {
    ed.Mark = ed.TextEnd;
    ed.BlockVisible = 1;
    ed.Cursor = ed.TextStart;
    ed.RecountLines = true;
}
