#include "support/script_runner.hpp"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"
#include "support/fake_terminal.hpp"
#include "support/test_support.hpp"

namespace {
struct ScriptExit {
    int status;
};
[[noreturn]] void ThrowExit(Editor&, int status) { throw ScriptExit{status}; }

const std::map<std::string, std::string> kNamedKeys = {
    {"Up", "\x1b[A"},    {"Down", "\x1b[B"}, {"Right", "\x1b[C"},    {"Left", "\x1b[D"},
    {"Home", "\x1b[1~"}, {"End", "\x1b[4~"}, {"PgUp", "\x1b[5~"},    {"PgDn", "\x1b[6~"},
    {"Ins", "\x1b[2~"},  {"Del", "\x1b[3~"}, {"Esc", "\x1b"},        {"Enter", "\r"},
    {"Tab", "\t"},       {"Bs", "\b"},       {"DEL", "\x7f"},        {"caret", "^"},
    {"lt", "<"},         {"Space", " "},     {"paste", "\x1b[200~"}, {"/paste", "\x1b[201~"},
};
}  // namespace

std::string ReadFileOr(const std::string& path, bool* exists) {
    std::ifstream f(path, std::ios::binary);
    if (exists) *exists = bool(f);
    if (!f) return {};
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<std::string> ParseKeys(const std::string& script, std::string* error) {
    std::vector<std::string> bursts;
    std::istringstream in(script);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.rfind("# ", 0) == 0 || line == "#") continue;
        std::string burst;
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '^' && i + 1 < line.size()) {
                char n = line[++i];
                if (n == '?')
                    burst += '\x7f';
                else
                    burst += char(n & 0x1F);
            } else if (c == '<' && line.find('>', i) != std::string::npos) {
                size_t end = line.find('>', i);
                std::string name = line.substr(i + 1, end - i - 1);
                i = end;
                if (name.rfind("0x", 0) == 0) {
                    burst += char(std::strtol(name.c_str() + 2, nullptr, 16));
                } else if (name.rfind("resize ", 0) == 0 || name == "cont") {
                    if (!burst.empty()) bursts.push_back(burst);
                    burst.clear();
                    bursts.push_back("\x01" + name);
                } else if (kNamedKeys.count(name)) {
                    burst += kNamedKeys.at(name);
                } else if (error) {
                    *error = "unknown key <" + name + ">";
                }
            } else {
                burst += c;
            }
        }
        if (!burst.empty()) bursts.push_back(burst);
    }
    return bursts;
}

ScriptResult RunScript(const std::string& mode, const std::string* inFile, const std::string& keys, int rows,
                       int cols, std::string* error, const std::vector<std::string>& env) {
    ScriptResult r;
    char dirTemplate[] = "/tmp/zt-script-XXXXXX";
    char* dir = mkdtemp(dirTemplate);
    std::string oldDir = std::filesystem::current_path();
    if (!dir || chdir(dir) != 0) {
        *error = "no temporary directory";
        return r;
    }
    if (inFile) std::ofstream("file.txt", std::ios::binary) << *inFile;

    FakeTerminal term(rows, cols);
    for (const std::string& b : ParseKeys(keys, error)) {
        if (b ==
            "\x01"
            "cont") {
            term.AddContinue();
        } else if (b.rfind("\x01resize ", 0) == 0) {
            int rr = 0, cc = 0;
            std::sscanf(b.c_str() + 8, "%dx%d", &rr, &cc);
            term.AddResize(rr, cc);
        } else {
            term.AddBurst(b);
        }
    }
    {
        Editor ed(term);
        ed.Exit = ThrowExit;
        std::string argv0 = "zt" + mode;
        char name[] = "file.txt";
        char* argv[] = {argv0.data(), name, nullptr};
        char termVar[] = "TERM=xterm";
        std::vector<std::string> entries(env);
        std::vector<char*> envp = {termVar};
        for (std::string& e : entries) envp.push_back(e.data());
        envp.push_back(nullptr);
        // The terminal reads the output in the locale the editor was started in.
        term.screen.SetUtf8(LocaleIsUtf8(envp.data()));
        r.ending = "running";
        try {
            if (!StartEditor(ed, 2, argv, envp.data())) {
                r.ending = "left";
            } else {
                while (term.InputLeft() || ed.HasReadAhead) {
                    if (!EditStep(ed)) {
                        r.ending = ed.ExitStatus ? "left " + std::to_string(ed.ExitStatus) : "left";
                        break;
                    }
                }
                if (r.ending == "running") {
                    // What the main loop draws before it waits for the next key.
                    RefreshWindow(ed);
                    DrawStatusLine(ed);
                    FlushOutput(ed);
                }
            }
        } catch (const ScriptExit&) {
            r.ending = "lost";
        }
        r.text = TextOf(ed);
        r.textCursor = long(ed.Cursor) - long(ed.TextStart);
    }
    for (int i = 0; i < term.screen.Rows(); ++i) {
        auto trim = [](std::string s) {
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return s;
        };
        r.screen.push_back(trim(term.screen.Row(i)));
        r.attrs.push_back(trim(term.screen.Attrs(i)));
    }
    if (!term.screen.Errors().empty()) *error = "the screen model met " + term.screen.Errors();
    r.cursorRow = term.screen.CursorRow();
    r.cursorCol = term.screen.CursorCol();
    r.bells = term.screen.Bells();
    r.saved = ReadFileOr("file.txt", &r.savedExists);
    if (chdir(oldDir.c_str()) != 0) *error = "cannot return to " + oldDir;
    std::filesystem::remove_all(dir);
    return r;
}
