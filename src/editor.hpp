// The editor's whole state, in one object a test can make fresh, and the few types every folder shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "session/system.hpp"
#include "session/terminal.hpp"

// A byte position in the edit buffer. 0 means "unset": the leading line feed sits at 0, so no text byte
// ever has position 0.
using Pos = size_t;

enum Mode : uint8_t { WS = 1, EMACS = 2, PICO = 4, VI = 8, NEDIT = 16 };

inline constexpr uint8_t kInsert = 1;        // InsertMode: insert
inline constexpr uint8_t kOverwrite = 0xFE;  // InsertMode: overwrite (~1)

inline constexpr uint64_t kDefaultCapacity = 102400;
// Undo records hold 32-bit offsets, so text plus kill buffer stays below 4 GiB.
inline constexpr uint64_t kMaxCapacity = 0xFFFFFFFFull;

// Error numbers the editor stores itself; the message table follows the system's numbering.
namespace err {
inline constexpr int kNoSuchName = 2;
inline constexpr int kIoError = 5;
inline constexpr int kNoMemory = 12;
inline constexpr int kFileExists = 17;
inline constexpr int kIsDirectory = 21;
inline constexpr int kInvalid = 22;
inline constexpr int kTooLarge = 27;
inline constexpr int kNoSpace = 28;
inline constexpr int kNameTooLong = 36;
inline constexpr int kTooManyLinks = 40;
}  // namespace err

inline constexpr int kMaxRows = 255;
inline constexpr int kMaxColumns = 255;

// What a file name was on disk when the file was loaded or last saved. A link is remembered with the
// file it led to; no file at all is None.
enum class DiskKind : uint8_t { None, Regular, Link, Other };
struct DiskFile {
    DiskKind kind = DiskKind::None;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modSeconds = 0;
    long modNanoseconds = 0;
    bool operator==(const DiskFile&) const = default;
};

struct ScreenPos {
    int row = 0;
    int col = 0;
};

// A decoded key: a plain byte (command < 0) or a command number (byte reads 0); or the start of a
// bracketed paste, whose text follows up to its closing marker.
struct Key {
    int command = -1;
    uint8_t byte = 0;
    bool paste = false;
    bool IsCommand() const { return command >= 0; }
};

// What one cell of the terminal shows besides its character. Unknown (0) after the screen was handed
// to someone else or resized, so that it differs from every cell the editor composes.
enum CellAttr : uint8_t {
    kAttrUnknown = 0,
    kAttrPlain = 1,
    kAttrBold = 2,
    kAttrReverse = 3,
    kAttrStatus = 4
};

// A screen cell holds one character as the terminal draws it. The first four of its bytes are packed
// in the glyph, byte 0 lowest and unused bytes 0 (no character is drawn with a zero byte); up to
// kCellExtra more lie aside. The info byte holds the CellAttr in its low bits and the count of bytes
// aside above them. Glyph 0 is the second cell of a wide character. Combining marks beyond the cell's
// room are left out of the drawing.
inline constexpr int kCellExtra = 16;
inline constexpr int kCellBytes = 4 + kCellExtra;
inline constexpr uint8_t kAttrBits = 7;
inline constexpr int kExtraShift = 3;
inline constexpr uint32_t kRightHalf = 0;

// N cells side by side.
template <size_t N>
struct Cells {
    uint32_t Glyph[N];
    uint8_t Info[N];
};
// A screen's rows: row r of a screen C columns wide is cells r * C on.
inline constexpr size_t kGridCells = size_t(kMaxRows + 1) * kMaxColumns;
// The bytes of one row of cells at a width: the glyphs, then the attribute bytes, padded for the next
// row's glyphs.
constexpr size_t RowCellBytes(int columns) {
    return size_t(columns) * 4 + ((size_t(columns) + 3) & ~size_t(3));
}
// The bytes aside of every cell, those of Frame, of Shown and of the status row in this order. Only
// characters with marks need them, so they are reserved apart, at the first refresh in a UTF-8 locale.
inline constexpr size_t kExtraCells = 2 * kGridCells + kMaxColumns;

