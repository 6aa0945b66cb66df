// The edit buffer's one reservation, the moves of its gap, and the only two operations that change the
// text's length. A change moves the gap to the end of the line it touches and shifts only the rest of
// that line: typing and deleting where the last change was moves a line's worth of bytes, whatever the
// size of the text, and a change far away moves the text in between once.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

bool BlockModes(const Editor& ed) { return ed.EditMode == WS || ed.EditMode == VI; }

// The line start behind the line feed that ends p's line (p <= TextEnd).
Pos NextLineStart(const Editor& ed, Pos p) { return FindByte(ed, p, ed.TextEnd, '\n') + 1; }

// The gap a new one opens with, and what an emptied one is widened by: small, so that moving the gap
// across the text shifts it by little, into memory it mostly holds already, and large enough that a
// tail moves to widen it only once for many keys.
constexpr size_t kGapBytes = size_t(2) << 20;
constexpr size_t kPageBytes = 4096;

// The gap to g, a line start or TextEnd + 1 (no gap). A gap that is opened takes what room there is
// behind the text, kGapBytes at most.
void PlaceGap(Editor& ed, Pos g) {
    Pos now = ed.GapAt <= ed.TextEnd ? ed.GapAt : ed.TextEnd + 1;
    if (g == now) return;
    if (now > ed.TextEnd) ed.GapSize = FreeBytes(ed) < kGapBytes ? FreeBytes(ed) : kGapBytes;
    const size_t shift = ed.GapSize;
    if (g < now)
        std::memmove(ed.buf + g + shift, ed.buf + g, now - g);
    else
        std::memmove(ed.buf + now, ed.buf + now + shift, g - now);
    ed.GapAt = g > ed.TextEnd ? kGapAtEnd : g;
}

// Free bytes behind the text.
size_t Behind(const Editor& ed) {
    return ed.textRoom - (ed.TextEnd + 1) - (ed.GapAt <= ed.TextEnd ? ed.GapSize : 0);
}

// A change at p behind the gap, within kGapBytes of the text's end and nearer it than the gap: moving
// what follows costs less than bringing the gap there, and stays cheap for the keys after it (the
// first key at the far end of a large text, after keys at its start, moves only the end). Further in,
// the gap comes over once.
bool NearerTheEnd(const Editor& ed, Pos p) {
    return p >= ed.GapAt && ed.TextEnd - p <= kGapBytes && ed.TextEnd - p < p - ed.GapAt;
}

// The gap made at least n bytes wide (n <= FreeBytes): the text behind it moves back, into what lies
// free behind the text, by kGapBytes more than it must where there is that room.
void WidenGap(Editor& ed, size_t n) {
    if (ed.GapAt > ed.TextEnd || ed.GapSize >= n) return;
    const size_t must = n - ed.GapSize;
    const size_t spare = ed.textRoom - (ed.TextEnd + 1 + ed.GapSize) - must;
    const size_t more = must + (spare < kGapBytes ? spare : kGapBytes);
    uint8_t* tail = ed.buf + ed.GapAt + ed.GapSize;
    std::memmove(tail + more, tail, ed.TextEnd + 1 - ed.GapAt);
    ed.GapSize += more;
}

bool RefuseForRoom(Editor& ed) {
    ed.sys.ErrorNumber = err::kNoMemory;
    ed.ErrorPending = true;
    return false;
}

// After n bytes left at p: positions inside the span close up onto p, those behind it move back.
void ShiftBack(Pos& x, Pos p, size_t n) {
    if (x > p + n)
        x -= n;
    else if (x > p)
        x = p;
}

}  // namespace

bool ReserveBuffer(Editor& ed, uint64_t capacity) {
    ForgetColumns(ed);
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    // The text's part, then the kill buffer's: pages are only taken as they are written.
    size_t size = 2 * size_t(capacity) + 2;
    void* p = ed.sys.Reserve(size);
    if (!p) {
        ed.sys.ErrorNumber = err::kNoMemory;
        return false;
    }
    ReleaseBuffer(ed);
    ed.buf = static_cast<uint8_t*>(p);
    ed.reserved = size;
    ed.textRoom = size_t(capacity) + 2;
    ed.kill = ed.buf + ed.textRoom;
    ed.GapAt = kGapAtEnd;
    ed.GapSize = 0;
    ed.BufferCapacity = capacity;
    ed.TextStart = 1;
    ed.TextEnd = ed.Cursor = ed.CommandCursor = ed.PrevCursor = 1;
    ed.buf[0] = '\n';
    ed.buf[1] = '\n';
    ed.KillLength = 0;
    ed.KillSource = 0;
    ed.BlockBegin = ed.BlockEnd = ed.Mark = 0;
    ed.LineNumber = 1;
    ed.RecountLines = false;
    return true;
}

