// The undo history: records of 32-bit little-endian words on one fixed 64 KiB stack, newest on top.
//
// A record is kind, position (as an offset from TextStart), value, the deleted bytes for a deletion,
// and last a link holding the record's own offset, so the word below UndoTop always finds the newest
// record. Offset 0 holds the bottom link: after a wrap, the newest record from before it. Deletions
// too large for the stack save the whole text instead, in a file without a name or else in memory. A join
// record says that the record below it belongs to the same change as the one above, so one undo takes back
// both.
#include <unistd.h>

#include <cstring>
#include <utility>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

constexpr uint32_t kSwapKind = 0x12345677;
constexpr uint32_t kInsertionKind = 0x12345678;
constexpr uint32_t kDeletionKind = 0x12345679;
constexpr uint32_t kOverwriteKind = 0x1234567A;
constexpr uint32_t kSnapshotKind = 0x1234567B;
constexpr uint32_t kJoinKind = 0x1234567C;

constexpr size_t kFirstRecord = 4;
constexpr size_t kRecordSize = 16;
// Records start below this offset; the bytes above it take the tails of those that cross it.
constexpr size_t kNominalEnd = 65512;

uint32_t Word(const Editor& ed, size_t at) {
    const uint8_t* s = ed.undo.Stack + at;
    return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
}

void SetWord(Editor& ed, size_t at, uint32_t v) {
    uint8_t* s = ed.undo.Stack + at;
    s[0] = uint8_t(v);
    s[1] = uint8_t(v >> 8);
    s[2] = uint8_t(v >> 16);
    s[3] = uint8_t(v >> 24);
}

// Writes one record on top of the stack, wrapping to the bottom when it would start past the
// nominal end; returns its offset. A deletion's record holds the n bytes of text at p.
size_t Push(Editor& ed, uint32_t kind, Pos p, uint32_t value, size_t n = 0) {
    UndoState& u = ed.undo;
    size_t at = u.UndoTop;
    if (at + n >= kNominalEnd) {
        SetWord(ed, 0, Word(ed, u.UndoTop - 4));
        at = kFirstRecord;
    }
    SetWord(ed, at, kind);
    SetWord(ed, at + 4, uint32_t(p - ed.TextStart));
    SetWord(ed, at + 8, value);
    if (n) CopyText(ed, p, n, u.Stack + at + 12);
    SetWord(ed, at + 12 + n, uint32_t(at));
    u.UndoTop = at + kRecordSize + n;
    return at;
}

bool Recording(const Editor& ed) { return ed.buf && !ed.undo.Undoing; }

// Takes a copy of the whole text for a snapshot: an unnamed file, else memory. Nothing else is
// touched; false (ErrorNumber set) when neither can hold it.
bool TakeSnapshot(Editor& ed, int* fd, uint8_t** copy) {
    size_t n = ed.TextLength();
    long f = UnnamedCopy(ed, RunsBetween(ed, ed.TextStart, ed.TextEnd));
    if (f >= 0) {
        *fd = int(f);
        return true;
    }
    if (n > ed.undo.CopyLimit) {
        ed.sys.ErrorNumber = err::kNoMemory;
        return false;
    }
    // Even an empty text needs a copy to stand for it.
    uint8_t* p = static_cast<uint8_t*>(ed.sys.Reserve(n ? n : 1));
    if (!p) return false;
    CopyText(ed, ed.TextStart, n, p);
    *copy = p;
    return true;
}

// Reads the snapshot's n bytes into `into`; returns the count read, or < 0 on failure.
long long ReadSnapshot(Editor& ed, uint8_t* into, size_t n) {
    UndoState& u = ed.undo;
    if (u.SnapshotCopy) {
        if (n > u.SnapshotCopySize) n = u.SnapshotCopySize;
        std::memcpy(into, u.SnapshotCopy, n);
        return (long long)n;
    }
    if (ed.sys.Lseek(u.SnapshotFd, 0, SEEK_SET) < 0) return -1;
    return ed.sys.ReadFully(u.SnapshotFd, into, n);
}

struct Record {
    size_t at = 0;  // offset of the kind field
    uint32_t kind = 0;
    Pos pos = 0;
    uint32_t value = 0;
    size_t size = 0;
};

