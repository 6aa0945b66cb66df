// The calculator: the parser and the result text on their own, then the command in the text (typing,
// overwrite, the kept result, the room check) and a stream of random expression lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "buffer/buffer.hpp"
#include "calc/calc.hpp"
#include "files/files.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {

constexpr const char* kError = "error";
constexpr const char* kTooLarge = "too large";

// The result text of one expression line, or kError / kTooLarge.
std::string Calc(const std::string& expr, double last = 0) {
    std::string line = expr + "\n";
    long double v = 0;
    size_t length = 0;
    if (!EvaluateExpression(reinterpret_cast<const uint8_t*>(line.data()), last, &v, &length)) return kError;
    char out[kResultTextSize];
    size_t n = 0;
    if (!FormatResult(v, out, &n)) return kTooLarge;
    return std::string(out, n);
}

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

TEST(CalculatorParse, PrecedenceGroupingAndSigns) {
    const std::pair<const char*, const char*> cases[] = {
        {"1+2*3", "7"},       {"(1+2)*3", "9"},    {"2-3-4", "-5"},      {"8/4/2", "1"},
        {"2*-3", "-6"},       {"2--3", "5"},       {"-(2+3)", "-5"},     {"+4", "4"},
        {"2-3*4", "-10"},     {"12/4*3", "9"},     {"1-2+3", "2"},       {"((2))", "2"},
        {"2*(3+4)*5", "70"},  {"-2*-2", "4"},      {"1 + 2\t* 3 ", "7"}, {"5.", "5"},
        {"0.5+0.25", "0.75"}, {"10/4", "2.5"},     {"2/3", "0.666667"},  {"1/8", "0.125"},
        {"p", "3.141593"},    {"-p", "-3.141593"}, {"007", "7"},         {"1-1", "0"},
    };
    for (const auto& [expr, want] : cases) EXPECT_EQ(Calc(expr), want) << expr;
}

TEST(CalculatorParse, IllFormedExpressionsAreErrors) {
    const char* cases[] = {
        "",    "   ", "1/0", "0/0",    "(1+2", "1+2)", "2 3",       ".5",      "--3",   "-+3", "+-3",
        "abc", "2*",  "*2",  "2**3",   "()",   "2(3)", "(2)3",      "2p",      "1.2.3", "1,5", "5%",
        "P",   "R",   "2*)", "(2*)+3", "2 3*", "1+",   "1.1234567", "(1+2=3)", "2+-",   "- ",
    };
    for (const char* expr : cases) EXPECT_EQ(Calc(expr), kError) << '"' << expr << '"';
}

TEST(CalculatorParse, ExpressionEndsAtEqualsOrLineFeed) {
    std::string line = "1+2=9 junk\n";
    long double v = 0;
    size_t length = 0;
    ASSERT_TRUE(EvaluateExpression(reinterpret_cast<const uint8_t*>(line.data()), 0, &v, &length));
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(v, 3.0L);
    line = "1+2  \n";
    ASSERT_TRUE(EvaluateExpression(reinterpret_cast<const uint8_t*>(line.data()), 0, &v, &length));
    EXPECT_EQ(length, 5u) << "trailing blanks belong to the expression";
}

TEST(CalculatorParse, DigitLimits) {
    EXPECT_EQ(Calc("123456789012"), "123456789012");
    EXPECT_EQ(Calc("1234567890123"), kError);
    EXPECT_EQ(Calc("0.123456"), "0.123456");
    EXPECT_EQ(Calc("1.1234567"), kError) << "a seventh fraction digit starts another operand";
    EXPECT_EQ(Calc("123456.789+0"), "123456.789");
}

TEST(CalculatorParse, LastResultIsR) {
    EXPECT_EQ(Calc("r*2", 3.14159265358979), "6.283185");
    EXPECT_EQ(Calc("r", -2.5), "-2.5");
    EXPECT_EQ(Calc("-r", -2.5), "2.5");
    EXPECT_EQ(Calc("r"), "0");
}

TEST(CalculatorParse, FloatingPointFaultsAreErrors) {
    // Overflow and underflow of the extended format itself.
    EXPECT_EQ(Calc(Repeat("999999999999*", 420) + "1"), kError);
    EXPECT_EQ(Calc("0.000001" + Repeat("/999999999999", 420)), kError);
    // Far below double's range but normal in the extended one: a plain zero.
    EXPECT_EQ(Calc("0.000001" + Repeat("/999999999999", 26)), "0");
    // A subnormal operand is refused even where the operation itself would be exact.
    double tiny = DBL_MIN / 4;
    EXPECT_EQ(Calc("r*0", tiny), kError);
    EXPECT_EQ(Calc("r", tiny), kError);
    EXPECT_EQ(Calc("r*0", DBL_MIN), "0");
}

