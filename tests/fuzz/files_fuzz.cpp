// Load and save round trips in the scratch directory: any bytes load as themselves, save as
// themselves (in vi with the closing line feed a text without one gets), keep the old file as the
// backup, and come in whole when inserted into a text, one undo taking the insertion back.
//
// Input: a flags byte (mode, where to insert), then the file.
#include <array>
#include <cstring>
#include <memory>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "fuzz/fuzz_support.hpp"
#include "support/fake_terminal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ScratchDir();
    ClearScratch();
    unsigned flags = data[0];
    std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    uint8_t mode = std::array<uint8_t, 5>{WS, EMACS, PICO, VI, NEDIT}[flags % 5];
    WriteScratchFile("in.txt", data + 1, size - 1);

    FakeTerminal term;
    FreshEditor ed(term);
    ed->Exit = ThrowEditorLeft;
    ed->EditMode = mode;
    try {
        FUZZ_CHECK(LoadFile(*ed, "in.txt"), "load");
        CheckBuffer(*ed, "the load");
        FUZZ_CHECK(TextOf(*ed) == content, "the loaded text");
        std::string saved = content;
        if (mode == VI && !saved.empty() && saved.back() != '\n') saved += '\n';

        ed->ChangedMark = '*';  // an unchanged text is not written
        FUZZ_CHECK(SaveFileAs(*ed, "out.txt"), "save as");
        FUZZ_CHECK(ReadScratchFile("out.txt") == saved, "the saved file");

        // A second copy inserted at a place the input chooses, then taken back.
        size_t at = content.empty() ? 0 : (flags >> 3) % (content.size() + 1);
        ed->Cursor = ed->TextStart + at;
        ed->RecountLines = true;  // as after any move the harness makes itself
        size_t inserted = 0;
        FUZZ_CHECK(InsertFileAtCursor(*ed, "out.txt", &inserted), "insert");
        CheckBuffer(*ed, "the insertion");
        FUZZ_CHECK(inserted == saved.size(), "the inserted size");
        FUZZ_CHECK(TextOf(*ed) == content.substr(0, at) + saved + content.substr(at), "the inserted text");
        Undo(*ed);
        FUZZ_CHECK(TextOf(*ed) == content, "the text after undoing the insertion");

        ed->ChangedMark = '*';
        FUZZ_CHECK(SaveFile(*ed), "save");
        FUZZ_CHECK(ReadScratchFile("in.txt") == saved, "the file saved in place");
        bool backup = false;
        FUZZ_CHECK(ReadScratchFile("in.txt~", &backup) == content && backup, "the backup");
    } catch (const EditorLeft&) {
        Broken("the editor waited for a key", term.output);
    }
    return 0;
}
