// Screen cells: what one of them holds, how two compare, and characters laid out into them.
#include <cstring>

#include "screen/screen.hpp"

namespace {

// Of the n bytes of a character at s, the most that fit `room` and end on a whole code point: the base
// stays, marks beyond the room go.
size_t KeptLength(const uint8_t* s, size_t n, size_t room) {
    if (n <= room) return n;
    size_t kept = 0;
    while (kept < n) {
        uint32_t cp;
        size_t k = DecodeUtf8(s + kept, s + n, &cp);
        if (k == 0) k = 1;
        if (kept + k > room) break;
        kept += k;
    }
    return kept;
}

// Cell c holds the n bytes at s (1 <= n <= kCellBytes, n <= 4 without bytes aside).
void SetBytes(const CellRow& row, int c, const uint8_t* s, size_t n, uint8_t attr) {
    const size_t inGlyph = n < 4 ? n : 4;
    uint32_t g = 0;
    for (size_t i = 0; i < inGlyph; ++i) g |= uint32_t(s[i]) << (8 * i);
    row.glyph[c] = g;
    row.info[c] = uint8_t(attr | (n - inGlyph) << kExtraShift);
    if (n > 4) std::memcpy(row.extra[c], s + 4, n - 4);
}

// Before a character of `cells` cells goes to column c: a wide character it would cut in two becomes
// a blank in the half that stays.
void SplitWide(const CellRow& row, int width, int c, int cells) {
    if (c > 0 && IsRightHalf(row, c)) SetByteCell(row, c - 1, ' ', AttrOf(row, c - 1));
    if (c + cells < width && IsRightHalf(row, c + cells))
        SetByteCell(row, c + cells, ' ', AttrOf(row, c + cells));
}

// Whether any of the n cells from c on has bytes aside. They are rare: looked for eight cells at a time.
[[gnu::noinline]] bool AnyAside(const CellRow& row, int c, int n) {
    uint64_t any = 0;
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t eight;
        std::memcpy(&eight, row.info + c + k, 8);
        any |= eight;
    }
    for (; k < n; ++k) any |= row.info[c + k];
    return (any & 0xF8F8F8F8F8F8F8F8ull) != 0;
}

}  // namespace

bool SameCells(const CellRow& a, const CellRow& b, int n) {
    if (n <= 0) return true;
    if (std::memcmp(a.glyph, b.glyph, size_t(n) * sizeof a.glyph[0]) != 0) return false;
    if (std::memcmp(a.info, b.info, size_t(n)) != 0) return false;
    if (!AnyAside(a, 0, n)) return true;
    for (int c = 0; c < n; ++c) {
        const size_t more = ExtraBytes(a, c);
        if (more && std::memcmp(a.extra[c], b.extra[c], more) != 0) return false;
    }
    return true;
}

uint64_t HashCells(const CellRow& row, int n) {
    uint64_t h = 1469598103934665603ull;
    for (int c = 0; c < n; ++c) {
        h = (h ^ (uint64_t(row.glyph[c]) << 8 | row.info[c])) * 1099511628211ull;
        for (size_t k = 0; k < ExtraBytes(row, c); ++k) h = (h ^ row.extra[c][k]) * 1099511628211ull;
    }
    return h;
}

int PlainBlanksFrom(const CellRow& row, int from, int n) {
    int c = n;
    // Four cells at a time while they are all blanks in plain attributes.
    constexpr uint64_t kTwoBlanks = uint64_t(' ') << 32 | ' ';
    constexpr uint32_t kFourPlain = 0x01010101u * kAttrPlain;
    for (; c - 4 >= from; c -= 4) {
        uint64_t g[2];
        uint32_t info;
        std::memcpy(g, row.glyph + c - 4, sizeof g);
        std::memcpy(&info, row.info + c - 4, 4);
        if (((g[0] ^ kTwoBlanks) | (g[1] ^ kTwoBlanks) | (info ^ kFourPlain)) != 0) break;
    }
    while (c > from && row.glyph[c - 1] == ' ' && row.info[c - 1] == kAttrPlain) --c;
    return c;
}

