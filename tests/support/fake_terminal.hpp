// An in-memory terminal: input served in bursts, every byte written logged and fed to a screen model
// that knows only the sequences the renderer sends.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "session/terminal.hpp"

// The screen as a terminal would show it: cells, attributes and the cursor, for the sequences the
// renderer sends, as xterm acts on them (a scroll region, scrolling by LF and ESC M, pending wrap after
// the last column, erase to the end of the row, inserting and deleting characters and lines). Anything
// else is recorded in Errors(), and so is an insert or delete that would cut a wide character in two.
// A terminal in a UTF-8 locale (SetUtf8) reads its output as UTF-8: a character of any length in one
// cell, a wide one over two (a write over either half blanks the other), combining marks joining the
// cell before them. Otherwise every byte from 0xA0 up is a character of its own.
class ScreenModel {
public:
    void Resize(int rows, int cols);
    void SetUtf8(bool on) { utf8_ = on; }
    void Feed(const uint8_t* p, size_t n);
    std::string Row(int r) const;    // the characters of row r, a wide one once
    std::string Attrs(int r) const;  // one letter per cell: ' ' plain, 'b' bold, 'r' reverse, 's' status
    // The bytes of the character in cell c of row r; empty for the right half of a wide one.
    std::string Cell(int r, int c) const;
    int CursorRow() const { return crow_; }
    int CursorCol() const { return ccol_; }
    int Bells() const { return bells_; }
    int Rows() const { return rows_; }
    // Fills every cell with junk in reverse video and forgets the saved cursor: nothing shown before may
    // be relied on.
    void Scramble();
    int Scrolls() const { return scrolls_; }  // rows scrolled by LF or ESC M (not by inserts or deletes)
    bool RegionSet() const { return top_ != 0 || bottom_ != rows_ - 1; }
    const std::string& Errors() const { return errors_; }

private:
    void Sgr(const std::string& params);
    void Csi(const std::string& params, char final);
    void LineFeed();
    void ReverseLineFeed();
    void ScrollRegion(bool up);
    void Error(const std::string& what);
    char AttrLetter() const;
    void PutChar(const char* bytes, size_t n, int width);
    void BlankRow(int r);
    int rows_ = 0, cols_ = 0, crow_ = 0, ccol_ = 0, bells_ = 0, scrolls_ = 0;
    int top_ = 0, bottom_ = 0;  // the scroll region, inclusive
    bool wrapPending_ = false;
    bool bold_ = false, reverse_ = false, blue_ = false;
    struct Saved {
        int row = 0, col = 0;
        bool wrapPending = false, bold = false, reverse = false, blue = false, valid = false;
    } saved_;
    bool utf8_ = false;
    // A cell's bytes; none for the right half of a wide character.
    struct Drawn {
        uint8_t length = 1;
        char bytes[23] = {' '};
        bool operator==(const Drawn&) const = default;
    };
    std::vector<std::vector<Drawn>> cells_;
    std::vector<Drawn> blankRow_;
    std::vector<std::string> attrs_;
    std::string pending_;   // an escape sequence not yet complete
    std::string sequence_;  // a UTF-8 sequence not yet complete
    std::string errors_;
};

class FakeTerminal : public Terminal {
public:
    FakeTerminal(int rows = 24, int cols = 80);

    // Input: each burst is delivered whole; InputPending is true only inside a burst.
    void AddBurst(const std::string& bytes);
    // A stop/continue pair: the read comes back interrupted with the continue flag set.
    void AddContinue();
    void AddHangup();
    void SetSize(int rows, int cols);  // takes effect at once, unsignalled
    // A window change when the input reaches this point: the new size, what the terminal showed
    // scrambled (as terminals reflow or cut it), and a read that comes back interrupted with the
    // window-change flag set. Changes in a row arrive as one signal.
    void AddResize(int rows, int cols);
    bool InputLeft() const { return !events_.empty(); }

    int ReadByte() override;
    bool InputPending() override;
    void Write(const void* data, size_t n) override;
    WinSize Size() override { return {rows_, cols_}; }
    void EnterRawMode() override {
        ++rawEntered;
        raw = true;
    }
    void RestoreMode() override {
        ++restored;
        raw = false;
    }
    void StopProcessGroup() override { ++stops; }

    std::string output;  // every byte written
    int writes = 0;      // calls of Write
    ScreenModel screen;
    int rawEntered = 0, restored = 0, stops = 0;
    bool raw = false;

private:
    struct Event {
        enum Kind { Bytes, Continue, Hangup, Resize } kind;
        std::string bytes;
        int rows = 0, cols = 0;
    };
    bool ApplyResizes();
    std::deque<Event> events_;
    size_t inBurst_ = 0;  // bytes of the front burst already read
    int rows_, cols_;
};

struct Editor;

// Checks of an editor's state shared by the tests and the fuzz targets: the number of the line that
// holds p counted afresh, and whether the cursor is where a walk by characters from its line's start
// arrives.
uint64_t LinesBefore(const Editor& ed, size_t p);  // p: a position (Pos)
bool BetweenCharacters(const Editor& ed);

// A second editor that draws what another holds from nothing: its terminal then shows what the other's
// terminal should show after its refreshes. False when its buffer could not be reserved.
struct FreshRedraw {
    FakeTerminal term;
    Editor* ed;
    FreshRedraw();
    ~FreshRedraw();
    FreshRedraw(const FreshRedraw&) = delete;
    FreshRedraw& operator=(const FreshRedraw&) = delete;
    bool Draw(const Editor& src, WinSize size);
};
