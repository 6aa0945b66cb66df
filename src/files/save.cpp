#include "files/files.hpp"

bool SaveFile(Editor& ed) { return {}; }
bool WriteRange(Editor& ed, const char* name, Pos from, Pos to, bool privateFile) { return {}; }
bool WriteBlockToFile(Editor& ed, const char* name) { return {}; }
