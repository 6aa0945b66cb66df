// Files without a name: the undo snapshot and the text handed to sed live in them, where no other
// program can reach them by a name, put a link in their place or find them left behind.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "files/files.hpp"

namespace {

// A file that can never be linked into a directory (O_EXCL), readable and writable by its maker.
long OpenUnnamedIn(Editor& ed, const char* dir) {
    if (!dir || !dir[0]) return -1;
    return ed.sys.Open(dir, O_TMPFILE | O_RDWR | O_EXCL | O_NOCTTY, 0600);
}

}  // namespace

long UnnamedCopy(Editor& ed, const TextRuns& text, const uint8_t* tail, size_t tailLength) {
    const char* places[] = {".", std::getenv("TMPDIR"), ed.TempDir};
    int error = err::kNoSpace;
    for (const char* dir : places) {
        long fd = OpenUnnamedIn(ed, dir);
        if (fd < 0) {
            if (dir && dir[0]) error = ed.sys.ErrorNumber;
            continue;
        }
        // A full disk here may leave room elsewhere.
        const TextRun &first = text.run[0], &second = text.run[1];
        bool whole = ed.sys.WriteFully(int(fd), first.bytes, first.length) == (long long)first.length &&
                     (second.length == 0 ||
                      ed.sys.WriteFully(int(fd), second.bytes, second.length) == (long long)second.length) &&
                     ed.sys.WriteFully(int(fd), tail, tailLength) == (long long)tailLength &&
                     ed.sys.Lseek(int(fd), 0, SEEK_SET) == 0;
        if (whole) return fd;
        error = ed.sys.ErrorNumber ? ed.sys.ErrorNumber : err::kNoSpace;
        ed.sys.Close(int(fd));
    }
    ed.sys.ErrorNumber = error;
    return -1;
}
