#include "screen/screen.hpp"
#include "session/session.hpp"

// The ":" command line comes later; until then the key rings the bell.
void ExCommand(Editor& ed) { Bell(ed); }
