// Typing at the cursor: characters in insert or overwrite mode, line breaks with the line's indent,
// bytes by their octal code, and the in-place replacements of vi r and the exchange of two characters.
#include <algorithm>
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
    uint8_t* room = At(ed, ed.Cursor);
    room[0] = '\n';
    CopyText(ed, start, indent, room + 1);
    ed.Cursor = CharEndAt(ed, ed.Cursor + indent + 1);
    CountNewLineFeed(ed);
}

// The key being dispatched: its first byte and the bytes that arrived with it.
size_t KeyBytes(const Editor& ed, uint8_t* key) {
    key[0] = ed.LastKeyByte;
    std::memcpy(key + 1, ed.KeyTail, ed.KeyTailLength);
    return 1 + size_t(ed.KeyTailLength);
}

// The character under the cursor gives way to the n bytes at s: in place when both are one byte.
bool ReplaceCharAtCursor(Editor& ed, const uint8_t* s, size_t n) {
    const size_t old = NextChar(ed, ed.Cursor) - ed.Cursor;
    if (old == 1 && n == 1) {
        RecordOverwrite(ed, ed.Cursor);
        *InPlace(ed, ed.Cursor, 1) = s[0];
    } else if (ReplaceRoom(ed, ed.Cursor, old, n)) {
        std::memcpy(At(ed, ed.Cursor), s, n);
    } else {
        return false;
    }
    ed.ChangedMark = '*';
    return true;
}

}  // namespace

void InsertChar(Editor& ed) {
    uint8_t key[4];
    size_t n = KeyBytes(ed, key);
    TypeKey(ed, key, n);
}

void TypeByte(Editor& ed, uint8_t c) { TypeKey(ed, &c, 1); }

void TypeKey(Editor& ed, const uint8_t* s, size_t n) {
    if (!IsOneCodePoint(s, n)) {
        for (size_t i = 0; i < n; ++i) TypeKey(ed, s + i, 1);
        return;
    }
    if (ed.EditMode == EMACS || ed.EditMode == PICO) ed.BlockVisible = 0;
    if (TypingInserts(ed)) {
        if (!MakeRoom(ed, ed.Cursor, n)) return;
        std::memcpy(At(ed, ed.Cursor), s, n);
        ed.ChangedMark = '*';
    } else if (!ReplaceCharAtCursor(ed, s, n)) {
        return;
    }
    // A combining mark joins the character before it; one typed before marks takes them along.
    ed.Cursor = CharEndAt(ed, ed.Cursor + n);
    if (n == 1 && s[0] == '\n') CountNewLineFeed(ed);
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
    while (start + indent < ed.Cursor && IsBlank(ByteAt(ed, start + indent))) ++indent;
    BreakLine(ed, indent);
}

void NewLineNoIndent(Editor& ed) { BreakLine(ed, 0); }

void OpenLine(Editor& ed) {
    if (!MakeRoom(ed, ed.Cursor, 1)) return;
    *At(ed, ed.Cursor) = '\n';
}

void QuotedInsert(Editor& ed) {
    bool empty = true;
    uint64_t v = ReadNumber(ed, "^Q OCTAL:", 8, &empty);
    if (empty || v == 0 || v > 255) return;
    if (!MakeRoom(ed, ed.Cursor, 1)) return;
    *At(ed, ed.Cursor) = uint8_t(v);
    ed.Cursor = CharEndAt(ed, ed.Cursor + 1);
    if (v == '\n') CountNewLineFeed(ed);
}

void ViReplaceChar(Editor& ed) {
    const int first = ReadCommandByte(ed);
    if (first < 0) return;
    uint8_t key[4];
    key[0] = uint8_t(first);
    size_t n = 1 + ReadCharTail(ed, key[0], key + 1);
    if (ed.Cursor >= ed.TextEnd || ByteAt(ed, ed.Cursor) == '\n') return;
    if (key[0] == 13) key[0] = '\n';     // the line splits after the cursor, which stays on its own line
    if (!IsOneCodePoint(key, n)) n = 1;  // the rest of a broken sequence is dropped like any unknown key
    if (ReplaceCharAtCursor(ed, key, n)) ed.Cursor = CharStartAt(ed, ed.Cursor);
}

