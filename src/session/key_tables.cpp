#include "session/key_tables.hpp"

#include "buffer/buffer.hpp"
#include "calc/calc.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

// Every table is built by assigning key by key over a default, so a missing row cannot shift the
// rows after it.

// One row per command, in command-number order; Row() also records that the number was given.
struct CommandRows {
    std::array<Handler, kCommandCount> handlers{};
    std::array<bool, kCommandCount> given{};
    constexpr void Row(uint8_t id, Handler h) {
        handlers[id] = h;
        given[id] = true;
    }
};

static consteval CommandRows MakeCommands() {
    CommandRows t;
    t.Row(cmd::LineStart, LineStart);
    t.Row(cmd::LineUp, LineUp);
    t.Row(cmd::PageUp, PageUp);
    t.Row(cmd::CharLeft, CharLeft);
    t.Row(cmd::CharRight, CharRight);
    t.Row(cmd::LineEnd, LineEnd);
    t.Row(cmd::LineDown, LineDown);
    t.Row(cmd::PageDown, PageDown);
    t.Row(cmd::ToggleInsert, ToggleInsert);
    t.Row(cmd::DeleteChar, DeleteChar);
    t.Row(cmd::NoOp, NoOp);
    t.Row(cmd::Quit, Quit);
    t.Row(cmd::Save, Save);
    t.Row(cmd::SaveAndLoad, SaveAndLoad);
    t.Row(cmd::GoTextStart, GoTextStart);
    t.Row(cmd::GoTextEnd, GoTextEnd);
    t.Row(cmd::InsertFile, InsertFile);
    t.Row(cmd::GoLine, GoLine);
    t.Row(cmd::WordLeft, WordLeft);
    t.Row(cmd::WordRight, WordRight);
    t.Row(cmd::MarkBlockEnd, MarkBlockEnd);
    t.Row(cmd::CopyBlock, CopyBlock);
    t.Row(cmd::SaveAndQuit, SaveAndQuit);
    t.Row(cmd::DeleteToLineStart, DeleteToLineStart);
    t.Row(cmd::PreviousPosition, PreviousPosition);
    t.Row(cmd::DeleteBlock, DeleteBlock);
    t.Row(cmd::Replace, Replace);
    t.Row(cmd::Find, Find);
    t.Row(cmd::LastFind, LastFind);
    t.Row(cmd::ToggleBlock, ToggleBlock);
    t.Row(cmd::WindowTop, WindowTop);
    t.Row(cmd::WindowBottom, WindowBottom);
    t.Row(cmd::GoBlockBegin, GoBlockBegin);
    t.Row(cmd::GoBlockEnd, GoBlockEnd);
    t.Row(cmd::DeleteToLineEnd, DeleteToLineEnd);
    t.Row(cmd::MoveBlock, MoveBlock);
    t.Row(cmd::MarkBlockBegin, MarkBlockBegin);
    t.Row(cmd::WriteBlock, WriteBlock);
    t.Row(cmd::ExchangeMark, ExchangeMark);
    t.Row(cmd::CopyRegion, CopyRegion);
    t.Row(cmd::ReplaceForward, ReplaceForward);
    t.Row(cmd::SaveAs, SaveAs);
    t.Row(cmd::DeleteWord, DeleteWord);
    t.Row(cmd::ViInsert, ViInsert);
    t.Row(cmd::ExCommand, ExCommand);
    t.Row(cmd::ViAppend, ViAppend);
    t.Row(cmd::ViAppendLineEnd, ViAppendLineEnd);
    t.Row(cmd::ViOpenBelow, ViOpenBelow);
    t.Row(cmd::WindowTop2, WindowTop);
    t.Row(cmd::WindowBottom2, WindowBottom);
    t.Row(cmd::ViOpenAbove, ViOpenAbove);
    t.Row(cmd::ViInsertLineStart, ViInsertLineStart);
    t.Row(cmd::ViReplaceMode, ViReplaceMode);
    t.Row(cmd::ViDelete, ViDelete);
    t.Row(cmd::HalfPageDown, HalfPageDown);
    t.Row(cmd::HalfPageUp, HalfPageUp);
    t.Row(cmd::FirstNonBlank, FirstNonBlank);
    t.Row(cmd::FindForwardExact, FindForwardExact);
    t.Row(cmd::FindBackwardExact, FindBackwardExact);
    t.Row(cmd::PasteAfter, PasteAfter);
    t.Row(cmd::PasteBefore, PasteBefore);
    t.Row(cmd::Help, Help);
    t.Row(cmd::SetMode, SetMode);
    t.Row(cmd::DeleteLeft, DeleteLeft);
    t.Row(cmd::ViSubstituteLine, ViSubstituteLine);
    t.Row(cmd::ViZZ, ViZZ);
    t.Row(cmd::ViCenterLine, ViCenterLine);
    t.Row(cmd::WordEnd, WordEnd);
    t.Row(cmd::ViGoFirstLine, ViGoFirstLine);
    t.Row(cmd::ViSetMark, ViSetMark);
    t.Row(cmd::ViYank, ViYank);
    t.Row(cmd::LoadNew, LoadNew);
    t.Row(cmd::SedPipe, SedPipe);
    t.Row(cmd::RepeatReplace, RepeatReplace);
    t.Row(cmd::ViReplaceChar, ViReplaceChar);
    t.Row(cmd::ViChangeToLineEnd, ViChangeToLineEnd);
    t.Row(cmd::ViDeleteToLineEnd, ViDeleteToLineEnd);
    t.Row(cmd::JoinLines, JoinLines);
    t.Row(cmd::Bell, Bell);
    t.Row(cmd::Calculate, Calculate);
    t.Row(cmd::ViGoMark, ViGoMark);
    t.Row(cmd::Suspend, Suspend);
    t.Row(cmd::WindowMiddle, WindowMiddle);
    t.Row(cmd::Undo, Undo);
    return t;
}
constexpr std::array<Handler, kCommandCount> kCommands = MakeCommands().handlers;

