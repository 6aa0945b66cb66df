#include "buffer/buffer.hpp"

void DeleteChar(Editor& ed) {}
void DeleteLeft(Editor& ed) {}
void DeleteWord(Editor& ed) {}
void DeleteLine(Editor& ed) {}
void KillLine(Editor& ed) {}
void DeleteToLineEnd(Editor& ed) {}
void DeleteToLineStart(Editor& ed) {}
void JoinLines(Editor& ed) {}
