// The last copy of unsaved text when the terminal is gone: no screen, no questions, no overwriting.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/files.hpp"

namespace {

constexpr size_t kPathMax = 4096;
constexpr int kMaxNumbered = 99;

// Writes the whole text to a file of that exact name that did not exist before. On a failed write
// the partial copy goes again. Leaves EEXIST in ErrorNumber when the name is taken.
bool WriteNewFile(Editor& ed, const char* path) {
    long fd = ed.sys.Open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) return false;
    size_t n = ed.TextLength();
    bool ok = WriteText(ed, int(fd), ed.TextStart, n) == (long long)n;
    ok = ok && ed.sys.Fsync(int(fd)) >= 0;
    ok = ed.sys.Close(int(fd)) >= 0 && ok;
    if (!ok) {
        ed.sys.Unlink(path);
        ed.sys.ErrorNumber = EIO;
    }
    return ok;
}

// base.save, then base.save.1, base.save.2 ... for the first name not yet taken.
bool SaveNumbered(Editor& ed, const char* base, char* written, size_t writtenSize) {
    char path[kPathMax];
    for (int k = 0; k <= kMaxNumbered; ++k) {
        int len = k == 0 ? std::snprintf(path, sizeof path, "%s.save", base)
                         : std::snprintf(path, sizeof path, "%s.save.%d", base, k);
        if (len < 0 || size_t(len) >= sizeof path) return false;
        if (WriteNewFile(ed, path)) {
            if (writtenSize) std::snprintf(written, writtenSize, "%s", path);
            return true;
        }
        if (ed.sys.ErrorNumber != EEXIST) return false;
    }
    return false;
}

}  // namespace

bool EmergencySave(Editor& ed, char* written, size_t writtenSize) {
    if (writtenSize) written[0] = 0;
    if (!ed.buf) return false;
    // The name as typed puts the copy in the file's directory; without a name it goes here.
    const char* name = ed.FileName[0] ? ed.FileName : "zt";
    if (SaveNumbered(ed, name, written, writtenSize)) return true;

    const char* home = std::getenv("HOME");
    if (!home || !*home) return false;
    const char* slash = std::strrchr(name, '/');
    const char* leaf = slash ? slash + 1 : name;
    if (!*leaf) leaf = "zt";
    char base[kPathMax];
    int len = std::snprintf(base, sizeof base, "%s/%s", home, leaf);
    if (len < 0 || size_t(len) >= sizeof base) return false;
    return SaveNumbered(ed, base, written, writtenSize);
}
