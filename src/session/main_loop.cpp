#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {
struct ModeName {
    const char word[5];
    uint8_t mode;
};
// Compared in this order.
constexpr ModeName kModeNames[] = {
    {"ztne", NEDIT}, {"ztem", EMACS}, {"ztpi", PICO}, {"ztvi", VI}, {"ztws", WS},
};
}  // namespace

bool SelectModeByName(Editor& ed, const char* word) {
    for (const ModeName& m : kModeNames) {
        if (std::memcmp(word, m.word, 4) == 0) {
            ed.EditMode = m.mode;
            return true;
        }
    }
    return false;
}

void SelectModeFromProgramName(Editor& ed, const char* argv0) {
    size_t n = argv0 ? std::strlen(argv0) : 0;
    if (n < 4 || !SelectModeByName(ed, argv0 + n - 4)) ed.EditMode = WS;
}

// Terminal families known to insert and delete characters and lines (ESC [ @ P L M): xterm and the
// emulators that follow it, screen, tmux, rxvt, the Linux console. A family is the name up to its
// first "-" or ".": xterm-256color, screen.linux.
constexpr const char* kShiftingFamilies[] = {"xterm",   "screen", "tmux", "rxvt",      "linux", "vt220",
                                             "konsole", "gnome",  "vte",  "alacritty", "foot",  "putty"};

static TermKind KindOfTerminal(const char* name) {
    const size_t family = std::strcspn(name, "-.");
    for (const char* f : kShiftingFamilies)
        if (std::strlen(f) == family && std::strncmp(name, f, family) == 0) return TermKind::Shifting;
    return TermKind::Unknown;
}

void NoteConsoleVariant(Editor& ed, char** envp) {
    for (char** e = envp; e && *e; ++e) {
        if (std::strncmp(*e, "TERM=", 5) == 0) {
            if (std::strncmp(*e + 5, "linu", 4) == 0) ed.ConsoleVariant = 4;
            ed.screen.Kind = KindOfTerminal(*e + 5);
            return;  // the first TERM decides, whatever its value
        }
    }
}

bool StartEditor(Editor& ed, int argc, char** argv, char** envp) {
    const CommandLine cl = ReadCommandLine(argc, argv);
    SelectModeFromProgramName(ed, argc > 0 ? argv[0] : nullptr);
    NoteConsoleVariant(ed, envp);
    ed.Utf8 = LocaleIsUtf8(envp);
    if (!LoadFile(ed, cl.file)) return false;
    // Where the go-to-line or go-to-end command would put the cursor as the first key.
    if (cl.at == StartLine::Line) GoLineNumber(ed, cl.line);
    if (cl.at == StartLine::End) GoTextEnd(ed);
    if (ed.RecountLines) {
        RecountLineNumber(ed);
        ed.RecountLines = false;
    }
    return true;
}

bool EditStep(Editor& ed) {
    if (ed.Cursor > ed.TextEnd) ed.Cursor = ed.TextEnd;
    if (ed.Cursor < ed.TextStart) ed.Cursor = ed.TextStart;
    if (ed.EditMode == VI && ed.BlockBegin) {
        ed.BlockEnd = LineEndOf(ed, ed.BlockBegin);
        ed.BlockVisible = 1;
    }
    if (KeyWaiting(ed)) {
        // The next key is already there: its refresh shows this one's result.
        ComposeWindow(ed);
        ComposeStatusLine(ed);
    } else {
        RefreshWindow(ed);
        DrawStatusLine(ed);
    }
    DispatchKey(ed);
    if (ed.ExitRequest == 0) return true;
    if (ed.ExitRequest == 2) return LoadFile(ed, nullptr);
    return false;
}

void RedrawScreen(Editor& ed) {
    Screen& sc = ed.screen;
    const StatusWait w = sc.Waiting;
    if (w.shows == StatusRow::Prompt) sc.CursorScreenPos = w.window;
    if (!ed.buf || (ed.Cursor >= ed.TextStart && ed.Cursor <= ed.TextEnd))
        RefreshWindow(ed);
    else
        ReadWindowSize(ed);  // a command half done: its window comes with the next refresh
    switch (w.shows) {
        case StatusRow::Line:
            DrawStatusLine(ed);
            break;
        case StatusRow::Prefix:
            ComposeStatusLine(ed);
            ShowPrefixKey(ed, w.text);
            break;
        case StatusRow::Message:
            ComposeStatusLine(ed);
            ShowStatusText(ed, w.text);
            break;
        case StatusRow::Prompt:
            ShowPromptRow(ed, w.text, w.entry, w.entryLength);
            break;
    }
    FlushOutput(ed);
}

void LeaveEditor(Editor& ed) {
    PromptCursor(ed);
    ReleaseTerminal(ed);
    ed.term.Write("\r\n", 2);  // the shell starts below the status row
    RemoveSnapshotFile(ed);
    ed.term.RestoreMode();
}

static void ExitProcess(Editor& ed, int status) {
    if (ed.Exit) ed.Exit(ed, status);
    std::exit(status);
}

void TerminalLost(Editor& ed) {
    EndHelp(ed);  // the help page lends the start of the text
    ReleaseTerminal(ed);
    int status = 0;
    char saved[4200] = "";
    if (ed.ChangedMark == '*') {
        status = 1;
        bool ok = EmergencySave(ed, saved, sizeof saved);
        ed.term.RestoreMode();
        char shown[sizeof saved];
        PrintableCopy(ed.Utf8, saved, shown, sizeof shown);
        if (ok)
            std::fprintf(stderr, "zt: the terminal is gone; unsaved text kept in %s\n", shown);
        else
            std::fprintf(stderr, "zt: the terminal is gone; the unsaved text could not be kept\n");
    } else {
        ed.term.RestoreMode();
    }
    RemoveSnapshotFile(ed);
    ExitProcess(ed, status);
}

int RunEditor(Editor& ed, int argc, char** argv, char** envp) {
    const int answered = AnswerCommandLine(ReadCommandLine(argc, argv), LocaleIsUtf8(envp), stdout, stderr);
    if (answered >= 0) return answered;
    ed.term.EnterRawMode();
    InstallSignalHandlers();
    if (StartEditor(ed, argc, argv, envp)) {
        while (EditStep(ed)) {
        }
    }
    LeaveEditor(ed);
    return ed.ExitStatus;
}
