// The edit buffer's one reservation, and the only two operations that change the text's length. The
// kill buffer sits right behind the closing line feed and rides along with every block move.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

bool BlockModes(const Editor& ed) { return ed.EditMode == WS || ed.EditMode == VI; }

// Bytes from `from` to the end of the kill buffer: what a change has to move.
size_t TailLength(const Editor& ed, Pos from) { return ed.TextEnd + 1 + ed.KillLength - from; }

bool RefuseForRoom(Editor& ed) {
    ed.sys.ErrorNumber = err::kNoMemory;
    ShowError(ed);
    RestoreCursor(ed);
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
    size_t size = size_t(capacity) + 2;
    void* p = ed.sys.Reserve(size);
    if (!p) {
        ed.sys.ErrorNumber = err::kNoMemory;
        return false;
    }
    ReleaseBuffer(ed);
    ed.buf = static_cast<uint8_t*>(p);
    ed.reserved = size;
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
    ed.reserved = 0;
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
    if (Room(ed) < n) return RefuseForRoom(ed);
    RecordInsertion(ed, p, n);
    OpenRoom(ed, p, n);
    return true;
}

void OpenRoom(Editor& ed, Pos p, size_t n) {
    ForgetColumns(ed, p);
    // The kill buffer moves in every mode: WS never fills it, but one left by a mode switch survives.
    memmove(ed.buf + p + n, ed.buf + p, TailLength(ed, p));
    ed.ChangedMark = '*';
    ed.TextEnd += n;
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
        ShowError(ed);
        RestoreCursor(ed);
        return false;
    }
    memmove(ed.buf + p, ed.buf + p + n, TailLength(ed, p + n));
    ed.ChangedMark = '*';
    ed.TextEnd -= n;
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
    memcpy(ed.buf + ed.TextEnd + 1 + kept, ed.buf + s, n);
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
    memcpy(ed.buf + ed.TextEnd + 1, ed.buf + a, b - a);
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
    memcpy(ed.buf + ed.Cursor, ed.buf + from, n);
    return true;
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
