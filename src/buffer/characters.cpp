// Characters in the text: what one cursor step, one deletion and one screen cell take. In a UTF-8
// locale a valid sequence of a printable character, with the combining marks after it, is one
// character; every other byte stands alone and shows as ".". Elsewhere every byte is a character.
#include <array>
#include <bit>
#include <cstring>

#include "buffer/buffer.hpp"

namespace {

// Code points first..last, every stride-th of them, fold to cp + delta.
struct CaseFold {
    uint32_t first, last;
    int32_t delta;
    uint32_t stride;
};

#include "buffer/char_tables.inc"

// Looks cp up in ranges packed as first << 11 | (count - 1), sorted by first.
constexpr bool InRanges(const uint32_t* ranges, size_t n, uint32_t cp) {
    size_t lo = 0, hi = n;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if ((ranges[mid] >> 11) <= cp)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0) return false;
    const uint32_t e = ranges[lo - 1];
    return cp - (e >> 11) <= (e & 0x7FF);
}

template <size_t N>
constexpr bool InTable(const uint32_t (&table)[N], uint32_t cp) {
    return InRanges(table, N, cp);
}

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Which lead bytes begin a sequence that may be a character of no width, from the width tables: most
// text (Greek, CJK, Hangul) then never decodes the character after one to look for marks.
constexpr std::array<bool, 256> MakeMarkLeads() {
    std::array<bool, 256> leads{};
    auto mark = [&leads](uint32_t first, uint32_t last) {
        for (unsigned b = 0xC2; b <= 0xF4; ++b) {
            const uint32_t lo = b < 0xE0 ? (b & 0x1F) << 6 : b < 0xF0 ? (b & 0x0F) << 12 : (b & 0x07) << 18;
            const uint32_t hi = lo + (b < 0xE0 ? 0x3F : b < 0xF0 ? 0xFFF : 0x3FFFF);
            if (lo <= last && first <= hi) leads[b] = true;
        }
    };
    for (uint32_t e : kZeroWidth) mark(e >> 11, (e >> 11) + (e & 0x7FF));
    for (uint32_t block = 0; block < sizeof kBlockWidth; ++block) {
        const uint8_t c = kBlockWidth[block];
        if (c == 2) mark(block << 8, (block << 8) + 0xFF);
        for (uint32_t i = 0; c >= 4 && i < 256; ++i)
            if ((kBlockMaps[c - 4][i >> 2] >> ((i & 3) * 2) & 3) == 1)
                mark((block << 8) + i, (block << 8) + i);
    }
    return leads;
}
constexpr std::array<bool, 256> kMarkLeads = MakeMarkLeads();

bool MayBeMark(uint8_t b) { return kMarkLeads[b]; }

// The character at p as one code point of the text: its length and width, or length 1 and width -1
// for a byte that is no part of a printable character.
struct Decoded {
    uint32_t length;
    int width;
};

Decoded DecodeAt(const uint8_t* p, const uint8_t* end) {
    uint32_t cp = 0;
    size_t n = DecodeUtf8(p, end, &cp);
    if (n == 0) return {1, -1};
    int w = CodePointWidth(cp);
    if (w < 0) return {1, -1};
    return {uint32_t(n), w};
}

// Most three-byte characters (CJK, Hangul) lie in a block of one width, and no mark follows them: the
// cells of such a character at p, else 0.
inline int PlainThreeByteCells(const uint8_t* p, const uint8_t* end) {
    if (p[0] < 0xE1 || p[0] > 0xEC || end - p < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2])) return 0;
    const uint8_t w = kBlockWidth[(p[0] & 0x0F) << 4 | (p[1] & 0x3F) >> 2];
    return w <= 1 && (end - p == 3 || !MayBeMark(p[3])) ? 1 + w : 0;
}