// What the status row shows while the editor waits for a key, so that a window change can draw it
// again: the status line, a pending prefix over it, a question or message over it, or a prompt.
enum class StatusRow : uint8_t { Line, Prefix, Message, Prompt };
struct StatusWait {
    StatusRow shows = StatusRow::Line;
    const char* text = nullptr;   // the prefix, the message or the prompt
    const char* entry = nullptr;  // a prompt's entry so far
    size_t entryLength = 0;
    ScreenPos window = {};  // a prompt's: the CursorScreenPos the text window is drawn from
};

// What the terminal named by TERM is known to do besides moving the cursor, colours, erasing and the
// scroll region: a Shifting one inserts and deletes characters and lines itself.
enum class TermKind : uint8_t { Unknown, Shifting };

// Output of a refresh is gathered here and written at once.
inline constexpr size_t kOutputSize = 16384;

struct Screen {
    int TextRows = 23;          // terminal rows - 1; 0 on a one-row terminal
    int Columns = 80;           // 1..255
    ScreenPos CursorScreenPos;  // decides the window's top line; overwritten by every refresh
    ScreenPos DrawnCursorPos;   // where the last refresh drew the cursor cell
    uint64_t CursorColumn = 0;
    uint64_t HorizontalOffset = 0;
    bool SizeKnown = false;
    int TermRow = -1;  // the terminal cursor; -1 when its place is not known
    int TermCol = -1;
    uint8_t TermAttr = kAttrUnknown;  // the attribute in force
    int RegionRows = 0;               // the terminal scrolls rows 0..RegionRows-1 only; 0 = the whole screen
    TermKind Kind = TermKind::Unknown;    // from TERM
    ScreenPos WantedCursor;               // where the terminal cursor goes before the output is written
    bool FramePending = false;            // Frame holds rows composed and not yet sent
    int FrameRows = 0, FrameColumns = 0;  // the size Frame was composed for
    bool ScreenUnknown = true;            // nothing the terminal shows is known: clear it before drawing
    bool StatusPending = false;           // Status holds a status line composed and not yet sent
    int StatusWidth = 0;                  // the cells of Status in use: the width it was composed for
    size_t OutLength = 0;
    // A place in Out where the terminal cursor stood on DrawnCursorPos with plain attributes: the
    // flush may save the cursor there (ESC 7) and come back to it at the end (ESC 8).
    bool ReturnPlaceSet = false;
    // The cells the last row sent was shifted by: the rows of a window moved sideways all shift alike, so
    // the next row tries that shift first.
    int LastShift = 0;
    size_t ReturnPlaceAt = 0;
    ScreenPos ReturnPlace;
    // Where the terminal's cursor was last saved (ESC 7), always with plain attributes; known until the
    // terminal is handed to someone else or changes size. ESC 8 goes back there in two bytes.
    bool SavedPlaceKnown = false;
    ScreenPos SavedPlace;
    // The last frame's rows are Out from FrameStartAt to FrameEndAt, sent from the saved place with
    // plain attributes, and nothing has gone out after them: the status row may still go out before
    // them, with ESC 8 between.
    bool FrameFromSavedPlace = false;
    size_t FrameStartAt = 0, FrameEndAt = 0;
    StatusWait Waiting;
    uint8_t (*Extra)[kCellExtra] = nullptr;  // kExtraCells of them once reserved

    // What each text row of Frame was composed from: a refresh composes again only the rows whose text
    // changed or that look different, and takes the others as they are. The rows were composed with
    // KeptOffset, KeptUtf8 and no highlighted region, the cursor on KeptCursorRow (-1: none), from a text
    // ending at KeptTextEnd.
    struct KeptRow {
        Pos start, next;  // the line the row shows, and the start of the one after it
        bool valid;       // false for a row that showed the end of the text, or none
        // Places of the line and their columns, from where the hidden part of the row is skipped while
        // the line stays as it was: where it ended, and a place a few columns before the window's left
        // edge (so that a window moved back left still starts there).
        Pos edgeAt, skipAt;
        uint64_t edgeColumn, skipColumn;
        // The terminal shows the row as Frame holds it: a row taken as it is then needs no look.
        bool onTerminal;
    };
    uint64_t KeptOffset = 0;
    bool KeptUtf8 = false;
    bool KeptRegion = false;
    int KeptCursorRow = -1;
    Pos KeptTextEnd = 0;

