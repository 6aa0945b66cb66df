#include "buffer/buffer.hpp"

void CharLeft(Editor& ed) {}
void CharRight(Editor& ed) {}
void LineUp(Editor& ed) {}
void LineDown(Editor& ed) {}
void LineStart(Editor& ed) {}
void LineEnd(Editor& ed) {}
void FirstNonBlank(Editor& ed) {}
void PageUp(Editor& ed) {}
void PageDown(Editor& ed) {}
void HalfPageUp(Editor& ed) {}
void HalfPageDown(Editor& ed) {}
void ScrollUp(Editor& ed) {}
void ScrollDown(Editor& ed) {}
void WordLeft(Editor& ed) {}
void WordRight(Editor& ed) {}
void WordEnd(Editor& ed) {}
void WindowTop(Editor& ed) {}
void WindowMiddle(Editor& ed) {}
void WindowBottom(Editor& ed) {}
void GoTextStart(Editor& ed) {}
void GoTextEnd(Editor& ed) {}
void ViGoFirstLine(Editor& ed) {}
void GoLine(Editor& ed) {}
void GoLineNumber(Editor& ed, uint64_t n) {}
void GoBlockBegin(Editor& ed) {}
void GoBlockEnd(Editor& ed) {}
void LastFind(Editor& ed) {}
void PreviousPosition(Editor& ed) {}
void CenterLine(Editor& ed) {}
void ViCenterLine(Editor& ed) {}
void ExchangeMark(Editor& ed) {}
