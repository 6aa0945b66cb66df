// Saving the text with a backup copy, and writing one range of the buffer to a file.
//
// A save never truncates the file it replaces: the new text goes completely into a fresh file beside
// the target, and only a fully written, synced and closed copy is renamed over it. Until then the old
// file and its backup stay exactly as they were. A file that a new one could not stand in for (more
// names, extended attributes, an owner the user cannot give) is written where it is instead, but
// only once a complete copy of it is safe as the backup. Either way, at every moment the file or its
// backup holds the last text saved.
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
    if (ed.EditMode == VI && to == ed.TextEnd && n > 0 && ByteAt(ed, to - 1) != '\n') ++n;
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

// The n bytes of text at p, the same way.
bool WriteAllText(Editor& ed, int fd, Pos p, size_t n) {
    long long r = WriteText(ed, fd, p, n);
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

// Makes the directory entries of `path` durable: a rename is only safe once its directory is synced.
// File systems that cannot sync a directory say so, and that is no failure.
bool SyncDirectoryOf(Editor& ed, const char* path) {
    char dir[kPathMax];
    size_t n = DirectoryLength(path);
    if (n == 0) {
        dir[0] = '.', dir[1] = 0;
    } else {
        if (n >= sizeof dir) return true;
        std::memcpy(dir, path, n);
        dir[n] = 0;
    }
    long fd = ed.sys.Open(dir, O_RDONLY | O_DIRECTORY | O_NOCTTY);
    if (fd < 0) return false;
    bool ok = ed.sys.Fsync(int(fd)) >= 0 || ed.sys.ErrorNumber == EINVAL || ed.sys.ErrorNumber == EROFS;
    int error = ed.sys.ErrorNumber;
    ed.sys.Close(int(fd));
    ed.sys.ErrorNumber = ok ? 0 : error;
    return ok;
}

// Whether the zero-ended names list[0..n) holds `name`.
bool Listed(const char* list, long n, const char* name) {
    for (long at = 0; at < n; at += long(std::strlen(list + at)) + 1)
        if (std::strcmp(list + at, name) == 0) return true;
    return false;
}

// Gives fd the extended attributes of `source`, its ACLs among them, and no others (a directory's
// default ACL hands a new file one of its own). False when one of them could not be read, given or
// taken away; a file system without them has none to give.
bool CopyAttributes(Editor& ed, const char* source, int fd) {
    char names[16384], own[16384];
    long n = ed.sys.ListXattr(source, names, sizeof names);
    if (n < 0 && ed.sys.ErrorNumber != ENOTSUP) return false;
    if (n < 0) n = 0;
    long m = ed.sys.ListXattr(fd, own, sizeof own);
    if (m < 0 && ed.sys.ErrorNumber != ENOTSUP) return false;
    for (long at = 0; at < m; at += long(std::strlen(own + at)) + 1)
        if (!Listed(names, n, own + at) && ed.sys.RemoveXattr(fd, own + at) < 0) return false;
    uint8_t value[65536];
    for (long at = 0; at < n; at += long(std::strlen(names + at)) + 1) {
        long len = ed.sys.GetXattr(source, names + at, value, sizeof value);
        if (len < 0 || ed.sys.SetXattr(fd, names + at, value, size_t(len)) < 0) return false;
    }
    return true;
}

// The old content of `source` (whose status is `st`) as the regular file `backup`, made complete and
// synced beside it before it takes the name, with no set-id bits, the source's modification time
// and access time 0. False, with the error in ErrorNumber, when no complete copy could be made; an
// older backup then stays.
bool CopyToBackup(Editor& ed, const char* source, const char* backup, const struct stat& st) {
    char tmp[kPathMax];
    long in = ed.sys.Open(source, O_RDONLY | O_NOCTTY);
    if (in < 0) return false;
    long out = CreateBeside(ed, backup, tmp, sizeof tmp);
    if (out < 0) {
        int error = ed.sys.ErrorNumber;
        ed.sys.Close(int(in));
        ed.sys.ErrorNumber = error;
        return false;
    }
    bool ok = true;
    int error = 0;
    uint8_t chunk[16384];
    for (;;) {
        long n = ed.sys.Read(int(in), chunk, sizeof chunk);
        if (n < 0) ok = false, error = ed.sys.ErrorNumber;
        if (n <= 0) break;
        if (!WriteAll(ed, int(out), chunk, size_t(n))) {
            ok = false, error = ed.sys.ErrorNumber;
            break;
        }
    }
    ed.sys.Close(int(in));
    // The copy is no more open than the file: what it cannot be given (the owner, the group, the
    // ACLs that the group bits stand for) leaves it to its owner alone.
    unsigned mode = unsigned(st.st_mode) & 0777;
    bool owned = ed.sys.Fchown(int(out), uint32_t(st.st_uid), uint32_t(st.st_gid)) >= 0;
    if (!owned && ed.sys.Fchown(int(out), 0xFFFFFFFF, uint32_t(st.st_gid)) < 0) mode &= 0700;
    if (ok && ed.sys.Fchmod(int(out), mode) < 0) ok = false, error = ed.sys.ErrorNumber;
    if (ok && !CopyAttributes(ed, source, int(out)) && ed.sys.Fchmod(int(out), mode & 0700) < 0)
        ok = false, error = ed.sys.ErrorNumber;
    if (ok && ed.sys.Fsync(int(out)) < 0) ok = false, error = ed.sys.ErrorNumber;
    if (ed.sys.Close(int(out)) < 0 && ok) ok = false, error = ed.sys.ErrorNumber;
    if (ok && ed.sys.Utime(tmp, 0, long(st.st_mtime)) < 0) ok = false, error = ed.sys.ErrorNumber;
    if (ok && ed.sys.Rename(tmp, backup) < 0) ok = false, error = ed.sys.ErrorNumber;
    if (!ok) {
        ed.sys.Unlink(tmp);
        ed.sys.ErrorNumber = error;
        return false;
    }
    return SyncDirectoryOf(ed, backup);
}

// The old file itself becomes the backup: a second name for it, put in place of the old backup, so
// that the name never goes missing. False when the file system has no such names.
bool LinkToBackup(Editor& ed, const char* name, const char* backup) {
    char tmp[kPathMax];
    int dir = int(DirectoryLength(backup));
    unsigned long pid = (unsigned long)getpid();
    for (unsigned n = 0;; ++n) {
        int len = std::snprintf(tmp, sizeof tmp, "%.*s.zt-%lu-%u.tmp", dir, backup, pid, n);
        if (n == 1000 || len < 0 || size_t(len) >= sizeof tmp) return false;
        if (ed.sys.Link(name, tmp) >= 0) break;
        if (ed.sys.ErrorNumber != EEXIST) return false;
    }
    if (ed.sys.Rename(tmp, backup) >= 0) return true;
    ed.sys.Unlink(tmp);
    return false;
}

// The text over the file itself, after a complete backup copy: for a file a new one could not stand
// in for (more links, attributes or an owner that cannot be given again), and for devices and pipes,
// which get no backup. Names under /tmp keep the copy only while it is needed.
bool WriteInPlace(Editor& ed, const char* name, const char* target, size_t n, const struct stat& cur,
                  int noFollow) {
    bool regular = S_ISREG(cur.st_mode);
    char backup[kPathMax];
    bool backedUp = false;
    if (regular) {
        if (!CopyName(ed, backup, sizeof backup, name, "~") || !CopyToBackup(ed, target, backup, cur))
            return ShowError(ed);
        backedUp = true;
    }
    long fd = ed.sys.Open(target, O_WRONLY | O_NOCTTY | noFollow | (regular ? 0 : O_TRUNC));
    if (fd < 0) return ShowError(ed);
    bool ok =
        !regular || !(cur.st_mode & 06000) || ed.sys.Fchmod(int(fd), unsigned(cur.st_mode) & 01777) >= 0;
    ok = ok && WriteAllText(ed, int(fd), ed.TextStart, n);
    ok = ok && (!regular || (ed.sys.Ftruncate(int(fd), (long long)n) >= 0 && ed.sys.Fsync(int(fd)) >= 0));
    if (!ok) FailWriting(ed, fd, nullptr);
    if (ok && ed.sys.Close(int(fd)) < 0) ok = ShowError(ed);
    if (!ok) {
        // The file is no longer what was loaded, but these are the editor's own bytes: the next save
        // need not ask about them. The backup holds the old text.
        NoteDiskFile(ed, name);
        return false;
    }
    if (backedUp && std::strncmp(name, "/tmp", 4) == 0) ed.sys.Unlink(backup);
    return true;
}

// A new file beside the old one, complete and synced, renamed over it; the old file becomes the
// backup. `cur` is the old file's status (nullptr when there is none). A file that the new one
// could not replace with all it had is written in place instead.
bool ReplaceFile(Editor& ed, const char* name, const char* target, size_t n, const struct stat* cur,
                 bool isLink, int noFollow) {
    uint32_t mode, uid = 0xFFFFFFFF, gid = 0xFFFFFFFF;
    if (cur) {
        if (cur->st_nlink > 1) return WriteInPlace(ed, name, target, n, *cur, noFollow);
        mode = uint32_t(cur->st_mode) & 0777;
        uid = uint32_t(cur->st_uid);
        gid = uint32_t(cur->st_gid);
    } else if (ed.FileExisted) {
        mode = ed.FileMode & 0777;
        uid = ed.FileUid;
        gid = ed.FileGid;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = ed.FileMode & 0777 & ~uint32_t(mask);
    }

    char tmp[kPathMax];
    long fd = CreateBeside(ed, target, tmp, sizeof tmp);
    if (fd < 0) return ShowError(ed);
    // Only root can give a file away; a file made anew (the old one gone) simply stays the user's.
    bool given = ed.sys.Fchown(int(fd), uid, gid) >= 0 || !cur;
    if (ed.sys.Fchmod(int(fd), mode) < 0) return FailWriting(ed, fd, tmp);
    // The attributes come after the mode: an ACL sets the group bits itself.
    if (given && cur) given = CopyAttributes(ed, target, int(fd));
    if (!given) {
        ed.sys.Close(int(fd));
        ed.sys.Unlink(tmp);
        return WriteInPlace(ed, name, target, n, *cur, noFollow);
    }
    if (!WriteAllText(ed, int(fd), ed.TextStart, n) || ed.sys.Fsync(int(fd)) < 0)
        return FailWriting(ed, fd, tmp);
    if (ed.sys.Close(int(fd)) < 0) return FailWriting(ed, -1, tmp);

    char backup[kPathMax];
    bool makeBackup =
        cur && std::strncmp(name, "/tmp", 4) != 0 && CopyName(ed, backup, sizeof backup, name, "~");
    bool movedAside = false;
    if (makeBackup) {
        // A set-id file's backup is a copy, so that no backup carries those bits.
        if (isLink || (cur->st_mode & 06000))
            (void)CopyToBackup(ed, target, backup, *cur);
        else if (!LinkToBackup(ed, target, backup))
            movedAside = ed.sys.Rename(target, backup) >= 0;
    }
    if (ed.sys.Rename(tmp, target) < 0) {
        int error = ed.sys.ErrorNumber;
        if (movedAside) ed.sys.Rename(backup, target);
        ed.sys.Unlink(tmp);
        ed.sys.ErrorNumber = error;
        return ShowError(ed);
    }
    // The file now exists with this mode and owner; later saves keep them.
    ed.FileExisted = true;
    ed.FileMode = mode;
    ed.FileUid = uid;
    ed.FileGid = gid;
    if (!SyncDirectoryOf(ed, target)) {
        // The new text is in place, but may not last a crash: said, and the mark stays.
        NoteDiskFile(ed, name);
        return ShowError(ed);
    }
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
    // A link is written through only when the file was reached through one: a link put in place of
    // the loaded file is itself replaced.
    bool follow = std::strcmp(name, ed.FileName) != 0 || ed.Disk.kind == DiskKind::Link;
    struct stat cur;
    bool exists = (follow ? ed.sys.Stat(name, &cur) : ed.sys.Lstat(name, &cur)) >= 0;
    if (exists && S_ISLNK(cur.st_mode)) exists = false;
    // Refused before anything is touched; root may write any file.
    if (exists && ed.sys.Access(name, W_OK) < 0) return ShowError(ed);
    if (exists && S_ISDIR(cur.st_mode)) {
        ed.sys.ErrorNumber = err::kIsDirectory;
        return ShowError(ed);
    }
    char target[kPathMax];
    bool isLink = false;
    if (follow ? !ResolveTarget(ed, name, target, sizeof target, &isLink)
               : !CopyName(ed, target, sizeof target, name))
        return ShowError(ed);
    const int noFollow = follow ? 0 : O_NOFOLLOW;

    size_t n = WriteLength(ed, ed.TextStart, ed.TextEnd);
    bool saved;
    if (exists && !S_ISREG(cur.st_mode)) {
        saved = WriteInPlace(ed, name, target, n, cur, noFollow);
    } else {
        saved = ReplaceFile(ed, name, target, n, exists ? &cur : nullptr, isLink, noFollow);
    }
    if (!saved) return false;
    NoteDiskFile(ed, name);
    return true;
}

bool WriteRange(Editor& ed, const char* name, Pos from, Pos to, bool privateFile) {
    if (!ed.buf || from < ed.TextStart || to < from || to > ed.TextEnd) {
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
    // Root's writes leave set-id bits in place: an existing file written over loses them here.
    struct stat st;
    if (ed.sys.Fstat(int(fd), &st) >= 0 && S_ISREG(st.st_mode) && (st.st_mode & 06000) &&
        ed.sys.Fchmod(int(fd), unsigned(st.st_mode) & 01777) < 0)
        return FailWriting(ed, fd, nullptr);
    if (!WriteAllText(ed, int(fd), from, WriteLength(ed, from, to))) return FailWriting(ed, fd, nullptr);
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
