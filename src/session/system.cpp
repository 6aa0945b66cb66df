#include "session/system.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>

long SystemCalls::Result(long r) {
    ErrorNumber = r < 0 ? errno : 0;
    return r < 0 ? -ErrorNumber : r;
}

void SystemCalls::ArmFault(SysCall call, unsigned nth, int error) {
    armed_ = call;
    armedAt_ = counts_[size_t(call)] + nth;
    armedError_ = error;
    fired_ = false;
}

void SystemCalls::Disarm() { armed_ = SysCall::Count; }

void SystemCalls::ResetCounts() {
    for (unsigned& c : counts_) c = 0;
}

bool SystemCalls::Fault(SysCall call) {
    if (Observer) Observer(ObserverContext, call);
    unsigned n = ++counts_[size_t(call)];
    if (call != armed_ || n != armedAt_ || armedError_ == 0) return false;
    armed_ = SysCall::Count;
    fired_ = true;
    errno = armedError_;
    return true;
}

// Whether the write just counted is the armed short one.
bool SystemCalls::ShortWrite() {
    if (armed_ != SysCall::Write || armedError_ != 0 || counts_[size_t(SysCall::Write)] != armedAt_)
        return false;
    armed_ = SysCall::Count;
    fired_ = true;
    return true;
}

long SystemCalls::Open(const char* name, int flags, unsigned mode) {
    if (Fault(SysCall::Open)) return Result(-1);
    long r;
    do r = ::open(name, flags | O_CLOEXEC, mode);
    while (r < 0 && errno == EINTR);
    return Result(r);
}

long SystemCalls::Close(int fd) {
    if (Fault(SysCall::Close)) {
        ::close(fd);  // a failing close still lets the descriptor go
        return Result(-1);
    }
    return Result(::close(fd));
}

long SystemCalls::Read(int fd, void* p, size_t n) {
    if (Fault(SysCall::Read)) return Result(-1);
    long r;
    do r = ::read(fd, p, n);
    while (r < 0 && errno == EINTR);
    return Result(r);
}

long long SystemCalls::ReadFully(int fd, void* p, size_t n) {
    size_t done = 0;
    while (done < n) {
        // One read moves at most about 2 GiB, so a large file takes several.
        long r = Read(fd, static_cast<char*>(p) + done, n - done);
        if (r < 0) return r;
        if (r == 0) break;
        done += size_t(r);
    }
    ErrorNumber = 0;
    return (long long)done;
}

long long SystemCalls::WriteFully(int fd, const void* p, size_t n) {
    size_t done = 0;
    while (done < n) {
        if (Fault(SysCall::Write)) return Result(-1);
        size_t want = n - done;
        if (want > 1 && ShortWrite()) want /= 2;
        long r = ::write(fd, static_cast<const char*>(p) + done, want);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Result(r);
        if (r == 0) {
            errno = EIO;
            return Result(-1);
        }
        done += size_t(r);
    }
    ErrorNumber = 0;
    return (long long)done;
}

long SystemCalls::Fstat(int fd, struct stat* st) { return Result(::fstat(fd, st)); }
long SystemCalls::Lstat(const char* name, struct stat* st) { return Result(::lstat(name, st)); }
long SystemCalls::Stat(const char* name, struct stat* st) { return Result(::stat(name, st)); }

long long SystemCalls::Lseek(int fd, long long offset, int whence) {
    off_t r = ::lseek(fd, off_t(offset), whence);
    ErrorNumber = r < 0 ? errno : 0;
    return r < 0 ? -ErrorNumber : (long long)r;
}

