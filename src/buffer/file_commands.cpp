// The file and exit commands: the questions they ask and the request they leave for the main loop.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// A single-key answer: the cancel key of the mode (-1), else the key with bit 0x20 cleared.
int Answer(Editor& ed, const char* question) {
    uint8_t key = AskKey(ed, question), tail[3];
    (void)ReadCharTail(ed, key, tail);  // a character answers as its first byte
    if (key == CancelKey(ed)) return -1;
    return key & ~0x20;
}

// Whether a save may go on over a file that is not what was loaded or last saved.
bool MayWriteOver(Editor& ed, const char* name) {
    if (ed.ChangedMark == ' ' || std::strcmp(name, ed.FileName) != 0 || !DiskFileChanged(ed)) return true;
    int key = Answer(ed, "FILE CHANGED, SAVE? Yn");
    return key >= 0 && key != 'N';
}

}  // namespace

bool SaveIfChanged(Editor& ed, bool ask) {
    if (ask && !MayWriteOver(ed, ed.FileName)) return false;
    bool ok = SaveFile(ed);
    RestoreCursor(ed);
    if (ok) ed.ChangedMark = ' ';
    return ok;
}

void Save(Editor& ed) { (void)SaveIfChanged(ed); }

bool SaveUnderName(Editor& ed, const char* name) {
    // The name is taken only once the text is safe under it: a failed save (or a terminal lost while
    // its error shows) leaves the text under the old name.
    char newName[sizeof ed.FileName];
    size_t n = std::strlen(name);
    if (n >= sizeof newName) n = sizeof newName - 1;
    std::memcpy(newName, name, n);
    newName[n] = 0;
    uint8_t oldMark = ed.ChangedMark;
    ed.ChangedMark = '*';  // so that the save really writes
    bool ok = MayWriteOver(ed, newName) && SaveFileAs(ed, newName);
    RestoreCursor(ed);
    if (!ok) {
        ed.ChangedMark = oldMark;
        return false;
    }
    std::memcpy(ed.FileName, newName, sizeof newName);
    ed.ChangedMark = ' ';
    return true;
}

void SaveAs(Editor& ed) {
    if (AskNewName(ed) != 0) (void)SaveUnderName(ed, ed.NewFileName);
}

void SaveAndQuit(Editor& ed) {
    if (SaveIfChanged(ed)) ed.ExitRequest = 1;
}

void Quit(Editor& ed) {
    if (ed.ChangedMark == ' ') {
        ed.ExitRequest = 1;
        return;
    }
    int key = Answer(ed, "SAVE? Ynl");
    if (key < 0) return;
    if (key == 'N') {
        ed.ExitRequest = 1;
    } else if (key == 'L') {
        if (SaveIfChanged(ed)) ed.ExitRequest = 2;
    } else if (SaveIfChanged(ed)) {
        ed.ExitRequest = 1;
    }
}

void SaveAndLoad(Editor& ed) {
    if (SaveIfChanged(ed)) ed.ExitRequest = 2;
}

void LoadNew(Editor& ed) {
    if (ed.ChangedMark == ' ') {
        ed.ExitRequest = 2;
        return;
    }
    int key = Answer(ed, "SAVE? Yn");
    if (key < 0) return;
    if (key == 'N' || SaveIfChanged(ed)) ed.ExitRequest = 2;
}

void InsertFile(Editor& ed) {
    size_t n = 0;
    if (AskNewName(ed) == 0 || !InsertFileAtCursor(ed, ed.NewFileName, &n)) {
        RestoreCursor(ed);
        return;
    }
    ed.BlockBegin = ed.Cursor;
    ed.BlockEnd = ed.Cursor + n;
    ed.BlockVisible = 1;
    if (ed.EditMode == EMACS || ed.EditMode == NEDIT) {
        ed.Mark = ed.Cursor + n;
        ed.BlockVisible = 0;
    } else if (ed.EditMode == PICO) {
        ed.Cursor = CharEndAt(ed, ed.Cursor + n);
        RecountLineNumber(ed);
    }
    ed.Cursor = CharStartAt(ed, ed.Cursor);
    RestoreCursor(ed);
}

void WriteBlock(Editor& ed) {
    if (!BlockValid(ed)) return;
    if (AskNewName(ed) == 0) return;
    (void)WriteBlockToFile(ed, ed.NewFileName);
    RestoreCursor(ed);
}
