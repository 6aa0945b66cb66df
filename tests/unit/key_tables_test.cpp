// Every binding table, slot by slot, against the binding lists as the user's manual gives them.
#include "session/key_tables.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "buffer/buffer.hpp"
#include "calc/calc.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

using ControlRows = std::map<char, Handler>;  // key letter ('@', 'A'..'Z', '^', '_') to handler

void ExpectControlMap(const char* name, const std::array<Handler, 32>& map, const ControlRows& rows) {
    for (int slot = 0; slot < 32; ++slot) {
        auto it = rows.find(char('@' + slot));
        Handler want = it == rows.end() ? Handler(NoOp) : it->second;
        EXPECT_EQ(map[slot], want) << name << " ^" << char('@' + slot);
    }
}

using IdRows = std::map<int, int>;  // key to CommandId

void ExpectIds(const char* name, const uint8_t* table, int size, int first, const IdRows& rows,
               int unlisted) {
    for (int i = 0; i < size; ++i) {
        auto it = rows.find(first + i);
        int want = it == rows.end() ? unlisted : it->second;
        EXPECT_EQ(int(table[i]), want) << name << " key " << first + i;
    }
}

TEST(KeyTables, CommandTableInIdOrder) {
    const Handler want[kCommandCount] = {
        LineStart,
        LineUp,
        PageUp,
        CharLeft,
        CharRight,
        LineEnd,
        LineDown,
        PageDown,
        ToggleInsert,
        DeleteChar,
        NoOp,
        Quit,
        Save,
        SaveAndLoad,
        GoTextStart,
        GoTextEnd,
        InsertFile,
        GoLine,
        WordLeft,
        WordRight,
        MarkBlockEnd,
        CopyBlock,
        SaveAndQuit,
        DeleteToLineStart,
        PreviousPosition,
        DeleteBlock,
        Replace,
        Find,
        LastFind,
        ToggleBlock,
        WindowTop,
        WindowBottom,
        GoBlockBegin,
        GoBlockEnd,
        DeleteToLineEnd,
        MoveBlock,
        MarkBlockBegin,
        WriteBlock,
        ExchangeMark,
        CopyRegion,
        ReplaceForward,
        SaveAs,
        DeleteWord,
        ViInsert,
        ExCommand,
        ViAppend,
        ViAppendLineEnd,
        ViOpenBelow,
        WindowTop,
        WindowBottom,
        ViOpenAbove,
        ViInsertLineStart,
        ViReplaceMode,
        ViDelete,
        HalfPageDown,
        HalfPageUp,
        FirstNonBlank,
        FindForwardExact,
        FindBackwardExact,
        PasteAfter,
        PasteBefore,
        Help,
        SetMode,
        DeleteLeft,
        ViSubstituteLine,
        ViZZ,
        ViCenterLine,
        WordEnd,
        ViGoFirstLine,
        ViSetMark,
        ViYank,
        LoadNew,
        SedPipe,
        RepeatReplace,
        ViReplaceChar,
        ViChangeToLineEnd,
        ViDeleteToLineEnd,
        JoinLines,
        Bell,
        Calculate,
        ViGoMark,
        Suspend,
        WindowMiddle,
        Undo,
    };
    for (int id = 0; id < kCommandCount; ++id) EXPECT_EQ(kCommands[id], want[id]) << "command " << id;
}

TEST(KeyTables, ControlKeyMaps) {
    ExpectControlMap(
        "WS", kWsControl,
        {{'A', WordLeft},   {'C', PageDown},   {'D', CharRight},  {'E', LineUp},       {'F', WordRight},
         {'G', DeleteChar}, {'H', DeleteLeft}, {'I', InsertChar}, {'J', Help},         {'K', PrefixWsK},
         {'L', RepeatFind}, {'M', NewLine},    {'P', Help},       {'Q', PrefixWsQ},    {'R', PageUp},
         {'S', CharLeft},   {'T', DeleteWord}, {'U', Undo},       {'V', ToggleInsert}, {'W', ScrollUp},
         {'X', LineDown},   {'Y', DeleteLine}, {'Z', ScrollDown}});
    ExpectControlMap("EMACS", kEmacsControl,
                     {{'@', SetMark},      {'A', LineStart},    {'B', CharLeft},       {'D', DeleteChar},
                      {'E', LineEnd},      {'F', CharRight},    {'H', DeleteLeft},     {'I', InsertChar},
                      {'J', NewLine},      {'K', KillLine},     {'L', CenterLine},     {'M', NewLineNoIndent},
                      {'N', LineDown},     {'O', OpenLine},     {'P', LineUp},         {'Q', QuotedInsert},
                      {'R', FindBackward}, {'S', FindForward},  {'T', TransposeChars}, {'V', PageDown},
                      {'W', CutRegion},    {'X', PrefixEmacsX}, {'Y', Paste},          {'Z', Suspend},
                      {'_', Undo}});
    ExpectControlMap(
        "PICO", kPicoControl,
        {{'@', SetMark},   {'A', LineStart},   {'B', CharLeft},    {'D', DeleteChar}, {'E', LineEnd},
         {'F', CharRight}, {'G', Help},        {'H', DeleteLeft},  {'I', InsertChar}, {'J', PrefixPicoJ},
         {'K', CutRegion}, {'L', SetMark},     {'M', NewLine},     {'N', LineDown},   {'O', Save},
         {'P', LineUp},    {'Q', PrefixPicoQ}, {'R', InsertFile},  {'S', SaveAs},     {'T', ReplaceForward},
         {'U', Paste},     {'V', PageDown},    {'W', FindForward}, {'X', Quit},       {'Y', PageUp},
         {'Z', Suspend},   {'^', SetMark}});
    ExpectControlMap(
        "NEDIT", kNeditControl,
        {{'@', SetMark},   {'A', SelectAll},  {'B', ToggleInsert}, {'C', CopyRegion}, {'E', SetMode},
         {'F', Find},      {'G', RepeatFind}, {'H', DeleteLeft},   {'I', InsertChar}, {'J', NewLine},
         {'K', Calculate}, {'L', GoLine},     {'M', NewLine},      {'N', LoadNew},    {'O', LoadNew},
         {'Q', Quit},      {'R', Replace},    {'S', Save},         {'U', Undo},       {'V', Paste},
         {'W', SaveAs},    {'X', CutRegion},  {'Z', Suspend}});
    EXPECT_EQ(ControlMapFor(WS), &kWsControl);
    EXPECT_EQ(ControlMapFor(EMACS), &kEmacsControl);
    EXPECT_EQ(ControlMapFor(PICO), &kPicoControl);
    EXPECT_EQ(ControlMapFor(NEDIT), &kNeditControl);
}

