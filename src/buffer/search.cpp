// Finding text and replacing one occurrence per command, with the per-mode prompts, options and repeats.
#include <cstring>

#include "buffer/buffer.hpp"
#include "files/files.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

constexpr size_t kLongestText = 255;
constexpr size_t kLongestOptions = 124;
// Both backward first-byte scans stop at the end of one chunk, so a rare second candidate cannot make
// the scan run far past a near hit of the first.
constexpr size_t kChunk = size_t(1) << 16;

// The text bytes a search byte can match: at most two when case is ignored (the byte and the one 32
// above its fold), one when it must match.
struct FirstBytes {
    uint8_t byte[2] = {0, 0};
    int count = 0;
};

FirstBytes CandidatesFor(uint8_t c, uint8_t caseMask) {
    FirstBytes fb;
    const uint8_t folded = FoldCase(c, caseMask);
    for (unsigned b = 0; b < 256 && fb.count < 2; ++b)
        if (FoldCase(uint8_t(b), caseMask) == folded) fb.byte[fb.count++] = uint8_t(b);
    return fb;
}

bool RestMatches(const uint8_t* t, const uint8_t* s, size_t n, uint8_t caseMask) {
    if (caseMask == 0xFF) return std::memcmp(t + 1, s + 1, n - 1) == 0;
    for (size_t i = 1; i < n; ++i)
        if (FoldCase(t[i], caseMask) != FoldCase(s[i], caseMask)) return false;
    return true;
}

// The n bytes at t against those at s, code point by code point: ASCII by the byte rule, other code
// points by their lower-case forms (of the same length), bytes of no code point exactly.
bool FoldedMatches(const uint8_t* t, const uint8_t* s, size_t n, uint8_t caseMask) {
    for (size_t i = 0; i < n;) {
        uint32_t sc, tc;
        const size_t len = s[i] < 0x80 ? 0 : DecodeUtf8(s + i, s + n, &sc);
        if (len == 0) {
            if (s[i] < 0x80 ? FoldCase(t[i], caseMask) != FoldCase(s[i], caseMask) : t[i] != s[i])
                return false;
            ++i;
            continue;
        }
        if (DecodeUtf8(t + i, t + n, &tc) != len || FoldCodePoint(tc) != FoldCodePoint(sc)) return false;
        i += len;
    }
    return true;
}

uint8_t LeadByteOf(uint32_t cp) {
    return cp < 0x80      ? uint8_t(cp)
           : cp < 0x800   ? uint8_t(0xC0 | cp >> 6)
           : cp < 0x10000 ? uint8_t(0xE0 | cp >> 12)
                          : uint8_t(0xF0 | cp >> 18);
}

// What a find looks for: the bytes, how they compare, and the text bytes an occurrence can begin with.
struct Needle {
    const uint8_t* s;
    size_t n;
    uint8_t caseMask;
    bool chars;  // a UTF-8 locale: occurrences begin and end between characters
    bool folds;  // and, case ignored, the text holds non-ASCII bytes: code points are folded
    FirstBytes first;
};

Needle MakeNeedle(const Editor& ed, const uint8_t* s, size_t n, uint8_t caseMask) {
    Needle k{s, n, caseMask, ed.Utf8, false, CandidatesFor(s[0], caseMask)};
    if (!ed.Utf8 || caseMask == 0xFF) return k;
    for (size_t i = 0; i < n && !k.folds; ++i) k.folds = s[i] >= 0x80;
    uint32_t cp;
    if (!k.folds || s[0] < 0x80) return k;
    k.first = FirstBytes{{s[0], 0}, 1};
    if (DecodeUtf8(s, s + n, &cp) == 0) return k;
    // Every letter's forms begin with at most two different bytes (the tests check it for all of them).
    uint32_t forms[4];
    const size_t count = CodePointsFoldingTo(FoldCodePoint(cp), forms, 4);
    k.first.count = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t lead = LeadByteOf(forms[i]);
        if ((k.first.count == 0 || k.first.byte[0] != lead) && k.first.count < 2)
            k.first.byte[k.first.count++] = lead;
    }
    return k;
}

// The text at p holds an occurrence; in a UTF-8 locale only one made of whole characters.
bool MatchesAt(const Editor& ed, const Needle& k, Pos p) {
    const uint8_t* t = At(ed, p);
    // An occurrence that reaches over the gap is looked at in a copy; the needle is at most a search
    // entry long.
    uint8_t joined[sizeof Editor::SearchText];
    if (p < ed.GapAt && p + k.n > ed.GapAt) {
        if (k.n > sizeof joined) return false;
        CopyText(ed, p, k.n, joined);
        t = joined;
    }
    if (k.folds ? !FoldedMatches(t, k.s, k.n, k.caseMask) : !RestMatches(t, k.s, k.n, k.caseMask))
        return false;
    return !k.chars || (CharStartAt(ed, p) == p && CharStartAt(ed, p + k.n) == p + k.n);
}

