#include "buffer/buffer.hpp"

void Save(Editor& ed) {}
void SaveAs(Editor& ed) {}
void SaveAndQuit(Editor& ed) {}
void Quit(Editor& ed) {}
void SaveAndLoad(Editor& ed) {}
void LoadNew(Editor& ed) {}
void InsertFile(Editor& ed) {}
void WriteBlock(Editor& ed) {}
bool SaveIfChanged(Editor& ed) { return {}; }
