// Reading the text across its gap, and the line scans. The leading line feed at 0 and the closing one at
// TextEnd let every scan run without a bounds test, and the byte before the gap is a line feed too, so a
// scan for the line around a place stays in one run; memchr and memrchr keep a 100 MB line as cheap as a
// short one.
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#include <sys/platform/x86.h>
#endif

#include "buffer/buffer.hpp"

namespace {

// Last line feed before p; the leading line feed guarantees one.
Pos LineFeedBefore(const Editor& ed, Pos p) { return FindByteBack(ed, p, 0, '\n'); }

// First line feed at or after p, never beyond the closing one.
Pos LineFeedFrom(const Editor& ed, Pos p) {
    return p >= ed.TextEnd ? ed.TextEnd : FindByte(ed, p, ed.TextEnd, '\n');
}

}  // namespace

TextRuns RunsBetween(const Editor& ed, Pos a, Pos b) {
    if (a >= ed.GapAt || b <= ed.GapAt) {
        const uint8_t* s = At(ed, a);
        return {{{s, b - a}, {s + (b - a), 0}}};
    }
    return {{{ed.buf + a, ed.GapAt - a}, {At(ed, ed.GapAt), b - ed.GapAt}}};
}

void CopyText(const Editor& ed, Pos p, size_t n, uint8_t* out) {
    for (const TextRun& r : RunsBetween(ed, p, p + n).run) {
        if (r.length) std::memcpy(out, r.bytes, r.length);
        out += r.length;
    }
}

Pos FindByte(const Editor& ed, Pos from, Pos to, uint8_t b) {
    Pos at = from;
    for (const TextRun& r : RunsBetween(ed, from, to).run) {
        if (const void* q = r.length ? memchr(r.bytes, b, r.length) : nullptr)
            return at + Pos(static_cast<const uint8_t*>(q) - r.bytes);
        at += r.length;
    }
    return to;
}

Pos FindByteBack(const Editor& ed, Pos from, Pos to, uint8_t b) {
    TextRuns runs = RunsBetween(ed, to, from);
    for (int k = 1; k >= 0; --k) {
        const TextRun& r = runs.run[k];
        if (const void* q = r.length ? memrchr(r.bytes, b, r.length) : nullptr)
            return to + (k ? runs.run[0].length : 0) + Pos(static_cast<const uint8_t*>(q) - r.bytes);
    }
    return kGapAtEnd;
}

long long WriteText(Editor& ed, int fd, Pos p, size_t n) {
    const TextRuns runs = RunsBetween(ed, p, p + n);
    const TextRun &a = runs.run[0], &b = runs.run[1];
    long long first = ed.sys.WriteFully(fd, a.bytes, a.length);
    if (first < 0 || size_t(first) != a.length || b.length == 0) return first;
    long long second = ed.sys.WriteFully(fd, b.bytes, b.length);
    return second < 0 ? second : first + second;
}

uint64_t CountLineFeedsBetween(const Editor& ed, Pos a, Pos b) {
    uint64_t n = 0;
    for (const TextRun& r : RunsBetween(ed, a, b).run) n += CountLineFeeds(r.bytes, r.length);
    return n;
}

size_t LineOffset(Editor& ed, Pos p, bool* first) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    Pos q = p == 0 ? 0 : LineFeedBefore(ed, p);
    if (q == 0) ed.RecountLines = true;
    if (first) *first = q == 0;
    return p == 0 ? 0 : p - q - 1;
}

Pos LineStartOf(Editor& ed, Pos p) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    return p - LineOffset(ed, p);
}

size_t LineRest(Editor& ed, Pos p, bool* last) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    Pos q = LineFeedFrom(ed, p);
    if (q == ed.TextEnd) ed.RecountLines = true;
    if (last) *last = q == ed.TextEnd;
    return q - p;
}

Pos LineEndOf(Editor& ed, Pos p) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    return p + LineRest(ed, p);
}

Pos StepLinesBack(Editor& ed, Pos p, uint64_t k) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    Pos cur = p;
    for (uint64_t i = 0;; ++i) {
        // Standing on the line feed before a line puts the next scan on the line above.
        Pos q = cur == 0 ? 0 : LineFeedBefore(ed, cur);
        if (q == 0) {
            ed.RecountLines = true;
            return ed.TextStart;
        }
        cur = q;
        if (i == k) return cur + 1;
    }
}

