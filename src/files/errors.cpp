// The one error report: "ERROR", the number in four places, and the table's text for it.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

// Line N is the text for number N; numbers 1-30 and 32 are the system's, 31 is the sed child's own.
constexpr const char* kMessages[32] = {
    "Op not permitted",
    "No such file|directory",
    "",
    "",
    "Input/output",
    "No such device",
    "",
    "",
    "Bad file descriptor",
    "No child processes",
    "",
    "Memory exhausted",
    "Permission denied",
    "",
    "",
    "Device|resource busy",
    "File exists",
    "",
    "No such device",
    "",
    "Is a directory",
    "Invalid argument",
    "Too many open files",
    "Too many open files",
    "Inappropriate ioctl",
    "Text file busy",
    "File too large",
    "No space on device",
    "Illegal seek",
    "R/O file system",
    "Can't exec /bin/sed",
    "Broken pipe",
};

constexpr size_t kNumberEnd = 9;  // the number's last digit is the 9th character

}  // namespace

void ComposeErrorText(Editor& ed) {
    char* t = ed.ErrorText;
    std::memcpy(t, "ERROR    ", kNumberEnd);
    unsigned v = ed.sys.ErrorNumber > 0 ? unsigned(ed.sys.ErrorNumber) : 0;
    // Numbers of five digits and more (none the system gives) would run into the word: show 9999.
    if (v > 9999) v = 9999;
    char* p = t + kNumberEnd;
    do *--p = char('0' + v % 10), v /= 10;
    while (v);
    size_t n = kNumberEnd;
    if (ed.sys.ErrorNumber >= 1 && ed.sys.ErrorNumber <= 32) {
        const char* text = kMessages[ed.sys.ErrorNumber - 1];
        t[n++] = ' ';
        t[n++] = ':';
        size_t len = std::strlen(text);
        std::memcpy(t + n, text, len);
        n += len;
    }
    t[n] = 0;
}

bool ShowError(Editor& ed) {
    ComposeErrorText(ed);
    (void)ShowStatusTextAndWait(ed, ed.ErrorText);
    DrawStatusLine(ed);
    return false;
}

void PrintableCopy(bool utf8, const char* text, char* out, size_t outSize) {
    if (outSize == 0) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + std::strlen(text);
    size_t n = 0;
    while (p < end) {
        // A character whole, or one "." for a byte that is none (CharAt takes those one by one).
        TextChar c = CharAt(p, end, utf8);
        if (n + c.length >= outSize) break;
        if (c.shape == CharShape::Dot)
            out[n] = '.';
        else
            std::memcpy(out + n, p, c.length);
        n += c.length;
        p += c.length;
    }
    out[n] = 0;
}