    // The large arrays come last and have no initializer: Editor's constructor clears them, and the small
    // fields before them share few pages. Each is used from its start, the less the smaller the screen,
    // and those a start-up writes come first.
    Cells<kMaxColumns> Status;  // the status row as last composed (prompts, messages)
    KeptRow Kept[kMaxRows];
    uint8_t Out[kOutputSize];
    // Two grids of cells, row by row side by side, RowCellBytes(Columns) bytes each (FrameRow, ShownRow):
    // the text rows one refresh composed, top row first, before any of them is sent (Frame), and what
    // the terminal shows, the status row included as row TextRows (Shown). Rows are sent as the cells
    // that differ between the two.
    alignas(4) uint8_t Grids[2 * (kMaxRows + 1) * RowCellBytes(kMaxColumns)];
};

// Fixed undo stack: 65,536 bytes, records of 32-bit words (filled in by the undo code).
inline constexpr size_t kUndoStackSize = 65536;
struct UndoState {
    size_t UndoTop = 4;
    bool Undoing = false;
    size_t SnapshotRecord = 0;  // 0 = none
    // The text of SnapshotRecord: an unnamed file (-1 = none), or where no file takes it, a copy in
    // memory of SnapshotCopySize bytes. At most one of them is held.
    int SnapshotFd = -1;
    uint8_t* SnapshotCopy = nullptr;
    size_t SnapshotCopySize = 0;
    // The largest copy memory may hold: a snapshot larger than that and kept out of every file is refused.
    uint64_t CopyLimit = kMaxCapacity;
    uint8_t* Stack = nullptr;  // kUndoStackSize bytes, the editor's last array
};

// What the help page took away while it is shown: the start of the text and the cursor state.
inline constexpr size_t kHelpSaveSize = 1024;
struct HelpState {
    bool active = false;
    uint8_t saved[kHelpSaveSize] = {};
    ScreenPos drawn;
    size_t cursor = 0, textEnd = 0;
    uint8_t blockVisible = 0;
};

// Said by the one editor that lives in static storage, which starts all zero: its large arrays are then
// left as they are, so their pages are not touched before a row or an undo record needs them.
enum class ZeroedStorage { kYes };

struct Editor {
    explicit Editor(Terminal& t) : term(t) { ClearLargeArrays(); }
    Editor(Terminal& t, ZeroedStorage) : term(t) {}
    ~Editor();
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    Terminal& term;
    SystemCalls sys;  // sys.ErrorNumber is the editor's ErrorNumber

    // Edit buffer: [0] leading line feed, text TextStart..TextEnd-1, closing line feed at TextEnd. A gap
    // of GapSize free bytes lies at GapAt, a line start: the text before it sits at buf, the text from it
    // on GapSize bytes behind its positions. The rest of the text's part (textRoom bytes) lies free behind
    // the text; the kill buffer has a part of its own after it. One reservation per load, never moved while
    // editing; only the buffer's own code reads it directly.
    uint8_t* buf = nullptr;
    size_t reserved = 0;  // bytes mapped at buf
    size_t textRoom = 0;
    Pos GapAt = ~Pos(0);  // beyond TextEnd: no gap, the text is one run
    size_t GapSize = 0;
    uint8_t* kill = nullptr;
    Pos TextStart = 1;
    Pos TextEnd = 1;
    Pos Cursor = 1;
    uint64_t BufferCapacity = kDefaultCapacity;
    uint64_t LineNumber = 1;
    bool RecountLines = false;
    uint64_t WantedColumn = 0;
    Pos CommandCursor = 1;
    Pos PrevCursor = 1;
    uint8_t ChangedMark = ' ';
    // A change was refused for want of room or of an undo copy (ErrorNumber says which): the command's
    // end reports it, as the buffer's primitives never wait for a key.
    bool ErrorPending = false;

    // Block (WS, vi marker a) and mark (EMACS, PICO, NEDIT).
    Pos BlockBegin = 0;
    Pos BlockEnd = 0;
    Pos Mark = 0;
    uint8_t BlockVisible = 1;

    // Kill buffer, at kill.
    size_t KillLength = 0;
    Pos KillSource = 0;
    bool KillAppend = false;
    bool PasteByChars = false;

