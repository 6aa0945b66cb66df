#include "buffer/buffer.hpp"

void Find(Editor& ed) {}
void Replace(Editor& ed) {}
void FindForward(Editor& ed) {}
void FindBackward(Editor& ed) {}
void RepeatFind(Editor& ed) {}
void FindForwardExact(Editor& ed) {}
void FindBackwardExact(Editor& ed) {}
void ReplaceForward(Editor& ed) {}
void RepeatReplace(Editor& ed) {}