// Characters longer than a byte change places by a rotation of their bytes. Undo sees the second one
// removed and put in front of the first, the two records joined.
static void ExchangeByRotation(Editor& ed, Pos a, Pos b, Pos e) {
    (void)RecordDeletion(ed, b, e - b);  // a character or two: never a snapshot, never refused
    RecordJoin(ed);
    RecordInsertion(ed, a, e - b);
    uint8_t* t = InPlace(ed, a, e - a);
    std::rotate(t, t + (b - a), t + (e - a));
    // A mark between the two stays between them.
    const Pos between = a + (e - b);
    for (Pos* m : {&ed.BlockBegin, &ed.BlockEnd, &ed.Mark})
        if (*m > a && *m < e) *m = between;
}

void TransposeChars(Editor& ed) {
    if (ed.Cursor <= ed.TextStart) return;
    Pos b = ByteAt(ed, ed.Cursor) == '\n' ? PrevChar(ed, ed.Cursor) : ed.Cursor;
    // The character before b must be text: the leading line feed is never exchanged.
    if (b <= ed.TextStart) return;
    if (b != ed.Cursor && ByteAt(ed, b) == '\n') {  // from an empty line onto the one above
        --ed.LineNumber;
        WindowRowUp(ed);
    }
    ed.Cursor = b;
    const Pos a = PrevChar(ed, b), e = NextChar(ed, b);
    // A line feed is a character of one byte, so the first bytes tell whether one moves.
    const uint8_t before = ByteAt(ed, a), under = ByteAt(ed, b);
    if (b - a == 1 && e - b == 1) {
        RecordSwap(ed, b);  // undo exchanges b - 1 and b again
        uint8_t* t = InPlace(ed, a, 2);
        t[0] = under;
        t[1] = before;
    } else {
        ExchangeByRotation(ed, a, b, e);
    }
    ed.ChangedMark = '*';
    // A line feed that moved across the cursor changes the cursor's line.
    if (before == '\n' && under != '\n') {
        --ed.LineNumber;
        WindowRowUp(ed);
    } else if (before != '\n' && under == '\n') {
        CountNewLineFeed(ed);
    }
    if (before == '\n') CountNewLineFeed(ed);
    ed.Cursor = CharEndAt(ed, e);
}

namespace {

// One key into the run: the n bytes at key, or a line break with the indent it copies.
bool AddToRun(Editor& ed, TypedRun& run, const uint8_t* key, size_t n, TypedKey kind) {
    if (run.length == 0) run.at = ed.Cursor;
    const Pos cursor = run.at + run.length;
    uint8_t* out = run.bytes + run.length;
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
            while (start + fromText < run.at && IsBlank(ByteAt(ed, start + fromText))) ++fromText;
            if (start + fromText == run.at)
                while (fromRun < run.length && IsBlank(run.bytes[fromRun])) ++fromRun;
            if (run.length + 1 + fromText + fromRun > sizeof run.bytes ||
                Room(ed) < run.length + 1 + fromText + fromRun)
                return false;
            CopyText(ed, start, fromText, out + 1);
            std::memmove(out + 1 + fromText, run.bytes, fromRun);
        }
        out[0] = '\n';
        n = 1 + fromText + fromRun;
    } else if (kind == TypedKey::BreakNoIndent) {
        if (run.length + 1 > sizeof run.bytes || Room(ed) < run.length + 1) return false;
        out[0] = '\n';
        n = 1;
    } else {
        if (run.length + n > sizeof run.bytes || Room(ed) < run.length + n) return false;
        if (ed.EditMode == EMACS || ed.EditMode == PICO) ed.BlockVisible = 0;
        std::memcpy(out, key, n);
    }
    RecordInsertion(ed, cursor, n);
    run.length += n;
    if (out[0] == '\n') CountNewLineFeed(ed);
    return true;
}

}  // namespace

bool AddTypedKey(Editor& ed, TypedRun& run, TypedKey kind) {
    uint8_t key[4];
    size_t n = KeyBytes(ed, key);
    if (kind != TypedKey::Char || IsOneCodePoint(key, n)) return AddToRun(ed, run, key, n, kind);
    // The bytes of a broken sequence are keys of their own, taken all or none.
    if (run.length + n > sizeof run.bytes || Room(ed) < run.length + n) return false;
    for (size_t i = 0; i < n; ++i) AddToRun(ed, run, key + i, 1, kind);
    return true;
}

void FinishTypedRun(Editor& ed, TypedRun& run) {
    if (run.length == 0) return;
    OpenRoom(ed, run.at, run.length);
    std::memcpy(At(ed, run.at), run.bytes, run.length);
    ed.Cursor = CharEndAt(ed, run.at + run.length);
    run.length = 0;
}
