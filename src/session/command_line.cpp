// The command line: options before the file name, answered before the terminal is touched.
#include <cstdio>
#include <cstring>

#include "files/files.hpp"
#include "session/session.hpp"

namespace {

constexpr size_t kLongestName = 255;  // the file-name field holds 255 bytes and a zero

constexpr char kUsage[] =
    "Usage: ztws|ztem|ztpi|ztvi|ztne [+LINE | +] [--] [FILE]\n"
    "\n"
    "Edits FILE, held whole in memory, in a terminal; without FILE it asks for a name.\n"
    "The name it is started under chooses the keys (the mode can be changed while editing):\n"
    "  ztws  WS (also zt, or any other name)\n"
    "  ztem  EMACS\n"
    "  ztpi  PICO\n"
    "  ztvi  vi\n"
    "  ztne  NEDIT\n"
    "alt-H (ESC H) shows the keys of the mode; in vi it is :h.\n"
    "\n"
    "  +LINE      start on line LINE\n"
    "  +          start at the end of the text\n"
    "  --         end of the options: the next argument is the file, even if it begins with -\n"
    "  --help     show this and exit\n"
    "  --version  show the version and exit\n"
    "Arguments after FILE are ignored.\n"
    "\n"
    "Files: saving keeps the previous version as FILE~ (not under /tmp). If the terminal goes\n"
    "away while there are unsaved changes, the text is kept in FILE.save (FILE.save.1, ... when\n"
    "that exists), or in $HOME when FILE's directory is not writable.\n"
    "\n"
    "Environment: TERM (linux: the console's highlight); LC_ALL, LC_CTYPE, LANG (a UTF-8 locale\n"
    "edits characters, any other edits bytes); HOME (for the copy of unsaved text).\n"
    "\n"
    "Exit status: 0; 1 after vi's :cq or when unsaved text had to be kept; 2 for a bad command line.\n"
    "See zt(1).\n";

// "+" alone, or "+" and decimal digits; a number too large for 64 bits is kept at the largest.
bool ReadStartLine(const char* arg, CommandLine& cl) {
    if (arg[1] == 0) {
        cl.at = StartLine::End;
        return true;
    }
    uint64_t n = 0;
    for (const char* p = arg + 1; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t digit = uint64_t(*p - '0');
        n = n > (UINT64_MAX - digit) / 10 ? UINT64_MAX : n * 10 + digit;
    }
    cl.at = n == 0 ? StartLine::Top : StartLine::Line;
    cl.line = n;
    return true;
}

}  // namespace

CommandLine ReadCommandLine(int argc, char* const* argv) {
    CommandLine cl;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
            continue;
        }
        if (options && std::strcmp(arg, "--help") == 0) {
            cl.action = StartAction::Help;
            return cl;
        }
        if (options && std::strcmp(arg, "--version") == 0) {
            cl.action = StartAction::Version;
            return cl;
        }
        if (options && arg[0] == '+') {
            if (ReadStartLine(arg, cl)) continue;
            cl.action = StartAction::BadLine;
            cl.refused = arg;
            return cl;
        }
        if (options && arg[0] == '-' && arg[1] != 0) {
            cl.action = StartAction::UnknownOption;
            cl.refused = arg;
            return cl;
        }
        if (std::strlen(arg) > kLongestName) {
            cl.action = StartAction::NameTooLong;
            cl.refused = arg;
            return cl;
        }
        cl.file = arg;
        break;
    }
    return cl;
}

int AnswerCommandLine(const CommandLine& cl, bool utf8, std::FILE* out, std::FILE* err) {
    // What the user typed goes back to the terminal with no byte of it acting as a control.
    char refused[kLongestName + 1] = "";
    if (cl.refused) PrintableCopy(utf8, cl.refused, refused, sizeof refused);
    switch (cl.action) {
        case StartAction::Edit:
            return -1;
        case StartAction::Help:
            std::fputs(kUsage, out);
            return std::fflush(out) == 0 ? 0 : 1;
        case StartAction::Version:
            std::fputs("zt " ZT_VERSION "\n", out);
            return std::fflush(out) == 0 ? 0 : 1;
        case StartAction::UnknownOption:
            std::fprintf(err, "zt: unknown option '%s'\nTry 'zt --help' for more information.\n", refused);
            return 2;
        case StartAction::BadLine:
            std::fprintf(err, "zt: '%s' is no line number (+LINE, or + for the end)\n", refused);
            return 2;
        case StartAction::NameTooLong:
            std::fprintf(err, "zt: file name too long (at most %zu bytes)\n", kLongestName);
            return 2;
    }
    return 2;
}