TEST(CalculatorParse, DeepGroupsDoNotExhaustTheStack) {
    EXPECT_EQ(Calc(Repeat("(", 500) + "7" + Repeat(")", 500)), "7");
    EXPECT_EQ(Calc(Repeat("(", 100000) + "7" + Repeat(")", 100000)), kError);
    EXPECT_EQ(Calc(Repeat("1+", 100000) + "1"), "100001") << "long chains are loops, not recursion";
    EXPECT_EQ(Calc(Repeat("-", 100000)), kError);
}

TEST(CalculatorFormat, LimitsAndRounding) {
    const std::pair<const char*, const char*> cases[] = {
        {"999999999999.999999", "999999999999.999999"},
        {"-999999999999.999999", "-999999999999.999999"},
        {"999999999999.999998+0.000001", "999999999999.999999"},
        {"999999999999.999999+0.000001", kTooLarge},
        {"-999999999999.999999-0.000001", kTooLarge},
        {"999999999999*10", kTooLarge},
        {"0.000001/2", "0"},  // halves at the sixth fraction digit go to the even neighbour
        {"0.000003/2", "0.000002"},
        {"0.000005/2", "0.000002"},
        {"0.000007/2", "0.000004"},
        {"-0.000003/2", "-0.000002"},
        {"999999999999.999999/2", "500000000000"},
        {"999999999999.999997/2", "499999999999.999998"},
        {"123456789012.000003/2", "61728394506.000002"},
        {"0.0000004*1", kError},
        {"0.000004/10", "0"},
        {"0.000006/10", "0.000001"},
        {"-0", "-0"},
        {"0*-1", "-0"},
        {"-0.000001/3", "-0"},
        {"1/8*1000", "125"},
    };
    for (const auto& [expr, want] : cases) EXPECT_EQ(Calc(expr), want) << expr;
}

// Products and chains where double arithmetic rounds to a different sixth digit.
TEST(CalculatorFormat, ExtendedPrecisionResults) {
    EXPECT_EQ(Calc("140892.596853*888599.841235"), "125197139194.762661");
    EXPECT_EQ(Calc("800876.066172*267460.123646"), "214202411683.485198");
    EXPECT_EQ(Calc("465020778282.449524/5/6/19/2"), "407912963.405657");
    EXPECT_EQ(Calc("417977755758.979574/2/7/5/2"), "2985555398.278426");
}

TEST(CalculatorFormat, NonFiniteValuesDoNotFit) {
    char out[kResultTextSize];
    size_t n = 0;
    EXPECT_FALSE(FormatResult(HUGE_VALL, out, &n));
    EXPECT_FALSE(FormatResult(-HUGE_VALL, out, &n));
    EXPECT_FALSE(FormatResult(NAN, out, &n));
    EXPECT_FALSE(FormatResult(1e18L / 1e6L, out, &n));
    ASSERT_TRUE(FormatResult(-123.0005L, out, &n));
    EXPECT_EQ(std::string(out, n), "-123.0005");
}

class CalculateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ReserveBuffer(ed, kDefaultCapacity)); }
    // The text with the cursor at the '|'.
    void Load(const std::string& marked) {
        std::string text = marked;
        size_t bar = text.find('|');
        if (bar != std::string::npos) text.erase(bar, 1);
        PutText(ed, text);
        ed.Cursor = 1 + (bar == std::string::npos ? 0 : bar);
        RecountLineNumber(ed);
    }
    std::string Text() const {
        const std::string t = TextOf(ed);
        return t.substr(0, ed.Cursor - 1) + '|' + t.substr(ed.Cursor - 1);
    }
    FakeTerminal term;
    Editor ed{term};
};

TEST_F(CalculateTest, TypesEqualsAndResultAtTheLineEnd) {
    Load("x\n|(1+2)*3\ny");
    Calculate(ed);
    EXPECT_EQ(Text(), "x\n(1+2)*3=9|\ny");
    EXPECT_EQ(ed.LastResult, 9.0);
    EXPECT_EQ(ed.LineNumber, 2u);
    EXPECT_EQ(ed.ChangedMark, '*');
    EXPECT_EQ(term.screen.Bells(), 0);
}

TEST_F(CalculateTest, ReusesAnEqualsAndKeepsTheOldResultBehind) {
    Load("|1+2*3=7");
    Calculate(ed);
    EXPECT_EQ(Text(), "1+2*3=7|7");
}

TEST_F(CalculateTest, OverwriteReplacesBytesButNeverALineFeed) {
    Load("|100/8=abc\nnext");
    ed.InsertMode = kOverwrite;
    Calculate(ed);
    EXPECT_EQ(Text(), "100/8=12.5|\nnext");
    Load("|7*6=?????x\nnext");
    Calculate(ed);
    EXPECT_EQ(Text(), "7*6=42|???x\nnext");
    Load("|2+2");  // at the closing line feed overwrite inserts too
    Calculate(ed);
    EXPECT_EQ(Text(), "2+2=4|");
}

