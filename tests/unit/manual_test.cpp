// The manual page lists, in each mode's section, every key that mode's help page names.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "screen/screen.hpp"

namespace {

std::vector<std::string> Split(const std::string& s, const char* separators) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find_first_of(separators, i);
        if (j == std::string::npos) j = s.size();
        if (j > i) parts.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

std::string Trim(const std::string& s) {
    const size_t from = s.find_first_not_of(' ');
    return from == std::string::npos ? "" : s.substr(from, s.find_last_not_of(' ') - from + 1);
}

// The keys a help page names. vi's page has the keys before each line's first tab; the other pages
// have them as words that start with ^ or alt. Lists are written with commas ("^QDel,^QH").
std::vector<std::string> KeysOfHelpPage(uint8_t mode) {
    const HelpText page = HelpTextFor(mode);
    std::vector<std::string> keys;
    for (const std::string& line : Split(std::string(page.text, page.length), "\n")) {
        if (mode == VI) {
            const size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            for (const std::string& k : Split(line.substr(0, tab), ",")) keys.push_back(Trim(k));
            continue;
        }
        for (const std::string& word : Split(line, " \t")) {
            if (word.size() < 2 || (word[0] != '^' && word.rfind("alt", 0) != 0)) continue;
            for (const std::string& k : Split(word, ",")) keys.push_back(k);
        }
    }
    return keys;
}

// The manual's text from the heading `.SH "<name> MODE"` to the next .SH.
std::string ModeSection(const std::string& manual, const std::string& name) {
    const std::string heading = ".SH \"" + name + " MODE\"\n";
    const size_t from = manual.find(heading);
    if (from == std::string::npos) return "";
    const size_t to = manual.find("\n.SH ", from + heading.size());
    return manual.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// What a roff escape in a key stands for.
std::string Unescape(std::string s) {
    const std::pair<const char*, const char*> escapes[] = {
        {"\\-", "-"}, {"\\(aq", "'"}, {"\\&", ""}, {"\\~", " "}, {"\\e", "\\"}};
    for (auto [from, to] : escapes) {
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + std::strlen(to)))
            s.replace(at, std::strlen(from), to);
    }
    return s;
}

// Every word set in bold: the arguments of .B lines and the \fB spans, split at blanks and commas.
std::set<std::string> BoldWords(const std::string& section) {
    std::vector<std::string> spans;
    for (const std::string& line : Split(section, "\n")) {
        if (line.rfind(".B ", 0) == 0) spans.push_back(line.substr(3));
        for (size_t at = line.find("\\fB"); at != std::string::npos; at = line.find("\\fB", at + 3)) {
            const size_t end = line.find("\\f", at + 3);
            spans.push_back(line.substr(at + 3, end == std::string::npos ? std::string::npos : end - at - 3));
        }
    }
    std::set<std::string> words;
    for (const std::string& span : spans) {
        for (const std::string& w : Split(Unescape(span), " ,\"")) words.insert(w);
        for (const std::string& w : Split(Unescape(span), ",")) words.insert(Trim(w));  // ":<other cmd>"
    }
    return words;
}

TEST(Manual, EveryModeSectionNamesTheKeysOfItsHelpPage) {
    std::ifstream in(ZT_MANUAL);
    ASSERT_TRUE(in) << ZT_MANUAL;
    std::stringstream manual;
    manual << in.rdbuf();
    const std::pair<uint8_t, const char*> modes[] = {
        {WS, "WS"}, {EMACS, "EMACS"}, {PICO, "PICO"}, {VI, "VI"}, {NEDIT, "NEDIT"}};
    for (auto [mode, name] : modes) {
        const std::string section = ModeSection(manual.str(), name);
        ASSERT_NE(section, "") << "no section for " << name;
        const std::vector<std::string> keys = KeysOfHelpPage(mode);
        EXPECT_GE(keys.size(), 15u) << name << ": the keys were not found on the help page";
        const std::set<std::string> bold = BoldWords(section);
        for (const std::string& key : keys) EXPECT_TRUE(bold.count(key)) << name << " mode: " << key;
    }
}

}  // namespace