void ReleaseBuffer(Editor& ed) {
    if (ed.buf) ed.sys.Release(ed.buf, ed.reserved);
    ed.buf = nullptr;
    ed.kill = nullptr;
    ed.reserved = 0;
    ed.textRoom = 0;
    ed.GapAt = kGapAtEnd;
    ed.TextEnd = ed.Cursor = ed.TextStart;
    ed.KillLength = 0;
    ed.BlockBegin = ed.BlockEnd = ed.Mark = 0;
}

uint64_t Room(const Editor& ed) {
    uint64_t used = ed.TextLength() + ed.KillLength;
    return used >= ed.BufferCapacity ? 0 : ed.BufferCapacity - used;
}

bool MakeRoom(Editor& ed, Pos p, size_t n) {
    if (n == 0) return true;
    if (p < ed.TextStart || p > ed.TextEnd) return false;
    if (Room(ed) < n || FreeBytes(ed) < n) return RefuseForRoom(ed);
    RecordInsertion(ed, p, n);
    OpenRoom(ed, p, n);
    return true;
}

void OpenRoom(Editor& ed, Pos p, size_t n) {
    ForgetColumns(ed, p);
    if (NearerTheEnd(ed, p) && Behind(ed) >= n) {
        // What follows p moves back into the free bytes behind the text; the gap stays.
        uint8_t* at = At(ed, p);
        memmove(at + n, at, ed.TextEnd + 1 - p);
        ed.TextEnd += n;
    } else {
        Pos g = NextLineStart(ed, p);
        PlaceGap(ed, g);
        WidenGap(ed, n);
        memmove(ed.buf + p + n, ed.buf + p, g - p);
        ed.TextEnd += n;
        if (g + n > ed.TextEnd) {
            ed.GapAt = kGapAtEnd;
        } else {
            ed.GapAt = g + n;
            ed.GapSize -= n;
        }
    }
    ed.ChangedMark = '*';
    NoteTextChange(ed, p, p + n);
    // A position at p stays, so the new bytes land in front of what it marks. Several insertions
    // at p, p + 1, ... therefore move every mark exactly as one insertion of them all does.
    if (BlockModes(ed)) {
        if (ed.BlockBegin > p) ed.BlockBegin += n;
        if (ed.BlockEnd > p) ed.BlockEnd += n;
    } else if (ed.Mark > p) {
        ed.Mark += n;
    }
}

bool RemoveBytes(Editor& ed, Pos p, size_t n) {
    if (p < ed.TextStart || p >= ed.TextEnd) return true;
    if (n > ed.TextEnd - p) n = ed.TextEnd - p;  // the closing line feed never goes
    if (n == 0) return true;
    if (!RecordDeletion(ed, p, n)) {
        ed.ErrorPending = true;
        return false;
    }
    if (NearerTheEnd(ed, p)) {
        // What follows the bytes moves up to p; the gap stays.
        uint8_t* at = At(ed, p);
        memmove(at, at + n, ed.TextEnd + 1 - p - n);
        ed.TextEnd -= n;
    } else {
        Pos g = NextLineStart(ed, p + n);
        PlaceGap(ed, g);
        memmove(ed.buf + p, ed.buf + p + n, g - p - n);
        ed.TextEnd -= n;
        if (g - n > ed.TextEnd) {
            ed.GapAt = kGapAtEnd;
        } else {
            ed.GapAt = g - n;
            ed.GapSize += n;
        }
    }
    ed.ChangedMark = '*';
    NoteTextChange(ed, p, p);
    if (BlockModes(ed)) {
        ShiftBack(ed.BlockBegin, p, n);
        ShiftBack(ed.BlockEnd, p, n);
    } else {
        ShiftBack(ed.Mark, p, n);
    }
    return true;
}

bool RemoveBytesMovingMarks(Editor& ed, Pos p, size_t n) {
    Pos begin = ed.BlockBegin, end = ed.BlockEnd;
    if (BlockModes(ed)) {
        if (ed.BlockBegin >= p && ed.BlockBegin <= p + n) ed.BlockBegin = p;
        if (ed.BlockEnd >= p && ed.BlockEnd <= p + n) ed.BlockEnd = p;
    }
    if (RemoveBytes(ed, p, n)) return true;
    ed.BlockBegin = begin;
    ed.BlockEnd = end;
    return false;
}

