// A paste put into the text: one insertion, whatever it holds.
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"

bool PasteText(Editor& ed, const uint8_t* text, size_t n) {
    if (n == 0) return true;
    if (!ed.buf || Room(ed) < n || FreeBytes(ed) < n) {
        ed.sys.ErrorNumber = err::kNoMemory;
        return false;
    }
    if (ed.EditMode == EMACS || ed.EditMode == PICO) ed.BlockVisible = 0;  // as typing hides the region
    const Pos at = ed.Cursor;
    RecordInsertion(ed, at, n);
    OpenRoom(ed, at, n);
    std::memcpy(At(ed, at), text, n);
    // Marks that sat on the character before the place now sit on the paste's last one: the cursor
    // goes behind them.
    ed.Cursor = CharEndAt(ed, at + n);
    // The cursor's line moves down by the pasted line feeds, and its window row with it, as typed
    // line breaks would move them.
    const uint64_t lineFeeds = CountLineFeeds(text, n);
    ed.LineNumber += lineFeeds;
    for (uint64_t i = 0; i < lineFeeds && i < uint64_t(kMaxRows); ++i) WindowRowDown(ed);
    return true;
}
