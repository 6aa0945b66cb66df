// Typing at the cursor: characters in insert or overwrite mode, line breaks with the line's indent,
// bytes by their octal code, and the in-place replacements of vi r and the exchange of two bytes.
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// A line feed that lands before the cursor puts the cursor one line further down.
void CountNewLineFeed(Editor& ed) {
    ++ed.LineNumber;
    WindowRowDown(ed);
}

bool IsBlank(uint8_t b) { return b == ' ' || b == '\t'; }

void BreakLine(Editor& ed, size_t indent) {
    Pos start = LineStartOf(ed, ed.Cursor);
    if (!MakeRoom(ed, ed.Cursor, indent + 1)) return;
    ed.buf[ed.Cursor] = '\n';
    std::memcpy(ed.buf + ed.Cursor + 1, ed.buf + start, indent);
    ed.Cursor += indent + 1;
    CountNewLineFeed(ed);
}

}  // namespace

void InsertChar(Editor& ed) { TypeByte(ed, ed.LastKeyByte); }

void TypeByte(Editor& ed, uint8_t c) {
    if (ed.EditMode == EMACS || ed.EditMode == PICO) ed.BlockVisible = 0;
    if (TypingInserts(ed)) {
        if (!MakeRoom(ed, ed.Cursor, 1)) return;
    } else {
        RecordOverwrite(ed, ed.Cursor);
    }
    ed.buf[ed.Cursor++] = c;
    ed.ChangedMark = '*';
    if (c == '\n') CountNewLineFeed(ed);
}

void ToggleInsert(Editor& ed) {
    if (ed.EditMode == VI && ed.ViCommandState == 1) {
        ed.InsertMode = kInsert;
        ed.ViCommandState = 0;
        return;
    }
    ed.InsertMode = uint8_t(~ed.InsertMode);
    if (ed.EditMode == EMACS) ed.BlockVisible = 0;
}

void NewLine(Editor& ed) {
    if (!TypingInserts(ed)) {
        // Overwriting, Enter only moves to the next line's start.
        bool last = false;
        Pos end = ed.Cursor + LineRest(ed, ed.Cursor, &last);
        if (last) {
            ed.Cursor = LineStartOf(ed, ed.Cursor);
        } else {
            ed.Cursor = end + 1;
            CountNewLineFeed(ed);
        }
        return;
    }
    Pos start = LineStartOf(ed, ed.Cursor);
    size_t indent = 0;
    while (start + indent < ed.Cursor && IsBlank(ed.buf[start + indent])) ++indent;
    BreakLine(ed, indent);
}

void NewLineNoIndent(Editor& ed) { BreakLine(ed, 0); }

void OpenLine(Editor& ed) {
    if (!MakeRoom(ed, ed.Cursor, 1)) return;
    ed.buf[ed.Cursor] = '\n';
}

void QuotedInsert(Editor& ed) {
    bool empty = true;
    uint64_t v = ReadNumber(ed, "^Q OCTAL:", 8, &empty);
    if (empty || v == 0 || v > 255) return;
    if (!MakeRoom(ed, ed.Cursor, 1)) return;
    ed.buf[ed.Cursor++] = uint8_t(v);
    if (v == '\n') CountNewLineFeed(ed);
}

void ViReplaceChar(Editor& ed) {
    int key = ReadCommandByte(ed);
    if (key < 0) return;
    uint8_t c = uint8_t(key);
    if (ed.Cursor >= ed.TextEnd || ed.buf[ed.Cursor] == '\n') return;
    if (c == 13) c = '\n';  // the line splits after the cursor, which stays on its own line
    RecordOverwrite(ed, ed.Cursor);
    ed.buf[ed.Cursor] = c;
    ed.ChangedMark = '*';
}