TEST_F(CalculateTest, ErrorsOnlyRingTheBell) {
    ed.LastResult = 5;
    for (const char* line : {"1/0", "2 3", "", "(1", "abc=4"}) {
        Load(std::string("|") + line + "\nz");
        int bells = term.screen.Bells();
        Calculate(ed);
        EXPECT_EQ(Text(), std::string("|") + line + "\nz");
        EXPECT_EQ(term.screen.Bells(), bells + 1) << line;
        EXPECT_EQ(ed.ChangedMark, ' ');
    }
    EXPECT_EQ(ed.LastResult, 5.0) << "a failed expression leaves r alone";
}

TEST_F(CalculateTest, TooLargeKeepsTheEqualsAndTheValue) {
    Load("|999999999999*10\n");
    Calculate(ed);
    EXPECT_EQ(Text(), "999999999999*10=|\n");
    EXPECT_EQ(term.screen.Bells(), 1);
    EXPECT_EQ(ed.LastResult, 9999999999990.0);
    Load("|999999999999*10=old");
    Calculate(ed);
    EXPECT_EQ(Text(), "999999999999*10=|old");
    EXPECT_EQ(term.screen.Bells(), 2);
}

TEST_F(CalculateTest, WithoutRoomNothingIsTyped) {
    Load("|1/3");
    ed.BufferCapacity = ed.TextLength() + 5;  // room for "=0.33" but not the rest
    Calculate(ed);
    EXPECT_EQ(Text(), "|1/3");
    EXPECT_EQ(term.screen.Bells(), 1);
    // Overwriting needs room only for what lands on the line feed.
    Load("|1/3=abcdefghi");
    ed.BufferCapacity = ed.TextLength();
    ed.InsertMode = kOverwrite;
    Calculate(ed);
    EXPECT_EQ(Text(), "1/3=0.333333|i");
}

TEST_F(CalculateTest, LastResultSurvivesLoadingAnotherFile) {
    char dir[] = "/tmp/zt-calc-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string name = std::string(dir) + "/other.txt";
    std::ofstream(name) << "r+1\n";
    Load("|p*2");
    Calculate(ed);
    ASSERT_TRUE(LoadFile(ed, name.c_str()));
    ed.Cursor = ed.TextStart;
    Calculate(ed);
    EXPECT_EQ(Text(), "r+1=7.283185|\n");
    std::remove(name.c_str());
    rmdir(dir);
}

TEST_F(CalculateTest, EveryTypedCharacterIsUndone) {
    for (uint8_t mode : {kInsert, kOverwrite}) {
        ClearUndo(ed);
        ed.InsertMode = mode;
        Load("|2/3=ab\nnext");
        Calculate(ed);
        ASSERT_EQ(Text(), mode == kInsert ? "2/3=0.666667|ab\nnext" : "2/3=0.666667|\nnext");
        auto plain = [&] { return TextOf(ed); };
        for (int i = 0; i < 20 && plain() != "2/3=ab\nnext"; ++i) {
            std::string before = plain();
            Undo(ed);
            ASSERT_NE(plain(), before) << "each undo takes something back";
        }
        EXPECT_EQ(plain(), "2/3=ab\nnext");
    }
}

// Random lines from the calculator's alphabet: no crash, and either a well-formed result behind an "="
// or the bell with the text as it was (but for the "=" of a result too large).
TEST_F(CalculateTest, RandomLinesGiveAResultOrTheBell) {
    const std::string alphabet = "0123456789012345678901234567890123456789+-*/()().. \tpr=x\x01";
    std::mt19937 rng(20240611);
    int results = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        for (int n = rng() % 24; n > 0; --n) line += alphabet[rng() % alphabet.size()];
        ed.InsertMode = rng() % 4 == 0 ? kOverwrite : kInsert;
        Load("|" + line + "\nend");
        int bells = term.screen.Bells();
        Calculate(ed);
        std::string after = Text();
        if (term.screen.Bells() == bells) {
            ++results;
            size_t eq = line.find('=');
            std::string head = line.substr(0, eq == std::string::npos ? line.size() : eq) + "=";
            ASSERT_EQ(after.compare(0, head.size(), head), 0) << line;
            size_t bar = after.find('|');
            std::string result = after.substr(head.size(), bar - head.size());
            ASSERT_FALSE(result.empty()) << line;
            EXPECT_EQ(result.find_first_not_of("-0123456789."), std::string::npos) << line;
            EXPECT_NE(result.back(), '.') << line;
            EXPECT_TRUE(result.find('.') == std::string::npos || result.back() != '0') << line;
            EXPECT_EQ(after.substr(after.size() - 4), "\nend") << line;
        } else {
            ASSERT_EQ(term.screen.Bells(), bells + 1);
            after.erase(after.find('|'), 1);
            if (after != line + "\nend") {
                // Only a result too large may leave its "=" behind.
                EXPECT_EQ(line.find('='), std::string::npos) << line;
                EXPECT_EQ(after, line + "=\nend") << line;
            }
        }
    }
    EXPECT_GT(results, 100) << "the stream should hold well-formed lines too";
}

}  // namespace
