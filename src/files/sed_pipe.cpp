#include "files/files.hpp"

void SedPipe(Editor& ed) {}
