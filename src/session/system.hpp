// The one gate to the operating system. Every call returns the system's result, negative on failure,
// and leaves the positive error number of a failure in ErrorNumber (0 after a success).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

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
    long Fchown(int fd, uint32_t uid, uint32_t gid);
    long Fchmod(int fd, unsigned mode);
    long Fsync(int fd);
    long Access(const char* name, int how);
    long Readlink(const char* name, char* out, size_t n);
    long Utime(const char* name, long atime, long mtime);

    // Reserves n bytes of zeroed memory whose pages count only once touched; nullptr with
    // ErrorNumber 12 when refused.
    void* Reserve(size_t n);
    void Release(void* p, size_t n);

private:
    long Result(long r);  // r < 0: takes errno
};
