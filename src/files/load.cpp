// Loading a file whole into the edit buffer, and inserting another file at the cursor.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"

namespace {

// Everything a load starts afresh with; the shared part is what the mode prompt resets as well.
void ResetFileState(Editor& ed) {
    ResetEditingState(ed);
    ed.ChangedMark = ' ';
    ed.InsertMode = kInsert;
    ed.ViCommandState = 1;
    ed.LineNumber = 1;
    ed.CommandCursor = ed.TextStart;
    ed.ExitRequest = 0;
    ed.BlockVisible = 1;
    std::memcpy(ed.ErrorText, "ERROR   ", 9);
    ed.FileMode = 0644;
    ed.FileUid = 0xFFFFFFFF;
    ed.FileGid = 0xFFFFFFFF;
    ed.FileExisted = false;
    ed.Disk = DiskFile{};
}

// The identity of the file st describes; a device or pipe by its place alone, as its times move.
DiskFile Identity(DiskKind kind, const struct stat& st) {
    DiskFile d;
    d.kind = kind;
    d.device = uint64_t(st.st_dev);
    d.inode = uint64_t(st.st_ino);
    if (kind == DiskKind::Other) return d;
    d.size = uint64_t(st.st_size);
    d.modSeconds = int64_t(st.st_mtim.tv_sec);
    d.modNanoseconds = long(st.st_mtim.tv_nsec);
    return d;
}

void EmptyText(Editor& ed) {
    ForgetColumns(ed);
    ed.TextEnd = ed.TextStart;
    ed.Cursor = ed.TextStart;
    ed.CommandCursor = ed.TextStart;
    ed.PrevCursor = ed.TextStart;
    if (ed.buf) {
        ed.GapAt = kGapAtEnd;
        *At(ed, 0) = '\n';
        *At(ed, ed.TextEnd) = '\n';
    }
}

// A reservation of `capacity`, keeping the one already held when it is the same size.
bool Reserve(Editor& ed, uint64_t capacity) {
    if (ed.buf && ed.BufferCapacity == capacity && ed.reserved >= capacity + 2) return true;
    if (!ReserveBuffer(ed, capacity)) return false;
    ed.BufferCapacity = capacity;
    return true;
}

// The size of an open file, the descriptor left at its start. Sizes of 4 GiB and more fail with
// "File too large": the text could not be kept whole.
bool FileSize(Editor& ed, int fd, uint64_t* size) {
    long long end = ed.sys.Lseek(fd, 0, SEEK_END);
    if (end < 0 || ed.sys.Lseek(fd, 0, SEEK_SET) < 0) return false;
    if (uint64_t(end) > kMaxCapacity) {
        ed.sys.ErrorNumber = err::kTooLarge;
        return false;
    }
    *size = uint64_t(end);
    return true;
}

// Shows the error of a failed step, closes the file and leaves an empty text.
bool FailOpenFile(Editor& ed, int fd) {
    ShowError(ed);
    ed.sys.Close(fd);
    if (!ed.buf) (void)Reserve(ed, kDefaultCapacity);
    EmptyText(ed);
    ed.ChangedMark = ' ';
    return false;
}

}  // namespace

DiskFile LookAtDisk(Editor& ed, const char* name) {
    struct stat st;
    if (ed.sys.Lstat(name, &st) < 0) return DiskFile{};
    if (S_ISLNK(st.st_mode)) {
        // A link that leads nowhere is still a link, one to nothing.
        if (ed.sys.Stat(name, &st) < 0) return DiskFile{.kind = DiskKind::Link};
        return Identity(DiskKind::Link, st);
    }
    return Identity(S_ISREG(st.st_mode) ? DiskKind::Regular : DiskKind::Other, st);
}

void NoteDiskFile(Editor& ed, const char* name) {
    int error = ed.sys.ErrorNumber;
    ed.Disk = LookAtDisk(ed, name);
    ed.sys.ErrorNumber = error;
}

bool DiskFileChanged(Editor& ed) {
    int error = ed.sys.ErrorNumber;
    bool changed = !(LookAtDisk(ed, ed.FileName) == ed.Disk);
    ed.sys.ErrorNumber = error;
    return changed;
}