void TransposeChars(Editor& ed) {
    Pos b = ed.buf[ed.Cursor] == '\n' ? ed.Cursor - 1 : ed.Cursor;
    // The byte before b must be text: the leading line feed is never exchanged.
    if (ed.Cursor <= ed.TextStart || b <= ed.TextStart) return;
    if (b != ed.Cursor && ed.buf[b] == '\n') {  // from an empty line onto the one above
        --ed.LineNumber;
        WindowRowUp(ed);
    }
    ed.Cursor = b;
    uint8_t before = ed.buf[b - 1], under = ed.buf[b];
    RecordSwap(ed, b);  // undo exchanges b - 1 and b again
    ed.buf[b - 1] = under;
    ed.buf[b] = before;
    ed.ChangedMark = '*';
    // A line feed that moved across the cursor changes the cursor's line.
    if (before == '\n' && under != '\n') {
        --ed.LineNumber;
        WindowRowUp(ed);
    } else if (before != '\n' && under == '\n') {
        CountNewLineFeed(ed);
    }
    if (ed.buf[b] == '\n') CountNewLineFeed(ed);
    ed.Cursor = b + 1;
}

bool AddTypedKey(Editor& ed, TypedRun& run, uint8_t c, TypedKey kind) {
    if (run.length == 0) run.at = ed.Cursor;
    const Pos cursor = run.at + run.length;
    uint8_t* out = run.bytes + run.length;
    size_t n = 1;
    // Before a key typed alone, the refresh stretches a shown region to the cursor; OpenRoom moves
    // only the mark in these modes, so the ends are set where they will stand once the run is in.
    const bool regionMode = ed.EditMode == EMACS || ed.EditMode == PICO || ed.EditMode == NEDIT;
    if (run.length > 0 && regionMode && ed.BlockVisible && ed.Mark) {
        Pos mark = ed.Mark > run.at ? ed.Mark + run.length : ed.Mark;
        ed.BlockBegin = mark < cursor ? mark : cursor;
        ed.BlockEnd = mark < cursor ? cursor : mark;
    }
    if (kind == TypedKey::Break) {
        // The indent comes from the line the cursor is on, which may have begun inside the run.
        const uint8_t* lf = static_cast<const uint8_t*>(memrchr(run.bytes, '\n', run.length));
        size_t fromText = 0, fromRun = 0;
        if (lf) {
            const uint8_t* q = lf + 1;
            while (q + fromRun < out && IsBlank(q[fromRun])) ++fromRun;
            if (run.length + 1 + fromRun > sizeof run.bytes || Room(ed) < run.length + 1 + fromRun)
                return false;
            std::memmove(out + 1, q, fromRun);
        } else {
            Pos start = LineStartOf(ed, run.at);
            while (start + fromText < run.at && IsBlank(ed.buf[start + fromText])) ++fromText;
            if (start + fromText == run.at)
                while (fromRun < run.length && IsBlank(run.bytes[fromRun])) ++fromRun;
            if (run.length + 1 + fromText + fromRun > sizeof run.bytes ||
                Room(ed) < run.length + 1 + fromText + fromRun)
                return false;
            std::memcpy(out + 1, ed.buf + start, fromText);
            std::memmove(out + 1 + fromText, run.bytes, fromRun);
        }
        n += fromText + fromRun;
        c = '\n';
    } else {
        if (kind == TypedKey::BreakNoIndent) c = '\n';
        if (run.length + 1 > sizeof run.bytes || Room(ed) < run.length + 1) return false;
        if (kind == TypedKey::Char && (ed.EditMode == EMACS || ed.EditMode == PICO)) ed.BlockVisible = 0;
    }
    out[0] = c;
    RecordInsertion(ed, cursor, n);
    run.length += n;
    if (c == '\n') CountNewLineFeed(ed);
    return true;
}

void FinishTypedRun(Editor& ed, TypedRun& run) {
    if (run.length == 0) return;
    OpenRoom(ed, run.at, run.length);
    std::memcpy(ed.buf + run.at, run.bytes, run.length);
    ed.Cursor = run.at + run.length;
    run.length = 0;
}
