// Characters in the text: what one cursor step, one deletion and one screen cell take. In a UTF-8
// locale a valid sequence of a printable character, with the combining marks after it, is one
// character; every other byte stands alone and shows as ".". Elsewhere every byte is a character.
#include <array>
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
    while (q < end && MayBeMark(*q)) {
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

const uint8_t* CharStartBefore(const uint8_t* begin, const uint8_t* p, bool utf8) {
    if (!utf8) return p - 1;
    Decoded d;
    const uint8_t* s = PointBefore(begin, p, &d);
    if (d.width != 0) return s;
    // A mark: the character starts at its base, when the marks sit on one.
    while (s > begin) {
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
    if (!ed.Utf8 || ed.buf[p] == '\n' || ed.buf[p] == '\t') return p + 1;
    return p + CharAt(ed.buf + p, ed.buf + ed.TextEnd, true).length;
}

Pos PrevChar(const Editor& ed, Pos p) {
    if (!ed.Utf8) return p - 1;
    return Pos(CharStartBefore(ed.buf + ed.TextStart, ed.buf + p, true) - ed.buf);
}

namespace {

// Cells from s, at column `column` of its line, to p; `base`: the code point before s is one that
// marks at s sit on.
uint64_t ColumnFrom(const Editor& ed, Pos s, uint64_t column, Pos p, bool base) {
    uint64_t col = column;
    while (s < p) {
        const void* t = std::memchr(ed.buf + s, '\t', p - s);
        Pos stop = t ? Pos(static_cast<const uint8_t*>(t) - ed.buf) : p;
        col += ed.Utf8 ? CellsOf(ed.buf + s, ed.buf + stop, base) : stop - s;
        if (stop == p) break;
        col += TabAdvance(col);
        s = stop + 1;
        base = false;
    }
    return col;
}

// Whether p lies inside a valid sequence that begins before it.
bool InsideSequence(const Editor& ed, Pos p) {
    if (!IsContinuation(ed.buf[p])) return false;
    for (size_t k = 1; k <= 3 && p - k >= ed.TextStart; ++k) {
        if (IsContinuation(ed.buf[p - k])) continue;
        return DecodeAt(ed.buf + p - k, ed.buf + ed.TextEnd).length > k;
    }
    return false;
}

// Whether a character surely starts at p: inside no sequence, and no mark, which may belong to the
// character before.
bool StartsCharacter(const Editor& ed, Pos p) {
    const uint8_t b = ed.buf[p];
    if (b < 0x80) return true;
    if (IsContinuation(b)) return !InsideSequence(ed, p);
    uint32_t cp = 0;
    return DecodeUtf8(ed.buf + p, ed.buf + ed.TextEnd + 1, &cp) == 0 || CodePointWidth(cp) != 0;
}

// Whether the code point that ends at p is one that marks after it sit on.
bool BaseBefore(const Editor& ed, Pos p) {
    Decoded d;
    (void)PointBefore(ed.buf + ed.TextStart, ed.buf + p, &d);
    return d.width >= 0;
}

}  // namespace

uint64_t ColumnOf(const Editor& ed, Pos lineStart, Pos p) {
    if (!ed.Utf8) return ColumnFrom(ed, lineStart, 0, p, false);
    // From the place asked about last, when it lies on this line and is nearer than the line's start.
    Editor::ColumnMemo& m = ed.columnMemo;
    uint64_t col;
    if (m.at == 0 || m.lineStart != lineStart || m.at > ed.TextEnd) {
        col = ColumnFrom(ed, lineStart, 0, p, false);
    } else if (p >= m.at && !InsideSequence(ed, m.at)) {
        // Bytes put in at the kept place may be marks on the character before it; nothing else joins
        // it while no sequence goes on across it.
        col = ColumnFrom(ed, m.at, m.column, p, m.at > lineStart && BaseBefore(ed, m.at));
    } else if (m.at - p < p - lineStart && StartsCharacter(ed, p) &&
               !std::memchr(ed.buf + p, '\t', m.at - p)) {
        col = m.column - CellsOf(ed.buf + p, ed.buf + m.at);
    } else {
        col = ColumnFrom(ed, lineStart, 0, p, false);
    }
    m = {lineStart, p, col};
    return col;
}

uint64_t CellsOf(const uint8_t* p, const uint8_t* end, bool base) {
    uint64_t cells = 0;
    // Marks at p that sit on the character before it take no cell here.
    while (base && p < end && MayBeMark(*p)) {
        Decoded d = DecodeAt(p, end);
        if (d.width != 0) break;
        p += d.length;
    }
    while (p < end) {
        // Plain ASCII goes eight bytes at a time.
        uint64_t eight;
        if (end - p >= 9) {
            std::memcpy(&eight, p, 8);
            if ((eight & 0x8080808080808080ull) == 0 && p[8] < 0x80) {
                cells += 8;
                p += 8;
                continue;
            }
        }
        if (p[0] < 0x80 && (end - p == 1 || p[1] < 0x80)) {
            ++cells;
            ++p;
            continue;
        }
        if (int w = PlainThreeByteCells(p, end)) {
            cells += unsigned(w);
            p += 3;
            continue;
        }
        TextChar c = CharAt(p, end, true);
        cells += c.width;
        p += c.length;
    }
    return cells;
}

Pos PositionAtColumn(const Editor& ed, Pos lineStart, uint64_t column) {
    uint64_t col = 0;
    return SkipToColumn(ed, lineStart > ed.TextEnd ? ed.TextEnd : lineStart, &col, column);
}

Pos CharStartAt(const Editor& ed, Pos p) {
    if (!ed.Utf8 || p <= ed.TextStart || p >= ed.TextEnd) return p;
    const uint8_t* b = ed.buf;
    const uint8_t* end = b + ed.TextEnd;
    Pos u = p;
    if (IsContinuation(b[p])) {
        // Inside a sequence when a lead byte up to three back reaches over p; the line feed before
        // the text stops the look back.
        Pos q = p;
        while (p - q < 2 && IsContinuation(b[q - 1])) --q;
        const Pos lead = q - 1;
        if (!IsContinuation(b[lead])) {
            Decoded d = DecodeAt(b + lead, end);
            if (d.width >= 0 && lead + d.length > p) u = lead;
        }
    }
    if (!MayBeMark(b[u])) return u;
    Decoded d = DecodeAt(b + u, end);
    if (d.width != 0) return u;
    return Pos(CharStartBefore(b + ed.TextStart, b + u + d.length, true) - b);
}

Pos CharEndAt(const Editor& ed, Pos p) {
    Pos s = CharStartAt(ed, p);
    return s == p ? p : s + CharAt(ed.buf + s, ed.buf + ed.TextEnd, true).length;
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
    const void* lf = memrchr(ed.buf, '\n', p);
    return lf ? Pos(static_cast<const uint8_t*>(lf) - ed.buf) + 1 : ed.TextStart;
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

bool HasByte(uint64_t eight, uint8_t b) {
    const uint64_t x = eight ^ (0x0101010101010101ull * b);
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}
}  // namespace

Pos SkipToColumn(const Editor& ed, Pos p, uint64_t* column, uint64_t limit) {
    const uint8_t* buf = ed.buf;
    const Pos end = ed.TextEnd;
    if (p >= end) return p;
    uint64_t col = *column;
    if (!ed.Utf8) {
        // Every byte but a tab is one cell at least, so the limit lies within limit - col bytes.
        Pos to = end - p < limit - col ? end : p + Pos(limit - col);
        if (const void* lf = std::memchr(buf + p, '\n', to - p))
            to = Pos(static_cast<const uint8_t*>(lf) - buf);
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
    // One code point at a time, each decoded once, as CharAt groups them: a character is a printable
    // code point, or marks with nothing to sit on, and the marks after it; a byte of no character, a
    // tab or a control stands alone and takes no marks. A run of one code point looks its width up once.
    uint32_t seenCp = ~uint32_t(0);
    int seenWidth = 0;
    bool takesMarks = false;  // the character before p is one that marks sit on
    for (;;) {
        const uint8_t b = p < end ? buf[p] : '\n';
        size_t n = 1;
        int w = 1;
        if (b >= 0x80) {
            uint32_t cp = 0;
            n = QuickDecode(buf + p, buf + end, &cp);
            if (n > 0 && cp != seenCp) {
                seenCp = cp;
                seenWidth = CodePointWidth(cp);
            }
            w = n > 0 ? seenWidth : -1;
            if (w == 0 && takesMarks) {
                p += n;  // a mark on the character before: no cell of its own
                continue;
            }
        }
        if (b == '\n') break;
        const Pos most = end - p < limit - col ? end - p : Pos(limit - col);  // cells that fit at one a byte
        if (b < 0x80 && b != '\t') {
            // A run of ASCII, a cell each.
            Pos k = 0;
            for (uint64_t eight; k + 8 <= most; k += 8) {
                std::memcpy(&eight, buf + p + k, 8);
                if ((eight & 0x8080808080808080ull) != 0 || HasByte(eight, '\t') || HasByte(eight, '\n'))
                    break;
            }
            while (k < most && buf[p + k] < 0x80 && buf[p + k] != '\t' && buf[p + k] != '\n') ++k;
            if (k == 0) break;
            col += k;
            p += k;
            takesMarks = buf[p - 1] >= 0x20 && buf[p - 1] < 0x7F;
            continue;
        }
        if (w < 0) {
            // A byte of no character, and those after it that begin none, a cell each.
            if (most == 0) break;
            Pos k = 1;
            while (k < most && buf[p + k] >= 0x80 && (buf[p + k] < 0xC2 || buf[p + k] > 0xF4)) ++k;
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
            if (n == 3 && !MayBeMark(buf[p + 3])) {
                Pos q = p;
                for (int cells; q + 3 <= end && (cells = PlainThreeByteCells(buf + q, buf + end)) != 0 &&
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
