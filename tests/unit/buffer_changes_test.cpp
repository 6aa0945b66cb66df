// Opening and closing room in the text under each mode's mark rules, the kill buffer riding behind
// the text, and the refusals when the capacity is used up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer/buffer.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

class BufferChangesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity)); }
    void Fill(const std::string& text, const std::string& kill = "") {
        PutText(ed, text);
        std::memcpy(ed.kill, kill.data(), kill.size());
        ed.KillLength = kill.size();
        ed.Cursor = 1;
    }
    std::string Text() const { return TextOf(ed); }
    std::string Kill() const { return KillText(ed); }
    void Insert(Pos p, const std::string& s) {
        ASSERT_TRUE(MakeRoom(ed, p, s.size()));
        std::memcpy(At(ed, p), s.data(), s.size());
    }
    FakeTerminal term;
    Editor ed{term};
};

TEST_F(BufferChangesTest, ReserveGivesAnEmptyValidText) {
    Fill("old text", "kill");
    ed.Mark = 3;
    ASSERT_TRUE(ReserveBuffer(ed, 5000));
    EXPECT_EQ(ed.BufferCapacity, 5000u);
    EXPECT_GE(ed.reserved, 5002u);
    EXPECT_EQ(ByteAt(ed, 0), '\n');
    EXPECT_EQ(ByteAt(ed, 1), '\n');
    EXPECT_EQ(ed.TextEnd, 1u);
    EXPECT_EQ(ed.Cursor, 1u);
    EXPECT_EQ(ed.KillLength, 0u);
    EXPECT_EQ(ed.Mark, 0u);
    EXPECT_EQ(Room(ed), 5000u);
}

TEST_F(BufferChangesTest, InsertIntoEmptyTextKeepsClosingLineFeed) {
    ed.EditMode = EMACS;
    Insert(1, "hi");
    EXPECT_EQ(Text(), "hi");
    EXPECT_EQ(ed.TextEnd, 3u);
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_EQ(ed.ChangedMark, '*');
}

TEST_F(BufferChangesTest, KillBufferRidesBehindTheText) {
    for (uint8_t mode : {EMACS, PICO, VI, NEDIT, WS}) {
        ed.EditMode = mode;
        Fill("one\ntwo", "clip\n");
        Insert(4, " more");
        EXPECT_EQ(Text(), "one more\ntwo");
        EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
        EXPECT_EQ(Kill(), "clip\n") << int(mode);
        RemoveBytes(ed, 1, 9);
        EXPECT_EQ(Text(), "two");
        EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
        EXPECT_EQ(Kill(), "clip\n") << int(mode);
    }
}

TEST_F(BufferChangesTest, RemoveNeverTakesTheClosingLineFeed) {
    Fill("abc", "k");
    RemoveBytes(ed, 2, 50);
    EXPECT_EQ(Text(), "a");
    EXPECT_EQ(ByteAt(ed, ed.TextEnd), '\n');
    EXPECT_EQ(Kill(), "k");
    RemoveBytes(ed, ed.TextEnd, 1);
    EXPECT_EQ(Text(), "a");
}

TEST_F(BufferChangesTest, WsBlockFollowsTheTextButStaysAtTheInsertionPoint) {
    Fill("0123456789");
    ed.BlockBegin = 4;
    ed.BlockEnd = 8;
    ed.Mark = 5;
    Insert(4, "xx");  // at the begin: the new bytes join the block
    EXPECT_EQ(ed.BlockBegin, 4u);
    EXPECT_EQ(ed.BlockEnd, 10u);
    EXPECT_EQ(ed.Mark, 5u);  // not WS's mark
    Insert(10, "y");         // at the end: the block does not grow
    EXPECT_EQ(ed.BlockEnd, 10u);
    RemoveBytes(ed, 1, 2);
    EXPECT_EQ(ed.BlockBegin, 2u);
    EXPECT_EQ(ed.BlockEnd, 8u);
}

TEST_F(BufferChangesTest, MarksInsideARemovedSpanGoToItsStart) {
    Fill("0123456789");
    ed.BlockBegin = 4;
    ed.BlockEnd = 9;
    RemoveBytesMovingMarks(ed, 2, 4);  // removes 1234: the begin lay inside
    EXPECT_EQ(Text(), "056789");
    EXPECT_EQ(ed.BlockBegin, 2u);
    EXPECT_EQ(ed.BlockEnd, 5u);
    ed.EditMode = EMACS;
    ed.Mark = 4;
    RemoveBytes(ed, 1, 5);  // the mark lay inside: it may not drop below the span
    EXPECT_EQ(ed.Mark, 1u);
}

