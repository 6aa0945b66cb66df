// The matcher on its own (case folding, the edges of the text, long lines, the scan's chunk seams) and
// the replacement's room check, which the key scripts cannot reach.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

struct InputExhausted {};
[[noreturn]] void ThrowOnExit(Editor&, int) { throw InputExhausted{}; }

class Search : public ::testing::Test {
protected:
    FakeTerminal term{24, 80};
    Editor ed{term};

    void SetUp() override { ed.Exit = ThrowOnExit; }
    // The text, with `kill` as the kill buffer behind it.
    void Load(const std::string& text, const std::string& kill = "", uint8_t mode = WS,
              uint64_t capacity = 0) {
        if (capacity == 0) capacity = text.size() + kill.size() + 64;
        ASSERT_TRUE(ReserveBuffer(ed, capacity));
        ed.EditMode = mode;
        PutText(ed, text);
        std::memcpy(ed.kill, kill.data(), kill.size());
        ed.KillLength = kill.size();
        ed.Cursor = ed.TextStart;
    }
    // Offset into the text of the occurrence found, or -1.
    long At(const std::string& s, Pos from, int step, uint8_t mask = 0xDF, bool wrap = false) {
        Pos p =
            FindOccurrence(ed, from, reinterpret_cast<const uint8_t*>(s.data()), s.size(), step, mask, wrap);
        return p == 0 ? -1 : long(p - ed.TextStart);
    }
    long Forward(const std::string& s, uint8_t mask = 0xDF) { return At(s, 0, 1, mask); }
    std::string Text() const { return TextOf(ed); }
};

TEST(FoldCase, ClearsBit32FromByte65Up) {
    for (unsigned b = 0; b < 256; ++b) {
        uint8_t c = uint8_t(b);
        EXPECT_EQ(FoldCase(c, 0xFF), c);
        EXPECT_EQ(FoldCase(c, 0xDF), b >= 65 ? uint8_t(c & 0xDF) : c) << b;
    }
}

TEST_F(Search, IgnoredCaseFoldsPunctuationAndHighBytes) {
    Load("-a- -`- -{- -~- -\xe9- -\xa0- -p- -0-");
    EXPECT_EQ(Forward("-A-"), 0);
    EXPECT_EQ(Forward("-@-"), 4);  // the back-quote equals the at sign
    EXPECT_EQ(Forward("-[-"), 8);
    EXPECT_EQ(Forward("-^-"), 12);
    EXPECT_EQ(Forward("-\xc9-"), 16);
    EXPECT_EQ(Forward("-\x80-"), 20);
    EXPECT_EQ(Forward("-P-"), 24);
    // Below 65 nothing folds: the digit is not the control byte 32 below it.
    EXPECT_EQ(Forward("-\x10-"), -1);
    EXPECT_EQ(Forward("-0-"), 28);
    EXPECT_EQ(Forward("-@-", 0xFF), -1);
    EXPECT_EQ(Forward("-`-", 0xFF), 4);
}

TEST_F(Search, FirstByteBelow65StillFindsItsFoldedPartner) {
    // '@' is not folded itself, but the back-quote folds onto it: both are first-byte candidates.
    Load("x`y @y");
    EXPECT_EQ(Forward("@y"), 1);
    EXPECT_EQ(At("@Y", ed.TextEnd, -1), 4);
    EXPECT_EQ(At("`Y", ed.TextEnd, -1), 4);
}

TEST_F(Search, CursorItselfIsNeverAMatchAndOccurrencesOverlap) {
    Load("aaaa");
    EXPECT_EQ(At("aa", ed.TextStart, 1), 1);
    EXPECT_EQ(At("aa", ed.TextStart + 1, 1), 2);
    EXPECT_EQ(At("aa", ed.TextStart + 2, 1), -1);
    EXPECT_EQ(At("aa", ed.TextStart + 2, -1), 1);
    EXPECT_EQ(At("aa", ed.TextStart, -1), -1);
    EXPECT_EQ(Forward("aa"), 0);  // from before the text the first byte counts
}

