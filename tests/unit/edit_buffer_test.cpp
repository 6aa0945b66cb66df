// Line scans, columns and the line recount over texts of every awkward shape.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class EditBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity)); }
    void Fill(const std::string& text) {
        if (text.size() > ed.BufferCapacity) {
            ASSERT_TRUE(ReserveBuffer(ed, text.size() + 16));
        }
        PutText(ed, text);
        ed.Cursor = 1;
        ed.RecountLines = false;
    }
    FakeTerminal term;
    Editor ed{term};
};

TEST_F(EditBufferTest, EmptyTextIsOneEmptyLine) {
    bool first = false, last = false;
    EXPECT_EQ(LineOffset(ed, 1, &first), 0u);
    EXPECT_EQ(LineRest(ed, 1, &last), 0u);
    EXPECT_TRUE(first);
    EXPECT_TRUE(last);
    EXPECT_EQ(StepLinesBack(ed, 1, 1), 1u);
    EXPECT_EQ(StepLinesForward(ed, 1, 1), 1u);
    RecountLineNumber(ed);
    EXPECT_EQ(ed.LineNumber, 1u);
    EXPECT_EQ(DisplayColumn(ed, 1), 0u);
}

TEST_F(EditBufferTest, LineFeedBelongsToTheLineItEnds) {
    Fill("ab\ncd\nef");  // no final line feed: the closing one ends "ef"
    bool first = true, last = true;
    EXPECT_EQ(LineOffset(ed, 3, &first), 2u);  // on the line feed after "ab"
    EXPECT_TRUE(first);
    EXPECT_EQ(LineOffset(ed, 6, &first), 2u);
    EXPECT_FALSE(first);
    EXPECT_EQ(LineStartOf(ed, 6), 4u);
    EXPECT_EQ(LineOffset(ed, ed.TextEnd), 2u);
    EXPECT_EQ(LineStartOf(ed, ed.TextEnd), 7u);
    EXPECT_EQ(LineRest(ed, 4, &last), 2u);
    EXPECT_FALSE(last);
    EXPECT_EQ(LineEndOf(ed, 3), 3u);
    EXPECT_EQ(LineEndOf(ed, 7), ed.TextEnd);
}

TEST_F(EditBufferTest, ScansSetRecountOnlyAtTheTextEnds) {
    Fill("ab\ncd\nef\n");
    LineOffset(ed, 5);
    LineRest(ed, 5);
    EXPECT_FALSE(ed.RecountLines);
    LineRest(ed, 7);
    EXPECT_FALSE(ed.RecountLines);
    LineRest(ed, ed.TextEnd);
    EXPECT_TRUE(ed.RecountLines);
    ed.RecountLines = false;
    LineOffset(ed, 2);
    EXPECT_TRUE(ed.RecountLines);
}

TEST_F(EditBufferTest, StepLinesStopAtFirstAndLastLine) {
    Fill("l1\nl2\nl3\nl4");
    // Line starts 1, 4, 7, 10.
    EXPECT_EQ(StepLinesBack(ed, 11, 0), 10u);
    EXPECT_EQ(StepLinesBack(ed, 11, 2), 4u);
    EXPECT_FALSE(ed.RecountLines);
    EXPECT_EQ(StepLinesBack(ed, 11, 3), 1u);
    EXPECT_EQ(StepLinesBack(ed, 6, 99), 1u);  // from the line feed of l2
    EXPECT_TRUE(ed.RecountLines);

    ed.RecountLines = false;
    EXPECT_EQ(StepLinesForward(ed, 5, 0), 5u);
    EXPECT_EQ(StepLinesForward(ed, 5, 2), 10u);
    EXPECT_FALSE(ed.RecountLines);
    EXPECT_EQ(StepLinesForward(ed, 5, 9), 10u);
    EXPECT_TRUE(ed.RecountLines);
    EXPECT_EQ(StepLinesForward(ed, 11, 1), 11u);  // already on the last line
}

TEST_F(EditBufferTest, TabColumns) {
    Fill("a\tb\n1234567\tx\n\tx");
    EXPECT_EQ(DisplayColumn(ed, 3), 8u);
    EXPECT_EQ(ed.WantedColumn, 8u);
    EXPECT_EQ(DisplayColumn(ed, 12), 7u);  // the tab after seven characters
    EXPECT_EQ(DisplayColumn(ed, 13), 8u);

    Pos third = 15;
    EXPECT_EQ(PositionAtColumn(ed, third, 5), third);      // stays on the tab
    EXPECT_EQ(PositionAtColumn(ed, third, 8), third + 1);  // past it, on x
    EXPECT_EQ(PositionAtColumn(ed, third, 0), third);
    EXPECT_EQ(PositionAtColumn(ed, 1, 200), 4u);  // short line: its line feed
    EXPECT_EQ(PositionAtColumn(ed, 5, 3), 8u);
}

