// Characters: the locale choice, decoding, widths, and stepping that agrees forward and backward.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

bool Utf8Env(std::vector<std::string> entries) {
    std::vector<char*> env;
    for (std::string& e : entries) env.push_back(e.data());
    env.push_back(nullptr);
    return LocaleIsUtf8(env.data());
}

TEST(Locale, FirstSetVariableDecides) {
    EXPECT_TRUE(Utf8Env({"LANG=C.UTF-8"}));
    EXPECT_TRUE(Utf8Env({"LANG=de_DE.utf8"}));
    EXPECT_TRUE(Utf8Env({"LC_CTYPE=en_US.UTF-8@euro", "LANG=C"}));
    EXPECT_FALSE(Utf8Env({"LC_ALL=C", "LC_CTYPE=C.UTF-8"}));
    EXPECT_FALSE(Utf8Env({"LANG=de_DE.ISO-8859-1"}));
    EXPECT_FALSE(Utf8Env({"LANG=POSIX"}));
    EXPECT_FALSE(Utf8Env({}));
    // An empty variable counts as unset.
    EXPECT_TRUE(Utf8Env({"LC_ALL=", "LANG=C.UTF-8"}));
    EXPECT_FALSE(Utf8Env({"LANGUAGE=C.UTF-8"}));
}

size_t Decode(const std::string& s, uint32_t* cp) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    return DecodeUtf8(p, p + s.size(), cp);
}

TEST(Utf8, DecodesOnlyWellFormedSequences) {
    uint32_t cp = 0;
    EXPECT_EQ(Decode("\xC3\xBC", &cp), 2u);
    EXPECT_EQ(cp, 0xFCu);
    EXPECT_EQ(Decode("\xF0\x9F\x98\x80", &cp), 4u);
    EXPECT_EQ(cp, 0x1F600u);
    EXPECT_EQ(Decode("\xC0\xAF", &cp), 0u);          // overlong
    EXPECT_EQ(Decode("\xE0\x80\xAF", &cp), 0u);      // overlong
    EXPECT_EQ(Decode("\xED\xA0\x80", &cp), 0u);      // a surrogate
    EXPECT_EQ(Decode("\xF4\x90\x80\x80", &cp), 0u);  // beyond U+10FFFF
    EXPECT_EQ(Decode("\xE2\x82", &cp), 0u);          // cut short
    EXPECT_EQ(Decode("\xE2\x0A\xAC", &cp), 0u);      // cut by a line feed
    EXPECT_EQ(Decode("\x80", &cp), 0u);
}

// The quick test of a lead byte's second byte agrees with the decoder: with continuation bytes after
// it, a sequence decodes exactly when its second byte fits.
TEST(Utf8, SecondByteFitsWhereTheDecoderAgrees) {
    for (unsigned lead = 0xC2; lead <= 0xF4; ++lead) {
        for (unsigned second = 0; second < 256; ++second) {
            const uint8_t s[4] = {uint8_t(lead), uint8_t(second), 0x80, 0x80};
            const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            uint32_t cp = 0;
            EXPECT_EQ(SecondByteFits(uint8_t(lead), int(second)), DecodeUtf8(s, s + 4, &cp) == length)
                << std::hex << lead << " " << second;
        }
    }
}

