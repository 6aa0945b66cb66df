// The error line: number field, table text, and the one key it waits for.
#include <gtest/gtest.h>

#include <string>

#include "files/files.hpp"
#include "screen/screen.hpp"
#include "support/fake_terminal.hpp"

namespace {

struct InputExhausted {};
[[noreturn]] void ThrowOnExit(Editor&, int) { throw InputExhausted{}; }

class ErrorsTest : public ::testing::Test {
protected:
    FakeTerminal term{24, 80};
    Editor ed{term};
    void SetUp() override { ed.Exit = ThrowOnExit; }
    std::string Compose(int number) {
        ed.sys.ErrorNumber = number;
        ComposeErrorText(ed);
        return ed.ErrorText;
    }
};

TEST_F(ErrorsTest, TextsFromTheTable) {
    EXPECT_EQ(Compose(2), "ERROR   2 :No such file|directory");
    EXPECT_EQ(Compose(12), "ERROR  12 :Memory exhausted");
    EXPECT_EQ(Compose(31), "ERROR  31 :Can't exec /bin/sed");
    EXPECT_EQ(Compose(1), "ERROR   1 :Op not permitted");
    EXPECT_EQ(Compose(32), "ERROR  32 :Broken pipe");
    EXPECT_EQ(Compose(4), "ERROR   4 :");
    EXPECT_EQ(Compose(18), "ERROR  18 :");
}

TEST_F(ErrorsTest, NumberFieldIsRewrittenWhole) {
    EXPECT_EQ(Compose(12), "ERROR  12 :Memory exhausted");
    EXPECT_EQ(Compose(2), "ERROR   2 :No such file|directory");
    EXPECT_EQ(Compose(40), "ERROR  40");
    EXPECT_EQ(Compose(33), "ERROR  33");
    EXPECT_EQ(Compose(255), "ERROR 255");
    EXPECT_EQ(Compose(5), "ERROR   5 :Input/output");
}

TEST_F(ErrorsTest, ShowErrorWaitsForOneKeyThenRedrawsTheStatusLine) {
    term.AddBurst("a");
    term.AddBurst("b");
    ed.sys.ErrorNumber = 13;
    EXPECT_FALSE(ShowError(ed));
    EXPECT_NE(term.output.find("ERROR  13 :Permission denied"), std::string::npos);
    EXPECT_TRUE(term.InputLeft());  // "b" is still there
    FlushOutput(ed);
    std::string status = term.screen.Row(23);
    EXPECT_EQ(status.find("ERROR"), std::string::npos);
    EXPECT_NE(status.find("altH=help WS"), std::string::npos);
}

// The whole table as the user sees it: number N shows line N, an empty line only the colon.
TEST_F(ErrorsTest, EveryNumberOfTheTable) {
    const char* const table[32] = {
        "Op not permitted",
        "No such file|directory",
        "",
        "",
        "Input/output",
        "No such device",
        "",
        "",
        "Bad file descriptor",
        "No child processes",
        "",
        "Memory exhausted",
        "Permission denied",
        "",
        "",
        "Device|resource busy",
        "File exists",
        "",
        "No such device",
        "",
        "Is a directory",
        "Invalid argument",
        "Too many open files",
        "Too many open files",
        "Inappropriate ioctl",
        "Text file busy",
        "File too large",
        "No space on device",
        "Illegal seek",
        "R/O file system",
        "Can't exec /bin/sed",
        "Broken pipe",
    };
    for (int n = 1; n <= 32; ++n) {
        std::string field = std::to_string(n);
        field.insert(0, 4 - field.size(), ' ');
        EXPECT_EQ(Compose(n), "ERROR" + field + " :" + table[n - 1]) << n;
    }
}

}  // namespace

// Names and messages for a terminal or standard error: no byte of them may act as a control.
TEST(PrintableCopy, ControlBytesBecomeDotsInEitherLocale) {
    char out[64];
    const char* osc =
        "a\x1b]0;title\x07z\x9b"
        "2J\xe9.txt";
    PrintableCopy(false, osc, out, sizeof out);
    EXPECT_STREQ(out, "a.]0;title.z.2J\xe9.txt");
    PrintableCopy(true,
                  "caf\xc3\xa9 \xc2\x9b"
                  "2J \xff\x1b[m",
                  out, sizeof out);
    EXPECT_STREQ(out, "caf\xc3\xa9 ..2J ..[m") << "C1 controls and broken sequences too";
    PrintableCopy(true, "abc\xc3\xa9", out, 5);
    EXPECT_STREQ(out, "abc") << "cut short, never in a character";
}