// Whether the eight bytes at p are four of the combining diacritics U+0300..U+036F, lead bytes CC or
// CD (but not CD B0..BF), each with its continuation byte.
inline bool FourDiacritics(const uint8_t* p) {
    if constexpr (std::endian::native != std::endian::little) return false;
    uint64_t w;
    std::memcpy(&w, p, 8);
    if ((w & 0x00FE00FE00FE00FEull) != 0x00CC00CC00CC00CCull ||
        (w & 0xC000C000C000C000ull) != 0x8000800080008000ull)
        return false;
    const uint64_t greek = (w & 0xF0FFF0FFF0FFF0FFull) ^ 0xB0CDB0CDB0CDB0CDull;  // a zero lane is CD B0..BF
    return ((greek - 0x0001000100010001ull) & ~greek & 0x8000800080008000ull) == 0;
}

// The code point that ends at `at` (begin < at): a lead byte up to three bytes back whose sequence
// ends there, else the byte before `at` alone; its start, and in *d its length and width.
const uint8_t* PointBefore(const uint8_t* begin, const uint8_t* at, Decoded* d) {
    if (at[-1] < 0x80) {
        *d = {1, at[-1] >= 0x20 && at[-1] < 0x7F ? 1 : -1};
        return at - 1;
    }
    // The combining diacritics U+0300..U+036F, as MarksFrom takes them.
    if (at - 2 >= begin && (at[-2] == 0xCC || (at[-2] == 0xCD && at[-1] < 0xB0)) && IsContinuation(at[-1])) {
        *d = {2, 0};
        return at - 2;
    }
    for (size_t k = 2; k <= 4 && at - k >= begin && IsContinuation(*(at - k + 1)); ++k) {
        if (IsContinuation(*(at - k))) continue;
        Decoded t = DecodeAt(at - k, at);
        if (t.length == k) {
            *d = t;
            return at - k;
        }
        break;
    }
    *d = {1, -1};
    return at - 1;
}

}  // namespace

bool LocaleIsUtf8(char* const* envp) {
    static const char* const kNames[] = {"LC_ALL=", "LC_CTYPE=", "LANG="};
    for (const char* name : kNames) {
        const size_t len = std::strlen(name);
        for (char* const* e = envp; e && *e; ++e) {
            if (std::strncmp(*e, name, len) != 0 || (*e)[len] == 0) continue;
            // The character set follows the dot and ends at a modifier: en_US.UTF-8@euro.
            const char* v = *e + len;
            const char* dot = std::strchr(v, '.');
            const char* set = dot ? dot + 1 : v;
            size_t n = std::strcspn(set, "@");
            auto is = [&](const char* want) {
                return n == std::strlen(want) && strncasecmp(set, want, n) == 0;
            };
            return is("UTF-8") || is("UTF8");
        }
    }
    return false;
}

