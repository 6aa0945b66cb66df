#include "screen/screen.hpp"

void DrawStatusLine(Editor& ed) {}
void ClearStatusRow(Editor& ed) {}
void ShowStatusText(Editor& ed, const char* text) {}
uint8_t ShowStatusTextAndWait(Editor& ed, const char* text) { return {}; }
