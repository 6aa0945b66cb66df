#include "support/test_support.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "buffer/buffer.hpp"
#include "session/session.hpp"

void ThrowOnExit(Editor&, int status) { throw EditorLeft{status}; }

WorkDir::WorkDir(const char* tag) {
    std::string pattern = std::string("/tmp/zt-") + tag + "-XXXXXX";
    char* made = mkdtemp(pattern.data());
    if (!made) std::abort();
    path_ = made;
    old_ = std::filesystem::current_path();
    if (chdir(path_.c_str()) != 0) std::abort();
}

WorkDir::~WorkDir() {
    if (chdir(old_.c_str()) != 0) std::abort();
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(path_, fs::perms::all, ec);
    for (auto& e : fs::recursive_directory_iterator(path_, ec))
        if (e.is_directory() && !e.is_symlink()) fs::permissions(e, fs::perms::all, ec);
    fs::remove_all(path_, ec);
}

void WriteFile(const std::string& name, const std::string& content, mode_t mode) {
    std::ofstream(name, std::ios::binary) << content;
    chmod(name.c_str(), mode);
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void LoadMarked(Editor& ed, uint8_t mode, const std::string& marked) {
    if (!ed.buf && !ReserveBuffer(ed, kDefaultCapacity)) std::abort();
    ed.EditMode = mode;
    ed.ViCommandState = mode == VI ? 1 : 0;
    std::string text = marked;
    size_t bar = text.find('|');
    if (bar != std::string::npos) text.erase(bar, 1);
    if (text.size() > ed.BufferCapacity) std::abort();
    PutText(ed, text);
    ed.Cursor = ed.TextStart + (bar == std::string::npos ? 0 : bar);
    ed.KillLength = 0;
    RecountLineNumber(ed);
}

std::string TextOf(const Editor& ed) {
    std::string s(ed.TextLength(), '\0');
    CopyText(ed, ed.TextStart, s.size(), reinterpret_cast<uint8_t*>(s.data()));
    return s;
}

void PutText(Editor& ed, const std::string& text) {
    GatherText(ed);
    ForgetColumns(ed);
    std::memcpy(ed.buf + ed.TextStart, text.data(), text.size());
    ed.TextEnd = ed.TextStart + text.size();
    ed.buf[ed.TextEnd] = '\n';
}

std::string KillText(const Editor& ed) {
    return std::string(reinterpret_cast<const char*>(ed.kill), ed.KillLength);
}

bool StartOnFile(Editor& ed, const char* program, const char* file) {
    std::string argv0 = program, name = file;
    char* argv[] = {argv0.data(), name.data(), nullptr};
    char* envp[] = {nullptr};
    return StartEditor(ed, 2, argv, envp);
}

std::string CellsText(const CellRow& row, int n) {
    std::string s;
    for (int c = 0; c < n; ++c) {
        uint8_t bytes[kCellBytes];
        s.append(reinterpret_cast<const char*>(bytes), CellBytes(row, c, bytes));
    }
    return s;
}

std::string CellsAttrs(const CellRow& row, int n) {
    std::string s;
    for (int c = 0; c < n; ++c) {
        switch (AttrOf(row, c)) {
            case kAttrPlain:
                s += ' ';
                break;
            case kAttrBold:
                s += 'b';
                break;
            case kAttrReverse:
                s += 'r';
                break;
            case kAttrStatus:
                s += 's';
                break;
            default:
                s += '?';
        }
    }
    return s;
}

std::string StatusText(Editor& ed) { return CellsText(StatusCells(ed.screen), ed.screen.StatusWidth); }

std::string Utf8Of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) return std::string(1, char(cp));
    if (cp < 0x800) return s + char(0xC0 | cp >> 6) + char(0x80 | (cp & 0x3F));
    if (cp < 0x10000)
        return s + char(0xE0 | cp >> 12) + char(0x80 | (cp >> 6 & 0x3F)) + char(0x80 | (cp & 0x3F));
    return s + char(0xF0 | cp >> 18) + char(0x80 | (cp >> 12 & 0x3F)) + char(0x80 | (cp >> 6 & 0x3F)) +
           char(0x80 | (cp & 0x3F));
}