TEST_F(BufferChangesTest, RegionMarkFollowsTheTextInEmacsPicoAndNedit) {
    for (uint8_t mode : {EMACS, PICO, NEDIT}) {
        ed.EditMode = mode;
        Fill("abcdef");
        ed.Mark = 4;  // on d
        ed.BlockBegin = 2;
        Insert(2, "XYZ");
        EXPECT_EQ(ByteAt(ed, ed.Mark), 'd') << int(mode);
        EXPECT_EQ(ed.BlockBegin, 2u);
        RemoveBytes(ed, 1, 2);
        EXPECT_EQ(ByteAt(ed, ed.Mark), 'd') << int(mode);
        Insert(ed.Mark, "!");  // at the mark: the mark stays, now on the new byte
        EXPECT_EQ(ByteAt(ed, ed.Mark), '!');
    }
}

TEST_F(BufferChangesTest, NoRoomIsRefusedForTheCommandToReportAndChangesNothing) {
    ed.EditMode = EMACS;
    Fill("abcd", "kk");
    ed.BufferCapacity = 8;
    ed.Mark = 3;
    ed.ChangedMark = ' ';
    EXPECT_FALSE(MakeRoom(ed, 2, 3));
    EXPECT_EQ(ed.sys.ErrorNumber, 12);
    EXPECT_TRUE(ed.ErrorPending);
    EXPECT_EQ(term.output, "") << "a primitive neither draws nor waits";
    ed.ErrorPending = false;
    EXPECT_EQ(Text(), "abcd");
    EXPECT_EQ(Kill(), "kk");
    EXPECT_EQ(ed.Mark, 3u);
    EXPECT_EQ(ed.ChangedMark, ' ');
    EXPECT_TRUE(MakeRoom(ed, 2, 2));  // exactly the room left
    EXPECT_EQ(Room(ed), 0u);
}

TEST_F(BufferChangesTest, SaveToKillReplacesOrAppends) {
    ed.EditMode = EMACS;
    Fill("hello world", "old");
    ed.KillAppend = false;
    ASSERT_TRUE(SaveToKill(ed, 1, 5));
    EXPECT_EQ(Kill(), "hello");
    EXPECT_EQ(ed.KillSource, 1u);
    EXPECT_TRUE(ed.KillAppend);
    EXPECT_EQ(ed.BlockVisible, 0);
    ASSERT_TRUE(SaveToKill(ed, 6, 6));
    EXPECT_EQ(Kill(), "hello world");
    EXPECT_EQ(ed.KillSource, 1u);

    ed.EditMode = VI;  // vi always replaces
    ASSERT_TRUE(SaveToKill(ed, 7, 5));
    EXPECT_EQ(Kill(), "world");
    EXPECT_EQ(ed.KillSource, 7u);
}

TEST_F(BufferChangesTest, SaveToKillRefusedBeyondCapacity) {
    ed.EditMode = EMACS;
    Fill("abcdefgh", "xyz");
    ed.BufferCapacity = 12;
    ed.KillAppend = true;
    term.AddBurst(" ");
    term.AddBurst(" ");                  // one key for each report
    EXPECT_FALSE(SaveToKill(ed, 1, 2));  // 8 + 3 + 2 > 12
    EXPECT_EQ(Kill(), "xyz");
    EXPECT_FALSE(KillBytes(ed, 1, 2));
    EXPECT_EQ(Text(), "abcdefgh");
    ed.KillAppend = false;  // a replacement of four fits
    EXPECT_TRUE(KillBytes(ed, 1, 4));
    EXPECT_EQ(Text(), "efgh");
    EXPECT_EQ(Kill(), "abcd");
}

TEST_F(BufferChangesTest, RegionCopyNeedsAShownRegionOutsideVi) {
    ed.EditMode = EMACS;
    Fill("one two three", "old");
    ed.Mark = 9;
    ed.Cursor = 5;
    ed.BlockVisible = 0;
    ed.PasteByChars = true;
    ASSERT_TRUE(CopyRegionToKill(ed));
    EXPECT_EQ(Kill(), "old");
    EXPECT_FALSE(ed.PasteByChars);
    ed.BlockVisible = 1;
    ASSERT_TRUE(CopyRegionToKill(ed));
    EXPECT_EQ(Kill(), "two ");
    EXPECT_EQ(ed.KillSource, 5u);
    EXPECT_EQ(ed.BlockVisible, 0);

    ed.EditMode = VI;  // vi copies even when hidden, and leaves the flag
    ed.Mark = 1;
    ASSERT_TRUE(CopyRegionToKill(ed));
    EXPECT_EQ(Kill(), "one ");
    EXPECT_EQ(ed.BlockVisible, 0);

    ed.BufferCapacity = 15;  // 13 of text leave room for two
    term.AddBurst(" ");
    ed.Cursor = 4;
    EXPECT_FALSE(CopyRegionToKill(ed));
    EXPECT_EQ(Kill(), "one ");
}