bool LoadFile(Editor& ed, const char* name) {
    ResetFileState(ed);
    if (!name || !*name) {
        if (!Reserve(ed, kDefaultCapacity)) return ShowError(ed);
        if (!StartupNamePrompt(ed)) return false;
        ed.FileName[sizeof ed.FileName - 1] = 0;
    } else {
        size_t n = std::strlen(name);
        if (n >= sizeof ed.FileName) {
            if (!Reserve(ed, kDefaultCapacity)) return ShowError(ed);
            EmptyText(ed);
            ShowStatusTextAndWait(ed, "File name too long: 255 bytes at most");
            DrawStatusLine(ed);
            return false;
        }
        std::memmove(ed.FileName, name, n + 1);
    }
    // The start-up prompt may have filled the buffer with its banner: that is not the file.
    ed.ChangedMark = ' ';
    ed.LineNumber = 1;

    long fd = ed.sys.Open(ed.FileName, O_RDONLY | O_NOCTTY);
    if (fd < 0) {
        NoteDiskFile(ed, ed.FileName);
        // Whatever the reason, a name that cannot be opened is a new file.
        if (!Reserve(ed, kDefaultCapacity)) return ShowError(ed);
        EmptyText(ed);
        return true;
    }
    ed.FileExisted = true;

    struct stat st;
    if (ed.sys.Fstat(int(fd), &st) < 0) return FailOpenFile(ed, int(fd));
    if (S_ISDIR(st.st_mode)) {
        ed.sys.ErrorNumber = err::kIsDirectory;
        return FailOpenFile(ed, int(fd));
    }
    uint64_t size = 0;
    if (!FileSize(ed, int(fd), &size)) return FailOpenFile(ed, int(fd));

    uint64_t capacity = 2 * size + kDefaultCapacity;
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    if (!Reserve(ed, capacity)) {
        ShowError(ed);
        ed.sys.Close(int(fd));
        // Whatever a refused reservation left behind, the editor goes on with the default one.
        if (ReserveBuffer(ed, kDefaultCapacity)) ed.BufferCapacity = kDefaultCapacity;
        EmptyText(ed);
        return false;
    }
    EmptyText(ed);

    ed.FileMode = uint32_t(st.st_mode) & 0777;
    ed.FileUid = uint32_t(st.st_uid);
    ed.FileGid = uint32_t(st.st_gid);
    ed.FileModTime = st.st_mtime;
    // The file as read: what the name was, and what it led to when the descriptor was opened.
    struct stat named;
    bool isLink = ed.sys.Lstat(ed.FileName, &named) >= 0 && S_ISLNK(named.st_mode);
    ed.Disk = Identity(isLink                ? DiskKind::Link
                       : S_ISREG(st.st_mode) ? DiskKind::Regular
                                             : DiskKind::Other,
                       st);

    uint8_t* text = ReceiveText(ed, size_t(size));
    long long got = ed.sys.ReadFully(int(fd), text, size_t(size));
    if (got < 0) return FailOpenFile(ed, int(fd));
    if (ed.sys.Close(int(fd)) < 0) {
        ShowError(ed);
        EmptyText(ed);
        return false;
    }
    // A file that shrank since it was sized simply gives the shorter text.
    ed.TextEnd = ed.TextStart + Pos(got);
    *At(ed, ed.TextEnd) = '\n';
    return true;
}

bool InsertFileAtCursor(Editor& ed, const char* name, size_t* inserted) {
    if (inserted) *inserted = 0;
    if (!name || !*name) {
        ed.sys.ErrorNumber = err::kNoSuchName;
        return ShowError(ed);
    }
    long fd = ed.sys.Open(name, O_RDONLY | O_NOCTTY);
    if (fd < 0) return ShowError(ed);

    struct stat st;
    uint64_t size = 0;
    bool sized = ed.sys.Fstat(int(fd), &st) >= 0;
    if (sized && S_ISDIR(st.st_mode)) {
        ed.sys.ErrorNumber = err::kIsDirectory;
        sized = false;
    }
    if (!sized || !FileSize(ed, int(fd), &size)) {
        ShowError(ed);
        ed.sys.Close(int(fd));
        return false;
    }
    // A file that does not fit is refused by MakeRoom and reported here.
    uint8_t changed = ed.ChangedMark;
    Pos at = ed.Cursor;
    // The insertion goes on the undo stack only once the bytes are all in: a room given back after a
    // short read must leave no records behind.
    bool undoing = ed.undo.Undoing;
    ed.undo.Undoing = true;
    if (!MakeRoom(ed, at, size_t(size))) {
        ed.ErrorPending = false;
        ShowError(ed);
        ed.undo.Undoing = undoing;
        ed.sys.Close(int(fd));
        return false;
    }
    long long got = ed.sys.ReadFully(int(fd), At(ed, at), size_t(size));
    bool whole = got >= 0 && uint64_t(got) == size;
    if (!whole) RemoveBytes(ed, at, size_t(size));
    ed.undo.Undoing = undoing;
    if (whole) RecordInsertion(ed, at, size_t(size));
    if (!whole) {
        // The room never holds undefined bytes for long: it goes again, the text as it was.
        int error = got < 0 ? ed.sys.ErrorNumber : err::kIoError;
        ed.ChangedMark = changed;
        ed.sys.ErrorNumber = error;
        ShowError(ed);
        ed.sys.Close(int(fd));
        return false;
    }
    if (ed.sys.Close(int(fd)) < 0) {
        // The bytes are in; a failing close of a file only read loses nothing.
        ed.sys.ErrorNumber = 0;
    }
    if (inserted) *inserted = size_t(size);
    return true;
}