TEST(KeyTables, PrefixTables) {
    // Entry 0 is @ (and a decoded cursor key), 1 is A ... 26 is Z.
    auto rows = [](std::initializer_list<std::pair<char, int>> list) {
        IdRows r;
        for (auto& [letter, id] : list) r[letter - '@'] = id;
        return r;
    };
    ExpectIds("WS ^K", kWsKPrefix.data(), 27, 0,
              rows({{'B', 36},
                    {'C', 21},
                    {'D', 13},
                    {'H', 29},
                    {'K', 20},
                    {'M', 62},
                    {'N', 79},
                    {'P', 72},
                    {'Q', 11},
                    {'R', 16},
                    {'S', 12},
                    {'V', 35},
                    {'W', 37},
                    {'X', 22},
                    {'Y', 25},
                    {'Z', 81}}),
              10);
    ExpectIds("WS ^Q", kWsQPrefix.data(), 27, 0,
              rows({{'A', 26},
                    {'B', 32},
                    {'C', 15},
                    {'D', 5},
                    {'E', 30},
                    {'F', 27},
                    {'H', 23},
                    {'I', 17},
                    {'K', 33},
                    {'P', 24},
                    {'R', 14},
                    {'S', 0},
                    {'V', 28},
                    {'W', 18},
                    {'X', 31},
                    {'Y', 34},
                    {'Z', 19}}),
              10);
    ExpectIds("EMACS ^X", kEmacsXPrefix.data(), 27, 0,
              rows({{'C', 11},
                    {'F', 71},
                    {'H', 61},
                    {'I', 16},
                    {'N', 79},
                    {'P', 72},
                    {'S', 12},
                    {'W', 41},
                    {'X', 38}}),
              10);
    ExpectIds("PICO ^J", kPicoJPrefix.data(), 27, 0,
              rows({{'H', 23}, {'L', 34}, {'P', 72}, {'T', 73}, {'W', 42}}), 10);
    ExpectIds("PICO ^Q", kPicoQPrefix.data(), 27, 0,
              rows({{'B', 31},
                    {'C', 79},
                    {'E', 15},
                    {'F', 28},
                    {'L', 17},
                    {'M', 62},
                    {'N', 19},
                    {'P', 18},
                    {'S', 14},
                    {'T', 30},
                    {'U', 83}}),
              10);
}

TEST(KeyTables, ViCommandStateTable) {
    const IdRows vi = {
        {2, 2},    {4, 54},   {6, 7},     {8, 3},    {10, 6},   {13, 6},   {21, 55},  {26, 81},  {' ', 4},
        {'#', 79}, {'$', 5},  {'\'', 80}, {'+', 6},  {'-', 1},  {'/', 57}, {'0', 0},  {'1', 68}, {':', 44},
        {';', 62}, {'?', 58}, {'A', 46},  {'B', 18}, {'C', 75}, {'D', 76}, {'G', 15}, {'H', 48}, {'I', 51},
        {'J', 77}, {'L', 49}, {'M', 82},  {'O', 50}, {'P', 60}, {'R', 52}, {'S', 64}, {'W', 19}, {'X', 63},
        {'Z', 65}, {'^', 56}, {'a', 45},  {'b', 18}, {'d', 53}, {'e', 67}, {'h', 3},  {'i', 43}, {'j', 6},
        {'k', 1},  {'l', 4},  {'m', 69},  {'o', 47}, {'p', 59}, {'r', 74}, {'u', 83}, {'w', 19}, {'x', 9},
        {'y', 70}, {'z', 66}, {'{', 10},
    };
    ExpectIds("vi", kViCommandKeys.data(), 124, 0, vi, 78);
}

TEST(KeyTables, AltAndCursorKeyTables) {
    ExpectIds("EMACS alt", kEmacsAltKeys.data(), 24, 'B',
              {{'B', 18}, {'F', 19}, {'G', 17}, {'H', 61}, {'V', 2}, {'W', 39}, {'X', 62}, {'Y', 78}}, 10);
    // ESC [ 0~ .. 8~, then ESC [ A .. I.
    const int cursor[18] = {10, 0, 8, 9, 5, 2, 7, 0, 5, 1, 6, 4, 3, 10, 5, 7, 0, 18};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(int(kCursorKeys[i]), cursor[i]) << "cursor key " << i;
}

}  // namespace