static consteval bool AllGiven() {
    for (bool g : MakeCommands().given)
        if (!g) return false;
    return true;
}
static_assert(AllGiven(), "every command number has its handler");

static consteval std::array<Handler, 32> EmptyMap() {
    std::array<Handler, 32> m{};
    m.fill(NoOp);  // unlisted slots do nothing
    return m;
}

static consteval std::array<Handler, 32> MakeWsControl() {
    auto m = EmptyMap();
    m[Ctrl('A')] = WordLeft;
    m[Ctrl('C')] = PageDown;
    m[Ctrl('D')] = CharRight;
    m[Ctrl('E')] = LineUp;
    m[Ctrl('F')] = WordRight;
    m[Ctrl('G')] = DeleteChar;
    m[Ctrl('H')] = DeleteLeft;
    m[Ctrl('I')] = InsertChar;
    m[Ctrl('J')] = Help;
    m[Ctrl('K')] = PrefixWsK;
    m[Ctrl('L')] = RepeatFind;
    m[Ctrl('M')] = NewLine;
    m[Ctrl('P')] = Help;
    m[Ctrl('Q')] = PrefixWsQ;
    m[Ctrl('R')] = PageUp;
    m[Ctrl('S')] = CharLeft;
    m[Ctrl('T')] = DeleteWord;
    m[Ctrl('U')] = Undo;
    m[Ctrl('V')] = ToggleInsert;
    m[Ctrl('W')] = ScrollUp;
    m[Ctrl('X')] = LineDown;
    m[Ctrl('Y')] = DeleteLine;
    m[Ctrl('Z')] = ScrollDown;
    return m;
}

static consteval std::array<Handler, 32> MakeEmacsControl() {
    auto m = EmptyMap();
    m[Ctrl('@')] = SetMark;  // also ctrl-space
    m[Ctrl('A')] = LineStart;
    m[Ctrl('B')] = CharLeft;
    m[Ctrl('D')] = DeleteChar;
    m[Ctrl('E')] = LineEnd;
    m[Ctrl('F')] = CharRight;
    m[Ctrl('H')] = DeleteLeft;
    m[Ctrl('I')] = InsertChar;
    m[Ctrl('J')] = NewLine;
    m[Ctrl('K')] = KillLine;
    m[Ctrl('L')] = CenterLine;
    m[Ctrl('M')] = NewLineNoIndent;
    m[Ctrl('N')] = LineDown;
    m[Ctrl('O')] = OpenLine;
    m[Ctrl('P')] = LineUp;
    m[Ctrl('Q')] = QuotedInsert;
    m[Ctrl('R')] = FindBackward;
    m[Ctrl('S')] = FindForward;
    m[Ctrl('T')] = TransposeChars;
    m[Ctrl('V')] = PageDown;
    m[Ctrl('W')] = CutRegion;
    m[Ctrl('X')] = PrefixEmacsX;
    m[Ctrl('Y')] = Paste;
    m[Ctrl('Z')] = Suspend;
    m[Ctrl('_')] = Undo;
    return m;
}