TEST(Utf8, WidthsAndFolds) {
    EXPECT_EQ(CodePointWidth('a'), 1);
    EXPECT_EQ(CodePointWidth(0x7F), -1);
    EXPECT_EQ(CodePointWidth(0x85), -1);  // C1 control
    EXPECT_EQ(CodePointWidth(0xE9), 1);
    EXPECT_EQ(CodePointWidth(0x301), 0);    // combining acute
    EXPECT_EQ(CodePointWidth(0x200D), 0);   // zero width joiner
    EXPECT_EQ(CodePointWidth(0x65E5), 2);   // 日
    EXPECT_EQ(CodePointWidth(0xFF21), 2);   // fullwidth A
    EXPECT_EQ(CodePointWidth(0x1F600), 2);  // emoji
    EXPECT_EQ(CodePointWidth(0x2603), 1);   // snowman, text presentation
    EXPECT_EQ(CodePointWidth(0xAC00), 2);   // Hangul syllable
    EXPECT_EQ(CodePointWidth(0x378), -1);   // unassigned
    EXPECT_EQ(CodePointWidth(0x2028), -1);  // line separator
    EXPECT_EQ(FoldCodePoint(0xC4), 0xE4u);  // Ä
    EXPECT_EQ(FoldCodePoint(0xE4), 0xE4u);
    EXPECT_EQ(FoldCodePoint(0x391), 0x3B1u);  // Greek Alpha
    EXPECT_EQ(FoldCodePoint(0x410), 0x430u);  // Cyrillic A
    EXPECT_EQ(FoldCodePoint(0x100), 0x101u);  // Ā, in a run of pairs
    EXPECT_EQ(FoldCodePoint(0x101), 0x101u);
    EXPECT_EQ(FoldCodePoint('Q'), uint32_t('q'));
}

// Every character boundary found going forward is found again going backward, whatever the bytes.
void ExpectStepsAgree(const std::string& text) {
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = b + text.size();
    std::vector<const uint8_t*> starts;
    uint64_t cells = 0;
    for (const uint8_t* p = b; p < end;) {
        starts.push_back(p);
        TextChar c = CharAt(p, end, true);
        ASSERT_GE(c.length, 1u);
        ASSERT_TRUE(c.width == 1 || c.width == 2);
        cells += c.width;
        p += c.length;
    }
    // The quick count of a span's cells agrees with the characters one by one.
    if (text.find('\t') == std::string::npos) {
        EXPECT_EQ(CellsOf(b, end), cells) << "cells";
    }
    const uint8_t* p = end;
    for (size_t i = starts.size(); i-- > 0;) {
        p = CharStartBefore(b, p, true);
        ASSERT_EQ(p - b, starts[i] - b) << "character " << i << " of " << starts.size();
    }
}

