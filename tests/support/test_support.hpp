// Pieces the unit tests share: a fresh working directory, the editor's exit turned into an exception,
// files written and read whole, and a text loaded with the cursor at a marker.
#pragma once

#include <sys/types.h>

#include <string>

#include "screen/screen.hpp"

// Thrown by ThrowOnExit: the editor left (its terminal ran out of input, or a command ended it).
struct EditorLeft {
    int status;
};
[[noreturn]] void ThrowOnExit(Editor& ed, int status);

// A fresh temporary directory, the working directory for the object's lifetime; removed afterwards
// (subdirectories made read-only by a test included).
class WorkDir {
public:
    explicit WorkDir(const char* tag = "test");
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_, old_;
};

void WriteFile(const std::string& name, const std::string& content, mode_t mode = 0644);
std::string ReadFile(const std::string& name);

// The text with the cursor at its '|' (which is not part of the text), in `mode`; reserves the
// default capacity first when the editor has no buffer yet.
void LoadMarked(Editor& ed, uint8_t mode, const std::string& marked);
std::string TextOf(const Editor& ed);
// The text afresh (the buffer reserved), the gap behind it; the cursor and marks are left as they are.
void PutText(Editor& ed, const std::string& text);
std::string KillText(const Editor& ed);

// Starts the editor as the program `program` (which picks the mode) on `file`, without an environment.
bool StartOnFile(Editor& ed, const char* program, const char* file = "file.txt");

// What the first n cells of a row show: the characters (a wide one once) and one attribute letter per
// cell (' ' plain, 'b' bold, 'r' reverse, 's' status colours, '?' unknown).
std::string CellsText(const CellRow& row, int n);
std::string CellsAttrs(const CellRow& row, int n);
// The status row as last composed: its characters.
std::string StatusText(Editor& ed);

// The UTF-8 form of code point cp.
std::string Utf8Of(uint32_t cp);
