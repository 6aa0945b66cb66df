// The edit buffer's primitives and every command that moves in the text or changes it.
#pragma once

#include "editor.hpp"

// ---- The text's bytes. The gap lies at a line start, so a line (its line feed included) is always
// one run of bytes: what reads within a line may take a pointer and go on to the run's end. Reading
// across lines goes through the functions below; only the buffer's own changes write.

inline constexpr Pos kGapAtEnd = ~Pos(0);
// The bytes the text's part has free, in the gap and behind the text.
inline size_t FreeBytes(const Editor& ed) { return ed.textRoom - ed.TextEnd - 1; }
inline const uint8_t* At(const Editor& ed, Pos p) { return ed.buf + p + (p >= ed.GapAt ? ed.GapSize : 0); }
inline uint8_t* At(Editor& ed, Pos p) { return ed.buf + p + (p >= ed.GapAt ? ed.GapSize : 0); }
inline uint8_t ByteAt(const Editor& ed, Pos p) { return *At(ed, p); }
// The run of bytes that holds p: its first text byte, and the end behind its last (a line feed).
inline const uint8_t* RunStart(const Editor& ed, Pos p) {
    return p < ed.GapAt ? ed.buf + ed.TextStart : At(ed, ed.GapAt);
}
inline const uint8_t* RunEnd(const Editor& ed, Pos p) {
    if (p >= ed.GapAt) return ed.buf + ed.TextEnd + 1 + ed.GapSize;
    return ed.buf + (ed.GapAt <= ed.TextEnd ? ed.GapAt : ed.TextEnd + 1);
}
// What positions of p's run are added to for their bytes: RunBase(ed, p)[q] is the byte at q, for every q
// of that run.
inline const uint8_t* RunBase(const Editor& ed, Pos p) {
    return p >= ed.GapAt ? ed.buf + ed.GapSize : ed.buf;
}
// The text from a to b (a <= b <= TextEnd + 1) as at most two runs; the second is empty when one holds it.
struct TextRun {
    const uint8_t* bytes;
    size_t length;
};
struct TextRuns {
    TextRun run[2];
};
TextRuns RunsBetween(const Editor& ed, Pos a, Pos b);
// Copies the n bytes at p to out.
void CopyText(const Editor& ed, Pos p, size_t n, uint8_t* out);
// The first byte b in from..to-1, or to.
Pos FindByte(const Editor& ed, Pos from, Pos to, uint8_t b);
// The last byte b in to..from-1, or kGapAtEnd when there is none.
Pos FindByteBack(const Editor& ed, Pos from, Pos to, uint8_t b);
// Line feeds in a..b-1.
uint64_t CountLineFeedsBetween(const Editor& ed, Pos a, Pos b);
// Writes the n bytes at p (the closing line feed may be among them) to fd: the count written, or < 0.
long long WriteText(Editor& ed, int fd, Pos p, size_t n);
// The n bytes at p, made one run that stays clear of the gap's edge, to change in place (n >= 1): a
// line feed may come or go among them. Moves the gap when it must; the text stays as it is.
uint8_t* InPlace(Editor& ed, Pos p, size_t n);
// Puts the gap behind the closing line feed: the whole text is then one run from TextStart.
void GatherText(Editor& ed);
// Makes the text n undefined bytes (n <= textRoom - 2) behind a gap at its start, where typing begins
// (a text of less than a page has none), and returns where they lie. TextEnd may be lowered afterwards; the
// closing line feed is the caller's.
uint8_t* ReceiveText(Editor& ed, size_t n);

// ---- Line scans (never change the text). The line of p is the line holding p; a position on a line
// feed belongs to the line that line feed ends. Scans that meet the closing line feed going forward,
// or the start of the text going back, set RecountLines.

