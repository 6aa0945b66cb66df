// The keys real terminals send, from their terminfo entries (tests/data/terminal_keys.txt), fed to every
// mode; and random streams of such sequences among typed text, of which only the text may reach the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>

#include "buffer/buffer.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct TerminalKey {
    std::string term, cap, bytes;
};

std::string Decode(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
        } else if (field[i + 1] == 'e') {
            out += '\x1b';
            ++i;
        } else if (field[i + 1] == 'x') {
            out += char(std::stoi(field.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += field[++i];
        }
    }
    return out;
}

std::vector<TerminalKey> TerminalKeys() {
    std::ifstream in(std::string(ZT_DATA_DIR) + "/terminal_keys.txt");
    std::vector<TerminalKey> keys;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        TerminalKey k;
        std::string bytes;
        fields >> k.term >> k.cap >> bytes;
        k.bytes = Decode(bytes);
        keys.push_back(k);
    }
    return keys;
}

// What a key does by its terminfo name: its command, or -1 for none (the function keys). Shifted and
// alt forms do what the plain key does; Ctrl+Left and Ctrl+Right move by words where the mode has word
// moves.
int MeaningOf(const std::string& cap, uint8_t mode) {
    if (cap.rfind("kf", 0) == 0) return -1;
    std::string base = cap;
    bool ctrl = false;
    if (base.size() > 2 && std::isupper(static_cast<unsigned char>(base[1])) &&
        (base.back() == '3' || base.back() == '5')) {
        ctrl = base.back() == '5';
        base.pop_back();
    }
    const bool words = ctrl && mode != NEDIT;
    const std::pair<const char*, int> names[] = {
        {"kcuu1", cmd::LineUp},       {"kri", cmd::LineUp},       {"kUP", cmd::LineUp},
        {"kcud1", cmd::LineDown},     {"kind", cmd::LineDown},    {"kDN", cmd::LineDown},
        {"kcub1", cmd::CharLeft},     {"kcuf1", cmd::CharRight},  {"khome", cmd::LineStart},
        {"kHOM", cmd::LineStart},     {"kend", cmd::LineEnd},     {"kEND", cmd::LineEnd},
        {"kich1", cmd::ToggleInsert}, {"kIC", cmd::ToggleInsert}, {"kdch1", cmd::DeleteChar},
        {"kDC", cmd::DeleteChar},     {"kpp", cmd::PageUp},       {"kPRV", cmd::PageUp},
        {"knp", cmd::PageDown},       {"kNXT", cmd::PageDown},
    };
    if (base == "kLFT") return words ? cmd::WordLeft : cmd::CharLeft;
    if (base == "kRIT") return words ? cmd::WordRight : cmd::CharRight;
    for (auto [name, id] : names)
        if (base == name) return id;
    ADD_FAILURE() << "no meaning for " << cap;
    return -1;
}

struct ModeUnderTest {
    const char* name;
    uint8_t mode;
    uint8_t viState;
};
const ModeUnderTest kModes[] = {
    {"WS", WS, 0},       {"EMACS", EMACS, 0}, {"PICO", PICO, 0},
    {"NEDIT", NEDIT, 0}, {"vi", VI, 1},       {"vi insert", VI, 0},
};

std::string Lines() {
    std::string text;
    for (int i = 1; i <= 80; ++i)
        text += "word" + std::to_string(i) + " and more, line " + std::to_string(i) + "\n";
    return text;
}

void Prepare(Editor& ed, const ModeUnderTest& m, const std::string& text, size_t cursor) {
    std::string marked = text;
    marked.insert(marked.begin() + std::ptrdiff_t(cursor), '|');
    LoadMarked(ed, m.mode, marked);
    ed.ViCommandState = m.viState;
    ed.InsertMode = kInsert;
    ed.Mark = ed.BlockBegin = ed.BlockEnd = 0;
    ed.screen.CursorScreenPos = {10, 0};
}

