#include "support/fake_terminal.hpp"

#include <algorithm>
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"

void ScreenModel::Resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    blankRow_.assign(size_t(cols), Drawn());
    cells_.assign(rows, blankRow_);
    attrs_.assign(rows, std::string(cols, ' '));
    crow_ = ccol_ = 0;
    top_ = 0;
    bottom_ = rows - 1;
    wrapPending_ = false;
    sequence_.clear();
}

void ScreenModel::Scramble() {
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            cells_[r][c].length = 1;
            cells_[r][c].bytes[0] = "%junk"[(r + c) % 5];
            attrs_[r][c] = 'r';
        }
    }
    saved_.valid = false;  // a terminal may lose its saved cursor on a resize, or whoever had it reuse it
}

std::string ScreenModel::Row(int r) const {
    std::string s;
    if (r >= 0 && r < rows_)
        for (const Drawn& c : cells_[r]) s.append(c.bytes, c.length);
    return s;
}
std::string ScreenModel::Attrs(int r) const { return r >= 0 && r < rows_ ? attrs_[r] : std::string(); }
std::string ScreenModel::Cell(int r, int c) const {
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_) return std::string();
    return std::string(cells_[r][c].bytes, cells_[r][c].length);
}

void ScreenModel::BlankRow(int r) {
    cells_[r] = blankRow_;
    attrs_[r].assign(size_t(cols_), blue_ ? 's' : ' ');
}

// A character of `width` cells at the cursor, as xterm writes it.
void ScreenModel::PutChar(const char* bytes, size_t n, int width) {
    if (width == 0) {
        // A combining mark joins the character written last: left of the cursor, or under it when a
        // wrap is pending.
        int c = wrapPending_ ? ccol_ : ccol_ - 1;
        if (c >= 0 && cells_[crow_][c].length == 0) --c;
        if (c < 0) {
            Error("a mark with no character before it");
            return;
        }
        Drawn& cell = cells_[crow_][c];
        if (cell.length + n > sizeof cell.bytes) {
            Error("more marks than a cell holds");
            return;
        }
        std::memcpy(cell.bytes + cell.length, bytes, n);
        cell.length = uint8_t(cell.length + n);
        return;
    }
    if (wrapPending_) LineFeed();
    if (width == 2 && ccol_ == cols_ - 1) {
        Error("a wide character in the last column");
        return;
    }
    std::vector<Drawn>& row = cells_[crow_];
    // Half a wide character is no character: the other half becomes a blank.
    if (row[ccol_].length == 0 && ccol_ > 0) row[ccol_ - 1] = Drawn();
    if (ccol_ + width < cols_ && row[ccol_ + width].length == 0) row[ccol_ + width] = Drawn();
    row[ccol_].length = uint8_t(n);
    std::memcpy(row[ccol_].bytes, bytes, n);
    if (width == 2) row[ccol_ + 1].length = 0;
    for (int k = 0; k < width; ++k) attrs_[crow_][ccol_ + k] = AttrLetter();
    if (ccol_ + width >= cols_) {
        ccol_ = cols_ - 1;
        wrapPending_ = true;
    } else {
        ccol_ += width;
    }
}

void ScreenModel::Error(const std::string& what) {
    if (errors_.size() < 400) errors_ += what + "; ";
}

char ScreenModel::AttrLetter() const { return reverse_ ? 'r' : blue_ ? 's' : bold_ ? 'b' : ' '; }

void ScreenModel::Sgr(const std::string& params) {
    size_t i = 0;
    do {
        size_t semi = params.find(';', i);
        std::string p = params.substr(i, semi == std::string::npos ? std::string::npos : semi - i);
        int n = p.empty() ? 0 : std::stoi(p);
        switch (n) {
            case 0:
                bold_ = reverse_ = blue_ = false;
                break;
            case 1:
                bold_ = true;
                break;
            case 7:
                reverse_ = true;
                break;
            case 44:
                blue_ = true;
                break;
            case 40:
                blue_ = false;
                break;
            case 33:
            case 37:
                break;  // the foreground carries no extra meaning here
            default:
                Error("SGR " + p);
        }
        i = semi == std::string::npos ? std::string::npos : semi + 1;
    } while (i != std::string::npos);
}

