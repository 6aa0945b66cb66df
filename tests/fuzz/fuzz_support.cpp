#include "fuzz/fuzz_support.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <new>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"

void ThrowEditorLeft(Editor&, int) { throw EditorLeft{}; }

const std::string& ScratchDir() {
    // Kept in plain storage: the exit handler that removes the directory runs after static strings
    // are gone.
    static char made[32];
    static const std::string dir = [] {
        // In memory where there is such a file system: every save syncs its file.
        std::strcpy(made, "/dev/shm/zt-fuzz-XXXXXX");
        if (!mkdtemp(made)) {
            std::strcpy(made, "/tmp/zt-fuzz-XXXXXX");
            if (!mkdtemp(made)) Broken("scratch directory");
        }
        if (chdir(made) != 0) Broken("scratch directory");
        setenv("HOME", made, 1);
        setenv("TMPDIR", made, 1);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return std::string(made);
    }();
    return dir;
}

void ClearScratch(const char* keep) {
    DIR* d = opendir(ScratchDir().c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        if (keep && !std::strcmp(e->d_name, keep)) continue;
        std::error_code ec;
        std::filesystem::remove_all(ScratchDir() + "/" + e->d_name, ec);
    }
    closedir(d);
}

void WriteScratchFile(const char* name, const uint8_t* p, size_t n) {
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Broken("writing a scratch file", name);
    if (n && write(fd, p, n) != ssize_t(n)) Broken("writing a scratch file", name);
    close(fd);
}

std::string ReadScratchFile(const char* name, bool* found) {
    std::string s;
    int fd = open(name, O_RDONLY);
    if (found) *found = fd >= 0;
    if (fd < 0) return s;
    char b[65536];
    ssize_t n;
    while ((n = read(fd, b, sizeof b)) > 0) s.append(b, size_t(n));
    close(fd);
    return s;
}

void Broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\nINVARIANT BROKEN: %s %s\n", what, detail.c_str());
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
    std::abort();
}

std::string TextOf(const Editor& ed) {
    std::string s(ed.TextLength(), '\0');
    CopyText(ed, ed.TextStart, s.size(), reinterpret_cast<uint8_t*>(s.data()));
    return s;
}

FreshEditor::FreshEditor(Terminal& term) {
    alignas(Editor) static unsigned char storage[sizeof(Editor)];
    ed_ = new (storage) Editor(term);
}

FreshEditor::~FreshEditor() { ed_->~Editor(); }

void CheckBuffer(const Editor& ed, const char* after) {
    std::string at = std::string("after ") + after;
    if (!ed.buf) return;
    FUZZ_CHECK(ed.TextStart >= 1 && ByteAt(ed, ed.TextStart - 1) == '\n', at);
    FUZZ_CHECK(ed.TextStart <= ed.TextEnd, at);
    FUZZ_CHECK(ByteAt(ed, ed.TextEnd) == '\n', at);
    // The gap lies at a line start, so that no line is split.
    FUZZ_CHECK(
        ed.GapAt > ed.TextEnd ? ed.GapAt == kGapAtEnd : ed.GapAt >= 1 && ByteAt(ed, ed.GapAt - 1) == '\n',
        at);
    FUZZ_CHECK(ed.Cursor >= ed.TextStart && ed.Cursor <= ed.TextEnd, at);
    FUZZ_CHECK(ed.TextLength() + ed.KillLength <= ed.BufferCapacity, at);
    FUZZ_CHECK(ed.TextEnd + 1 + (ed.GapAt <= ed.TextEnd ? ed.GapSize : 0) <= ed.textRoom, at);
    FUZZ_CHECK(ed.KillLength <= ed.reserved - ed.textRoom, at);
    // The block belongs to WS and vi, the mark to the other modes; each keeps only its own in step.
    bool blockModes = ed.EditMode == WS || ed.EditMode == VI;
    for (Pos p : blockModes ? std::initializer_list<Pos>{ed.BlockBegin, ed.BlockEnd}
                            : std::initializer_list<Pos>{ed.Mark})
        FUZZ_CHECK(p == 0 || p <= ed.TextEnd,
                   at + ": " + std::to_string(p) + " beyond the text's end " + std::to_string(ed.TextEnd));
    FUZZ_CHECK(ed.undo.UndoTop >= 4 && ed.undo.UndoTop <= kUndoStackSize, at);
    FUZZ_CHECK(ed.undo.SnapshotFd < 0 || !ed.undo.SnapshotCopy, at);
    if (!ed.RecountLines) FUZZ_CHECK(ed.LineNumber == LinesBefore(ed, ed.Cursor), at);
    if (ed.Utf8) FUZZ_CHECK(BetweenCharacters(ed), at);
}

namespace {

// Another editor that draws the state it is given from nothing, on a terminal of its own.
}  // namespace

void CheckFreshRedraw(Editor& ed, Terminal& shownTerm) {
    auto& term = static_cast<FakeTerminal&>(shownTerm);
    if (!ed.buf) return;
    RefreshWindow(ed);
    DrawStatusLine(ed);
    FlushOutput(ed);
    static auto* fresh = new FreshRedraw;  // one for the whole run: its reservation is reused
    FUZZ_CHECK(fresh->Draw(ed, term.Size()), "reserving the fresh editor's buffer");
    const ScreenModel& want = fresh->term.screen;
    FUZZ_CHECK(want.Errors().empty(), want.Errors());
    FUZZ_CHECK(term.screen.Errors().empty(), term.screen.Errors() + " in " + term.output);
    for (int r = 0; r < want.Rows(); ++r) {
        std::string row = "row " + std::to_string(r) + ": [" + term.screen.Row(r) + "|" +
                          term.screen.Attrs(r) + "] drawn afresh [" + want.Row(r) + "|" + want.Attrs(r) + "]";
        FUZZ_CHECK(term.screen.Row(r) == want.Row(r), row);
        FUZZ_CHECK(term.screen.Attrs(r) == want.Attrs(r), row);
    }
    FUZZ_CHECK(term.screen.CursorRow() == want.CursorRow(), "");
    FUZZ_CHECK(term.screen.CursorCol() == want.CursorCol(), "");
}