// Last position in lo..hi holding a first byte, or 0; buf[q] is the byte at q for each of them.
Pos PreviousCandidate(const uint8_t* buf, Pos lo, Pos hi, const FirstBytes& fb) {
    for (Pos end = hi + 1; end > lo;) {
        size_t len = end - lo < kChunk ? end - lo : kChunk;
        const uint8_t* chunk = buf + end - len;
        const void* a = memrchr(chunk, fb.byte[0], len);
        if (fb.count == 2) {
            size_t from = a ? size_t(static_cast<const uint8_t*>(a) - chunk) + 1 : 0;
            if (const void* b = memrchr(chunk + from, fb.byte[1], len - from)) a = b;
        }
        if (a) return Pos(static_cast<const uint8_t*>(a) - buf);
        end -= len;
    }
    return 0;
}

// One pass looks for both first bytes and counts the line feeds passed, which are stored in
// *lineFeeds (those from lo up to the occurrence) when one is found.
Pos ScanForward(const Editor& ed, Pos lo, Pos hi, const Needle& k, uint64_t* lineFeeds) {
    const FirstBytes& fb = k.first;
    const uint8_t other = fb.count == 2 ? fb.byte[1] : fb.byte[0];
    uint64_t passed = 0;
    while (lo <= hi) {
        // The scan goes to the end of lo's run at most.
        const Pos stop = lo < ed.GapAt && hi >= ed.GapAt ? ed.GapAt : hi + 1;
        const uint8_t* b = RunBase(ed, lo);
        const uint8_t* q = FindEitherCountingLines(b + lo, b + stop, fb.byte[0], other, &passed);
        if (q == b + stop) {
            lo = stop;
            continue;
        }
        Pos p = Pos(q - b);
        if (MatchesAt(ed, k, p)) {
            *lineFeeds = passed;
            return p;
        }
        passed += b[p] == '\n';
        lo = p + 1;
    }
    return 0;
}

Pos ScanBackward(const Editor& ed, Pos lo, Pos hi, const Needle& k) {
    while (lo <= hi) {
        Pos p = 0;
        if (hi >= ed.GapAt)
            p = PreviousCandidate(RunBase(ed, hi), lo > ed.GapAt ? lo : ed.GapAt, hi, k.first);
        if (p == 0 && lo < ed.GapAt)
            p = PreviousCandidate(ed.buf, lo, hi < ed.GapAt ? hi : ed.GapAt - 1, k.first);
        if (p == 0) return 0;
        if (MatchesAt(ed, k, p)) return p;
        if (p == lo) return 0;
        hi = p - 1;
    }
    return 0;
}

bool SetsMarkOnFind(const Editor& ed) {
    return ed.EditMode == EMACS || ed.EditMode == PICO || ed.EditMode == VI;
}
bool AsksOptions(const Editor& ed) { return ed.EditMode == WS || ed.EditMode == NEDIT; }

// The first n bytes of the stored text from the cursor, with the stored direction and case; the
// occurrence or 0.
Pos FindFromCursor(Editor& ed, size_t n, uint64_t* lineFeeds = nullptr) {
    if (n == 0) return 0;
    if (ed.EditMode == PICO || ed.EditMode == VI) ed.WrapOrigin = ed.Cursor;
    const bool wrap = ed.EditMode == PICO && ed.SearchStep > 0;
    return FindOccurrence(ed, ed.Cursor, reinterpret_cast<const uint8_t*>(ed.SearchText), n, ed.SearchStep,
                          ed.CaseMask, wrap, lineFeeds);
}

void FindNext(Editor& ed) {
    uint64_t lineFeeds;
    Pos p = FindFromCursor(ed, std::strlen(ed.SearchText), &lineFeeds);
    if (p == 0) return;
    if (lineFeeds != kNotCounted) {
        ed.LineNumber += lineFeeds;
        ed.Cursor = p;
    } else {
        MoveCursorCountingLines(ed, p);
    }
    ed.LastFindPos = p;
}

void ReplaceNext(Editor& ed) {
    const size_t typed = std::strlen(ed.SearchText);
    const size_t out = ed.SearchLength < typed ? ed.SearchLength : typed;
    Pos p = FindFromCursor(ed, out);
    if (p == 0) return;
    const size_t in = ed.ReplaceLength;
    // The room is checked before the found text goes, so a replacement that cannot fit changes nothing.
    if (in > out && Room(ed) < in - out) {
        ed.sys.ErrorNumber = err::kNoMemory;
        ShowError(ed);
        RestoreCursor(ed);
        return;
    }
    RemoveBytes(ed, p, out);
    if (!MakeRoom(ed, p, in)) return;
    std::memcpy(At(ed, p), ed.ReplaceText, in);
    ed.Cursor = CharStartAt(ed, p);
    ed.LastFindPos = p;
    ed.RecountLines = true;
}

