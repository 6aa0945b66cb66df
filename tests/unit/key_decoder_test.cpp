// The keyboard decoder as a table of inputs and the keys they give, mode by mode.
#include <gtest/gtest.h>

#include "session/key_tables.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"

namespace {

struct Decoded {
    std::vector<Key> keys;
    uint8_t viState;
};

// Decodes every key of the bursts (one string per burst) until the input runs out.
std::vector<Key> Decode(uint8_t mode, std::vector<std::string> bursts, uint8_t viState = 1,
                        uint8_t* stateAfter = nullptr) {
    FakeTerminal term;
    Editor ed(term);
    ed.EditMode = mode;
    ed.ViCommandState = viState;
    for (auto& b : bursts) term.AddBurst(b);
    std::vector<Key> keys;
    while (term.InputLeft() || ed.PushedBackKey) keys.push_back(KeyDecoder(ed));
    if (stateAfter) *stateAfter = ed.ViCommandState;
    return keys;
}

Key B(uint8_t b) { return Key{-1, b}; }
Key C(int id) { return Key{id, 0}; }
Key PasteKey() { return Key{-1, 0, true}; }

bool Same(const std::vector<Key>& a, const std::vector<Key>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].command != b[i].command || a[i].byte != b[i].byte || a[i].paste != b[i].paste) return false;
    return true;
}

std::string Show(const std::vector<Key>& keys) {
    std::string s;
    for (const Key& k : keys)
        s += k.paste         ? std::string("paste ")
             : k.IsCommand() ? "cmd" + std::to_string(k.command) + " "
                             : "byte" + std::to_string(k.byte) + " ";
    return s;
}

struct Row {
    const char* what;
    uint8_t mode;
    std::vector<std::string> bursts;
    std::vector<Key> want;
};

