#include "buffer/buffer.hpp"

size_t LineOffset(Editor& ed, Pos p, bool* first) { return {}; }
Pos LineStartOf(Editor& ed, Pos p) { return {}; }
size_t LineRest(Editor& ed, Pos p, bool* last) { return {}; }
Pos LineEndOf(Editor& ed, Pos p) { return {}; }
Pos StepLinesBack(Editor& ed, Pos p, uint64_t k) { return {}; }
Pos StepLinesForward(Editor& ed, Pos p, uint64_t k) { return {}; }
uint64_t DisplayColumn(Editor& ed, Pos p) { return {}; }
Pos PositionAtColumn(Editor& ed, Pos lineStart, uint64_t column) { return {}; }
void RecountLineNumber(Editor& ed) {}
bool BlockValid(const Editor& ed) { return {}; }
bool TypingInserts(const Editor& ed) { return {}; }
