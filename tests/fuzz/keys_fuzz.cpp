// Key streams through the real decoder, dispatcher and refresh, in every mode, in both locales and
// at several terminal sizes, with the buffer checked after every key and the screen compared with a
// fresh drawing between bursts.
//
// Input: a byte choosing the mode, one choosing the size and the locale, a length byte and that many
// bytes of file, then bursts: a length byte (low four bits + 1) and the burst's bytes; a length byte
// of 0xFF is a resize to the sizes in the next two bytes.
//
// Saving and loading work in the scratch directory ("/" is typed as "." so no name leaves it). The
// filter runs a stand-in that copies its input to its output: a fuzzed expression never reaches a
// real sed, whose w and e commands write files and run programs.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "buffer/buffer.hpp"
#include "fuzz/fuzz_support.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"

namespace {

constexpr const char* kPrograms[] = {"ztws", "ztem", "ztpi", "ztvi", "ztne"};
constexpr int kSizes[][2] = {{24, 80}, {12, 40}, {1, 1}, {2, 3}, {3, 11}, {1, 80}, {40, 1}, {5, 200}};
constexpr char kStandIn[] = "copy-sed";

const std::string& StandInPath() {
    static const std::string path = [] {
        ScratchDir();
        const char script[] = "#!/bin/sh\nexec /bin/cat\n";
        WriteScratchFile(kStandIn, reinterpret_cast<const uint8_t*>(script), sizeof script - 1);
        chmod(kStandIn, 0755);
        return ScratchDir() + "/" + kStandIn;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const std::string& sed = StandInPath();
    ClearScratch(kStandIn);
    const char* program = kPrograms[data[0] % 5];
    const int* wh = kSizes[data[1] % 8];
    bool utf8 = data[1] & 8;
    size_t fileLength = data[2];
    data += 3, size -= 3;
    if (fileLength > size) fileLength = size;
    WriteScratchFile("file.txt", data, fileLength);
    data += fileLength, size -= fileLength;

    FakeTerminal term(wh[0], wh[1]);
    term.screen.SetUtf8(utf8);
    while (size > 0) {
        uint8_t head = *data++;
        --size;
        if (head == 0xFF && size >= 2) {
            term.AddResize(1 + data[0] % 60, 1 + data[1] % 250);
            data += 2, size -= 2;
            continue;
        }
        size_t n = (head & 15u) + 1;
        if (n > size) n = size;
        std::string burst(reinterpret_cast<const char*>(data), n);
        for (char& c : burst)
            if (c == '/') c = '.';
        if (!burst.empty()) term.AddBurst(burst);
        data += n, size -= n;
    }

    FreshEditor ed(term);
    ed->Exit = ThrowEditorLeft;
    ed->SedPath = sed.c_str();
    ed->TempDir = ScratchDir().c_str();
    char argv0[8], name[] = "file.txt", lang[] = "LANG=C.UTF-8";
    std::strcpy(argv0, program);
    char* argv[] = {argv0, name, nullptr};
    char* envp[] = {utf8 ? lang : nullptr, nullptr};
    int keys = 0, pauses = 0;
    static const bool trace = std::getenv("ZT_FUZZ_TRACE");  // each key's effect, to read a failure
    try {
        if (!StartEditor(*ed, 2, argv, envp)) return 0;
        while (term.InputLeft() || ed->HasReadAhead) {
            if (!EditStep(*ed)) break;
            ++keys;
            if (trace)
                std::fprintf(stderr, "key %d: end %zu cursor %zu block %zu-%zu mark %zu kill %zu\n", keys,
                             size_t(ed->TextEnd), size_t(ed->Cursor), size_t(ed->BlockBegin),
                             size_t(ed->BlockEnd), size_t(ed->Mark), ed->KillLength);
            CheckBuffer(*ed, ("key " + std::to_string(keys)).c_str());
            // Between bursts the screen must be whole; every fourth pause is enough to find where it
            // is not, and costs a quarter of the time.
            if (!term.InputPending() && (++pauses % 4 == 0 || !term.InputLeft())) CheckFreshRedraw(*ed, term);
        }
    } catch (const EditorLeft&) {
        // The stream ended inside a command that waited for more keys.
    }
    return 0;
}
