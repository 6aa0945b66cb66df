/* The machine's own limits for one file: read it into fresh memory, memchr over it, move the whole text by one
   byte, write it to a new file with and without fsync (or, given "read" after the repeats, only read it). Prints one
   line per figure: name, median, min, max (ms). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int Cmp(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static void Report(const char* name, double* t, int n) {
    qsort(t, n, sizeof *t, Cmp);
    printf("%s %.3f %.3f %.3f\n", name, t[n / 2], t[0], t[n - 1]);
}

/* Fresh anonymous memory each time, so the page faults an editor pays on load are paid here too; in huge pages
   where the system has them. */
static char* Fresh(size_t n) {
    void* p = mmap(NULL, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        perror("mmap");
        exit(1);
    }
    madvise(p, n, MADV_HUGEPAGE); /* the best the machine offers, as the editor asks for it too */
    return p;
}

static int ReadAll(const char* name, char* buf, size_t size) {
    int fd = open(name, O_RDONLY);
    if (fd < 0) return -1;
    size_t got = 0;
    while (got < size) {
        ssize_t r = read(fd, buf + got, size - got);
        if (r <= 0) break;
        got += (size_t)r;
    }
    close(fd);
    return got == size ? 0 : -1;
}

static int WriteAll(const char* name, const char* buf, size_t size, int sync) {
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    size_t put = 0;
    while (put < size) {
        ssize_t w = write(fd, buf + put, size - put);
        if (w <= 0) break;
        put += (size_t)w;
    }
    if (sync) fsync(fd);
    close(fd);
    return put == size ? 0 : -1;
}

/* Makes `mb` MiB of memory resident and gives it back at once. On a virtual machine, memory freed some seconds
   ago may have been handed back to the host, and the first program to fill it pays several times the cost; this
   runs before each measured program, so that each finds memory in the same state. */
static int Warm(size_t mb) {
    size_t n = mb << 20;
    char* p = Fresh(n);
    memset(p, 1, n);
    munmap(p, n);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "warm") == 0) return Warm((size_t)atol(argv[2]));
    if (argc < 3) {
        fprintf(stderr, "usage: limits FILE SCRATCH [REPEATS [read]] | limits warm MIB\n");
        return 2;
    }
    const char* name = argv[1];
    const char* scratch = argv[2];
    int reps = argc > 3 ? atoi(argv[3]) : 5;
    if (reps < 1 || reps > 100) reps = 5;
    struct stat st;
    if (stat(name, &st) != 0) {
        perror(name);
        return 1;
    }
    size_t size = (size_t)st.st_size;
    double t[100];

    for (int i = 0; i < reps; ++i) {
        char* buf = Fresh(size + 1);
        double t0 = Now();
        if (ReadAll(name, buf, size) != 0) {
            perror("read");
            return 1;
        }
        t[i] = Now() - t0;
        munmap(buf, size + 1);
    }
    Report("read", t, reps);
    if (argc > 4 && strcmp(argv[4], "read") == 0) return 0;

    char* buf = Fresh(size + 1);
    if (ReadAll(name, buf, size) != 0) return 1;
    volatile size_t sink = 0;
    for (int i = 0; i < reps; ++i) {
        double t0 = Now();
        /* A byte the text never holds, so the scan runs to the end. */
        const char* p = memchr(buf, 0x01, size);
        t[i] = Now() - t0;
        sink += p ? (size_t)(p - buf) : size;
    }
    Report("memchr", t, reps);

    for (int i = 0; i < reps; ++i) {
        /* Idle first, as the editor is when a paced key arrives: back-to-back moves run on a CPU already
           at full speed and come out faster than any single key can. */
        usleep(50000);
        double t0 = Now();
        if (i % 2 == 0)
            memmove(buf + 1, buf, size);
        else
            memmove(buf, buf + 1, size);
        t[i] = Now() - t0;
    }
    Report("memmove", t, reps);
    if (reps % 2) memmove(buf, buf + 1, size);

    for (int sync = 0; sync <= 1; ++sync) {
        for (int i = 0; i < reps; ++i) {
            unlink(scratch);
            double t0 = Now();
            if (WriteAll(scratch, buf, size, sync) != 0) {
                perror(scratch);
                return 1;
            }
            t[i] = Now() - t0;
        }
        Report(sync ? "write_fsync" : "write", t, reps);
    }
    unlink(scratch);
    return sink == 1 ? 3 : 0;
}