// The rows of the region move one up (LF at its bottom) or down (ESC M at its top); the new row is
// blank in the background in force.
void ScreenModel::ScrollRegion(bool up) {
    if (up) {
        for (int r = top_; r < bottom_; ++r) {
            cells_[r] = cells_[r + 1];
            attrs_[r] = attrs_[r + 1];
        }
        BlankRow(bottom_);
    } else {
        for (int r = bottom_; r > top_; --r) {
            cells_[r] = cells_[r - 1];
            attrs_[r] = attrs_[r - 1];
        }
        BlankRow(top_);
    }
    ++scrolls_;
}

void ScreenModel::LineFeed() {
    // The terminal's output processing turns LF into CR LF.
    ccol_ = 0;
    wrapPending_ = false;
    if (crow_ == bottom_)
        ScrollRegion(true);
    else if (crow_ < rows_ - 1)
        ++crow_;
}

void ScreenModel::ReverseLineFeed() {
    wrapPending_ = false;
    if (crow_ == top_)
        ScrollRegion(false);
    else if (crow_ > 0)
        --crow_;
}

void ScreenModel::Csi(const std::string& params, char final) {
    auto number = [&](size_t from, size_t to, int fallback) {
        std::string p = params.substr(from, to == std::string::npos ? std::string::npos : to - from);
        return p.empty() ? fallback : std::stoi(p);
    };
    for (char c : params) {
        if (!(c == ';' || (c >= '0' && c <= '9'))) {
            Error("CSI " + params + final);
            return;
        }
    }
    size_t semi = params.find(';');
    if (final != 'm' && final != 'H' && final != 'r' && semi != std::string::npos) {
        Error("CSI " + params + final);
        return;
    }
    int n = number(0, semi, 1);
    switch (final) {
        case 'm':
            Sgr(params);
            return;
        case 'H': {
            int r = number(0, semi, 1);
            int c = semi == std::string::npos ? 1 : number(semi + 1, std::string::npos, 1);
            crow_ = std::min(std::max(r, 1), rows_) - 1;
            ccol_ = std::min(std::max(c, 1), cols_) - 1;
            break;
        }
        case 'A':  // up and down stop at the region's margins when the cursor is inside it
            crow_ = crow_ >= top_ && crow_ - n < top_ ? top_ : std::max(crow_ - n, 0);
            break;
        case 'B':
            crow_ = crow_ <= bottom_ && crow_ + n > bottom_ ? bottom_ : std::min(crow_ + n, rows_ - 1);
            break;
        case 'C':
            ccol_ = std::min(ccol_ + n, cols_ - 1);
            break;
        case 'D':
            ccol_ = std::max(ccol_ - n, 0);
            break;
        case 'K':
            if (!params.empty() && params != "0") Error("CSI " + params + "K");
            if (cells_[crow_][ccol_].length == 0 && ccol_ > 0) cells_[crow_][ccol_ - 1] = Drawn();
            for (int c = ccol_; c < cols_; ++c) {
                cells_[crow_][c] = Drawn();
                attrs_[crow_][c] = blue_ ? 's' : ' ';
            }
            break;
        case '@':    // blanks inserted at the cursor, the rest of the row moving right and off its end
        case 'P': {  // cells deleted at the cursor, the rest moving left and blanks coming in at the end
            std::vector<Drawn>& row = cells_[crow_];
            const int k = std::min(n, cols_ - ccol_);
            const int cut = final == '@' ? cols_ - k : ccol_ + k;  // the first cell to go or to stay
            if (row[ccol_].length == 0 || (cut < cols_ && cut > ccol_ && row[cut].length == 0)) {
                Error("CSI " + params + final + " through a wide character");
                return;
            }
            const char blank = blue_ ? 's' : ' ';
            if (final == '@') {
                row.insert(row.begin() + ccol_, size_t(k), Drawn());
                row.resize(size_t(cols_));
                attrs_[crow_].insert(size_t(ccol_), size_t(k), blank);
                attrs_[crow_].resize(size_t(cols_));
            } else {
                row.erase(row.begin() + ccol_, row.begin() + ccol_ + k);
                row.resize(size_t(cols_), Drawn());
                attrs_[crow_].erase(size_t(ccol_), size_t(k));
                attrs_[crow_].append(size_t(k), blank);
            }
            break;
        }
        case 'L':  // rows inserted or deleted at the cursor's, inside the region only; the cursor
        case 'M':  // goes to the row's start
            if (crow_ < top_ || crow_ > bottom_) break;
            for (int i = std::min(n, bottom_ - crow_ + 1); i > 0; --i) {
                const int saved = top_;
                top_ = crow_;  // the region's scroll, from the cursor's row down
                ScrollRegion(final == 'M');
                top_ = saved;
                --scrolls_;
            }
            ccol_ = 0;
            break;
        case 'J':  // the whole screen erased; the cursor stays
            if (params != "2") Error("CSI " + params + "J");
            for (int r = 0; r < rows_; ++r) BlankRow(r);
            break;
        case 'r': {
            int t = params.empty() ? 1 : number(0, semi, 1);
            int b = semi == std::string::npos ? rows_ : number(semi + 1, std::string::npos, rows_);
            // The reset (no parameters) is whole on any screen, even of one row.
            if (t < 1 || b > rows_ || (t >= b && !params.empty())) {
                Error("region " + params);
                return;
            }
            top_ = t - 1;
            bottom_ = b - 1;
            crow_ = ccol_ = 0;  // the cursor goes home
            break;
        }
        default:
            Error(std::string("CSI ") + params + final);
            return;
    }
    wrapPending_ = false;
}

