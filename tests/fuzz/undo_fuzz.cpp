// Edits through the buffer primitives and undos, checked against a plain model: a list of the texts
// before each change. Deletions of 65,512 bytes and more take a whole-text snapshot, which goes to a
// file without a name, to memory or nowhere (the deletion then refused) as the input chooses; the
// current directory is one that takes no file. The history is started afresh before a record could
// wrap the stack, so every change stays undoable except snapshots that a newer one replaced.
//
// Input: a flags byte (where snapshots may go), two bytes of text length, a byte of text pattern
// length and that pattern, then operations of a few bytes each.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "buffer/buffer.hpp"
#include "fuzz/fuzz_support.hpp"
#include "support/fake_terminal.hpp"

namespace {

constexpr uint64_t kCapacity = 400000;
constexpr size_t kStackLimit = 65512;

struct Reader {
    const uint8_t* p;
    size_t n;
    bool Empty() const { return n == 0; }
    unsigned Byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    unsigned Word() { return Byte() | Byte() << 8; }
};

struct Change {
    std::string before;
    bool snapshot = false;
    bool dead = false;  // a snapshot replaced by a newer one: undo stops here
};

void EnterDirectoryThatTakesNoFile() {
    static bool done = [] {
        std::string gone = ScratchDir() + "/gone";
        if (mkdir(gone.c_str(), 0755) != 0 || chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0)
            Broken("entering a removed directory");
        unsetenv("TMPDIR");
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnterDirectoryThatTakesNoFile();
    Reader in{data, size};
    unsigned flags = in.Byte();
    size_t length = size_t(in.Word()) * 2;
    size_t patternLength = in.Byte() % 16 + 1;
    std::string pattern;
    for (size_t i = 0; i < patternLength; ++i) pattern += char(in.Byte());

    FakeTerminal term;
    FreshEditor ed(term);
    ed->Exit = ThrowEditorLeft;
    ed->EditMode = std::array<uint8_t, 5>{WS, EMACS, PICO, VI, NEDIT}[flags % 5];
    ed->TempDir = flags & 8 ? ScratchDir().c_str() : "/nonexistent-zt-fuzz";
    ed->undo.CopyLimit = flags & 16 ? kMaxCapacity : 1000;
    if (!ReserveBuffer(*ed, kCapacity)) Broken("reserving the buffer");
    std::string text;
    while (text.size() < length) text += pattern;
    text.resize(length);
    // A fresh reservation keeps its gap behind the text.
    std::memcpy(ed->buf + ed->TextStart, text.data(), text.size());
    ed->TextEnd = ed->TextStart + text.size();
    ed->buf[ed->TextEnd] = '\n';
    ClearUndo(*ed);
    const std::string kill = "clipboard";
    std::memcpy(ed->kill, kill.data(), kill.size());
    ed->KillLength = kill.size();
    bool killMayGo = false;

    std::vector<Change> history;
    bool stuck = false;  // an undo met a replaced snapshot: no undo goes further
    // Starts the history afresh when the next record of `bytes` could reach the stack's end.
    auto Room = [&](size_t bytes) {
        if (ed->undo.UndoTop + bytes + 16 < kStackLimit) return;
        ClearUndo(*ed);
        history.clear();
        stuck = false;
    };
    auto Position = [&](unsigned w, bool end) {
        size_t len = ed->TextLength();
        size_t span = end ? len + 1 : len;
        return span ? ed->TextStart + Pos(w % span) : ed->TextStart;
    };
    int step = 0;
    try {
        while (!in.Empty()) {
            ++step;
            std::string now = TextOf(*ed);
            unsigned op = in.Byte() % 8;
            if (op == 0) {  // insertion
                Pos p = Position(in.Word(), true);
                size_t n = in.Byte() % 40 + 1;
                Room(0);
                if (MakeRoom(*ed, p, n)) {
                    for (size_t i = 0; i < n; ++i) At(*ed, p)[i] = uint8_t(in.Byte());
                    history.push_back({now});
                }
            } else if (op == 1 || op == 2) {  // deletion, small or of a whole-text snapshot's size
                Pos p = Position(in.Word(), false);
                size_t n = op == 1 ? in.Word() % 2000 + 1 : kStackLimit + in.Word();
                size_t removed = std::min(n, size_t(ed->TextEnd - p));
                if (removed == 0) continue;
                Room(removed >= kStackLimit ? 0 : removed);
                term.AddBurst(" ");  // for the report of a refusal
                if (RemoveBytes(*ed, p, n)) {
                    if (removed >= kStackLimit)
                        for (Change& c : history)
                            if (c.snapshot) c.dead = true;
                    history.push_back({now, removed >= kStackLimit});
                } else {
                    FUZZ_CHECK(removed >= kStackLimit, "only a snapshot is refused");
                    FUZZ_CHECK(TextOf(*ed) == now, "a refused deletion changed the text");
                }
            } else if (op == 3) {  // overwrite
                if (ed->TextLength() == 0) continue;
                Pos p = Position(in.Word(), false);
                Room(0);
                RecordOverwrite(*ed, p);
                *InPlace(*ed, p, 1) = uint8_t(in.Byte());
                history.push_back({now});
            } else if (op == 4) {  // exchange of two bytes
                if (ed->TextLength() < 2) continue;
                Pos p = ed->TextStart + 1 + Pos(in.Word() % (ed->TextLength() - 1));
                Room(0);
                RecordSwap(*ed, p);
                uint8_t* t = InPlace(*ed, p - 1, 2);
                std::swap(t[0], t[1]);
                history.push_back({now});
            } else if (op == 5) {  // replacement: one change for the undo
                if (ed->TextLength() == 0) continue;
                Pos p = Position(in.Word(), false);
                size_t n = std::min(size_t(in.Byte() % 30 + 1), size_t(ed->TextEnd - p));
                size_t m = in.Byte() % 30 + 1;
                Room(n + 32);
                if (ReplaceRoom(*ed, p, n, m)) {
                    for (size_t i = 0; i < m; ++i) At(*ed, p)[i] = uint8_t(in.Byte());
                    history.push_back({now});
                }
            } else {  // undo
                Undo(*ed);
                if (history.empty() || stuck || history.back().dead) {
                    if (!history.empty() && history.back().dead) stuck = true;
                    FUZZ_CHECK(TextOf(*ed) == now, "undo with nothing to take back changed the text");
                } else {
                    if (history.back().snapshot) killMayGo = true;
                    FUZZ_CHECK(TextOf(*ed) == history.back().before,
                               "undo step " + std::to_string(step) + " of " + std::to_string(history.size()));
                    history.pop_back();
                }
            }
            if (ed->Cursor > ed->TextEnd) ed->Cursor = ed->TextEnd;  // as the main loop does
            ed->RecountLines = false;
            ed->LineNumber = 1;
            for (Pos q = ed->TextStart; q < ed->Cursor; ++q) ed->LineNumber += ByteAt(*ed, q) == '\n';
            CheckBuffer(*ed, ("operation " + std::to_string(step)).c_str());
            std::string k(reinterpret_cast<char*>(ed->kill), ed->KillLength);
            FUZZ_CHECK(k == kill || (killMayGo && k.empty()), "the kill buffer");
        }
    } catch (const EditorLeft&) {
        Broken("the editor left");
    }
    return 0;
}
