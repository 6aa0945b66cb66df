#include "screen/screen.hpp"

void ExCommand(Editor& ed) {}