TEST(KeyDecoder, TableOfInputs) {
    const std::vector<Row> rows = {
        {"plain letter", WS, {"a"}, {B('a')}},
        {"DEL is backspace", WS, {"\x7f"}, {B(8)}},
        {"ESC [ A is up", WS, {"\x1b[A"}, {C(cmd::LineUp)}},
        {"ESC O A is up too in WS", WS, {"\x1bOA"}, {C(cmd::LineUp)}},
        {"ESC h is help", WS, {"\x1bh"}, {C(cmd::Help)}},
        {"ESC [ 3 ~ deletes", WS, {"\x1b[3~"}, {C(cmd::DeleteChar)}},
        {"ESC [ 5 x is dropped whole", WS, {"\x1b[5x", "q"}, {B('q')}},
        {"ESC [ 1 1 ~ (F1) is dropped whole", WS, {"\x1b[11~", "q"}, {B('q')}},
        {"DEL inside a sequence is not mapped", WS, {"\x1b[\x7f", "z"}, {B('z')}},
        {"EMACS ESC b and ESC B",
         EMACS,
         {"\x1b"
          "b",
          "\x1b"
          "B"},
         {C(cmd::WordLeft), C(cmd::WordLeft)}},
        {"EMACS ESC O typed alone is alt-O", EMACS, {"\x1bO", "A"}, {C(cmd::NoOp), B('A')}},
        {"EMACS ESC [ A is up", EMACS, {"\x1b[A"}, {C(cmd::LineUp)}},
        {"EMACS alt keys",
         EMACS,
         {"\x1b%", "\x1b<", "\x1b>", "\x1bv", "\x1bx"},
         {C(cmd::ReplaceForward), C(cmd::GoTextStart), C(cmd::GoTextEnd), C(cmd::PageUp), C(cmd::SetMode)}},
        {"NEDIT ESC i inserts a file", NEDIT, {"\x1bi", "\x1bI"}, {C(cmd::InsertFile), C(cmd::InsertFile)}},
        {"PICO ESC H is help", PICO, {"\x1bH"}, {C(cmd::Help)}},
        {"vi command keys",
         VI,
         {"x", "q", "{", ":"},
         {C(cmd::DeleteChar), C(cmd::Bell), C(cmd::NoOp), C(cmd::ExCommand)}},
        {"vi ESC j runs j", VI, {"\x1bj"}, {C(cmd::NoOp), C(cmd::LineDown)}},
        {"vi ESC [ B is down", VI, {"\x1b[B"}, {C(cmd::LineDown)}},
        {"vi DEL in command state is ^H", VI, {"\x7f"}, {C(cmd::CharLeft)}},
        {"ESC [ 9 ~ is dropped whole", WS, {"\x1b[9~", "q"}, {B('q')}},
        {"a byte below 0 and ~ is dropped with the ~", WS, {"\x1b[/~", "q"}, {B('q')}},
        {"ESC [ J is dropped", WS, {"\x1b[J", "q"}, {B('q')}},
        {"every cursor letter",
         WS,
         {"\x1b[E\x1b[F\x1b[G\x1b[H\x1b[I"},
         {C(cmd::NoOp), C(cmd::LineEnd), C(cmd::PageDown), C(cmd::LineStart), C(cmd::WordLeft)}},
        {"every digit and ~",
         PICO,
         {"\x1b[0~\x1b[1~\x1b[2~\x1b[4~\x1b[5~\x1b[6~\x1b[7~\x1b[8~"},
         {C(cmd::NoOp), C(cmd::LineStart), C(cmd::ToggleInsert), C(cmd::LineEnd), C(cmd::PageUp),
          C(cmd::PageDown), C(cmd::LineStart), C(cmd::LineEnd)}},
        {"ESC DEL serves as the introducer in WS",
         WS,
         {"\x1b\x7f"
          "A"},
         {C(cmd::LineUp)}},
        {"ESC [ H is Home, not help", NEDIT, {"\x1b[H"}, {C(cmd::LineStart)}},
        {"ESC h and ESC H are help in NEDIT", NEDIT, {"\x1bh", "\x1bH"}, {C(cmd::Help), C(cmd::Help)}},
        {"EMACS ESC h is the alt table's help", EMACS, {"\x1bh"}, {C(cmd::Help)}},
        {"EMACS letters outside B..Y start a sequence",
         EMACS,
         {"\x1b"
          "aA",
          "\x1bzB"},
         {C(cmd::LineUp), C(cmd::LineDown)}},
        {"EMACS alt keys without a binding do nothing",
         EMACS,
         {"\x1b"
          "c",
          "\x1bq"},
         {C(cmd::NoOp), C(cmd::NoOp)}},
        {"EMACS ESC i is no file insertion", EMACS, {"\x1bi"}, {C(cmd::NoOp)}},
        {"vi command state: a byte above 123 starts a sequence",
         VI,
         {"|A",
          "\xc3"
          "3~"},
         {C(cmd::LineUp), C(cmd::DeleteChar)}},
        {"vi command state: ESC [ 3 ~ deletes", VI, {"\x1b[3~"}, {C(cmd::DeleteChar)}},
        {"reports and replies are dropped whole: mouse, focus, device attributes",
         EMACS,
         {"\x1b[<0;12;5M", "\x1b[<0;12;5m", "\x1b[M !!", "\x1b[O", "\x1b[?1;2c", "q"},
         {B('q')}},
        {"the three bytes after ESC [ M are the mouse's, whatever they are",
         WS,
         {"\x1b[M\x1b[A", "q"},
         {B('q')}},
        {"an ESC breaks a sequence off and begins the next key", WS, {"\x1b[1;\x1b[A"}, {C(cmd::LineUp)}},
        {"$ ends a sequence only after digits",
         WS,
         {"\x1b[7$", "\x1b[1;2$~", "q"},
         {C(cmd::LineStart), B('q')}},
        {"a paste begins; its end alone is dropped", PICO, {"\x1b[201~", "\x1b[200~"}, {PasteKey()}},
        {"a paste begins only after ESC [", WS, {"\x1bx200~", "q"}, {B('q')}},
        {"Alt with a key that is a sequence: one more ESC in front",
         EMACS,
         {"\x1b\x1b[A", "\x1b\x1b[1;5C", "\x1b\x1bOd"},
         {C(cmd::LineUp), C(cmd::WordRight), C(cmd::WordLeft)}},
        {"NEDIT has no word moves: Ctrl+arrows stay arrows",
         NEDIT,
         {"\x1b[1;5C", "\x1bO5D"},
         {C(cmd::CharRight), C(cmd::CharLeft)}},
        {"vi command state: Ctrl+Right moves by words", VI, {"\x1b[1;5C"}, {C(cmd::WordRight)}},
        {"vi keeps ESC O as typed",
         VI,
         {"\x1bOA"},
         {C(cmd::NoOp), C(cmd::ViOpenAbove), C(cmd::ViAppendLineEnd)}},
        {"vi command state: ESC then ESC waits again",
         VI,
         {"\x1b\x1b", "j"},
         {C(cmd::NoOp), C(cmd::NoOp), C(cmd::LineDown)}},
    };
    for (const Row& r : rows) {
        auto got = Decode(r.mode, r.bursts);
        EXPECT_TRUE(Same(got, r.want)) << r.what << ": got " << Show(got);
    }
}

