#include "buffer/buffer.hpp"

void MarkBlockBegin(Editor& ed) {}
void MarkBlockEnd(Editor& ed) {}
void ToggleBlock(Editor& ed) {}
void CopyBlock(Editor& ed) {}
void MoveBlock(Editor& ed) {}
void DeleteBlock(Editor& ed) {}
void SetMark(Editor& ed) {}
void CopyRegion(Editor& ed) {}
void CutRegion(Editor& ed) {}
void Paste(Editor& ed) {}
void SelectAll(Editor& ed) {}