static consteval std::array<Handler, 32> MakePicoControl() {
    auto m = EmptyMap();
    m[Ctrl('@')] = SetMark;  // also ctrl-space
    m[Ctrl('A')] = LineStart;
    m[Ctrl('B')] = CharLeft;
    m[Ctrl('D')] = DeleteChar;
    m[Ctrl('E')] = LineEnd;
    m[Ctrl('F')] = CharRight;
    m[Ctrl('G')] = Help;
    m[Ctrl('H')] = DeleteLeft;
    m[Ctrl('I')] = InsertChar;
    m[Ctrl('J')] = PrefixPicoJ;
    m[Ctrl('K')] = CutRegion;
    m[Ctrl('L')] = SetMark;
    m[Ctrl('M')] = NewLine;
    m[Ctrl('N')] = LineDown;
    m[Ctrl('O')] = Save;
    m[Ctrl('P')] = LineUp;
    m[Ctrl('Q')] = PrefixPicoQ;
    m[Ctrl('R')] = InsertFile;
    m[Ctrl('S')] = SaveAs;
    m[Ctrl('T')] = ReplaceForward;
    m[Ctrl('U')] = Paste;
    m[Ctrl('V')] = PageDown;
    m[Ctrl('W')] = FindForward;
    m[Ctrl('X')] = Quit;
    m[Ctrl('Y')] = PageUp;
    m[Ctrl('Z')] = Suspend;
    m[Ctrl('^')] = SetMark;
    return m;
}

static consteval std::array<Handler, 32> MakeNeditControl() {
    auto m = EmptyMap();
    m[Ctrl('@')] = SetMark;  // also ctrl-space
    m[Ctrl('A')] = SelectAll;
    m[Ctrl('B')] = ToggleInsert;
    m[Ctrl('C')] = CopyRegion;
    m[Ctrl('E')] = SetMode;
    m[Ctrl('F')] = Find;
    m[Ctrl('G')] = RepeatFind;
    m[Ctrl('H')] = DeleteLeft;
    m[Ctrl('I')] = InsertChar;
    m[Ctrl('J')] = NewLine;
    m[Ctrl('K')] = Calculate;
    m[Ctrl('L')] = GoLine;
    m[Ctrl('M')] = NewLine;
    m[Ctrl('N')] = LoadNew;
    m[Ctrl('O')] = LoadNew;
    m[Ctrl('Q')] = Quit;
    m[Ctrl('R')] = Replace;
    m[Ctrl('S')] = Save;
    m[Ctrl('U')] = Undo;
    m[Ctrl('V')] = Paste;
    m[Ctrl('W')] = SaveAs;
    m[Ctrl('X')] = CutRegion;
    m[Ctrl('Z')] = Suspend;
    return m;
}

constexpr std::array<Handler, 32> kWsControl = MakeWsControl();
constexpr std::array<Handler, 32> kEmacsControl = MakeEmacsControl();
constexpr std::array<Handler, 32> kPicoControl = MakePicoControl();
constexpr std::array<Handler, 32> kNeditControl = MakeNeditControl();

// Prefix tables are indexed by the second key's low five bits: b, B and ^B are all entry 2.
static constexpr int P(char letter) { return letter & 0x1F; }

static consteval std::array<uint8_t, 27> EmptyPrefix() {
    std::array<uint8_t, 27> t{};
    t.fill(cmd::NoOp);
    return t;
}

static consteval std::array<uint8_t, 27> MakeWsK() {
    auto t = EmptyPrefix();
    t[P('B')] = cmd::MarkBlockBegin;
    t[P('C')] = cmd::CopyBlock;
    t[P('D')] = cmd::SaveAndLoad;
    t[P('H')] = cmd::ToggleBlock;
    t[P('K')] = cmd::MarkBlockEnd;
    t[P('M')] = cmd::SetMode;
    t[P('N')] = cmd::Calculate;
    t[P('P')] = cmd::SedPipe;
    t[P('Q')] = cmd::Quit;
    t[P('R')] = cmd::InsertFile;
    t[P('S')] = cmd::Save;
    t[P('V')] = cmd::MoveBlock;
    t[P('W')] = cmd::WriteBlock;
    t[P('X')] = cmd::SaveAndQuit;
    t[P('Y')] = cmd::DeleteBlock;
    t[P('Z')] = cmd::Suspend;
    return t;
}