// Bytes between the start of p's line and p; *first tells whether it is the first line.
size_t LineOffset(Editor& ed, Pos p, bool* first = nullptr);
Pos LineStartOf(Editor& ed, Pos p);
// Bytes from p to the line feed ending p's line; *last tells whether that is the closing one.
size_t LineRest(Editor& ed, Pos p, bool* last = nullptr);
Pos LineEndOf(Editor& ed, Pos p);
// Start of the line k lines above p's line, stopping at the first line.
Pos StepLinesBack(Editor& ed, Pos p, uint64_t k);
// k = 0: p itself; else the start of the line k lines below, stopping at the last line (p when p is
// already on the last line).
Pos StepLinesForward(Editor& ed, Pos p, uint64_t k);
// Display column of p in its line (tabs to multiples of 8); also stored in WantedColumn.
uint64_t DisplayColumn(Editor& ed, Pos p);
inline uint64_t TabAdvance(uint64_t c) { return 8 - (c % 8); }
// From a line start, the first position whose column reaches `column` (a tab or wide character that
// would pass it is not crossed), or the line's line feed.
Pos PositionAtColumn(const Editor& ed, Pos lineStart, uint64_t column);
inline bool AtTextEnd(const Editor& ed, Pos p) { return p == ed.TextEnd; }
// LineNumber = 1 + the line feeds before Cursor.
void RecountLineNumber(Editor& ed);
// Line feeds among the n bytes at p.
uint64_t CountLineFeeds(const uint8_t* p, size_t n);
// The first byte in p..end that is b0 or b1 (end when there is none), in one pass that also adds
// the line feeds before it to *lineFeeds.
const uint8_t* FindEitherCountingLines(const uint8_t* p, const uint8_t* end, uint8_t b0, uint8_t b1,
                                       uint64_t* lineFeeds);
// The same on any processor, for the ones without 32-byte vectors.
const uint8_t* FindEitherCountingLinesPortable(const uint8_t* p, const uint8_t* end, uint8_t b0, uint8_t b1,
                                               uint64_t* lineFeeds);
// The cursor to `to`, inside the text, with LineNumber kept in step; LineNumber must be right for
// the cursor's old place, so the text must not have changed in between.
void MoveCursorCountingLines(Editor& ed, Pos to);
// Shown, both marks set and in order.
bool BlockValid(const Editor& ed);
inline bool InsideBlock(const Editor& ed, Pos p) { return ed.BlockBegin <= p && p < ed.BlockEnd; }
// Typing inserts on a line feed or in insert mode, else overwrites.
bool TypingInserts(const Editor& ed);
inline bool IsWordChar(uint8_t c) { return c > 47; }

// ---- Characters. In a UTF-8 locale (Editor::Utf8) a valid UTF-8 sequence of a printable character,
// with the combining marks after it, is one character: one cursor step, one deletion, one or two
// cells. Every other byte is a character of its own, shown as ".". Elsewhere a byte is a character.

// Whether the first of LC_ALL, LC_CTYPE and LANG that is set names the UTF-8 character set.
bool LocaleIsUtf8(char* const* envp);
// The code point of the valid UTF-8 sequence at p (before end): its length, or 0 when there is none
// (overlong forms, surrogates and values beyond U+10FFFF included).
size_t DecodeUtf8(const uint8_t* p, const uint8_t* end, uint32_t* cp);
// Cells a code point takes: 1, 2 (wide), 0 (a mark or format character), -1 (not printable).
int CodePointWidth(uint32_t cp);
// The code point in lower case, where that has a UTF-8 form of the same length; else cp.
uint32_t FoldCodePoint(uint32_t cp);