int SameRun(const CellRow& a, int ca, const CellRow& b, int cb, int count) {
    int i = 0;
    // Eight cells at a time while their glyphs and attributes agree and none has bytes aside.
    constexpr uint64_t kAsideCounts = 0x0101010101010101ull * uint64_t(0xFF << kExtraShift & 0xFF);
    for (; i + 8 <= count; i += 8) {
        uint64_t ga[4], gb[4], ia, ib;
        std::memcpy(ga, a.glyph + ca + i, sizeof ga);
        std::memcpy(gb, b.glyph + cb + i, sizeof gb);
        std::memcpy(&ia, a.info + ca + i, 8);
        std::memcpy(&ib, b.info + cb + i, 8);
        if (((ga[0] ^ gb[0]) | (ga[1] ^ gb[1]) | (ga[2] ^ gb[2]) | (ga[3] ^ gb[3]) | (ia ^ ib) |
             (ia & kAsideCounts)) != 0)
            break;
    }
    for (; i < count; ++i) {
        const int x = ca + i, y = cb + i;
        if (a.glyph[x] != b.glyph[y] || a.info[x] != b.info[y]) break;
        const size_t more = ExtraBytes(a, x);
        if (more && std::memcmp(a.extra[x], b.extra[y], more) != 0) break;
    }
    return i;
}

void MoveCells(const CellRow& row, int to, int from, int count) {
    if (count <= 0 || to == from) return;
    std::memmove(row.glyph + to, row.glyph + from, size_t(count) * sizeof row.glyph[0]);
    std::memmove(row.info + to, row.info + from, size_t(count));
    // The bytes aside where a moved cell has some, in an order that reads each before it is overwritten.
    if (!AnyAside(row, to, count)) return;
    for (int i = 0; i < count; ++i) {
        const int k = to < from ? i : count - 1 - i;
        if (ExtraBytes(row, to + k)) std::memcpy(row.extra[to + k], row.extra[from + k], kCellExtra);
    }
}

void CopyCells(const CellRow& to, const CellRow& from, int c, int end) {
    if (c >= end) return;
    std::memcpy(to.glyph + c, from.glyph + c, size_t(end - c) * sizeof to.glyph[0]);
    std::memcpy(to.info + c, from.info + c, size_t(end - c));
    if (!AnyAside(from, c, end - c)) return;
    for (; c < end; ++c)
        if (const size_t more = ExtraBytes(from, c)) std::memcpy(to.extra[c], from.extra[c], more);
}

void BlankCells(const CellRow& row, int from, int to, uint8_t attr) {
    if (from >= to) return;
    uint32_t* glyph = row.glyph;
    const uint32_t blanks[4] = {' ', ' ', ' ', ' '};
    int c = from;
    for (; c + 4 <= to; c += 4) std::memcpy(glyph + c, blanks, sizeof blanks);
    for (; c < to; ++c) glyph[c] = ' ';
    std::memset(row.info + from, attr, size_t(to - from));
}

void SetCharCells(const CellRow& row, int c, const uint8_t* p, const TextChar& ch, uint8_t attr) {
    switch (ch.shape) {
        case CharShape::Dot:
            SetByteCell(row, c, '.', attr);
            return;
        case CharShape::Marks: {
            // Marks with nothing to sit on are drawn on a blank.
            uint8_t bytes[kCellBytes];
            bytes[0] = ' ';
            const size_t n = KeptLength(p, ch.length, (row.extra ? kCellBytes : 4) - 1);
            std::memcpy(bytes + 1, p, n);
            SetBytes(row, c, bytes, n + 1, attr);
            break;
        }
        case CharShape::Shown:
            SetBytes(row, c, p, KeptLength(p, ch.length, row.extra ? kCellBytes : 4), attr);
            break;
    }
    if (ch.width == 2) {
        row.glyph[c + 1] = kRightHalf;
        row.info[c + 1] = attr;
    }
}

int PutText(const CellRow& row, int width, int c, int limit, const uint8_t* s, size_t n, bool utf8,
            uint8_t attr) {
    if (limit > width) limit = width;
    const uint8_t* end = s + n;
    while (s < end && c < limit) {
        // Printable ASCII, most of any text, a cell a byte: only the run's two ends can cut a wide
        // character.
        if (*s >= 0x20 && *s < 0x7F) {
            int k = 0;
            while (k < limit - c && s + k < end && s[k] >= 0x20 && s[k] < 0x7F) ++k;
            SplitWide(row, width, c, k);
            for (int i = 0; i < k; ++i) {
                row.glyph[c + i] = s[i];
                row.info[c + i] = attr;
            }
            c += k;
            s += k;
            continue;
        }
        TextChar ch = CharAt(s, end, utf8);
        if (c + ch.width > limit) break;
        SplitWide(row, width, c, ch.width);
        SetCharCells(row, c, s, ch, attr);
        c += ch.width;
        s += ch.length;
    }
    return c;
}

void ReserveCellExtras(Editor& ed) {
    if (!ed.screen.Extra)
        ed.screen.Extra = static_cast<uint8_t(*)[kCellExtra]>(ed.sys.Reserve(kExtraCells * kCellExtra));
}

void ReleaseCellExtras(Editor& ed) {
    if (ed.screen.Extra) ed.sys.Release(ed.screen.Extra, kExtraCells * kCellExtra);
    ed.screen.Extra = nullptr;
}