void ScreenModel::Feed(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (!pending_.empty()) {
            pending_ += char(c);
            if (pending_.size() == 2) {
                if (c == 'M') {
                    pending_.clear();
                    ReverseLineFeed();
                } else if (c == '7') {  // the cursor's place and the attributes, saved and put back
                    pending_.clear();
                    saved_ = {crow_, ccol_, wrapPending_, bold_, reverse_, blue_, true};
                } else if (c == '8') {
                    pending_.clear();
                    if (!saved_.valid) Error("ESC 8 without ESC 7");
                    crow_ = std::min(saved_.row, rows_ - 1);
                    ccol_ = std::min(saved_.col, cols_ - 1);
                    wrapPending_ = saved_.wrapPending;
                    bold_ = saved_.bold;
                    reverse_ = saved_.reverse;
                    blue_ = saved_.blue;
                } else if (c != '[') {
                    Error("ESC " + std::string(1, char(c)));
                    pending_.clear();
                }
                continue;
            }
            if (c >= 0x40 && c <= 0x7E) {
                Csi(pending_.substr(2, pending_.size() - 3), char(c));
                pending_.clear();
            } else if (pending_.size() > 24) {
                Error("long sequence");
                pending_.clear();
            }
            continue;
        }
        if (!sequence_.empty() && (c < 0x80 || c >= 0xC0)) {
            Error("a UTF-8 sequence cut short");
            sequence_.clear();
        }
        if (c == 0x1B) {
            pending_.assign(1, char(0x1B));
            continue;
        }
        if (c == 7) {
            ++bells_;
            continue;
        }
        if (c == '\n') {
            LineFeed();
            continue;
        }
        if (c == '\b') {
            if (ccol_ > 0) --ccol_;
            wrapPending_ = false;
            continue;
        }
        if (c == '\r') {
            ccol_ = 0;
            wrapPending_ = false;
            continue;
        }
        if (utf8_ && c >= 0x80) {
            // Gathered until the sequence is whole, then one character.
            sequence_ += char(c);
            const auto* b = reinterpret_cast<const uint8_t*>(sequence_.data());
            const size_t want = b[0] >= 0xF0 ? 4 : b[0] >= 0xE0 ? 3 : 2;
            if (sequence_.size() < want) continue;
            uint32_t cp = 0;
            const int width = DecodeUtf8(b, b + sequence_.size(), &cp) == want ? CodePointWidth(cp) : -1;
            if (width < 0)
                Error("not a printable character: " + std::to_string(b[0]));
            else
                PutChar(sequence_.data(), sequence_.size(), width);
            sequence_.clear();
            continue;
        }
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            Error("control byte " + std::to_string(c));
            continue;
        }
        PutChar(reinterpret_cast<const char*>(p + i), 1, 1);
    }
}

FakeTerminal::FakeTerminal(int rows, int cols) : rows_(rows), cols_(cols) { screen.Resize(rows, cols); }

