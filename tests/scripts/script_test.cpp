// Every folder under tests/scripts that holds a "keys" file is one test case.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/script_runner.hpp"

namespace fs = std::filesystem;

namespace {
struct Case {
    std::string name;  // mode/area/case
    fs::path dir;
};
// Test listings show the case's folder rather than its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> FindCases() {
    std::vector<Case> cases;
    fs::path root = ZT_SCRIPTS_DIR;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file() && e.path().filename() == "keys") {
            fs::path dir = e.path().parent_path();
            cases.push_back({fs::relative(dir, root).string(), dir});
        }
    }
    std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.name < b.name; });
    return cases;
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::string ModeOf(const std::string& name) {
    std::string first = name.substr(0, name.find('/'));
    if (first == "emacs") return "em";
    if (first == "pico") return "pi";
    if (first == "nedit") return "ne";
    if (first == "vi") return "vi";
    return "ws";
}

class KeyScript : public ::testing::TestWithParam<Case> {};

TEST_P(KeyScript, Runs) {
    const Case& c = GetParam();
    bool hasIn = false, hasOut = false, has = false;
    std::string in = ReadFileOr((c.dir / "in").string(), &hasIn);
    std::string keys = ReadFileOr((c.dir / "keys").string(), nullptr);
    std::string out = ReadFileOr((c.dir / "out").string(), &hasOut);
    int rows = 24, cols = 80;
    std::string size = ReadFileOr((c.dir / "size").string(), &has);
    if (has) std::istringstream(size) >> rows >> cols;

    std::vector<std::string> env = Lines(ReadFileOr((c.dir / "env").string(), nullptr));

    std::string error;
    ScriptResult r = RunScript(ModeOf(c.name), hasIn ? &in : nullptr, keys, rows, cols, &error, env);
    ASSERT_EQ(error, "");

    std::string ending = ReadFileOr((c.dir / "exit").string(), &has);
    ending = has ? Lines(ending).at(0) : "running";
    EXPECT_EQ(r.ending, ending) << "how the editor ended";
    if (hasOut) {
        EXPECT_EQ(r.text, out) << "text after the keys";
    }

    std::string screen = ReadFileOr((c.dir / "screen").string(), &has);
    if (has) {
        std::vector<std::string> want = Lines(screen);
        want.resize(r.screen.size());
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(r.screen[i], want[i]) << "screen row " << i;
    }
    std::string attrs = ReadFileOr((c.dir / "attrs").string(), &has);
    if (has) {
        std::vector<std::string> want = Lines(attrs);
        want.resize(r.attrs.size());
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(r.attrs[i], want[i]) << "attribute row " << i;
    }
    std::string cursor = ReadFileOr((c.dir / "cursor").string(), &has);
    if (has) {
        int row = -1, col = -1;
        std::istringstream(cursor) >> row >> col;
        EXPECT_EQ(r.cursorRow, row) << "cursor row";
        EXPECT_EQ(r.cursorCol, col) << "cursor column";
    }
    std::string pos = ReadFileOr((c.dir / "pos").string(), &has);
    if (has) {
        EXPECT_EQ(r.textCursor, std::stol(pos)) << "cursor offset in the text";
    }
    std::string bells = ReadFileOr((c.dir / "bells").string(), &has);
    if (has) {
        EXPECT_EQ(r.bells, std::stoi(bells)) << "bells rung";
    }
    std::string saved = ReadFileOr((c.dir / "saved").string(), &has);
    if (has) {
        EXPECT_TRUE(r.savedExists) << "file.txt on disk";
        EXPECT_EQ(r.saved, saved) << "file.txt on disk";
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string n = info.param.name;
    for (char& ch : n)
        if (!isalnum((unsigned char)ch)) ch = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Scripts, KeyScript, ::testing::ValuesIn(FindCases()), CaseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(KeyScript);
}  // namespace