    uint8_t EditMode = WS;
    uint8_t InsertMode = kInsert;
    uint8_t ViCommandState = 1;  // 1 command, 0 insert, 2 while a prompt reads
    uint8_t ExitRequest = 0;     // 0 edit on, 1 leave, 2 load another file
    uint8_t ExitStatus = 0;      // what the editor leaves with when ExitRequest is 1
    uint8_t ConsoleVariant = 0;  // 4 on the Linux console
    bool Utf8 = false;           // a UTF-8 locale: the text is read as characters
    uint8_t PushedBackKey = 0;   // vi only, 0 = none
    // A read result taken too early (while gathering typed-ahead keys, or the ESC that broke off an
    // escape sequence): the next key read gets it, a negative one (end of input, a signal) included.
    bool HasReadAhead = false;
    int ReadAhead = 0;
    uint8_t LastKeyByte = 0;  // the plain byte being dispatched (what InsertChar types)
    // In a UTF-8 locale, the continuation bytes that arrived with it: one character, typed whole.
    uint8_t KeyTail[3] = {};
    uint8_t KeyTailLength = 0;
    bool RepeatSearch = false;
    uint8_t LastFindKind = 0;  // 0 none, 1 find, 2 find and replace
    Pos LastFindPos = 0;
    // Search state kept between a find and its repeats.
    uint32_t SearchLength = 0;   // bytes a replacement takes out
    uint32_t ReplaceLength = 0;  // bytes it puts in
    int SearchStep = 1;          // +1 forward, -1 backward
    uint8_t CaseMask = 0xDF;     // bytes from 65 up are ANDed with it: 0xDF ignores case, 0xFF keeps it
    Pos WrapOrigin = 0;          // PICO and vi: where the current search began
    double LastResult = 0;       // the calculator's r; kept across loads

    // Entry buffers of the prompts.
    char FileName[256] = {};
    char NewFileName[256] = {};
    char SearchText[512] = {};
    char ReplaceText[256] = {};
    char CommandText[128] = {};

    // What the last load learnt about the file, for the save.
    uint32_t FileMode = 0644;
    uint32_t FileUid = 0xFFFFFFFF;  // unchanged
    uint32_t FileGid = 0xFFFFFFFF;
    time_t FileModTime = 0;
    bool FileExisted = false;
    DiskFile Disk;  // compared with the disk before every save

    char ErrorText[100] = "ERROR   ";

    HelpState help;

    // Where the pipe filter finds sed; the tests point it at a stand-in.
    const char* SedPath = "/bin/sed";
    // The last place tried for a file without a name, after the current directory and $TMPDIR.
    const char* TempDir = "/tmp";

    // Leaves the process; the tests replace it so that a lost terminal ends the test instead.
    // It must not return.
    void (*Exit)(Editor&, int status) = nullptr;

    // The cell columns of the last two places asked about, kept by ColumnOf so that the next question
    // about a place near one of them on the same line does not count the line from its start again (in
    // a UTF-8 locale, where that means decoding it). The refresh asks about the cursor and a place
    // before it, so a deletion just before the cursor leaves the other standing. A cache, so a query
    // may keep it; every change before a place drops that place.
    struct ColumnMemo {
        Pos lineStart = 0;
        Pos at = 0;  // 0: none
        uint64_t column = 0;
    };
    mutable ColumnMemo columnMemo[2];  // the latest first

    // What changed in the text since the rows on the screen were composed: nothing before ChangedFrom,
    // and nothing of the last TailKept bytes before the closing line feed (which may have moved).
    Pos ChangedFrom = 0;
    size_t TailKept = 0;

    UndoState undo{.Stack = undoStack};
    // Last, as it ends in its large arrays; the undo records' after them.
    Screen screen;
    uint8_t undoStack[kUndoStackSize];

    Pos TextLength() const { return TextEnd - TextStart; }

private:
    // The arrays that have no initializer of their own, so that a constructor may skip them.
    void ClearLargeArrays() {
        // The bytes aside (Extra) are read only where a cell counts some, so they are left as they are.
        std::memset(screen.Grids, 0, sizeof screen.Grids);
        std::memset(screen.Status.Glyph, 0, sizeof screen.Status.Glyph);
        std::memset(screen.Status.Info, 0, sizeof screen.Status.Info);
        std::memset(screen.Out, 0, sizeof screen.Out);
        std::memset(screen.Kept, 0, sizeof screen.Kept);
        std::memset(undoStack, 0, sizeof undoStack);
    }
};

using Handler = void (*)(Editor&);