TEST_F(BufferChangesTest, CopyBlockToCursor) {
    Fill("ab[cd]ef");
    ed.BlockBegin = 3;
    ed.BlockEnd = 7;  // "[cd]"
    ed.Cursor = 3;
    EXPECT_FALSE(CopyBlockToCursor(ed));  // inside
    ed.Cursor = 6;
    EXPECT_FALSE(CopyBlockToCursor(ed));
    EXPECT_EQ(Text(), "ab[cd]ef");

    ed.Cursor = 7;  // right at the block end
    ASSERT_TRUE(CopyBlockToCursor(ed));
    EXPECT_EQ(Text(), "ab[cd][cd]ef");
    EXPECT_EQ(ed.BlockBegin, 3u);

    ed.Cursor = 1;  // before it: the marks move on and the copy comes from the moved block
    ASSERT_TRUE(CopyBlockToCursor(ed));
    EXPECT_EQ(Text(), "[cd]ab[cd][cd]ef");
    EXPECT_EQ(ed.BlockBegin, 7u);
    EXPECT_EQ(ed.BlockEnd, 11u);

    ed.BlockVisible = 0;
    EXPECT_FALSE(CopyBlockToCursor(ed));
}

// Changes near the last one and far from it, with line feeds among the bytes, against a plain copy of
// the text, on a short text and on one larger than the gap grows by, so that the gap moves, widens and
// closes up; every read of the text is checked against the copy, and each undo brings the copy before.
TEST_F(BufferChangesTest, GapMovesKeepTheTextAsAPlainCopy) {
    for (size_t size : {size_t(300), size_t(5) << 20}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(ReserveBuffer(ed, 3 * size + 4096));
        std::mt19937 rng{unsigned(size)};
        auto randomBytes = [&](size_t n) {
            std::string s(n, 'x');
            for (char& c : s) c = rng() % 8 ? char('a' + rng() % 26) : '\n';
            return s;
        };
        std::string model = randomBytes(size);
        Fill(model);
        std::vector<std::string> before;
        Pos last = 1;
        for (int step = 0; step < 300; ++step) {
            // Half the changes near the last place, half anywhere.
            Pos p = rng() % 2 ? 1 + rng() % (model.size() + 1)
                              : std::min<Pos>(last + rng() % 5, model.size() + 1);
            last = p;
            const unsigned op = rng() % 5;
            if (op == 0) {
                // Now and then more than the gap holds, which widens it.
                std::string s = randomBytes(rng() % 16 ? 1 + rng() % 30 : (size_t(2) << 20) + 7);
                if (s.size() > Room(ed)) continue;
                before.push_back(model);
                Insert(p, s);
                model.insert(p - 1, s);
            } else if (op == 1 && p <= model.size()) {
                size_t n = rng() % 8 ? 1 + rng() % 40 : rng() % model.size();
                n = std::min(n, model.size() - (p - 1));
                if (n == 0) continue;
                before.push_back(model);
                ASSERT_TRUE(RemoveBytes(ed, p, n));
                model.erase(p - 1, n);
            } else if (op == 2 && p > 1 && p <= model.size()) {
                // Two bytes exchanged in place, a line feed among them as often as not.
                before.push_back(model);
                RecordSwap(ed, p);
                uint8_t* t = InPlace(ed, p - 1, 2);
                std::swap(t[0], t[1]);
                std::swap(model[p - 2], model[p - 1]);
            } else if (op == 3 && !before.empty()) {
                Undo(ed);
                model = before.back();
                before.pop_back();
            }
            ASSERT_EQ(Text(), model) << "step " << step;
            ASSERT_EQ(ByteAt(ed, ed.TextEnd), '\n');
            if (ed.GapAt <= ed.TextEnd) {
                ASSERT_EQ(ByteAt(ed, ed.GapAt - 1), '\n') << "the gap splits a line";
            }
            const Pos a = 1 + rng() % (model.size() + 1), b = a + rng() % (model.size() + 2 - a);
            const std::string between = model.substr(a - 1, b - a);
            TextRuns runs = RunsBetween(ed, a, b);
            std::string joined(reinterpret_cast<const char*>(runs.run[0].bytes), runs.run[0].length);
            joined.append(reinterpret_cast<const char*>(runs.run[1].bytes), runs.run[1].length);
            ASSERT_EQ(joined, between);
            const size_t lf = between.find('\n'), back = between.rfind('\n');
            ASSERT_EQ(FindByte(ed, a, b, '\n'), lf == std::string::npos ? b : a + lf);
            ASSERT_EQ(FindByteBack(ed, b, a, '\n'), back == std::string::npos ? kGapAtEnd : a + back);
            ASSERT_EQ(CountLineFeedsBetween(ed, a, b),
                      uint64_t(std::count(between.begin(), between.end(), '\n')));
        }
        // The kill buffer filling the capacity leaves no room, whatever the gap holds.
        ed.EditMode = EMACS;
        ed.KillAppend = false;
        const size_t k = std::min<size_t>(model.size(), 1000);
        ed.BufferCapacity = model.size() + k;
        ASSERT_TRUE(SaveToKill(ed, 1, k));
        EXPECT_EQ(Kill(), model.substr(0, k));
        term.AddBurst(" ");  // the key that dismisses the report
        EXPECT_FALSE(MakeRoom(ed, 1 + model.size() / 2, 1));
        EXPECT_EQ(Text(), model);
        ClearUndo(ed);
    }
}

}  // namespace
