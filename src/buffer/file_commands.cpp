// The file and exit commands: the questions they ask and the request they leave for the main loop.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

// A single-key answer: the cancel key of the mode (-1), else the key with bit 0x20 cleared.
int Answer(Editor& ed, const char* question) {
    uint8_t key = AskKey(ed, question);
    if (key == CancelKey(ed)) return -1;
    return key & ~0x20;
}

}  // namespace

bool SaveIfChanged(Editor& ed) {
    bool ok = SaveFile(ed);
    RestoreCursor(ed);
    if (ok) ed.ChangedMark = ' ';
    return ok;
}

void Save(Editor& ed) { (void)SaveIfChanged(ed); }

bool SaveUnderName(Editor& ed, const char* name) {
    // A failed save under the new name leaves the text where it was: under the old name.
    char oldName[sizeof ed.FileName];
    std::memcpy(oldName, ed.FileName, sizeof oldName);
    uint8_t oldMark = ed.ChangedMark;
    bool oldExisted = ed.FileExisted;
    size_t n = std::strlen(name);
    if (n >= sizeof ed.FileName) n = sizeof ed.FileName - 1;
    std::memmove(ed.FileName, name, n);
    ed.FileName[n] = 0;
    ed.ChangedMark = '*';  // so that the save really writes
    if (SaveIfChanged(ed)) return true;
    std::memcpy(ed.FileName, oldName, sizeof oldName);
    ed.ChangedMark = oldMark;
    ed.FileExisted = oldExisted;
    return false;
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
        ed.Cursor += n;
        RecountLineNumber(ed);
    }
    RestoreCursor(ed);
}

void WriteBlock(Editor& ed) {
    if (!BlockValid(ed)) return;
    if (AskNewName(ed) == 0) return;
    (void)WriteBlockToFile(ed, ed.NewFileName);
    RestoreCursor(ed);
}
