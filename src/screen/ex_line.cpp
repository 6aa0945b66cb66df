// The vi ":" command line: a line number, one of a few file and exit commands, or a sed expression.
//
// A command is told by the entry's first two bytes alone (the second is the terminating zero of a
// one-letter entry), so "wq!" acts as "wq" while "wfile" is no command and goes to sed.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

constexpr size_t kLongestEntry = 124;

bool Is(const char* entry, const char* two) { return entry[0] == two[0] && entry[1] == two[1]; }

// "w!": written even without changes, and over a file changed on disk without asking; the mark stays
// as it was when that fails.
void SaveAlways(Editor& ed) {
    uint8_t oldMark = ed.ChangedMark;
    ed.ChangedMark = '*';
    if (!SaveIfChanged(ed, false)) ed.ChangedMark = oldMark;
}

// "e name": the present text is saved first; when it cannot be, editing it goes on.
void EditNamedFile(Editor& ed, const char* name) {
    if (!SaveIfChanged(ed)) return;
    char oldName[sizeof ed.FileName];
    std::memcpy(oldName, ed.FileName, sizeof oldName);
    if (LoadFile(ed, name)) return;
    // The load has emptied the buffer; the saved file comes back rather than an empty text that a
    // later save would write over the file that could not be read.
    if (!LoadFile(ed, oldName)) ed.ExitRequest = 1;
}

}  // namespace

void ExCommand(Editor& ed) {
    size_t n = ReadLine(ed, "mode EX:", ed.CommandText, kLongestEntry);
    RestoreCursor(ed);
    if (n == 0) return;
    const char* e = ed.CommandText;

    bool digitsOnly = true;
    for (size_t i = 0; i < n; ++i)
        if (e[i] < '0' || e[i] > '9') digitsOnly = false;
    if (digitsOnly) {
        bool empty = true;
        uint64_t line = ReadNumber(ed, "", 10, &empty);
        if (line == 0)
            GoTextStart(ed);
        else
            GoLineNumber(ed, line);
        return;
    }

    if (Is(e, "w!")) {
        SaveAlways(ed);
    } else if (Is(e, "w")) {
        Save(ed);
    } else if (Is(e, "x") || Is(e, "wq")) {
        SaveAndQuit(ed);
    } else if (Is(e, "$")) {
        GoTextEnd(ed);
    } else if (Is(e, "w ")) {
        if (uint8_t(e[2]) > 0x20) (void)SaveUnderName(ed, e + 2);
    } else if (Is(e, "q")) {
        Quit(ed);
    } else if (Is(e, "q!")) {
        ed.ExitRequest = 1;
    } else if (Is(e, "cq")) {
        ed.ExitStatus = 1;  // leaves unsaved and says so, so that a commit or a crontab edit is dropped
        ed.ExitRequest = 1;
    } else if (Is(e, "e ")) {
        if (uint8_t(e[2]) > 0x20) EditNamedFile(ed, e + 2);
    } else if (Is(e, "h")) {
        DrawStatusLine(ed);  // the page shows the status line, not the finished entry
        Help(ed);
    } else {
        (void)FilterThroughSed(ed);
    }
}