size_t DecodeUtf8(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    const uint8_t b = p[0];
    size_t n;
    uint32_t v, min;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        n = 2, v = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, v = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, v = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (size_t(end - p) < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if (!IsContinuation(p[i])) return 0;
        v = v << 6 | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    if (v < min || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) return 0;
    *cp = v;
    return n;
}

int CodePointWidth(uint32_t cp) {
    if (cp < 0x20000) {
        // A block of one width, or the two bits of cp in its block's map.
        static constexpr int8_t kUniform[] = {1, 2, 0, -1};
        static constexpr int8_t kCoded[] = {-1, 0, 1, 2};
        const uint8_t c = kBlockWidth[cp >> 8];
        if (c < 4) return kUniform[c];
        return kCoded[kBlockMaps[c - 4][(cp & 0xFF) >> 2] >> ((cp & 3) * 2) & 3];
    }
    if (InTable(kNotShown, cp)) return -1;
    if (InTable(kZeroWidth, cp)) return 0;
    return InTable(kDoubleWidth, cp) ? 2 : 1;
}

uint32_t FoldCodePoint(uint32_t cp) {
    if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    size_t lo = 0, hi = sizeof kFolds / sizeof kFolds[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (kFolds[mid].first <= cp)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0) return cp;
    const CaseFold& f = kFolds[lo - 1];
    if (cp > f.last || (cp - f.first) % f.stride != 0) return cp;
    return uint32_t(int32_t(cp) + f.delta);
}

namespace {

// The end of the marks from q on. The combining diacritics U+0300..U+036F, the commonest marks, go
// without decoding, so that a character with thousands of them is cheap to step over.
const uint8_t* MarksFrom(const uint8_t* q, const uint8_t* end) {
    for (;;) {
        while (end - q >= 8 && FourDiacritics(q)) q += 8;
        if (q >= end || !MayBeMark(*q)) break;
        if (end - q >= 2 && (q[0] == 0xCC || (q[0] == 0xCD && q[1] < 0xB0)) && IsContinuation(q[1])) {
            q += 2;
            continue;
        }
        Decoded m = DecodeAt(q, end);
        if (m.width != 0) break;
        q += m.length;
    }
    return q;
}

}  // namespace

TextChar CharAt(const uint8_t* p, const uint8_t* end, bool utf8) {
    const uint8_t b = *p;
    if (!utf8 || b < 0x80) {
        const bool shown = utf8 ? b >= 0x20 && b < 0x7F : !(b < 0x20 || (b >= 0x7F && b <= 0x9F));
        TextChar c{1, 1, shown ? CharShape::Shown : CharShape::Dot};
        if (!utf8 || !shown || p + 1 >= end || !MayBeMark(p[1])) return c;
        // An ASCII character with marks after it: they go with it.
        c.length = uint32_t(MarksFrom(p + 1, end) - p);
        return c;
    }
    if (int w = PlainThreeByteCells(p, end)) return {3, uint8_t(w), CharShape::Shown};
    Decoded d = DecodeAt(p, end);
    if (d.width < 0) return {1, 1, CharShape::Dot};
    // Marks with nothing before them to sit on are drawn on a blank of their own.
    TextChar c{d.length, uint8_t(d.width == 0 ? 1 : d.width),
               d.width == 0 ? CharShape::Marks : CharShape::Shown};
    c.length = uint32_t(MarksFrom(p + d.length, end) - p);
    return c;
}

[[gnu::noinline]] const uint8_t* CharStartBefore(const uint8_t* begin, const uint8_t* p, bool utf8) {
    if (!utf8) return p - 1;
    Decoded d;
    const uint8_t* s = PointBefore(begin, p, &d);
    if (d.width != 0) return s;
    // A mark: the character starts at its base, when the marks sit on one.
    while (s > begin) {
        while (s - begin >= 8 && FourDiacritics(s - 8)) s -= 8;
        if (s == begin) break;
        Decoded before;
        const uint8_t* t = PointBefore(begin, s, &before);
        if (before.width == 0) {
            s = t;
            continue;
        }
        if (before.width > 0) s = t;
        break;
    }
    return s;
}

Pos NextChar(const Editor& ed, Pos p) {
    const uint8_t* b = RunBase(ed, p);
    if (!ed.Utf8 || b[p] == '\n' || b[p] == '\t') return p + 1;
    return p + CharAt(b + p, RunEnd(ed, p), true).length;
}

Pos PrevChar(const Editor& ed, Pos p) {
    if (!ed.Utf8) return p - 1;
    // The line feed before a run ends every character that would reach back over it.
    const uint8_t* b = RunBase(ed, p - 1);
    return Pos(CharStartBefore(RunStart(ed, p - 1), b + p, true) - b);
}

namespace {

// DecodeUtf8 with the two- and three-byte sequences of most text, and the bytes that begin none,
// taken at once. The closing line feed ends every look ahead.
inline size_t QuickDecode(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    const uint8_t b = p[0];
    if (b < 0xC2 || b > 0xF4) return 0;
    if (b < 0xE0) {
        if (!IsContinuation(p[1])) return 0;
        *cp = uint32_t(b & 0x1F) << 6 | (p[1] & 0x3F);
        return 2;
    }
    if (b < 0xF0) {
        if (!IsContinuation(p[1]) || !IsContinuation(p[2])) return 0;
        const uint32_t v = uint32_t(b & 0x0F) << 12 | uint32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
        if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF)) return 0;
        *cp = v;
        return 3;
    }
    return DecodeUtf8(p, end, cp);
}