void Repeat(Editor& ed) {
    if (ed.LastFindKind == 1)
        FindNext(ed);
    else if (ed.LastFindKind == 2 && ed.EditMode != EMACS)
        ReplaceNext(ed);
}

// "OPT? C/B": every C flips the case rule, every B the direction, starting from forward, case ignored.
[[gnu::cold]] void AskOptions(Editor& ed) {
    ed.SearchStep = 1;
    ed.CaseMask = 0xDF;
    size_t n = ReadLine(ed, "OPT? C/B", ed.CommandText, kLongestOptions);
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = uint8_t(ed.CommandText[i]) & 0xDF;
        if (c == 'C') ed.CaseMask ^= 0x20;
        if (c == 'B') ed.SearchStep = -ed.SearchStep;
    }
}

[[gnu::cold]] void StartFind(Editor& ed, int step, uint8_t caseMask) {
    ed.SearchStep = step;
    ed.CaseMask = caseMask;
    if (SetsMarkOnFind(ed)) {
        ed.Mark = ed.Cursor;
        ed.BlockVisible = 0;
    }
    if (ed.EditMode == EMACS && ed.RepeatSearch) {
        Repeat(ed);
        ed.RepeatSearch = true;
        return;
    }
    ed.LastFindKind = 1;
    // The prompt empties the entry buffer; PICO and vi search again for the text it held.
    char previous[kLongestText + 1];
    std::memcpy(previous, ed.SearchText, sizeof previous);
    size_t n = ReadLine(ed, " SEARCH:", ed.SearchText, kLongestText);
    if (AsksOptions(ed)) AskOptions(ed);  // asked before the answer is looked at, even an empty one
    RestoreCursor(ed);
    if (n == 0) {
        ed.LastFindKind = 0;
        if ((ed.EditMode != PICO && ed.EditMode != VI) || previous[0] == 0) return;
        std::memcpy(ed.SearchText, previous, sizeof previous);
    }
    FindNext(ed);
    ed.RepeatSearch = true;
}

[[gnu::cold]] void StartReplace(Editor& ed) {
    ed.SearchStep = 1;
    ed.CaseMask = 0xDF;
    ed.LastFindKind = 2;
    size_t n = ReadLine(ed, "REPLACE:", ed.SearchText, kLongestText);
    if (n == 0) {
        ed.LastFindKind = 0;
        RestoreCursor(ed);
        return;
    }
    ed.SearchLength = uint32_t(n);
    ed.ReplaceLength = uint32_t(ReadLine(ed, "RE WITH:", ed.ReplaceText, kLongestText));
    if (AsksOptions(ed)) AskOptions(ed);
    RestoreCursor(ed);
    ReplaceNext(ed);
}

}  // namespace

Pos FindOccurrence(const Editor& ed, Pos from, const uint8_t* s, size_t n, int step, uint8_t caseMask,
                   bool wrap, uint64_t* lineFeeds) {
    uint64_t ignored;
    if (!lineFeeds) lineFeeds = &ignored;
    *lineFeeds = kNotCounted;
    if (n == 0 || !ed.buf || ed.TextLength() < n) return 0;
    // Every occurrence lies wholly inside the text: none starts after `last`.
    const Pos last = ed.TextEnd - n;
    const Needle k = MakeNeedle(ed, s, n, caseMask);
    if (step < 0) {
        if (from <= ed.TextStart) return 0;
        Pos hi = from - 1 < last ? from - 1 : last;
        return ScanBackward(ed, ed.TextStart, hi, k);
    }
    uint64_t passed = 0;
    if (from >= ed.TextStart) {
        if (Pos p = ScanForward(ed, from + 1, last, k, &passed)) {
            *lineFeeds = passed + (ByteAt(ed, from) == '\n');
            return p;
        }
    } else if (Pos p = ScanForward(ed, ed.TextStart, last, k, &passed)) {
        return p;
    }
    if (!wrap || from <= ed.TextStart) return 0;
    Pos hi = from - 1 < last ? from - 1 : last;
    return ScanForward(ed, ed.TextStart, hi, k, &passed);
}

void Find(Editor& ed) { StartFind(ed, 1, 0xDF); }
void FindForward(Editor& ed) { StartFind(ed, 1, 0xDF); }
void FindBackward(Editor& ed) { StartFind(ed, -1, 0xDF); }
void FindForwardExact(Editor& ed) { StartFind(ed, 1, 0xFF); }
void FindBackwardExact(Editor& ed) { StartFind(ed, -1, 0xFF); }

void Replace(Editor& ed) { StartReplace(ed); }
void ReplaceForward(Editor& ed) { StartReplace(ed); }

void RepeatFind(Editor& ed) { Repeat(ed); }

void RepeatReplace(Editor& ed) {
    if (ed.LastFindKind == 2) ReplaceNext(ed);
}
