#include "buffer/buffer.hpp"
#include "session/session.hpp"

// The history itself comes later; until then the changes are made without records.

void ClearUndo(Editor& ed) {
    ed.undo.UndoTop = 4;
    ed.undo.SnapshotRecord = 0;
    ed.undo.Undoing = false;
    for (int i = 0; i < 4; ++i) ed.undo.Stack[i] = 0;
}

void RecordInsertion(Editor&, Pos, size_t) {}
void RecordDeletion(Editor&, Pos, size_t) {}
void RecordOverwrite(Editor&, Pos) {}
void RecordSwap(Editor&, Pos) {}

void RemoveSnapshotFile(Editor& ed) { ed.sys.Unlink("zt##"); }

void Undo(Editor& ed) { Bell(ed); }  // placeholder until the undo history lands