static consteval std::array<uint8_t, 27> MakeWsQ() {
    auto t = EmptyPrefix();
    t[P('A')] = cmd::Replace;
    t[P('B')] = cmd::GoBlockBegin;
    t[P('C')] = cmd::GoTextEnd;
    t[P('D')] = cmd::LineEnd;
    t[P('E')] = cmd::WindowTop;
    t[P('F')] = cmd::Find;
    t[P('H')] = cmd::DeleteToLineStart;  // also ^Q Backspace: DEL reads as ^H
    t[P('I')] = cmd::GoLine;
    t[P('K')] = cmd::GoBlockEnd;
    t[P('P')] = cmd::PreviousPosition;
    t[P('R')] = cmd::GoTextStart;
    t[P('S')] = cmd::LineStart;
    t[P('V')] = cmd::LastFind;
    t[P('W')] = cmd::WordLeft;
    t[P('X')] = cmd::WindowBottom;
    t[P('Y')] = cmd::DeleteToLineEnd;
    t[P('Z')] = cmd::WordRight;
    return t;
}

static consteval std::array<uint8_t, 27> MakeEmacsX() {
    auto t = EmptyPrefix();
    t[P('C')] = cmd::Quit;
    t[P('F')] = cmd::LoadNew;
    t[P('H')] = cmd::Help;
    t[P('I')] = cmd::InsertFile;
    t[P('N')] = cmd::Calculate;
    t[P('P')] = cmd::SedPipe;
    t[P('S')] = cmd::Save;
    t[P('W')] = cmd::SaveAs;
    t[P('X')] = cmd::ExchangeMark;
    return t;
}

static consteval std::array<uint8_t, 27> MakePicoJ() {
    auto t = EmptyPrefix();
    t[P('H')] = cmd::DeleteToLineStart;
    t[P('L')] = cmd::DeleteToLineEnd;
    t[P('P')] = cmd::SedPipe;
    t[P('T')] = cmd::RepeatReplace;
    t[P('W')] = cmd::DeleteWord;
    return t;
}

static consteval std::array<uint8_t, 27> MakePicoQ() {
    auto t = EmptyPrefix();
    t[P('B')] = cmd::WindowBottom;
    t[P('C')] = cmd::Calculate;
    t[P('E')] = cmd::GoTextEnd;
    t[P('F')] = cmd::LastFind;
    t[P('L')] = cmd::GoLine;
    t[P('M')] = cmd::SetMode;
    t[P('N')] = cmd::WordRight;
    t[P('P')] = cmd::WordLeft;
    t[P('S')] = cmd::GoTextStart;
    t[P('T')] = cmd::WindowTop;
    t[P('U')] = cmd::Undo;
    return t;
}

constexpr std::array<uint8_t, 27> kWsKPrefix = MakeWsK();
constexpr std::array<uint8_t, 27> kWsQPrefix = MakeWsQ();
constexpr std::array<uint8_t, 27> kEmacsXPrefix = MakeEmacsX();
constexpr std::array<uint8_t, 27> kPicoJPrefix = MakePicoJ();
constexpr std::array<uint8_t, 27> kPicoQPrefix = MakePicoQ();

