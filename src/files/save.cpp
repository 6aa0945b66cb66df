// Saving the text with a backup copy, and writing one range of the buffer to a file.
//
// A save never truncates the file it replaces: the new text goes completely into a fresh file beside
// the target, and only a fully written, synced and closed copy is renamed over it. Until then the old
// file and its backup stay exactly as they were.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

constexpr size_t kPathMax = 4096;
constexpr int kMaxLinkHops = 40;

bool CopyName(Editor& ed, char* out, size_t outSize, const char* a, const char* b = "") {
    size_t na = std::strlen(a), nb = std::strlen(b);
    if (na + nb + 1 > outSize) {
        ed.sys.ErrorNumber = err::kNameTooLong;
        return false;
    }
    std::memmove(out, a, na);
    std::memcpy(out + na, b, nb + 1);
    return true;
}

// Length of the directory part of a path, its final slash included (0 for a bare name).
size_t DirectoryLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? size_t(slash - path) + 1 : 0;
}

// Follows symbolic links from `name` to the file they end at, which need not exist yet.
bool ResolveTarget(Editor& ed, const char* name, char* out, size_t outSize, bool* isLink) {
    *isLink = false;
    if (!CopyName(ed, out, outSize, name)) return false;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (ed.sys.Lstat(out, &st) < 0) return ed.sys.ErrorNumber == err::kNoSuchName;
        if (!S_ISLNK(st.st_mode)) return true;
        *isLink = true;
        char link[kPathMax];
        long n = ed.sys.Readlink(out, link, sizeof link - 1);
        if (n < 0) return false;
        link[n] = 0;
        if (link[0] == '/') {
            if (!CopyName(ed, out, outSize, link)) return false;
        } else {
            // A relative link is read from the directory that holds it.
            size_t dir = DirectoryLength(out);
            if (dir + size_t(n) + 1 > outSize) {
                ed.sys.ErrorNumber = err::kNameTooLong;
                return false;
            }
            std::memcpy(out + dir, link, size_t(n) + 1);
        }
    }
    ed.sys.ErrorNumber = err::kTooManyLinks;
    return false;
}

// A new file beside `path`, made exclusively so that nothing planted under its name is followed.
long CreateBeside(Editor& ed, const char* path, char* tmp, size_t tmpSize) {
    int dir = int(DirectoryLength(path));
    unsigned long pid = (unsigned long)getpid();
    for (unsigned n = 0; n < 1000; ++n) {
        int len = std::snprintf(tmp, tmpSize, "%.*s.zt-%lu-%u.tmp", dir, path, pid, n);
        if (len < 0 || size_t(len) >= tmpSize) {
            ed.sys.ErrorNumber = err::kNameTooLong;
            return -1;
        }
        long fd = ed.sys.Open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, 0600);
        if (fd >= 0 || ed.sys.ErrorNumber != EEXIST) return fd;
    }
    return -1;
}

// Bytes to write for from..to: in vi a text that does not end in a line feed gets the closing one.
size_t WriteLength(const Editor& ed, Pos from, Pos to) {
    size_t n = to - from;
    if (ed.EditMode == VI && to == ed.TextEnd && n > 0 && ed.buf[to - 1] != '\n') ++n;
    return n;
}

bool WriteAll(Editor& ed, int fd, const uint8_t* p, size_t n) {
    long long r = ed.sys.WriteFully(fd, p, n);
    if (r < 0) return false;
    if (size_t(r) != n) {
        ed.sys.ErrorNumber = err::kIoError;
        return false;
    }
    return true;
}

// Closes fd (when open) and removes `path` (when given), then shows the error that led here.
bool FailWriting(Editor& ed, long fd, const char* path) {
    int error = ed.sys.ErrorNumber;
    if (fd >= 0) ed.sys.Close(int(fd));
    if (path) ed.sys.Unlink(path);
    ed.sys.ErrorNumber = error;
    return ShowError(ed);
}

// The old content of `source` as a regular file `backup`, with the loaded modification time and
// access time 0. A backup that cannot be made is skipped silently; an older backup then stays.
void CopyToBackup(Editor& ed, const char* source, const char* backup, uint32_t mode, uint32_t uid,
                  uint32_t gid) {
    char tmp[kPathMax];
    long in = ed.sys.Open(source, O_RDONLY | O_NOCTTY);
    if (in < 0) return;
    long out = CreateBeside(ed, backup, tmp, sizeof tmp);
    if (out < 0) {
        ed.sys.Close(int(in));
        return;
    }
    bool ok = true;
    uint8_t chunk[16384];
    for (;;) {
        long n = ed.sys.Read(int(in), chunk, sizeof chunk);
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!WriteAll(ed, int(out), chunk, size_t(n))) {
            ok = false;
            break;
        }
    }
    ed.sys.Close(int(in));
    ed.sys.Fchown(int(out), uid, gid);
    ok = ok && ed.sys.Fchmod(int(out), mode) >= 0 && ed.sys.Fsync(int(out)) >= 0;
    ok = ed.sys.Close(int(out)) >= 0 && ok;
    ok = ok && ed.sys.Utime(tmp, 0, long(ed.FileModTime)) >= 0;
    if (!ok || ed.sys.Rename(tmp, backup) < 0) ed.sys.Unlink(tmp);
}