// Bytes that are one cell of their own whatever follows them: ASCII but a tab or line feed, and the
// bytes that begin no sequence.
constexpr std::array<bool, 256> kOneCell = [] {
    std::array<bool, 256> one{};
    for (unsigned b = 0; b < 256; ++b) one[b] = b < 0x80 ? b != '\t' && b != '\n' : b < 0xC2 || b > 0xF4;
    return one;
}();

bool HasByte(uint64_t eight, uint8_t b) {
    const uint64_t x = eight ^ (0x0101010101010101ull * b);
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

// From p at cell column *column, up to `stop` (a line feed ends the walk before it), past every
// character that ends at or before column `limit`. One code point at a time, each decoded once, as
// CharAt groups them: a character is a printable code point, or marks with nothing to sit on, and the
// marks after it; a byte of no character, a tab or a control stands alone and takes no marks, and so
// does a sequence cut by `stop`. A run of one code point looks its width up once. `takesMarks`: the
// character before p is one that marks at p sit on. The byte at stop must be readable.
const uint8_t* Walk(const uint8_t* p, const uint8_t* stop, uint64_t* column, uint64_t limit,
                    bool takesMarks) {
    uint64_t col = *column;
    uint32_t seenCp = ~uint32_t(0);
    int seenWidth = 0;
    for (;;) {
        const uint8_t b = p < stop ? *p : '\n';
        if (kOneCell[b]) {
            // A run of bytes that are a cell each whatever follows them, plain ASCII eight at a time.
            const size_t most = size_t(stop - p) < limit - col ? size_t(stop - p) : size_t(limit - col);
            size_t k = 0;
            for (uint64_t eight; k + 8 <= most; k += 8) {
                std::memcpy(&eight, p + k, 8);
                if ((eight & 0x8080808080808080ull) != 0 || HasByte(eight, '\t') || HasByte(eight, '\n'))
                    break;
            }
            while (k < most && kOneCell[p[k]]) ++k;
            if (k == 0) break;
            col += k;
            p += k;
            takesMarks = p[-1] >= 0x20 && p[-1] < 0x7F;
            continue;
        }
        size_t n = 1;
        int w = 1;
        if (b >= 0x80) {
            uint32_t cp = 0;
            n = QuickDecode(p, stop, &cp);
            if (n > size_t(stop - p)) n = 0;
            if (n > 0 && cp != seenCp) {
                seenCp = cp;
                seenWidth = CodePointWidth(cp);
            }
            w = n > 0 ? seenWidth : -1;
            if (w == 0 && takesMarks) {
                p = MarksFrom(p + n, stop);  // marks on the character before: no cell of their own
                continue;
            }
        }
        if (b == '\n') break;
        if (w < 0) {
            // A lead byte that begins no character, and those after it that begin none, a cell each:
            // bytes that begin no sequence, and lead bytes that no byte they take follows.
            const size_t most = size_t(stop - p) < limit - col ? size_t(stop - p) : size_t(limit - col);
            if (most == 0) break;
            size_t k = 1;
            while (k < most && p[k] >= 0x80 && (kOneCell[p[k]] || !SecondByteFits(p[k], p[k + 1]))) ++k;
            col += k;
            p += k;
            takesMarks = false;
            continue;
        }
        if (b == '\t') {
            w = int(TabAdvance(col));
            takesMarks = false;
        } else {
            w = w == 0 ? 1 : w;  // marks with nothing to sit on take a blank
            takesMarks = true;
            // A run of three-byte characters that no mark follows (CJK, Hangul) goes at once.
            if (n == 3 && !MayBeMark(p[3])) {
                const uint8_t* q = p;
                for (int cells; stop - q >= 3 && (cells = PlainThreeByteCells(q, stop)) != 0 &&
                                col + uint64_t(cells) <= limit;
                     q += 3)
                    col += uint64_t(cells);
                if (q != p) {
                    p = q;
                    takesMarks = false;
                    continue;
                }
            }
        }
        if (col + uint64_t(w) > limit) break;
        col += uint64_t(w);
        p += n;
    }
    *column = col;
    return p;
}

}  // namespace