enum class CharShape : uint8_t {
    Shown,  // drawn as its bytes
    Dot,    // a byte of no printable character: "."
    Marks,  // combining marks with nothing before them, drawn on a blank
};
struct TextChar {
    uint32_t length;  // bytes, its combining marks included
    uint8_t width;    // cells: 1 or 2
    CharShape shape;
};
// The character at p (p < end). A tab or line feed comes back as a Dot: callers take those apart.
TextChar CharAt(const uint8_t* p, const uint8_t* end, bool utf8);
// Whether byte b, not ASCII, begins no UTF-8 sequence: a continuation byte or one never used.
inline bool BeginsNoSequence(uint8_t b) { return b < 0xC2 || b > 0xF4; }
// Whether byte b may follow the lead byte of a sequence (0xC2..0xF4): the second byte's range excludes
// overlong forms, surrogates and values beyond U+10FFFF. A byte that may not leaves the lead a byte of
// no character.
inline bool SecondByteFits(uint8_t lead, int b) {
    const int lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const int hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    return b >= lo && b <= hi;
}
// The start of the character that ends at p (begin < p); never before begin.
const uint8_t* CharStartBefore(const uint8_t* begin, const uint8_t* p, bool utf8);
// The position after the character at p (p < TextEnd), and the start of the one before p (p > TextStart).
Pos NextChar(const Editor& ed, Pos p);
Pos PrevChar(const Editor& ed, Pos p);
// Cells the characters in p..end take, which hold no tab or line feed (UTF-8 only).
// `base`: the character before p is one that marks at p sit on.
uint64_t CellsOf(const uint8_t* p, const uint8_t* end, bool base = false);
// Cells from lineStart to p, tabs to multiples of 8.
uint64_t ColumnOf(const Editor& ed, Pos lineStart, Pos p);
// A change of the text at p drops what ColumnOf keeps of the places behind p (p = 0: of all places,
// and the composed rows with them).
inline void ForgetColumns(Editor& ed, Pos p = 0) {
    for (Editor::ColumnMemo& m : ed.columnMemo)
        if (p < m.at || p == 0) m.at = 0;
    if (p == 0) ed.ChangedFrom = 0;
}
// Notes a change of the text for the rows composed before it: nothing before `from` changed, and the
// bytes from `keptFrom` on are the ones that followed the change before it (TextEnd already updated).
inline void NoteTextChange(Editor& ed, Pos from, Pos keptFrom) {
    if (from < ed.ChangedFrom) ed.ChangedFrom = from;
    const size_t kept = ed.TextEnd - keptFrom;
    if (kept < ed.TailKept) ed.TailKept = kept;
}
// The start of the character that holds p, and the end of it: p itself when p is a boundary. Both look
// back no further than p's line (text changes can join bytes around a position into one character).
Pos CharStartAt(const Editor& ed, Pos p);
Pos CharEndAt(const Editor& ed, Pos p);
// Whether the n bytes at s are one code point in UTF-8 (a single byte always is).
bool IsOneCodePoint(const uint8_t* s, size_t n);
// The code points that fold to `folded`: at most max of them into out, their count returned.
size_t CodePointsFoldingTo(uint32_t folded, uint32_t* out, size_t max);
// The start of p's line, as LineStartOf gives it, without a scan limit and without touching RecountLines.
Pos LineStartAt(const Editor& ed, Pos p);
// From p at cell column *column of its line, past every character that ends at or before column
// `limit`; stops at the line feed and before a tab or wide character that would pass `limit`.
// *column becomes the column of the position returned.
Pos SkipToColumn(const Editor& ed, Pos p, uint64_t* column, uint64_t limit);

// ---- Buffer reservation and changes. A change refused for want of room sets ErrorNumber 12 and
// ErrorPending and changes nothing; the command that asked for it reports the error when it ends.

// Gives the buffer room for `capacity` bytes of text and kill buffer (plus the two line feeds),
// replacing any earlier reservation; an empty text afterwards. Fails with ErrorNumber 12.
[[nodiscard]] bool ReserveBuffer(Editor& ed, uint64_t capacity);
void ReleaseBuffer(Editor& ed);
// Free bytes: capacity less text and kill buffer.
uint64_t Room(const Editor& ed);
// Opens n undefined bytes at p, keeping marks, kill buffer and undo in step; refused when the room is
// missing.
[[nodiscard]] bool MakeRoom(Editor& ed, Pos p, size_t n);
// The move behind MakeRoom, without its checks and its undo record: the caller has checked the
// room and recorded the insertion itself.
void OpenRoom(Editor& ed, Pos p, size_t n);
// Removes n bytes at p (never the closing line feed). A removal too large for the undo stack needs a
// copy of the whole text first: where none can be had, the removal is refused (ErrorNumber says why,
// ErrorPending is set) and the result is false.
bool RemoveBytes(Editor& ed, Pos p, size_t n);
// WS and vi: block marks inside p..p+n move to p first.
bool RemoveBytesMovingMarks(Editor& ed, Pos p, size_t n);
// The n bytes at p (n >= 1) give way to m undefined bytes (m >= 1) in one change that one undo takes
// back; refused when the room is missing.
[[nodiscard]] bool ReplaceRoom(Editor& ed, Pos p, size_t n, size_t m);
// Stores n text bytes from s in the kill buffer (append when KillAppend outside vi), hides the region
// and sets KillAppend; refused when the room is missing.
[[nodiscard]] bool SaveToKill(Editor& ed, Pos s, size_t n);
// The kill buffer afresh from the region between Mark and Cursor (nothing without a mark, or, outside
// vi, a hidden region); refused when the room is missing.
[[nodiscard]] bool CopyRegionToKill(Editor& ed);
// Room for the WS block at the cursor, the block copied in; fails on an invalid block, a cursor inside
// it or missing room.
[[nodiscard]] bool CopyBlockToCursor(Editor& ed);
// Kill-saving removal: the bytes go to the kill buffer, then leave the text. False when refused.
bool KillBytes(Editor& ed, Pos p, size_t n);