TEST_F(Search, OccurrencesStayInsideTheText) {
    // The kill buffer behind the closing line feed would complete these; it is not text.
    Load("xab", "c-abc");
    EXPECT_EQ(Forward("abc"), -1);
    EXPECT_EQ(At("abc", ed.TextEnd, -1), -1);
    EXPECT_EQ(Forward("ab"), 1);
    EXPECT_EQ(At("ab", ed.TextEnd, -1), 1);
    EXPECT_EQ(At("x", ed.TextEnd, -1), 0);
    EXPECT_EQ(Forward("xabc"), -1);  // longer than the text
    Load("");
    EXPECT_EQ(Forward("a"), -1);
    EXPECT_EQ(At("a", ed.TextEnd, -1), -1);
    EXPECT_EQ(At("a", ed.TextEnd, 1, 0xDF, true), -1);
}

TEST_F(Search, WrapLooksAtEveryOtherPositionOnce) {
    Load("ab x ab");
    EXPECT_EQ(At("ab", ed.TextStart + 5, 1, 0xDF, true), 0);
    EXPECT_EQ(At("ab", ed.TextStart + 5, 1, 0xDF, false), -1);
    EXPECT_EQ(At("ab", ed.TextStart + 2, 1, 0xDF, true), 5);
    // The only occurrence is at the origin: not found again.
    Load("x ab y");
    EXPECT_EQ(At("ab", ed.TextStart + 2, 1, 0xDF, true), -1);
    EXPECT_EQ(At("zz", ed.TextEnd, 1, 0xDF, true), -1);
}

TEST_F(Search, LongLineAndChunkSeams) {
    std::string line(100000, 'x');
    line.replace(99990, 6, "NEEDLE");
    line.replace(65534, 4, "abcd");  // across the scan's 64 KiB seam
    line.replace(3, 2, "ne");
    Load(line + "\n");
    EXPECT_EQ(Forward("needle"), 99990);
    EXPECT_EQ(At("needle", ed.TextEnd, -1), 99990);
    EXPECT_EQ(At("NE", ed.TextEnd, -1, 0xFF), 99990);
    EXPECT_EQ(At("NE", ed.TextStart + 99990, -1), 3);
    EXPECT_EQ(Forward("ABCD"), 65534);
    EXPECT_EQ(At("bcd", ed.TextEnd, -1), 65535);
    EXPECT_EQ(Forward("needle", 0xFF), -1);
}

// WS Replace with its prompts REPLACE:, RE WITH: and the options, each a burst; `after` for what the
// command reads behind them.
void RunReplace(Editor& ed, FakeTerminal& term, const std::string& from, const std::string& to,
                const std::string& after = "") {
    term.AddBurst(from + "\r");
    term.AddBurst(to + "\r");
    term.AddBurst("\r");
    if (!after.empty()) term.AddBurst(after);
    Replace(ed);
}

// In a UTF-8 locale every letter finds its other case and is found by it, both ways, also where the
// two begin with different bytes (Σ and σ).
TEST_F(Search, Utf8EveryLetterFindsItsOtherCase) {
    int pairs = 0;
    for (uint32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        const uint32_t lower = FoldCodePoint(cp);
        if (lower == cp) continue;
        ++pairs;
        const std::string u = Utf8Of(cp), l = Utf8Of(lower);
        Load("x" + u + "y" + l);
        ed.Utf8 = true;
        ASSERT_EQ(Forward(l), 1) << std::hex << cp;
        ASSERT_EQ(At(u, ed.TextEnd, -1), long(2 + u.size())) << std::hex << cp;
        ASSERT_EQ(Forward(u, 0xFF), 1) << std::hex << cp;
        ASSERT_EQ(At(u, ed.TextEnd, -1, 0xFF), 1) << std::hex << cp;
    }
    EXPECT_GT(pairs, 1000);
}

// A hit never takes part of a character, whatever the text's first byte test found.
TEST_F(Search, Utf8HitsAreWholeCharacters) {
    Load(
        "e\xCC\x81 \xE6\x97\xA5 \xC3\xA4"
        "e \xC3"
        "e");
    ed.Utf8 = true;
    EXPECT_EQ(Forward("e"), 10);         // not the base of the accented e
    EXPECT_EQ(Forward("\xE6\x97"), -1);  // the start of a wider character
    EXPECT_EQ(Forward("\xC3"), 12);      // a byte of no character matches such a byte only
    EXPECT_EQ(Forward("\xC3\x84"
                      "E"),
              8);
    ed.Utf8 = false;
    EXPECT_EQ(Forward("e"), 0);
}