TEST(KeyDecoder, ViInsertStateEscape) {
    uint8_t state = 0;
    // A lone ESC: command state, one step left.
    EXPECT_TRUE(Same(Decode(VI, {"\x1b"}, 0, &state), {C(cmd::CharLeft)}));
    EXPECT_EQ(state, 1);
    // ESC followed at once by j: j runs as a command.
    EXPECT_TRUE(Same(Decode(VI, {"\x1bj"}, 0, &state), {C(cmd::NoOp), C(cmd::LineDown)}));
    EXPECT_EQ(state, 1);
    // A cursor key keeps the insert state.
    EXPECT_TRUE(Same(Decode(VI, {"\x1b[A"}, 0, &state), {C(cmd::LineUp)}));
    EXPECT_EQ(state, 0);
    EXPECT_TRUE(Same(Decode(VI, {"\x1b[3~"}, 0, &state), {C(cmd::DeleteChar)}));
    EXPECT_EQ(state, 0);
    EXPECT_TRUE(Same(Decode(VI, {"\x1b[1;5D"}, 0, &state), {C(cmd::WordLeft)}));
    EXPECT_EQ(state, 0);
    // DEL and ESC arrive as bytes, not as commands, in the insert state.
    EXPECT_TRUE(Same(Decode(VI, {"\x7f", "\x07"}, 0, &state), {B(8), B(7)}));
    EXPECT_EQ(state, 0);
    // Control bytes are typed.
    EXPECT_TRUE(Same(Decode(VI, {"\t"}, 0, &state), {B('\t')}));
}

TEST(KeyDecoder, ViCommandStateEscapeWaitsForTheNextKey) {
    // ESC then, in a later burst, j: still j.
    EXPECT_TRUE(Same(Decode(VI, {"\x1b", "j"}), {C(cmd::NoOp), C(cmd::LineDown)}));
}

TEST(KeyTables, BindingsReadLikeTheTables) {
    EXPECT_EQ(kWsQPrefix['s' & 0x1F], cmd::LineStart);
    EXPECT_EQ(kWsKPrefix[2], cmd::MarkBlockBegin);  // b, B and ^B
    EXPECT_EQ(kViCommandKeys['q'], cmd::Bell);
    EXPECT_EQ(kNeditControl[Ctrl('N')], kNeditControl[Ctrl('O')]);
    EXPECT_EQ(kNeditControl[Ctrl('D')], kNeditControl[Ctrl('P')]);  // both do nothing
    EXPECT_EQ(kPicoControl[0], kPicoControl[Ctrl('L')]);
    EXPECT_EQ(kPicoControl[0], kPicoControl[Ctrl('^')]);
}

}  // namespace