TEST(Utf8, StepsAgreeBothWays) {
    ExpectStepsAgree(
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80");
    ExpectStepsAgree("e\xCC\x81\xCC\x81x");  // marks on a base
    ExpectStepsAgree("\xCC\x81\xCC\x81x");   // marks on nothing
    ExpectStepsAgree("\x01\xCC\x81\xE2\x82\xAC\x82\xC2\x85\xED\xA0\x80");
    std::mt19937 rng(7);
    const char* pieces[] = {"a",        "\xCC\x81", "\xE6\x97\xA5", "\xC3",     "\xBC",         "\x80",
                            "\xF0\x9F", "\x98\x80", "\t",           "\xC2\x85", "\xEF\xBB\xBF", " "};
    for (int round = 0; round < 300; ++round) {
        std::string s;
        for (int i = 0; i < 20; ++i) s += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
        ExpectStepsAgree(s);
    }
}

TEST(Utf8, CharactersAndTheirCells) {
    auto at = [](const std::string& s) {
        const auto* p = reinterpret_cast<const uint8_t*>(s.data());
        return CharAt(p, p + s.size(), true);
    };
    TextChar c = at("e\xCC\x81z");
    EXPECT_EQ(c.length, 3u);
    EXPECT_EQ(c.width, 1);
    EXPECT_EQ(at("\xE6\x97\xA5").width, 2);
    EXPECT_EQ(at("\xCC\x81\xCC\x81").shape, CharShape::Marks);
    EXPECT_EQ(at("\xC2\x85").shape, CharShape::Dot);  // a C1 control: each byte a dot
    EXPECT_EQ(at("\xC2\x85").length, 1u);
    EXPECT_EQ(at("\xE6\x97").length, 1u);  // cut short
    const std::string line =
        "ab\xE6\x97\xA5"
        "c\xCC\x81 \xC3\xBC"
        "defghijkl\xE6\x97\xA5";
    const auto* p = reinterpret_cast<const uint8_t*>(line.data());
    EXPECT_EQ(CellsOf(p, p + line.size()), 2u + 2 + 1 + 1 + 1 + 9 + 2);
}

// Whatever shortcut a step takes, every code point is a character of the width it has, and every one of
// no width joins the letter before it.
TEST(Utf8, EveryCodePointStepsByItsWidth) {
    auto at = [](const std::string& s) {
        const auto* p = reinterpret_cast<const uint8_t*>(s.data());
        return CharAt(p, p + s.size(), true);
    };
    for (uint32_t cp = 0xA0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const int w = CodePointWidth(cp);
        const std::string c = Utf8Of(cp), before = "a" + c, after = c + "b";
        if (w < 0) {
            ASSERT_EQ(at(c).length, 1u) << std::hex << cp;
            continue;
        }
        ASSERT_EQ(at(before).length, w == 0 ? before.size() : 1u) << std::hex << cp;
        ASSERT_EQ(at(after).length, c.size()) << std::hex << cp;
        ASSERT_EQ(at(after).width, w == 0 ? 1 : w) << std::hex << cp;
        ASSERT_EQ(at(c + "\xCC\x81").length, c.size() + 2) << std::hex << cp;  // a mark joins any character
    }
}

// The walk the screen skips hidden columns with takes the characters CharAt takes and counts their
// cells, stopping before the one that would pass the limit, in both locales and over any bytes.
TEST(Columns, SkipToColumnWalksByCharacters) {
    static const char* const kPieces[] = {
        "a",        " ",         "\t",        "\x01",     "\x7f",         "\xff",         "\xe2\x82",
        "\xc2\x85", "\xcc\x81",  "e\xcc\x81", "\xc3\xbc", "\xe2\x82\xac", "\xe6\x97\xa5", "\xf0\x9f\x98\x80",
        "\xc2\xa0", "abcdefghij"};
    FakeTerminal term;
    Editor ed(term);
    ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity));
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string line;
        while (line.size() < 60) line += kPieces[rng() % std::size(kPieces)];
        line += "\nnext";
        PutText(ed, line);
        ed.Utf8 = round % 2;
        const uint64_t limit = rng() % 4 ? rng() % 90 : ~uint64_t(0);
        Pos want = ed.TextStart;
        uint64_t wantColumn = 0;
        while (ByteAt(ed, want) != '\n') {
            const bool tab = ByteAt(ed, want) == '\t';
            const TextChar c = CharAt(At(ed, want), RunEnd(ed, want), ed.Utf8);
            const uint64_t w = tab ? TabAdvance(wantColumn) : c.width;
            if (wantColumn + w > limit) break;
            wantColumn += w;
            want += tab ? 1 : c.length;
        }
        uint64_t column = 0;
        ASSERT_EQ(SkipToColumn(ed, ed.TextStart, &column, limit), want) << round;
        ASSERT_EQ(column, wantColumn) << round;
    }
}

TEST(Columns, KeptColumnFollowsChanges) {
    FakeTerminal term;
    Editor ed(term);
    ed.Utf8 = true;
    LoadMarked(ed, WS,
               "ab\xE6\x97\xA5"
               "c|d");
    const Pos s = ed.TextStart;
    EXPECT_EQ(ColumnOf(ed, s, s + 6), 5u);
    // A mark put in at the kept place sits on the c before it.
    ASSERT_TRUE(MakeRoom(ed, s + 6, 2));
    std::memcpy(At(ed, s + 6), "\xCC\x81", 2);
    EXPECT_EQ(ColumnOf(ed, s, s + 9), 6u);
    EXPECT_EQ(ColumnOf(ed, s, s + 2), 2u);  // back, then forward again
    EXPECT_EQ(ColumnOf(ed, s, s + 8), 5u);
    // A wide character taken out before the kept place.
    RemoveBytes(ed, s + 2, 3);
    EXPECT_EQ(ColumnOf(ed, s, s + 5), 3u);
    // A tab between the kept place and the one asked about.
    LoadMarked(ed, WS, "\xE6\x97\xA5\tx|");
    EXPECT_EQ(ColumnOf(ed, s, s + 5), 9u);
    EXPECT_EQ(ColumnOf(ed, s, s + 3), 2u);
}

}  // namespace