TEST_F(Search, ReplacementThatDoesNotFitChangesNothing) {
    Load("x ab cd ab", "", WS, 14);
    ed.BlockBegin = ed.TextStart + 3;
    ed.BlockEnd = ed.TextStart + 6;
    RunReplace(ed, term, "ab", "abcdefg", "k");  // k closes the error message
    EXPECT_EQ(Text(), "x ab cd ab");
    EXPECT_EQ(ed.Cursor, ed.TextStart);
    EXPECT_EQ(ed.BlockBegin, ed.TextStart + 3);
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_NE(term.output.find("Memory exhausted"), std::string::npos);
    EXPECT_FALSE(term.InputLeft());

    // Exactly the room there is: it fits.
    RunReplace(ed, term, "ab", "abcdef");
    EXPECT_EQ(Text(), "x abcdef cd ab");
    EXPECT_EQ(ed.Cursor, ed.TextStart + 2);
    EXPECT_EQ(ed.LastFindPos, ed.Cursor);
    EXPECT_EQ(ed.ChangedMark, '*');
}

TEST_F(Search, ReplaceKeepsMarksAndKillBufferInStep) {
    Load("a cat b", "kill", EMACS);
    ed.Mark = ed.TextStart + 6;
    term.AddBurst("CAT\r");
    term.AddBurst("tiger\r");
    ReplaceForward(ed);
    EXPECT_EQ(Text(), "a tiger b");
    EXPECT_EQ(ed.Mark, ed.TextStart + 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ed.kill), ed.KillLength), "kill");
    EXPECT_EQ(ed.LastFindKind, 2);
}

// A find counts only the lines it passed, forward, backward and round the end of the text.
TEST_F(Search, FindsKeepTheLineNumber) {
    Load("one\ntwo x\n\nthree\nx four\nfive\n", "", PICO);
    ed.Cursor = ed.TextStart + 4;  // line 2
    ed.LineNumber = 2;
    std::strcpy(ed.SearchText, "four");
    ed.SearchStep = 1;
    ed.CaseMask = 0xDF;
    ed.LastFindKind = 1;
    RepeatFind(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 19);
    EXPECT_EQ(ed.LineNumber, 5u);
    std::strcpy(ed.SearchText, "TWO");  // behind the cursor: found round the end
    RepeatFind(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 4);
    EXPECT_EQ(ed.LineNumber, 2u);
    ed.EditMode = WS;
    ed.Cursor = ed.TextEnd;
    ed.LineNumber = 7;
    std::strcpy(ed.SearchText, "x");
    ed.SearchStep = -1;
    RepeatFind(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 17);
    EXPECT_EQ(ed.LineNumber, 5u);
    RepeatFind(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 8);
    EXPECT_EQ(ed.LineNumber, 2u);
}

TEST_F(Search, PromptsAndOptions) {
    Load("ab AB ab");
    ed.Cursor = ed.TextEnd;
    term.AddBurst("ab\r");
    term.AddBurst("xCyb\r");  // bytes other than C and B are ignored
    Find(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 6);
    EXPECT_EQ(ed.CaseMask, 0xFF);
    EXPECT_EQ(ed.SearchStep, -1);
    EXPECT_NE(term.output.find(" SEARCH:"), std::string::npos);
    EXPECT_NE(term.output.find("OPT? C/B"), std::string::npos);
    RepeatFind(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart);
    EXPECT_EQ(ed.LineNumber, 1u);

    // A cancelled search text still asks the options, then finds nothing.
    term.AddBurst("zz\x15");
    term.AddBurst("\r");
    Find(ed);
    EXPECT_EQ(ed.LastFindKind, 0);
    EXPECT_FALSE(term.InputLeft());
}

TEST_F(Search, PicoSearchesAgainForTheTextBeforeAnEmptyAnswer) {
    Load("x ab ab", "", PICO);
    term.AddBurst("ab\r");
    FindForward(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 2);
    EXPECT_EQ(ed.Mark, ed.TextStart);
    EXPECT_EQ(ed.BlockVisible, 0);
    term.AddBurst("\r");
    FindForward(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 5);
    EXPECT_STREQ(ed.SearchText, "ab");
    EXPECT_EQ(ed.LastFindKind, 0);
    // Wrapping from the last one comes back to the first.
    term.AddBurst("\r");
    FindForward(ed);
    EXPECT_EQ(ed.Cursor, ed.TextStart + 2);
}

}  // namespace
