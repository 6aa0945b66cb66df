#include "buffer/buffer.hpp"

bool ReserveBuffer(Editor& ed, uint64_t capacity) { return {}; }
void ReleaseBuffer(Editor& ed) {}
uint64_t Room(const Editor& ed) { return {}; }
bool MakeRoom(Editor& ed, Pos p, size_t n) { return {}; }
void RemoveBytes(Editor& ed, Pos p, size_t n) {}
void RemoveBytesMovingMarks(Editor& ed, Pos p, size_t n) {}
bool SaveToKill(Editor& ed, Pos s, size_t n) { return {}; }
bool CopyRegionToKill(Editor& ed) { return {}; }
bool CopyBlockToCursor(Editor& ed) { return {}; }
bool KillBytes(Editor& ed, Pos p, size_t n) { return {}; }
Editor::~Editor() {}