void FakeTerminal::AddBurst(const std::string& bytes) {
    if (!bytes.empty()) events_.push_back({Event::Bytes, bytes});
}
void FakeTerminal::AddContinue() { events_.push_back({Event::Continue, {}}); }
void FakeTerminal::AddHangup() { events_.push_back({Event::Hangup, {}}); }
void FakeTerminal::SetSize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    screen.Resize(rows > 0 ? rows : 24, cols > 0 ? cols : 80);
}
void FakeTerminal::AddResize(int rows, int cols) {
    Event e{Event::Resize, {}};
    e.rows = rows;
    e.cols = cols;
    events_.push_back(e);
}

bool FakeTerminal::ApplyResizes() {
    bool any = false;
    while (!events_.empty() && events_.front().kind == Event::Resize) {
        SetSize(events_.front().rows, events_.front().cols);
        events_.pop_front();
        any = true;
    }
    if (any) screen.Scramble();
    return any;
}

int FakeTerminal::ReadByte() {
    if (ApplyResizes()) {
        gSignals.resized = 1;
        return kInterrupted;
    }
    if (events_.empty()) return kEndOfInput;
    Event& e = events_.front();
    if (e.kind == Event::Continue || e.kind == Event::Hangup) {
        (e.kind == Event::Continue ? gSignals.continued : gSignals.hangup) = 1;
        events_.pop_front();
        return kInterrupted;
    }
    uint8_t c = uint8_t(e.bytes[inBurst_++]);
    if (inBurst_ == e.bytes.size()) {
        events_.pop_front();
        inBurst_ = 0;
    }
    return c;
}

bool FakeTerminal::InputPending() {
    // Only the rest of a burst already under way counts as waiting.
    return inBurst_ > 0 && !events_.empty() && events_.front().kind == Event::Bytes;
}

void FakeTerminal::Write(const void* data, size_t n) {
    ++writes;
    output.append(static_cast<const char*>(data), n);
    screen.Feed(static_cast<const uint8_t*>(data), n);
}

uint64_t LinesBefore(const Editor& ed, Pos p) {
    uint64_t n = 1;
    for (Pos q = ed.TextStart; q < p; ++q) n += ByteAt(ed, q) == '\n';
    return n;
}

bool BetweenCharacters(const Editor& ed) {
    Pos p = ed.Cursor;
    while (p > ed.TextStart && ByteAt(ed, p - 1) != '\n') --p;
    while (p < ed.Cursor) p += CharAt(At(ed, p), RunEnd(ed, p), true).length;
    return p == ed.Cursor;
}

FreshRedraw::FreshRedraw() : ed(new Editor(term)) {}

FreshRedraw::~FreshRedraw() { delete ed; }

bool FreshRedraw::Draw(const Editor& src, WinSize size) {
    Editor& e = *ed;
    if ((!e.buf || e.textRoom < src.TextEnd + 1) && !ReserveBuffer(e, src.BufferCapacity)) return false;
    GatherText(e);
    e.buf[0] = '\n';
    CopyText(src, src.TextStart, src.TextLength() + 1, e.buf + src.TextStart);
    ForgetColumns(e);  // the text changed behind the editor's back
    e.TextStart = src.TextStart;
    e.TextEnd = src.TextEnd;
    e.Cursor = src.Cursor;
    e.LineNumber = src.LineNumber;
    e.BlockBegin = src.BlockBegin;
    e.BlockEnd = src.BlockEnd;
    e.Mark = src.Mark;
    e.BlockVisible = src.BlockVisible;
    e.InsertMode = src.InsertMode;
    e.EditMode = src.EditMode;
    e.ViCommandState = src.ViCommandState;
    e.ChangedMark = src.ChangedMark;
    e.ConsoleVariant = src.ConsoleVariant;
    e.Utf8 = src.Utf8;
    std::memcpy(e.FileName, src.FileName, sizeof e.FileName);
    e.screen.CursorScreenPos = src.screen.CursorScreenPos;
    term.SetSize(size.rows, size.cols);
    term.screen.SetUtf8(src.Utf8);
    InvalidateScreenCache(e);
    RefreshWindow(e);
    DrawStatusLine(e);
    FlushOutput(e);
    return true;
}
