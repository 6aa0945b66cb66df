#include "buffer/buffer.hpp"
#include "session/session.hpp"

// Search and replace come later; until then their keys ring the bell.
void Find(Editor& ed) { Bell(ed); }
void Replace(Editor& ed) { Bell(ed); }
void FindForward(Editor& ed) { Bell(ed); }
void FindBackward(Editor& ed) { Bell(ed); }
void RepeatFind(Editor& ed) { Bell(ed); }
void FindForwardExact(Editor& ed) { Bell(ed); }
void FindBackwardExact(Editor& ed) { Bell(ed); }
void ReplaceForward(Editor& ed) { Bell(ed); }
void RepeatReplace(Editor& ed) { Bell(ed); }