// The newest record, when it is whole: a known kind, its extent inside the stack ending in a link
// to itself, and its position and count inside the present text.
bool NewestRecord(const Editor& ed, Record* r) {
    const UndoState& u = ed.undo;
    if (u.UndoTop < kFirstRecord || u.UndoTop > kUndoStackSize) return false;
    size_t at = Word(ed, u.UndoTop - 4);
    if (at < kFirstRecord || at > kUndoStackSize - kRecordSize) return false;
    r->at = at;
    r->kind = Word(ed, at);
    r->pos = ed.TextStart + Pos(Word(ed, at + 4));
    r->value = Word(ed, at + 8);
    size_t data = 0;
    if (r->kind == kDeletionKind) {
        if (r->value == 0 || r->value >= kNominalEnd) return false;
        data = r->value;
    }
    r->size = kRecordSize + data;
    if (at + r->size > kUndoStackSize || Word(ed, at + 12 + data) != at) return false;
    // Below the bottom the link word is the bottom link; everywhere else the record ends at UndoTop.
    if (u.UndoTop != kFirstRecord && at + r->size != u.UndoTop) return false;
    uint64_t pos = r->pos, end = ed.TextEnd;
    switch (r->kind) {
        case kSwapKind:
            return pos > ed.TextStart && pos < end;
        case kInsertionKind:
            return r->value > 0 && pos + r->value <= end;
        case kDeletionKind:
            return pos <= end;
        case kOverwriteKind:
            return pos < end;
        case kSnapshotKind:
            return pos - ed.TextStart <= r->value;
        case kJoinKind:
            return pos <= end;
        default:
            return false;
    }
}

void ClampToText(const Editor& ed, Pos& p) {
    if (p > ed.TextEnd) p = ed.TextEnd;
}

enum class Outcome { Done, Dropped, Kept };

// Reads the snapshot back as the text, gathered in one run first. Where the snapshot leaves the kill
// buffer no room it is emptied. When the old text and the snapshot fit side by side the old text
// survives a failed read; otherwise the read goes straight over it.
Outcome RestoreSnapshot(Editor& ed, const Record& r) {
    UndoState& u = ed.undo;
    if (r.at != u.SnapshotRecord) return Outcome::Dropped;
    // A snapshot that cannot come back goes with its record, the text unchanged.
    auto drop = [&ed] {
        RemoveSnapshotFile(ed);
        ed.undo.SnapshotRecord = 0;
        return Outcome::Dropped;
    };
    uint64_t saved = r.value;
    if (u.SnapshotFd < 0 && !u.SnapshotCopy) return drop();
    uint64_t limit = ed.BufferCapacity < ed.textRoom - 2 ? ed.BufferCapacity : ed.textRoom - 2;
    if (saved > limit) {
        ed.sys.ErrorNumber = err::kTooLarge;
        ShowError(ed);
        return drop();
    }
    if (saved + ed.KillLength > limit) {
        ed.KillLength = 0;
        ed.KillSource = 0;
    }
    GatherText(ed);
    size_t kill = ed.KillLength;
    bool aside = ed.TextLength() + saved + kill <= limit;
    uint8_t* into = At(ed, aside ? ed.TextEnd + 1 : ed.TextStart);
    long long got = ReadSnapshot(ed, into, size_t(saved));
    int error = got < 0 ? ed.sys.ErrorNumber : err::kIoError;
    bool whole = got >= 0 && uint64_t(got) == saved;
    if (whole || !aside) {
        if (aside) std::memmove(At(ed, ed.TextStart), into, size_t(saved));
        ed.TextEnd = ed.TextStart + (whole ? size_t(saved) : got > 0 ? size_t(got) : 0);
        *At(ed, ed.TextEnd) = '\n';
        ed.ChangedMark = '*';
    }
    for (Pos* p : {&ed.BlockBegin, &ed.BlockEnd, &ed.Mark, &ed.KillSource, &ed.LastFindPos, &ed.PrevCursor,
                   &ed.CommandCursor})
        ClampToText(ed, *p);
    if (!whole) {
        // The file stays, and so does the record: another undo tries again.
        ed.sys.ErrorNumber = error;
        ShowError(ed);
        return Outcome::Kept;
    }
    RemoveSnapshotFile(ed);
    u.SnapshotRecord = 0;
    return Outcome::Done;
}

Outcome Apply(Editor& ed, const Record& r) {
    switch (r.kind) {
        case kSwapKind: {
            uint8_t* t = InPlace(ed, r.pos - 1, 2);
            std::swap(t[0], t[1]);
            ed.ChangedMark = '*';
            return Outcome::Done;
        }
        case kInsertionKind:
            RemoveBytes(ed, r.pos, r.value);
            return Outcome::Done;
        case kDeletionKind:
            // Without the room the record stays, for when the kill buffer has been made smaller.
            if (!MakeRoom(ed, r.pos, r.value)) return Outcome::Kept;
            std::memcpy(At(ed, r.pos), ed.undo.Stack + r.at + 12, r.value);
            return Outcome::Done;
        case kOverwriteKind:
            *InPlace(ed, r.pos, 1) = uint8_t(r.value);
            ed.ChangedMark = '*';
            return Outcome::Done;
        case kJoinKind:
            return Outcome::Done;  // one left on top by itself joins nothing
        default:
            return RestoreSnapshot(ed, r);
    }
}

}  // namespace

