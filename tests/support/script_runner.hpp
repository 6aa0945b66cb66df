// Key scripts: a file, the keys typed, the text (and where it matters the screen) expected after them,
// run through the real main loop against the in-memory terminal.
//
// A case is a folder tests/scripts/<mode>/<area>/<case>/ holding
//   in      the file loaded at start, as file.txt (absent: file.txt does not exist)
//   keys    one line = one burst of input; lines "#" and "# ..." are comments (type # as <0x23>).
//           ^A..^Z ^@ ^[ ^\ ^] ^^ ^_ are control bytes; <Up> <Down> <Left> <Right> <Home> <End> <PgUp>
//           <PgDn> <Ins> <Del> <Esc> <Enter> <Tab> <Bs> <DEL> <caret> <lt> <0xNN> are single keys;
//           <paste> and </paste> the markers a terminal puts around a paste;
//           <resize RxC> (a window change, signalled) and <cont> are events.
//   out     the text after the last key
//   size    optional "rows cols" (default 24 80)
//   screen  optional: the screen rows after the last key, trailing blanks dropped
//   attrs   optional: one letter per cell (b bold, r reverse, s status colours), trailing blanks dropped
//   cursor  optional: "row col" of the terminal cursor
//   pos     optional: the cursor's byte offset in the text
//   saved   optional: the content of file.txt on disk at the end
//   bells   optional: how many times the bell rang
//   exit    optional: "left" when the editor must have left ("left 1" when with exit status 1), "lost"
//           when it must have lost its terminal
//   env     optional: environment entries, one a line (LANG=C.UTF-8), after TERM=xterm
#pragma once

#include <string>
#include <vector>

struct ScriptResult {
    std::string text;
    std::vector<std::string> screen, attrs;
    int cursorRow = 0, cursorCol = 0;
    long textCursor = 0;  // Cursor - TextStart
    std::string saved;
    bool savedExists = false;
    std::string ending;  // "running", "left" or "lost"
    int bells = 0;
};

// Parses the keys file format into bursts; an event burst is "\x01resize R C" or "\x01cont".
std::vector<std::string> ParseKeys(const std::string& script, std::string* error);

// Runs one script in a fresh temporary directory (the process's working directory meanwhile).
ScriptResult RunScript(const std::string& mode, const std::string* inFile, const std::string& keys, int rows,
                       int cols, std::string* error, const std::vector<std::string>& env = {});

std::string ReadFileOr(const std::string& path, bool* exists);