TEST(TerminalKeys, EveryKeyOfTwelveTerminalsDoesWhatItsNameSays) {
    WorkDir dir("keys");
    const std::vector<TerminalKey> keys = TerminalKeys();
    ASSERT_GT(keys.size(), 600u) << "tests/data/terminal_keys.txt";
    const std::string text = Lines();
    const size_t cursor = text.find("word40") + 6;
    // Behind every key a do-nothing key (ESC [ 0 ~, in every mode and state): a key is decoded whole
    // when exactly it and the do-nothing key are dispatched, two keys, or one for a key that is dropped.
    const std::string nothing = "\x1b[0~";
    FakeTerminal term, twinTerm;
    Editor ed(term), twin(twinTerm);
    ed.Exit = twin.Exit = ThrowOnExit;
    for (const ModeUnderTest& m : kModes) {
        for (const TerminalKey& k : keys) {
            // A terminal sends ESC O keys only in the application mode, which zt never asks for, and vi
            // users type ESC O themselves: vi keeps it as typed.
            if (m.mode == VI && k.bytes.rfind("\x1bO", 0) == 0) continue;
            const int meaning = MeaningOf(k.cap, m.mode);
            Prepare(ed, m, text, cursor);
            Prepare(twin, m, text, cursor);
            term.AddBurst(k.bytes);
            term.AddBurst(nothing);
            int dispatched = 0;
            while (term.InputLeft() && dispatched < 5) {
                DispatchKey(ed);
                ++dispatched;
            }
            if (meaning >= 0) RunCommand(twin, meaning);
            const std::string what = std::string(m.name) + ", " + k.term + " " + k.cap;
            EXPECT_EQ(dispatched, meaning >= 0 ? 2 : 1) << what;
            EXPECT_EQ(TextOf(ed), TextOf(twin)) << what;
            EXPECT_EQ(ed.Cursor, twin.Cursor) << what;
            EXPECT_EQ(ed.LineNumber, twin.LineNumber) << what;
            EXPECT_EQ(ed.InsertMode, twin.InsertMode) << what;
            EXPECT_EQ(ed.ViCommandState, twin.ViCommandState) << what;
            if (HasFailure()) return;
        }
    }
}

// Random streams of terminal keys that do not change the text, reports a terminal sends unasked, pastes
// and typed text: the text that ends up in the buffer holds exactly the typed and pasted bytes.
TEST(TerminalKeys, OnlyTypedAndPastedBytesReachTheText) {
    WorkDir dir("streams");
    std::vector<std::string> sequences;
    for (const TerminalKey& k : TerminalKeys()) {
        const std::string& c = k.cap;
        if (c == "kdch1" || c == "kich1" || c.rfind("kDC", 0) == 0 || c.rfind("kIC", 0) == 0) continue;
        sequences.push_back(k.bytes);
    }
    for (const char* report : {"\x1b[<0;12;5M", "\x1b[<0;12;5m", "\x1b[<64;3;1M", "\x1b[?62;1;6c",
                               "\x1b[12;40R", "\x1b[O", "\x1b[>1;95;0c", "\x1b[201~"})
        sequences.push_back(report);

    for (const ModeUnderTest& m : kModes) {
        if (m.mode == VI && m.viState == 1) continue;  // the command state types nothing
        for (unsigned seed = 1; seed <= 12; ++seed) {
            std::mt19937 rng(seed * 7919 + m.mode);
            FakeTerminal term;
            Editor ed(term);
            ed.Exit = ThrowOnExit;
            Prepare(ed, m, "", 0);
            std::string typed, burst;
            for (int token = 0; token < 300; ++token) {
                std::string t;
                const unsigned kind = rng() % 10;
                if (kind < 4) {
                    for (unsigned n = 1 + rng() % 6; n > 0; --n) t += char(0x20 + rng() % 95);
                    typed += t;
                } else if (kind == 4) {
                    // An X10 mouse report: three bytes of any value after ESC [ M.
                    t = "\x1b[M";
                    for (int i = 0; i < 3; ++i) t += char(0x20 + rng() % 224);
                } else if (kind == 5) {
                    // A paste, ESC included where it does not begin the closing marker.
                    std::string body;
                    for (unsigned n = rng() % 12; n > 0; --n) {
                        const unsigned r = rng() % 20;
                        if (r == 0)
                            body.append("\x1b[201x");
                        else if (r == 1)
                            body.push_back('\n');
                        else
                            body.push_back(r == 2 ? '\t' : char(0x20 + rng() % 95));
                    }
                    t.append("\x1b[200~").append(body).append("\x1b[201~");
                    typed += body;
                } else {
                    t = sequences[rng() % sequences.size()];
                    if (m.mode == VI && t.rfind("\x1bO", 0) == 0) t = "\x1b[A";
                }
                burst += t;
                if (rng() % 3 == 0) {
                    term.AddBurst(burst);
                    burst.clear();
                }
            }
            term.AddBurst(burst + "\x1b[0~");  // a last key that does nothing: a dropped one reads on
            try {
                while (term.InputLeft() || ed.HasReadAhead) DispatchKey(ed);
            } catch (const EditorLeft&) {
                ADD_FAILURE() << m.name << " seed " << seed << ": the input ran out inside a key";
            }
            std::string got = TextOf(ed), want = typed;
            std::sort(got.begin(), got.end());
            std::sort(want.begin(), want.end());
            EXPECT_EQ(got, want) << m.name << " seed " << seed;
            if (HasFailure()) return;
        }
    }
}

}  // namespace
