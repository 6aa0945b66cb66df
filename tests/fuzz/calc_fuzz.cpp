// The calculator on any line, in insert and overwrite mode: the text either stays as it was (the
// bell rang), or gains "=" and a well-formed result that agrees with LastResult, and undo takes it
// all back.
//
// Input: a flags byte (mode, insert or overwrite, LastResult), then the line.
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "buffer/buffer.hpp"
#include "calc/calc.hpp"
#include "fuzz/fuzz_support.hpp"
#include "support/fake_terminal.hpp"

namespace {

// "=" when the expression had none, an optional "-", digits, and a fraction without trailing zeros.
bool WellFormed(const std::string& s, bool equals, double* value) {
    size_t i = 0;
    if (equals) {
        if (s.empty() || s[0] != '=') return false;
        ++i;
    }
    size_t start = i;
    if (i < s.size() && s[i] == '-') ++i;
    size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == digits || i - digits > 12) return false;
    if (i < s.size() && s[i] == '.') {
        size_t f = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == f || i - f > 6 || s[i - 1] == '0') return false;
    }
    if (i != s.size()) return false;
    *value = std::strtod(s.c_str() + start, nullptr);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4000) return 0;
    unsigned flags = data[0];
    std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    line = line.substr(0, line.find('\n'));
    bool overwrite = flags & 1;

    FakeTerminal term;
    FreshEditor ed(term);
    ed->Exit = ThrowEditorLeft;
    ed->EditMode = std::array<uint8_t, 5>{WS, EMACS, PICO, VI, NEDIT}[(flags >> 1) % 5];
    ed->InsertMode = overwrite ? kOverwrite : kInsert;
    ed->LastResult = flags & 0x80 ? -12.5 : 3.0;
    if (!ReserveBuffer(*ed, kDefaultCapacity)) Broken("reserving the buffer");
    std::string text = line + "\n";
    // A fresh reservation keeps its gap behind the text.
    std::memcpy(ed->buf + ed->TextStart, text.data(), text.size());
    ed->TextEnd = ed->TextStart + text.size();
    ed->buf[ed->TextEnd] = '\n';
    ed->Cursor = ed->TextStart;
    ClearUndo(*ed);

    try {
        Calculate(*ed);
    } catch (const EditorLeft&) {
        Broken("the calculator waited for a key");
    }
    CheckBuffer(*ed, "the calculation");
    std::string after = TextOf(*ed);
    bool bell = term.screen.Bells() > 0;
    size_t equals = line.find('=');
    if (bell) {
        // Only a result too large leaves the "=" it wrote, typed at the line feed in either mode.
        FUZZ_CHECK(after == text || (equals == std::string::npos && after == line + "=\n"), after);
    } else if (!overwrite) {
        size_t at = equals == std::string::npos ? line.size() : equals + 1;
        FUZZ_CHECK(after.size() > text.size(), after);
        FUZZ_CHECK(after.compare(0, at, text, 0, at) == 0, after);
        size_t added = after.size() - text.size();
        FUZZ_CHECK(after.compare(at + added, std::string::npos, text, at) == 0, after);
        double shown = 0;
        FUZZ_CHECK(WellFormed(after.substr(at, added), equals == std::string::npos, &shown), after);
        FUZZ_CHECK(ed->Cursor == ed->TextStart + at + added, after);
        double v = ed->LastResult;
        FUZZ_CHECK(std::fabs(shown - v) <= 5e-7 + std::fabs(v) * 1e-15, after);
    }
    for (int i = 0; i < 40; ++i) Undo(*ed);
    FUZZ_CHECK(TextOf(*ed) == text, "undo left " + TextOf(*ed));
    return 0;
}
