#include "files/files.hpp"

bool ShowError(Editor& ed) { return {}; }
void ComposeErrorText(Editor& ed) {}
