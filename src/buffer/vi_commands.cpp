#include "buffer/buffer.hpp"

void ViInsert(Editor& ed) {}
void ViAppend(Editor& ed) {}
void ViAppendLineEnd(Editor& ed) {}
void ViInsertLineStart(Editor& ed) {}
void ViOpenBelow(Editor& ed) {}
void ViOpenAbove(Editor& ed) {}
void ViReplaceMode(Editor& ed) {}
void ViDelete(Editor& ed) {}
void ViYank(Editor& ed) {}
void ViSetMark(Editor& ed) {}
void ViGoMark(Editor& ed) {}
void PasteAfter(Editor& ed) {}
void PasteBefore(Editor& ed) {}
void ViDeleteToLineEnd(Editor& ed) {}
void ViChangeToLineEnd(Editor& ed) {}
void ViSubstituteLine(Editor& ed) {}
void ViZZ(Editor& ed) {}
