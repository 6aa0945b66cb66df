// What every fuzz target shares: a private scratch directory as the current one, the checks that
// must hold after any key, and a report that stops the run at the first broken one.
#pragma once

#include <cstdint>
#include <string>

#include "editor.hpp"
#include "session/terminal.hpp"

// Thrown by the editor's exit, so that a stream that ends inside a command ends the input.
struct EditorLeft {};
[[noreturn]] void ThrowEditorLeft(Editor&, int);

// Makes a fresh directory under /tmp the current one, once per process, with $HOME and $TMPDIR
// there too, so that nothing the editor writes lands elsewhere. Returns its path.
const std::string& ScratchDir();
// Removes everything in the scratch directory but `keep`.
void ClearScratch(const char* keep = nullptr);
void WriteScratchFile(const char* name, const uint8_t* p, size_t n);
std::string ReadScratchFile(const char* name, bool* found = nullptr);

// Prints the failure with what was being checked, removes the scratch directory and aborts: the
// fuzzer keeps the input.
[[noreturn]] void Broken(const char* what, const std::string& detail = "");
#define FUZZ_CHECK(cond, detail)            \
    do {                                    \
        if (!(cond)) Broken(#cond, detail); \
    } while (0)

// The buffer's own consistency: the text between its two line feeds, the cursor and every kept
// position inside it, the kill buffer within the capacity, the undo top within its stack, the line
// number as a count from the start (unless a recount is pending), and in a UTF-8 locale the cursor between
// characters.
void CheckBuffer(const Editor& ed, const char* after);

// The screen the editor shows equals what another editor draws from nothing for the same state.
void CheckFreshRedraw(Editor& ed, Terminal& shown);

std::string TextOf(const Editor& ed);

// A new editor on `term` for each input, built in storage kept from input to input: allocating
// three quarters of a megabyte afresh each time would spend the run on page faults.
class FreshEditor {
public:
    explicit FreshEditor(Terminal& term);
    ~FreshEditor();
    FreshEditor(const FreshEditor&) = delete;
    FreshEditor& operator=(const FreshEditor&) = delete;
    Editor* operator->() { return ed_; }
    Editor& operator*() { return *ed_; }

private:
    Editor* ed_;
};