Pos StepLinesForward(Editor& ed, Pos p, uint64_t k) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    Pos cur = p;
    for (uint64_t i = 0; i < k; ++i) {
        Pos q = LineFeedFrom(ed, cur);
        if (q == ed.TextEnd) {
            ed.RecountLines = true;
            break;
        }
        cur = q + 1;
    }
    return cur;
}

uint64_t DisplayColumn(Editor& ed, Pos p) {
    if (p > ed.TextEnd) p = ed.TextEnd;
    ed.WantedColumn = ColumnOf(ed, LineStartOf(ed, p), p);
    return ed.WantedColumn;
}

// Sixteen bytes compared at a time with the compiler's vector types: the same code on every target.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// Line feeds in p..p+n, sixteen bytes compared at a time into byte-wide counters that are emptied
// before they can overflow: several times faster than one memchr a line, in little code.
uint64_t CountLineFeeds(const uint8_t* p, size_t n) {
    const Bytes16 lf = '\n' - Bytes16{};
    uint64_t count = 0;
    while (n >= 16) {
        Bytes16 lanes = {};
        size_t vectors = n / 16 < 255 ? n / 16 : 255;
        n -= vectors * 16;
        for (; vectors > 0; --vectors, p += 16) {
            Bytes16 v;
            std::memcpy(&v, p, 16);
            lanes -= Bytes16(v == lf);
        }
        uint64_t half[2];
        std::memcpy(half, &lanes, 16);
        // The sixteen byte counts summed in two steps of the multiply trick.
        for (uint64_t h : half) {
            h = (h & 0x00FF00FF00FF00FFull) + ((h >> 8) & 0x00FF00FF00FF00FFull);
            count += (h * 0x0001000100010001ull) >> 48;
        }
    }
    for (; n > 0; --n, ++p) count += *p == '\n';
    return count;
}

static bool AnySet(Bytes16 v) {
    uint64_t half[2];
    std::memcpy(half, &v, 16);
    return (half[0] | half[1]) != 0;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) static inline __m256i Load32(const uint8_t* q) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
}

// 0xFF in the lanes of v that hold either byte.
__attribute__((target("avx2"))) static inline __m256i Either(__m256i v, __m256i first, __m256i second) {
    return _mm256_or_si256(_mm256_cmpeq_epi8(v, first), _mm256_cmpeq_epi8(v, second));
}

// Where the processor has 32-byte vectors: 128 bytes a step, the line feeds counted in byte-wide lanes
// that are summed before they can overflow; the block with the first hit is then looked at exactly.
__attribute__((target("avx2,popcnt,bmi"))) static const uint8_t* FindEitherWide(const uint8_t* p,
                                                                                const uint8_t* end,
                                                                                uint8_t b0, uint8_t b1,
                                                                                uint64_t* lineFeeds) {
    const __m256i first = _mm256_set1_epi8(char(b0)), second = _mm256_set1_epi8(char(b1));
    const __m256i lf = _mm256_set1_epi8('\n');
    uint64_t count = 0;
    bool hit = false;
    while (!hit && end - p >= 128) {
        // Each step adds at most 4 to a lane: 63 steps fit in a byte.
        size_t steps = size_t(end - p) / 128 < 63 ? size_t(end - p) / 128 : 63;
        __m256i lanes = _mm256_setzero_si256();
        for (; steps > 0; --steps, p += 128) {
            const __m256i v0 = Load32(p), v1 = Load32(p + 32), v2 = Load32(p + 64), v3 = Load32(p + 96);
            const __m256i h =
                _mm256_or_si256(_mm256_or_si256(Either(v0, first, second), Either(v1, first, second)),
                                _mm256_or_si256(Either(v2, first, second), Either(v3, first, second)));
            if (!_mm256_testz_si256(h, h)) {
                hit = true;
                break;
            }
            const __m256i f =
                _mm256_add_epi8(_mm256_add_epi8(_mm256_cmpeq_epi8(v0, lf), _mm256_cmpeq_epi8(v1, lf)),
                                _mm256_add_epi8(_mm256_cmpeq_epi8(v2, lf), _mm256_cmpeq_epi8(v3, lf)));
            lanes = _mm256_sub_epi8(lanes, f);
        }
        const __m256i sums = _mm256_sad_epu8(lanes, _mm256_setzero_si256());
        count += uint64_t(_mm256_extract_epi64(sums, 0)) + uint64_t(_mm256_extract_epi64(sums, 1)) +
                 uint64_t(_mm256_extract_epi64(sums, 2)) + uint64_t(_mm256_extract_epi64(sums, 3));
    }
    if (hit) {
        for (int k = 0;; k += 32) {  // the block holds a hit, so this ends within it
            const __m256i v = Load32(p + k);
            const uint32_t h = uint32_t(_mm256_movemask_epi8(Either(v, first, second)));
            const uint32_t feeds = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf)));
            if (h) {
                unsigned at = unsigned(__builtin_ctz(h));
                *lineFeeds += count + uint64_t(__builtin_popcount(feeds & ((uint32_t(1) << at) - 1)));
                return p + k + at;
            }
            count += uint64_t(__builtin_popcount(feeds));
        }
    }
    for (; p < end && *p != b0 && *p != b1; ++p) count += *p == '\n';
    *lineFeeds += count;
    return p;
}
#endif

