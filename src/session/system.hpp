// The one gate to the operating system. Every call returns the system's result, negative on failure,
// and leaves the positive error number of a failure in ErrorNumber (0 after a success).
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// The calls that write files, each of which a test can make fail.
enum class SysCall : uint8_t {
    Open,
    Read,
    Write,
    Fsync,
    Close,
    Rename,
    Link,
    Unlink,
    Fchown,
    Fchmod,
    Ftruncate,
    SetXattr,
    Count
};

struct SystemCalls {
    int ErrorNumber = 0;

    long Open(const char* name, int flags, unsigned mode = 0);
    long Close(int fd);
    long Read(int fd, void* p, size_t n);  // one read, retried when a signal interrupts it
    // Reads until n bytes or end of file; returns the count read, or < 0 on failure.
    long long ReadFully(int fd, void* p, size_t n);
    // Writes all n bytes (a write may move less); returns n, or < 0 on failure.
    long long WriteFully(int fd, const void* p, size_t n);
    long Fstat(int fd, struct stat* st);
    long Lstat(const char* name, struct stat* st);
    long Stat(const char* name, struct stat* st);
    long long Lseek(int fd, long long offset, int whence);
    long Unlink(const char* name);
    long Rename(const char* from, const char* to);
    long Link(const char* from, const char* to);  // a second name for the same file
    long Fchown(int fd, uint32_t uid, uint32_t gid);
    long Fchmod(int fd, unsigned mode);
    long Ftruncate(int fd, long long length);
    long Fsync(int fd);
    // Extended attributes (ACLs are "system.posix_acl_access"), never through a final link: the list
    // of names, each ended by a zero byte, and one value; with n 0 the size they need.
    long ListXattr(const char* name, char* out, size_t n);
    long GetXattr(const char* name, const char* attr, void* out, size_t n);
    long SetXattr(int fd, const char* attr, const void* value, size_t n);
    long ListXattr(int fd, char* out, size_t n);
    long RemoveXattr(int fd, const char* attr);  // counted as a SetXattr
    long Access(const char* name, int how);
    long Readlink(const char* name, char* out, size_t n);
    long Utime(const char* name, long atime, long mtime);

    // ---- Child processes.
    // fds[0] the read end, fds[1] the write end; both closed across an exec.
    long Pipe(int fds[2]);
    long Fork();  // 0 in the child, the child's id in the parent
    long Dup2(int from, int to);
    long Execve(const char* path, char* const argv[], char* const envp[]);  // returns only on failure
    // Waits for that child to end; *status gets the wait status word.
    long WaitPid(long pid, int* status);
    // Waits for one of the descriptors to be ready (timeout in milliseconds, -1 for none).
    long Poll(struct pollfd* fds, size_t n, int timeout);
    // Ends the process at once, without the exit handlers (a forked child must not run the parent's).
    [[noreturn]] void ExitNow(int status);
    // The signal's default action again (for a child about to run another program).
    void DefaultSignal(int sig);

    // Reserves n bytes of zeroed memory whose pages count only once touched; nullptr with
    // ErrorNumber 12 when refused.
    void* Reserve(size_t n);
    void Release(void* p, size_t n);

    // ---- The fault seam. Calls of each SysCall kind are counted; an armed fault fails the nth call of
    // its kind (1 = the next one) with `error`, or for Write with error 0 makes it write only half of
    // what it was given.
    void ArmFault(SysCall call, unsigned nth, int error);
    void Disarm();
    unsigned CallCount(SysCall call) const { return counts_[size_t(call)]; }
    void ResetCounts();
    bool FaultFired() const { return fired_; }
    // Called before every counted call, so that a test can look at the files at each step.
    void (*Observer)(void* context, SysCall call) = nullptr;
    void* ObserverContext = nullptr;

private:
    long Result(long r);  // r < 0: takes errno
    // Counts the call; true when it is the one to fail (errno set to the armed error).
    bool Fault(SysCall call);
    bool ShortWrite();
    unsigned counts_[size_t(SysCall::Count)] = {};
    SysCall armed_ = SysCall::Count;
    unsigned armedAt_ = 0;  // the count at which the armed call fails
    int armedError_ = 0;
    bool fired_ = false;
};