TEST_F(EditBufferTest, TabAtColumn254ReachesColumn256) {
    Fill(std::string(254, 'x') + "\ty");
    EXPECT_EQ(DisplayColumn(ed, 255), 254u);
    EXPECT_EQ(DisplayColumn(ed, 256), 256u);
    EXPECT_EQ(PositionAtColumn(ed, 1, 255), 255u);
    EXPECT_EQ(PositionAtColumn(ed, 1, 256), 256u);
}

TEST_F(EditBufferTest, LongLineIsScannedWhole) {
    std::string line(200000, 'z');
    line[100] = '\t';
    Fill("top\n" + line + "\nbottom");
    Pos start = 5, end = start + line.size();
    EXPECT_EQ(LineOffset(ed, end), line.size());
    EXPECT_EQ(LineStartOf(ed, end - 1), start);
    EXPECT_EQ(LineRest(ed, start), line.size());
    EXPECT_EQ(StepLinesForward(ed, start, 1), end + 1);
    EXPECT_EQ(StepLinesBack(ed, ed.TextEnd, 1), start);
    EXPECT_EQ(DisplayColumn(ed, end), line.size() + 3);  // the tab at 100 reaches 104
    ed.Cursor = ed.TextEnd;
    RecountLineNumber(ed);
    EXPECT_EQ(ed.LineNumber, 3u);
}

TEST_F(EditBufferTest, RecountOverTenMegabytes) {
    std::string text;
    text.reserve(10 << 20);
    uint64_t lines = 0;
    while (text.size() < (10u << 20)) {
        text.append(lines % 7, 'q');  // empty lines among them
        text += '\n';
        ++lines;
    }
    Fill(text);
    ed.Cursor = ed.TextEnd;
    RecountLineNumber(ed);
    EXPECT_EQ(ed.LineNumber, lines + 1);  // the empty line after the last line feed
    ed.Cursor = ed.TextEnd - 1;           // on the last line feed
    RecountLineNumber(ed);
    EXPECT_EQ(ed.LineNumber, lines);
    ed.Cursor = 1;
    RecountLineNumber(ed);
    EXPECT_EQ(ed.LineNumber, 1u);
}

TEST_F(EditBufferTest, TypingInsertsOnLineFeedOrInInsertMode) {
    Fill("ab");
    ed.InsertMode = kOverwrite;
    EXPECT_FALSE(TypingInserts(ed));
    ed.Cursor = ed.TextEnd;
    EXPECT_TRUE(TypingInserts(ed));
    ed.Cursor = 1;
    ed.InsertMode = kInsert;
    EXPECT_TRUE(TypingInserts(ed));
}

TEST_F(EditBufferTest, BlockValidNeedsBothMarksInOrderAndShown) {
    Fill("abcdef");
    ed.BlockBegin = 2;
    ed.BlockEnd = 0;
    EXPECT_FALSE(BlockValid(ed));
    ed.BlockEnd = 5;
    EXPECT_TRUE(BlockValid(ed));
    ed.BlockVisible = 0;
    EXPECT_FALSE(BlockValid(ed));
    ed.BlockVisible = 1;
    ed.BlockBegin = 6;
    EXPECT_FALSE(BlockValid(ed));
    ed.BlockBegin = ed.BlockEnd;
    EXPECT_TRUE(BlockValid(ed));  // empty but valid
}

}  // namespace

// The vector scan for either of two bytes, counting line feeds, against a byte-at-a-time one: hits
// on both sides of every step and of the counters' emptying, none at all, a long run of nothing but
// line feeds, and a line feed as one of the two bytes.
TEST(LineScans, FindEitherCountingLinesAgreesWithAPlainScan) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        size_t n = rng() % 9000;
        std::vector<uint8_t> text(n);
        for (uint8_t& c : text) c = rng() % 5 == 0 ? '\n' : uint8_t('a' + rng() % 20);
        uint8_t b0 = uint8_t('a' + rng() % 26), b1 = round % 7 == 0 ? '\n' : uint8_t('a' + rng() % 26);
        if (round % 3 == 0) {  // rare bytes: a hit far away, or none
            b0 = b1 = 'Z';
            if (n > 0 && round % 2) text[rng() % n] = 'Z';
        }
        if (round % 50 == 1) {  // nothing but line feeds, long: the counters at their fullest
            n = 30000 + rng() % 3000;
            text.assign(n, '\n');
            b0 = b1 = 'Z';
            if (round % 100 == 1) text[n - 1 - rng() % 200] = 'Z';
        }
        size_t from = n ? rng() % (n + 1) : 0;
        uint64_t expected = 0;
        size_t at = from;
        for (; at < n && text[at] != b0 && text[at] != b1; ++at) expected += text[at] == '\n';
        for (auto scan : {FindEitherCountingLines, FindEitherCountingLinesPortable}) {
            uint64_t counted = 5;
            const uint8_t* got = scan(text.data() + from, text.data() + n, b0, b1, &counted);
            ASSERT_EQ(size_t(got - text.data()), at) << "round " << round;
            ASSERT_EQ(counted, 5 + expected) << "round " << round;
        }
    }
}