long SystemCalls::Unlink(const char* name) {
    if (Fault(SysCall::Unlink)) return Result(-1);
    return Result(::unlink(name));
}
long SystemCalls::Rename(const char* from, const char* to) {
    if (Fault(SysCall::Rename)) return Result(-1);
    return Result(::rename(from, to));
}
long SystemCalls::Link(const char* from, const char* to) {
    if (Fault(SysCall::Link)) return Result(-1);
    return Result(::link(from, to));
}
long SystemCalls::Fchown(int fd, uint32_t uid, uint32_t gid) {
    if (Fault(SysCall::Fchown)) return Result(-1);
    return Result(::fchown(fd, uid_t(uid), gid_t(gid)));
}
long SystemCalls::Fchmod(int fd, unsigned mode) {
    if (Fault(SysCall::Fchmod)) return Result(-1);
    return Result(::fchmod(fd, mode_t(mode)));
}
long SystemCalls::Ftruncate(int fd, long long length) {
    if (Fault(SysCall::Ftruncate)) return Result(-1);
    long r;
    do r = ::ftruncate(fd, off_t(length));
    while (r < 0 && errno == EINTR);
    return Result(r);
}
long SystemCalls::ListXattr(const char* name, char* out, size_t n) {
    return Result(::llistxattr(name, out, n));
}
long SystemCalls::GetXattr(const char* name, const char* attr, void* out, size_t n) {
    return Result(::lgetxattr(name, attr, out, n));
}
long SystemCalls::SetXattr(int fd, const char* attr, const void* value, size_t n) {
    if (Fault(SysCall::SetXattr)) return Result(-1);
    return Result(::fsetxattr(fd, attr, value, n, 0));
}
long SystemCalls::ListXattr(int fd, char* out, size_t n) { return Result(::flistxattr(fd, out, n)); }
long SystemCalls::RemoveXattr(int fd, const char* attr) {
    if (Fault(SysCall::SetXattr)) return Result(-1);
    return Result(::fremovexattr(fd, attr));
}
long SystemCalls::Fsync(int fd) {
    if (Fault(SysCall::Fsync)) return Result(-1);
    long r;
    do r = ::fsync(fd);
    while (r < 0 && errno == EINTR);
    return Result(r);
}
long SystemCalls::Access(const char* name, int how) { return Result(::access(name, how)); }
long SystemCalls::Readlink(const char* name, char* out, size_t n) { return Result(::readlink(name, out, n)); }

long SystemCalls::Utime(const char* name, long atime, long mtime) {
    struct utimbuf t;
    t.actime = time_t(atime);
    t.modtime = time_t(mtime);
    return Result(::utime(name, &t));
}

long SystemCalls::Pipe(int fds[2]) { return Result(::pipe2(fds, O_CLOEXEC)); }
long SystemCalls::Fork() { return Result(::fork()); }
long SystemCalls::Dup2(int from, int to) {
    long r;
    do r = ::dup2(from, to);
    while (r < 0 && errno == EINTR);
    return Result(r);
}
long SystemCalls::Execve(const char* path, char* const argv[], char* const envp[]) {
    return Result(::execve(path, argv, envp));
}

long SystemCalls::WaitPid(long pid, int* status) {
    long r;
    do r = ::waitpid(pid_t(pid), status, 0);
    while (r < 0 && errno == EINTR);
    return Result(r);
}

long SystemCalls::Poll(struct pollfd* fds, size_t n, int timeout) {
    long r;
    do r = ::poll(fds, nfds_t(n), timeout);
    while (r < 0 && errno == EINTR);
    return Result(r);
}

void SystemCalls::ExitNow(int status) { ::_exit(status); }
void SystemCalls::DefaultSignal(int sig) { ::signal(sig, SIG_DFL); }

static constexpr size_t kHugePagesFrom = size_t(32) << 20;

void* SystemCalls::Reserve(size_t n) {
    // Anonymous pages read as zero and cost nothing until they are written.
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        ErrorNumber = ENOMEM;
        return nullptr;
    }
    // A large text is read in far faster in huge pages: a five-hundredth of the page faults. At most
    // the last huge page is more than the text needs; where the system declines, nothing changes.
    if (n >= kHugePagesFrom) ::madvise(p, n, MADV_HUGEPAGE);
    ErrorNumber = 0;
    return p;
}

void SystemCalls::Release(void* p, size_t n) {
    if (p) ::munmap(p, n);
}
