// Loading, saving with backup copies, error reports, the emergency copy and the sed filter.
#pragma once

#include "buffer/buffer.hpp"
#include "editor.hpp"

// Makes `name` (or, without one, the name asked at the start-up prompt) the current file. A file that
// cannot be opened is a new, empty one. False on a reported error or when the user leaves the prompt.
[[nodiscard]] bool LoadFile(Editor& ed, const char* name);
// Inserts the named file at the cursor; *inserted gets its size.
[[nodiscard]] bool InsertFileAtCursor(Editor& ed, const char* name, size_t* inserted);
// What `name` is on disk now.
DiskFile LookAtDisk(Editor& ed, const char* name);
// Remembers what `name` is on disk now as the file the text came from or went to.
void NoteDiskFile(Editor& ed, const char* name);
// Whether FileName is no longer what the last load or save left on disk.
bool DiskFileChanged(Editor& ed);
// Writes the text under FileName (nothing when unchanged), the old file kept as the "~" backup.
// A link is written through only when FileName was one when the file was loaded or last saved.
// A file whose links, extended attributes (ACLs) or owner a new file could not be given is written
// in place, after a complete backup copy; otherwise a new file replaces it.
[[nodiscard]] bool SaveFile(Editor& ed);
// The same under another name; FileName is left alone.
[[nodiscard]] bool SaveFileAs(Editor& ed, const char* name);
// Creates `name` (0644 less the umask, exclusively and never through a link when `privateFile`,
// then 0600) and writes from..to; the vi rule adds the closing line feed when the range ends the text.
[[nodiscard]] bool WriteRange(Editor& ed, const char* name, Pos from, Pos to, bool privateFile = false);
[[nodiscard]] bool WriteBlockToFile(Editor& ed, const char* name);
// A new file without a name holding the text's runs, then tailLength at tail, read from its start;
// made in the current directory, else in $TMPDIR, else in ed.TempDir. < 0 when none takes them.
[[nodiscard]] long UnnamedCopy(Editor& ed, const TextRuns& text, const uint8_t* tail = nullptr,
                               size_t tailLength = 0);
// Shows ErrorNumber as the "ERROR" line, waits for a key, redraws the status line; returns false.
bool ShowError(Editor& ed);
// Builds ErrorText from ErrorNumber (exposed for the tests).
void ComposeErrorText(Editor& ed);
// `text` for a terminal or standard error, at most outSize - 1 bytes: every byte that is not part of
// a printable character (a control byte, or in a UTF-8 locale an invalid sequence) becomes ".".
void PrintableCopy(bool utf8, const char* text, char* out, size_t outSize);
// Writes the text to an emergency file (name.save, name.save.1, ...; zt.save without a name) in the
// file's directory or in $HOME; the name written goes to `written`. False when no copy could be made.
bool EmergencySave(Editor& ed, char* written, size_t writtenSize);

// The pipe filter through sed: "mode EX:" asks for the expression, then FilterThroughSed runs it.
void SedPipe(Editor& ed);
// Runs sed (ed.SedPath) with the expression in CommandText on the whole text, its standard input, and
// makes its output the text, one undo bringing the old text back. The text stays when sed fails, is
// killed, writes nothing or writes more than the buffer holds; failures are shown. The bell rings
// when sed wrote to its standard error.
[[nodiscard]] bool FilterThroughSed(Editor& ed);