// ---- Undo recording (kept in step by MakeRoom and RemoveBytes; in-place changes call them).
void ClearUndo(Editor& ed);
void RecordInsertion(Editor& ed, Pos p, size_t n);
// False (ErrorNumber set, nothing recorded) when a deletion that needs a whole-text snapshot cannot
// have one.
[[nodiscard]] bool RecordDeletion(Editor& ed, Pos p, size_t n);
void RecordOverwrite(Editor& ed, Pos p);
void RecordSwap(Editor& ed, Pos p);
// The change recorded next is taken back by the same undo as the one recorded before it.
void RecordJoin(Editor& ed);
// Lets go of the snapshot's file or copy.
void RemoveSnapshotFile(Editor& ed);

// ---- Commands: cursor moves.
void CharLeft(Editor& ed);
void CharRight(Editor& ed);
void LineUp(Editor& ed);
void LineDown(Editor& ed);
void LineStart(Editor& ed);
void LineEnd(Editor& ed);
void FirstNonBlank(Editor& ed);
void PageUp(Editor& ed);
void PageDown(Editor& ed);
void HalfPageUp(Editor& ed);
void HalfPageDown(Editor& ed);
void ScrollUp(Editor& ed);
void ScrollDown(Editor& ed);
void WordLeft(Editor& ed);
void WordRight(Editor& ed);
void WordEnd(Editor& ed);
void WindowTop(Editor& ed);
void WindowMiddle(Editor& ed);
void WindowBottom(Editor& ed);
void GoTextStart(Editor& ed);
void GoTextEnd(Editor& ed);
void ViGoFirstLine(Editor& ed);
void GoLine(Editor& ed);
void GoLineNumber(Editor& ed, uint64_t n);  // start of line n (n >= 1), or of the last line
void GoBlockBegin(Editor& ed);
void GoBlockEnd(Editor& ed);
void LastFind(Editor& ed);
void PreviousPosition(Editor& ed);
void CenterLine(Editor& ed);
void ViCenterLine(Editor& ed);
void ExchangeMark(Editor& ed);

// ---- Commands: typing.
void InsertChar(Editor& ed);  // types the key being dispatched (LastKeyByte and KeyTail)
void TypeByte(Editor& ed, uint8_t c);
// Types the n bytes of one key: a character in one step (one undo record; in overwrite mode it takes
// the place of one whole character), or, when they are not one code point, each byte as a key.
void TypeKey(Editor& ed, const uint8_t* s, size_t n);
void ToggleInsert(Editor& ed);
void NewLine(Editor& ed);
void NewLineNoIndent(Editor& ed);

// Keys typed ahead are taken together: their bytes gather in a run and go into the text with one
// move of the tail, while each key leaves the undo record, line count and window row that typing it
// alone would. Only keys that insert at the cursor without asking anything join a run.
enum class TypedKey : uint8_t { Char, Break, BreakNoIndent };  // Break copies the line's indent
struct TypedRun {
    Pos at = 0;  // the cursor when the run began; the cursor stays there until the run is finished
    size_t length = 0;
    uint8_t bytes[8192];
};
// Adds the key being dispatched to the run; false, with nothing changed, when the run or the buffer
// lacks the room (the caller then finishes the run and types the key the ordinary way).
bool AddTypedKey(Editor& ed, TypedRun& run, TypedKey kind);
// Puts the run into the text at its place and the cursor behind it.
void FinishTypedRun(Editor& ed, TypedRun& run);
// Puts n bytes in at the cursor as they are, as one change (one undo takes them all back), the cursor
// behind them. False, with ErrorNumber 12 and nothing changed, when the room is missing.
[[nodiscard]] bool PasteText(Editor& ed, const uint8_t* text, size_t n);
void OpenLine(Editor& ed);
void QuotedInsert(Editor& ed);
void ViReplaceChar(Editor& ed);
void TransposeChars(Editor& ed);