// Devices and pipes are written where they are: replacing them by a regular file would be wrong.
bool WriteInPlace(Editor& ed, const char* target, size_t n) {
    long fd = ed.sys.Open(target, O_WRONLY | O_TRUNC | O_NOCTTY);
    if (fd < 0) return ShowError(ed);
    if (!WriteAll(ed, int(fd), ed.buf + ed.TextStart, n)) return FailWriting(ed, fd, nullptr);
    if (ed.sys.Close(int(fd)) < 0) return ShowError(ed);
    return true;
}

}  // namespace

bool SaveFile(Editor& ed) { return SaveFileAs(ed, ed.FileName); }

bool SaveFileAs(Editor& ed, const char* name) {
    if (ed.ChangedMark == ' ') return true;
    ShowStatusText(ed, "   SAVE:");
    if (!*name || !ed.buf) {
        ed.sys.ErrorNumber = err::kNoSuchName;
        return ShowError(ed);
    }
    // Refused before anything is touched; root may write any file.
    struct stat cur;
    bool exists = ed.sys.Stat(name, &cur) >= 0;
    if (exists && ed.sys.Access(name, W_OK) < 0) return ShowError(ed);
    if (exists && S_ISDIR(cur.st_mode)) {
        ed.sys.ErrorNumber = err::kIsDirectory;
        return ShowError(ed);
    }
    char target[kPathMax];
    bool isLink = false;
    if (!ResolveTarget(ed, name, target, sizeof target, &isLink)) return ShowError(ed);

    size_t n = WriteLength(ed, ed.TextStart, ed.TextEnd);
    if (exists && !S_ISREG(cur.st_mode)) return WriteInPlace(ed, target, n);

    uint32_t mode, uid = 0xFFFFFFFF, gid = 0xFFFFFFFF;
    if (ed.FileExisted) {
        mode = ed.FileMode & 0777;
        uid = ed.FileUid;
        gid = ed.FileGid;
    } else if (exists) {
        mode = uint32_t(cur.st_mode) & 0777;
        uid = uint32_t(cur.st_uid);
        gid = uint32_t(cur.st_gid);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = ed.FileMode & 0777 & ~uint32_t(mask);
    }

    char tmp[kPathMax];
    long fd = CreateBeside(ed, target, tmp, sizeof tmp);
    if (fd < 0) return ShowError(ed);
    ed.sys.Fchown(int(fd), uid, gid);  // only root can give a file away; others keep their own
    if (ed.sys.Fchmod(int(fd), mode) < 0 || !WriteAll(ed, int(fd), ed.buf + ed.TextStart, n) ||
        ed.sys.Fsync(int(fd)) < 0)
        return FailWriting(ed, fd, tmp);
    if (ed.sys.Close(int(fd)) < 0) return FailWriting(ed, -1, tmp);

    char backup[kPathMax];
    bool makeBackup =
        exists && std::strncmp(name, "/tmp", 4) != 0 && CopyName(ed, backup, sizeof backup, name, "~");
    bool movedAside = false;
    if (makeBackup && isLink) CopyToBackup(ed, target, backup, mode, uid, gid);
    if (makeBackup && !isLink) movedAside = ed.sys.Rename(name, backup) >= 0;
    if (ed.sys.Rename(tmp, target) < 0) {
        int error = ed.sys.ErrorNumber;
        if (movedAside) ed.sys.Rename(backup, name);
        ed.sys.Unlink(tmp);
        ed.sys.ErrorNumber = error;
        return ShowError(ed);
    }
    // The file now exists with this mode and owner; later saves keep them.
    ed.FileExisted = true;
    ed.FileMode = mode;
    ed.FileUid = uid;
    ed.FileGid = gid;
    return true;
}

bool WriteRange(Editor& ed, const char* name, Pos from, Pos to, bool privateFile) {
    if (!ed.buf || from < ed.TextStart || to < from || to > ed.TextEnd + 1 + ed.KillLength) {
        ed.sys.ErrorNumber = err::kInvalid;
        return ShowError(ed);
    }
    long fd;
    if (privateFile) {
        // An old regular file of that name goes; a link planted there is refused by the exclusive open.
        struct stat st;
        if (ed.sys.Lstat(name, &st) >= 0 && S_ISREG(st.st_mode)) ed.sys.Unlink(name);
        fd = ed.sys.Open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, 0600);
    } else {
        fd = ed.sys.Open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
    }
    if (fd < 0) return ShowError(ed);
    if (!WriteAll(ed, int(fd), ed.buf + from, WriteLength(ed, from, to))) return FailWriting(ed, fd, nullptr);
    if (ed.sys.Close(int(fd)) < 0) return ShowError(ed);
    return true;
}

bool WriteBlockToFile(Editor& ed, const char* name) {
    if (!ed.BlockBegin || ed.BlockEnd < ed.BlockBegin || ed.BlockEnd > ed.TextEnd) {
        ed.sys.ErrorNumber = err::kInvalid;
        return ShowError(ed);
    }
    return WriteRange(ed, name, ed.BlockBegin, ed.BlockEnd);
}
