#include "buffer/buffer.hpp"

void InsertChar(Editor& ed) {}
void TypeByte(Editor& ed, uint8_t c) {}
void ToggleInsert(Editor& ed) {}
void NewLine(Editor& ed) {}
void NewLineNoIndent(Editor& ed) {}
void OpenLine(Editor& ed) {}
void QuotedInsert(Editor& ed) {}
void ViReplaceChar(Editor& ed) {}
void TransposeChars(Editor& ed) {}