// ---- Commands: deletions.
void DeleteChar(Editor& ed);
void DeleteLeft(Editor& ed);
void DeleteWord(Editor& ed);
void DeleteLine(Editor& ed);
void KillLine(Editor& ed);
void DeleteToLineEnd(Editor& ed);
void DeleteToLineStart(Editor& ed);
void JoinLines(Editor& ed);

// ---- Commands: blocks, region and clipboard.
void MarkBlockBegin(Editor& ed);
void MarkBlockEnd(Editor& ed);
void ToggleBlock(Editor& ed);
void CopyBlock(Editor& ed);
void MoveBlock(Editor& ed);
void DeleteBlock(Editor& ed);
void SetMark(Editor& ed);
void CopyRegion(Editor& ed);
void CutRegion(Editor& ed);
void Paste(Editor& ed);
void SelectAll(Editor& ed);

// ---- Search.
// Byte equality of the finds: bytes from 65 up are ANDed with caseMask (0xDF ignores case, 0xFF keeps it).
inline uint8_t FoldCase(uint8_t c, uint8_t caseMask) { return c >= 65 ? uint8_t(c & caseMask) : c; }
// Start of the nearest occurrence of the n bytes at s (n >= 1) that lies wholly inside the text, looking
// from `from` in steps of `step` (+1 or -1), `from` itself excluded; 0 when there is none. `wrap` (forward
// only) goes on from TextStart and gives up on coming back to `from`.
// When lineFeeds is given it receives the line feeds from `from` up to an occurrence found ahead
// without wrapping, else kNotCounted.
inline constexpr uint64_t kNotCounted = ~uint64_t(0);
Pos FindOccurrence(const Editor& ed, Pos from, const uint8_t* s, size_t n, int step, uint8_t caseMask,
                   bool wrap, uint64_t* lineFeeds = nullptr);

// ---- Commands: search and replace.
void Find(Editor& ed);
void Replace(Editor& ed);
void FindForward(Editor& ed);
void FindBackward(Editor& ed);
void RepeatFind(Editor& ed);
void FindForwardExact(Editor& ed);
void FindBackwardExact(Editor& ed);
void ReplaceForward(Editor& ed);
void RepeatReplace(Editor& ed);

// ---- Commands: undo.
void Undo(Editor& ed);

// ---- Commands: vi.
void ViInsert(Editor& ed);
void ViAppend(Editor& ed);
void ViAppendLineEnd(Editor& ed);
void ViInsertLineStart(Editor& ed);
void ViOpenBelow(Editor& ed);
void ViOpenAbove(Editor& ed);
void ViReplaceMode(Editor& ed);
void ViDelete(Editor& ed);
void ViYank(Editor& ed);
void ViSetMark(Editor& ed);
void ViGoMark(Editor& ed);
void PasteAfter(Editor& ed);
void PasteBefore(Editor& ed);
void ViDeleteToLineEnd(Editor& ed);
void ViChangeToLineEnd(Editor& ed);
void ViSubstituteLine(Editor& ed);
void ViZZ(Editor& ed);

// ---- Commands: files and exit.
void Save(Editor& ed);
void SaveAs(Editor& ed);
void SaveAndQuit(Editor& ed);
void Quit(Editor& ed);
void SaveAndLoad(Editor& ed);
void LoadNew(Editor& ed);
void InsertFile(Editor& ed);
void WriteBlock(Editor& ed);
// Saves when changed; true when the text is safe on disk (ChangedMark blank afterwards). When the file
// changed on disk since it was loaded or saved, "FILE CHANGED, SAVE? Yn" asks first unless `ask` is
// false; a no or the cancel key writes nothing and gives false.
bool SaveIfChanged(Editor& ed, bool ask = true);
// Saves the text under `name`, which becomes the file's name; on failure the old name and mark stay.
bool SaveUnderName(Editor& ed, const char* name);