bool ReplaceRoom(Editor& ed, Pos p, size_t n, size_t m) {
    if (p < ed.TextStart || n == 0 || n > ed.TextEnd - p || m == 0) return false;
    if (m > n && Room(ed) < m - n) return RefuseForRoom(ed);
    if (!RemoveBytes(ed, p, n)) return false;
    RecordJoin(ed);
    return MakeRoom(ed, p, m);  // the room is there: only the record and the move are left
}

bool SaveToKill(Editor& ed, Pos s, size_t n) {
    if (s < ed.TextStart || s > ed.TextEnd) return false;
    if (n > ed.TextEnd - s) n = ed.TextEnd - s;
    bool append = ed.EditMode != VI && ed.KillAppend;
    uint64_t kept = append ? ed.KillLength : 0;
    if (ed.TextLength() + kept + n > ed.BufferCapacity) return RefuseForRoom(ed);
    CopyText(ed, s, n, ed.kill + kept);
    ed.KillLength = kept + n;
    if (!append) ed.KillSource = s;
    ed.BlockVisible = 0;
    ed.KillAppend = true;
    return true;
}

bool CopyRegionToKill(Editor& ed) {
    ed.PasteByChars = false;
    if (!ed.Mark || (ed.EditMode != VI && !ed.BlockVisible)) return true;
    Pos a = ed.Mark < ed.Cursor ? ed.Mark : ed.Cursor;
    Pos b = ed.Mark < ed.Cursor ? ed.Cursor : ed.Mark;
    if (b > ed.TextEnd) b = ed.TextEnd;
    if (a < ed.TextStart) a = ed.TextStart;
    if (a > b) a = b;
    if (ed.TextLength() + (b - a) > ed.BufferCapacity) return RefuseForRoom(ed);
    CopyText(ed, a, b - a, ed.kill);
    ed.KillLength = b - a;
    ed.KillSource = a;
    if (ed.EditMode != VI) ed.BlockVisible = 0;
    return true;
}

bool CopyBlockToCursor(Editor& ed) {
    if (!BlockValid(ed) || InsideBlock(ed, ed.Cursor)) return false;
    Pos begin = ed.BlockBegin;
    size_t n = ed.BlockEnd - begin;
    if (!MakeRoom(ed, ed.Cursor, n)) return false;
    // Taken from the old place, not the marks: only WS and vi move them with the text.
    Pos from = begin > ed.Cursor ? begin + n : begin;
    CopyText(ed, from, n, At(ed, ed.Cursor));
    return true;
}

uint8_t* InPlace(Editor& ed, Pos p, size_t n) {
    ForgetColumns(ed, p);
    // The byte before the gap must stay a line feed: a gap at the bytes' edge or among them goes behind
    // the line feed that follows them.
    if (p < ed.GapAt && ed.GapAt <= p + n)
        PlaceGap(ed, NextLineStart(ed, p + n > ed.TextEnd ? ed.TextEnd : p + n));
    NoteTextChange(ed, p, p + n);
    return At(ed, p);
}

uint8_t* ReceiveText(Editor& ed, size_t n) {
    ForgetColumns(ed);
    ed.buf[0] = '\n';
    ed.TextEnd = ed.TextStart + n;
    // A text that fits in the page of the leading line feed comes in with no gap: it lands in the page
    // just written, and the first change at its start moves less than a page.
    if (n + 2 <= kPageBytes) {
        ed.GapAt = kGapAtEnd;
        ed.GapSize = 0;
        return ed.buf + ed.TextStart;
    }
    ed.GapAt = ed.TextStart;
    ed.GapSize = FreeBytes(ed) < kGapBytes ? FreeBytes(ed) : kGapBytes;
    return At(ed, ed.TextStart);
}

void GatherText(Editor& ed) {
    if (ed.buf) PlaceGap(ed, ed.TextEnd + 1);
}

bool KillBytes(Editor& ed, Pos p, size_t n) {
    if (!SaveToKill(ed, p, n)) return false;
    return RemoveBytes(ed, p, n);
}

Editor::~Editor() {
    ReleaseBuffer(*this);
    ReleaseCellExtras(*this);
    RemoveSnapshotFile(*this);
}
