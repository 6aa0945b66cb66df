#include "screen/screen.hpp"

uint8_t CancelKey(const Editor& ed) { return {}; }
size_t ReadLine(Editor& ed, const char* prompt, char* buf, size_t maxLen) { return {}; }
uint64_t ReadNumber(Editor& ed, const char* prompt, unsigned base, bool* empty) { return {}; }
size_t AskNewName(Editor& ed) { return {}; }
uint8_t AskKey(Editor& ed, const char* question) { return {}; }
bool StartupNamePrompt(Editor& ed) { return {}; }
void SetMode(Editor& ed) {}
void ResetEditingState(Editor& ed) {}