const uint8_t* FindEitherCountingLines(const uint8_t* p, const uint8_t* end, uint8_t b0, uint8_t b1,
                                       uint64_t* lineFeeds) {
#if defined(__x86_64__)
    // What the C library found at start; asking the CPU again would cost a start-up probe of its own.
    static const bool wide =
        CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(POPCNT) && CPU_FEATURE_ACTIVE(BMI1);
    if (wide) return FindEitherWide(p, end, b0, b1, lineFeeds);
#endif
    return FindEitherCountingLinesPortable(p, end, b0, b1, lineFeeds);
}

const uint8_t* FindEitherCountingLinesPortable(const uint8_t* p, const uint8_t* end, uint8_t b0, uint8_t b1,
                                               uint64_t* lineFeeds) {
    const Bytes16 first = b0 - Bytes16{}, second = b1 - Bytes16{}, lf = '\n' - Bytes16{};
    uint64_t count = 0;
    while (end - p >= 16) {
        // Byte-wide counters, emptied before they can overflow.
        Bytes16 lanes = {};
        size_t vectors = size_t(end - p) / 16 < 255 ? size_t(end - p) / 16 : 255;
        bool hit = false;
        for (; vectors > 0; --vectors, p += 16) {
            Bytes16 v;
            std::memcpy(&v, p, 16);
            if (AnySet(Bytes16(v == first) | Bytes16(v == second))) {
                hit = true;
                break;
            }
            lanes -= Bytes16(v == lf);
        }
        for (int k = 0; k < 16; ++k) count += lanes[k];
        if (hit) break;
    }
    for (; p < end && *p != b0 && *p != b1; ++p) count += *p == '\n';
    *lineFeeds += count;
    return p;
}

void MoveCursorCountingLines(Editor& ed, Pos to) {
    // Only the stretch between the two places is counted: a search that meets the end of a large
    // text costs one scan of what it passed, not a recount from the start.
    if (to >= ed.Cursor)
        ed.LineNumber += CountLineFeedsBetween(ed, ed.Cursor, to);
    else
        ed.LineNumber -= CountLineFeedsBetween(ed, to, ed.Cursor);
    ed.Cursor = to;
}

void RecountLineNumber(Editor& ed) {
    Pos end = ed.Cursor > ed.TextEnd ? ed.TextEnd : ed.Cursor;
    ed.LineNumber = 1 + CountLineFeedsBetween(ed, ed.TextStart, end);
}

bool BlockValid(const Editor& ed) {
    return ed.BlockVisible && ed.BlockBegin >= ed.TextStart && ed.BlockEnd >= ed.TextStart &&
           ed.BlockBegin <= ed.BlockEnd && ed.BlockEnd <= ed.TextEnd;
}

bool TypingInserts(const Editor& ed) { return ed.InsertMode == kInsert || ByteAt(ed, ed.Cursor) == '\n'; }
