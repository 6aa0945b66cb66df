#include "screen/screen.hpp"

void ReadWindowSize(Editor& ed) {}
void RefreshWindow(Editor& ed) {}
void SendRow(Editor& ed, int slot, const uint8_t* image) {}
void SendStatusRow(Editor& ed) {}
void ShowPrefixKey(Editor& ed, const char* text) {}
void MoveTerminalCursor(Editor& ed, int row, int col) {}
void InvalidateScreenCache(Editor& ed) {}
void RepaintScreen(Editor& ed) {}
void WindowRowUp(Editor& ed) {}
void WindowRowDown(Editor& ed) {}
void WindowRowCentre(Editor& ed) {}
void WindowHome(Editor& ed) {}
void WindowLastRow(Editor& ed) {}
void PromptCursor(Editor& ed) {}
void RestoreCursor(Editor& ed) {}
char* NumberToDecimal(uint64_t v, char* end) { return {}; }