static consteval std::array<uint8_t, 124> MakeViCommandKeys() {
    std::array<uint8_t, 124> t{};
    t.fill(cmd::Bell);  // unbound keys ring the bell
    t[Ctrl('B')] = cmd::PageUp;
    t[Ctrl('D')] = cmd::HalfPageDown;
    t[Ctrl('F')] = cmd::PageDown;
    t[Ctrl('H')] = cmd::CharLeft;
    t[Ctrl('J')] = cmd::LineDown;
    t[Ctrl('M')] = cmd::LineDown;
    t[Ctrl('U')] = cmd::HalfPageUp;
    t[Ctrl('Z')] = cmd::Suspend;
    t[' '] = cmd::CharRight;
    t['#'] = cmd::Calculate;
    t['$'] = cmd::LineEnd;
    t['\''] = cmd::ViGoMark;
    t['+'] = cmd::LineDown;
    t['-'] = cmd::LineUp;
    t['/'] = cmd::FindForwardExact;
    t['0'] = cmd::LineStart;
    t['1'] = cmd::ViGoFirstLine;
    t[':'] = cmd::ExCommand;
    t[';'] = cmd::SetMode;
    t['?'] = cmd::FindBackwardExact;
    t['A'] = cmd::ViAppendLineEnd;
    t['B'] = cmd::WordLeft;
    t['C'] = cmd::ViChangeToLineEnd;
    t['D'] = cmd::ViDeleteToLineEnd;
    t['G'] = cmd::GoTextEnd;
    t['H'] = cmd::WindowTop2;
    t['I'] = cmd::ViInsertLineStart;
    t['J'] = cmd::JoinLines;
    t['L'] = cmd::WindowBottom2;
    t['M'] = cmd::WindowMiddle;
    t['O'] = cmd::ViOpenAbove;
    t['P'] = cmd::PasteBefore;
    t['R'] = cmd::ViReplaceMode;
    t['S'] = cmd::ViSubstituteLine;
    t['W'] = cmd::WordRight;
    t['X'] = cmd::DeleteLeft;
    t['Z'] = cmd::ViZZ;
    t['^'] = cmd::FirstNonBlank;
    t['a'] = cmd::ViAppend;
    t['b'] = cmd::WordLeft;
    t['d'] = cmd::ViDelete;
    t['e'] = cmd::WordEnd;
    t['h'] = cmd::CharLeft;
    t['i'] = cmd::ViInsert;
    t['j'] = cmd::LineDown;
    t['k'] = cmd::LineUp;
    t['l'] = cmd::CharRight;
    t['m'] = cmd::ViSetMark;
    t['o'] = cmd::ViOpenBelow;
    t['p'] = cmd::PasteAfter;
    t['r'] = cmd::ViReplaceChar;
    t['u'] = cmd::Undo;
    t['w'] = cmd::WordRight;
    t['x'] = cmd::DeleteChar;
    t['y'] = cmd::ViYank;
    t['z'] = cmd::ViCenterLine;
    t['{'] = cmd::NoOp;
    return t;
}
constexpr std::array<uint8_t, 124> kViCommandKeys = MakeViCommandKeys();

static consteval std::array<uint8_t, 24> MakeEmacsAlt() {
    std::array<uint8_t, 24> t{};
    t.fill(cmd::NoOp);
    auto at = [&t](char letter, uint8_t id) { t[letter - 'B'] = id; };
    at('B', cmd::WordLeft);
    at('F', cmd::WordRight);
    at('G', cmd::GoLine);
    at('H', cmd::Help);
    at('V', cmd::PageUp);
    at('W', cmd::CopyRegion);
    at('X', cmd::SetMode);
    at('Y', cmd::Bell);
    return t;
}
constexpr std::array<uint8_t, 24> kEmacsAltKeys = MakeEmacsAlt();

constexpr std::array<uint8_t, 18> kCursorKeys = {
    cmd::NoOp,          // ESC [ 0 ~
    cmd::LineStart,     // ESC [ 1 ~  Home
    cmd::ToggleInsert,  // ESC [ 2 ~  Ins
    cmd::DeleteChar,    // ESC [ 3 ~  Del
    cmd::LineEnd,       // ESC [ 4 ~  End
    cmd::PageUp,        // ESC [ 5 ~  PgUp
    cmd::PageDown,      // ESC [ 6 ~  PgDn
    cmd::LineStart,     // ESC [ 7 ~
    cmd::LineEnd,       // ESC [ 8 ~
    cmd::LineUp,        // ESC [ A
    cmd::LineDown,      // ESC [ B
    cmd::CharRight,     // ESC [ C
    cmd::CharLeft,      // ESC [ D
    cmd::NoOp,          // ESC [ E
    cmd::LineEnd,       // ESC [ F
    cmd::PageDown,      // ESC [ G
    cmd::LineStart,     // ESC [ H
    cmd::WordLeft,      // ESC [ I
};

const std::array<Handler, 32>* ControlMapFor(uint8_t mode) {
    switch (mode) {
        case EMACS:
            return &kEmacsControl;
        case PICO:
            return &kPicoControl;
        case NEDIT:
            return &kNeditControl;
        case VI:
            return nullptr;
        default:
            return &kWsControl;
    }
}