void ClearUndo(Editor& ed) {
    UndoState& u = ed.undo;
    u.UndoTop = kFirstRecord;
    u.SnapshotRecord = 0;
    u.Undoing = false;
    SetWord(ed, 0, 0);
    // Only the history could bring the snapshot back.
    RemoveSnapshotFile(ed);
}

// Every change of the text is recorded before it is made, so the records also tell the column cache
// what it must forget; an undo forgets all of it.
void RecordInsertion(Editor& ed, Pos p, size_t n) {
    ForgetColumns(ed, p);
    if (Recording(ed) && n > 0) Push(ed, kInsertionKind, p, uint32_t(n));
}

bool RecordDeletion(Editor& ed, Pos p, size_t n) {
    ForgetColumns(ed, p);
    if (!Recording(ed) || n == 0 || p < ed.TextStart || p > ed.TextEnd) return true;
    if (n < kNominalEnd) {
        if (n > ed.TextEnd - p) n = ed.TextEnd - p;
        if (n > 0) Push(ed, kDeletionKind, p, uint32_t(n), n);
        return true;
    }
    // The new copy is taken before the old one goes, so a refusal leaves the history as it was.
    int fd = -1;
    uint8_t* copy = nullptr;
    if (!TakeSnapshot(ed, &fd, &copy)) return false;
    UndoState& u = ed.undo;
    if (u.SnapshotRecord && Word(ed, u.SnapshotRecord) == kSnapshotKind) SetWord(ed, u.SnapshotRecord, 0);
    RemoveSnapshotFile(ed);
    u.SnapshotFd = fd;
    u.SnapshotCopy = copy;
    u.SnapshotCopySize = ed.TextLength();
    u.SnapshotRecord = Push(ed, kSnapshotKind, p, uint32_t(ed.TextLength()));
    return true;
}

void RecordOverwrite(Editor& ed, Pos p) {
    ForgetColumns(ed, p);
    if (!Recording(ed) || p < ed.TextStart || p >= ed.TextEnd) return;
    uint32_t old = 0;
    for (size_t i = 0; i < 4 && p + i <= ed.TextEnd; ++i) old |= uint32_t(ByteAt(ed, p + i)) << (8 * i);
    Push(ed, kOverwriteKind, p, old);
}

void RecordSwap(Editor& ed, Pos p) {
    ForgetColumns(ed, p - 1);
    if (Recording(ed) && p > ed.TextStart && p < ed.TextEnd) Push(ed, kSwapKind, p, 0);
}

void RecordJoin(Editor& ed) {
    if (Recording(ed)) Push(ed, kJoinKind, ed.Cursor > ed.TextEnd ? ed.TextEnd : ed.Cursor, 0);
}

void RemoveSnapshotFile(Editor& ed) {
    UndoState& u = ed.undo;
    if (u.SnapshotFd >= 0) ed.sys.Close(u.SnapshotFd);
    if (u.SnapshotCopy) ed.sys.Release(u.SnapshotCopy, u.SnapshotCopySize ? u.SnapshotCopySize : 1);
    u.SnapshotFd = -1;
    u.SnapshotCopy = nullptr;
    u.SnapshotCopySize = 0;
}

void Undo(Editor& ed) {
    if (!ed.buf) return;
    ForgetColumns(ed);
    UndoState& u = ed.undo;
    u.Undoing = true;
    Record r;
    while (NewestRecord(ed, &r)) {
        Pos remembered = ed.Cursor;
        SetWord(ed, r.at, 0);
        ed.Cursor = r.pos;
        Outcome done = Apply(ed, r);
        if (done == Outcome::Kept) {
            SetWord(ed, r.at, r.kind);
            ed.Cursor = remembered;
            break;
        }
        u.UndoTop = r.at;
        if (ed.Cursor > ed.TextEnd) ed.Cursor = ed.TextEnd;
        Record join;
        if (r.kind == kJoinKind || !NewestRecord(ed, &join) || join.kind != kJoinKind) break;
        SetWord(ed, join.at, 0);
        u.UndoTop = join.at;
    }
    ed.Cursor = CharStartAt(ed, ed.Cursor);
    u.Undoing = false;
    ed.RecountLines = true;
}
