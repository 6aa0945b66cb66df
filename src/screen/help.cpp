#include "screen/screen.hpp"

HelpText HelpTextFor(uint8_t mode) { return {}; }
void Help(Editor& ed) {}
