#include "files/files.hpp"

bool EmergencySave(Editor& ed, char* written, size_t writtenSize) { return {}; }