namespace {

// Cells from s, at column `column` of its line, to p; `base`: the code point before s is one that
// marks at s sit on.
uint64_t ColumnFrom(const Editor& ed, Pos s, uint64_t column, Pos p, bool base) {
    uint64_t col = column;
    if (ed.Utf8) {
        const uint8_t* b = RunBase(ed, s);
        Walk(b + s, b + p, &col, ~uint64_t(0), base);
        return col;
    }
    const uint8_t* b = RunBase(ed, s);
    while (s < p) {
        const void* t = std::memchr(b + s, '\t', p - s);
        Pos stop = t ? Pos(static_cast<const uint8_t*>(t) - b) : p;
        col += stop - s;
        if (stop == p) break;
        col += TabAdvance(col);
        s = stop + 1;
    }
    return col;
}

// Whether p lies inside a valid sequence that begins before it.
bool InsideSequence(const Editor& ed, Pos p) {
    if (!IsContinuation(ByteAt(ed, p))) return false;
    for (size_t k = 1; k <= 3 && p - k >= ed.TextStart; ++k) {
        if (IsContinuation(ByteAt(ed, p - k))) continue;
        return DecodeAt(At(ed, p - k), RunEnd(ed, p - k)).length > k;
    }
    return false;
}

// Whether a character surely starts at p: inside no sequence, and no mark, which may belong to the
// character before.
bool StartsCharacter(const Editor& ed, Pos p) {
    const uint8_t b = ByteAt(ed, p);
    if (b < 0x80) return true;
    if (IsContinuation(b)) return !InsideSequence(ed, p);
    uint32_t cp = 0;
    return DecodeUtf8(At(ed, p), RunEnd(ed, p), &cp) == 0 || CodePointWidth(cp) != 0;
}

// Whether the code point that ends at p is one that marks after it sit on.
bool BaseBefore(const Editor& ed, Pos p) {
    Decoded d;
    (void)PointBefore(RunStart(ed, p - 1), RunBase(ed, p - 1) + p, &d);
    return d.width >= 0;
}

}  // namespace

uint64_t ColumnOf(const Editor& ed, Pos lineStart, Pos p) {
    if (!ed.Utf8) return ColumnFrom(ed, lineStart, 0, p, false);
    // From the nearest kept place on this line, when it is nearer than the line's start.
    const Editor::ColumnMemo* m = nullptr;
    Pos distance = p - lineStart;
    for (const Editor::ColumnMemo& k : ed.columnMemo) {
        if (k.at == 0 || k.lineStart != lineStart || k.at > ed.TextEnd) continue;
        const Pos d = p >= k.at ? p - k.at : k.at - p;
        if (d < distance) {
            distance = d;
            m = &k;
        }
    }
    uint64_t col;
    if (m && p >= m->at && !InsideSequence(ed, m->at)) {
        // Bytes put in at the kept place may be marks on the character before it; nothing else joins
        // it while no sequence goes on across it.
        col = ColumnFrom(ed, m->at, m->column, p, m->at > lineStart && BaseBefore(ed, m->at));
    } else if (m && p < m->at && StartsCharacter(ed, p) && !std::memchr(At(ed, p), '\t', m->at - p)) {
        col = m->column - CellsOf(At(ed, p), RunBase(ed, p) + m->at);
    } else {
        col = ColumnFrom(ed, lineStart, 0, p, false);
    }
    Editor::ColumnMemo* kept = ed.columnMemo;
    if (kept[0].at != p || kept[0].lineStart != lineStart) kept[1] = kept[0];
    kept[0] = {lineStart, p, col};
    return col;
}

Pos PositionAtColumn(const Editor& ed, Pos lineStart, uint64_t column) {
    uint64_t col = 0;
    return SkipToColumn(ed, lineStart > ed.TextEnd ? ed.TextEnd : lineStart, &col, column);
}

