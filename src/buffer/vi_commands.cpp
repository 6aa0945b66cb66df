#include "buffer/buffer.hpp"
#include "session/session.hpp"

// Entering the insert state.

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

void ViZZ(Editor& ed) {
    if (ReadKeyByte(ed) == 'Z') SaveAndQuit(ed);
}

// The operators, the marker and paste come with the rest of the vi commands; until then they ring.
void ViDelete(Editor& ed) { Bell(ed); }
void ViYank(Editor& ed) { Bell(ed); }
void ViSetMark(Editor& ed) { Bell(ed); }
void ViGoMark(Editor& ed) { Bell(ed); }
void PasteAfter(Editor& ed) { Bell(ed); }
void PasteBefore(Editor& ed) { Bell(ed); }
void ViDeleteToLineEnd(Editor& ed) { Bell(ed); }
void ViChangeToLineEnd(Editor& ed) { Bell(ed); }
void ViSubstituteLine(Editor& ed) { Bell(ed); }