Pos CharStartAt(const Editor& ed, Pos p) {
    if (!ed.Utf8 || p <= ed.TextStart || p >= ed.TextEnd) return p;
    Pos u = p;
    if (IsContinuation(ByteAt(ed, p))) {
        // Inside a sequence when a lead byte up to three back reaches over p; the line feed before
        // the text or the run stops the look back.
        Pos q = p;
        while (p - q < 2 && IsContinuation(ByteAt(ed, q - 1))) --q;
        const Pos lead = q - 1;
        if (!IsContinuation(ByteAt(ed, lead))) {
            Decoded d = DecodeAt(At(ed, lead), RunEnd(ed, lead));
            if (d.width >= 0 && lead + d.length > p) u = lead;
        }
    }
    const uint8_t* b = RunBase(ed, u);
    if (!MayBeMark(b[u])) return u;
    Decoded d = DecodeAt(b + u, RunEnd(ed, u));
    if (d.width != 0) return u;
    return Pos(CharStartBefore(RunStart(ed, u), b + u + d.length, true) - b);
}

Pos CharEndAt(const Editor& ed, Pos p) {
    Pos s = CharStartAt(ed, p);
    return s == p ? p : s + CharAt(At(ed, s), RunEnd(ed, s), true).length;
}

bool IsOneCodePoint(const uint8_t* s, size_t n) {
    uint32_t cp;
    return n == 1 || DecodeUtf8(s, s + n, &cp) == n;
}

size_t CodePointsFoldingTo(uint32_t folded, uint32_t* out, size_t max) {
    size_t k = 0;
    if (FoldCodePoint(folded) == folded && k < max) out[k++] = folded;
    if (folded < 0x80) {
        if (folded >= 'a' && folded <= 'z' && k < max) out[k++] = folded - 32;
        return k;
    }
    for (const CaseFold& f : kFolds) {
        const uint32_t cp = uint32_t(int32_t(folded) - f.delta);
        if (cp != folded && cp >= f.first && cp <= f.last && (cp - f.first) % f.stride == 0 &&
            FoldCodePoint(cp) == folded && k < max)
            out[k++] = cp;
    }
    return k;
}

Pos LineStartAt(const Editor& ed, Pos p) {
    if (p <= ed.TextStart) return ed.TextStart;
    // A backward scan always meets the leading line feed.
    return FindByteBack(ed, p, 0, '\n') + 1;
}

uint64_t CellsOf(const uint8_t* p, const uint8_t* end, bool base) {
    uint64_t cells = 0;
    Walk(p, end, &cells, ~uint64_t(0), base);
    return cells;
}

Pos SkipToColumn(const Editor& ed, Pos p, uint64_t* column, uint64_t limit) {
    if (p >= ed.TextEnd) return p;
    const uint8_t* buf = RunBase(ed, p);
    if (ed.Utf8) return Pos(Walk(buf + p, RunEnd(ed, p), column, limit, false) - buf);
    // The line ends at the line feed before the gap at the latest.
    const Pos end = p < ed.GapAt && ed.GapAt <= ed.TextEnd ? ed.GapAt - 1 : ed.TextEnd;
    // Every byte but a tab is one cell at least, so the limit lies within limit - col bytes.
    uint64_t col = *column;
    Pos to = end - p < limit - col ? end : p + Pos(limit - col);
    if (const void* lf = std::memchr(buf + p, '\n', to - p)) to = Pos(static_cast<const uint8_t*>(lf) - buf);
    while (p < to && col < limit) {
        const void* tab = std::memchr(buf + p, '\t', to - p);
        Pos plain = (tab ? Pos(static_cast<const uint8_t*>(tab) - buf) : to) - p;
        if (plain > limit - col) plain = Pos(limit - col);
        col += plain;
        p += plain;
        if (p == to || col == limit || buf[p] != '\t' || col + TabAdvance(col) > limit) break;
        col += TabAdvance(col);
        ++p;
    }
    *column = col;
    return p;
}
