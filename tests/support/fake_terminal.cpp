#include "support/fake_terminal.hpp"

#include <algorithm>

void ScreenModel::Resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    cells_.assign(rows, std::string(cols, ' '));
    attrs_.assign(rows, std::string(cols, ' '));
    crow_ = ccol_ = 0;
    top_ = 0;
    bottom_ = rows - 1;
    wrapPending_ = false;
}

void ScreenModel::Scramble() {
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            cells_[r][c] = "%junk"[(r + c) % 5];
            attrs_[r][c] = 'r';
        }
    }
}

std::string ScreenModel::Row(int r) const { return r >= 0 && r < rows_ ? cells_[r] : std::string(); }
std::string ScreenModel::Attrs(int r) const { return r >= 0 && r < rows_ ? attrs_[r] : std::string(); }

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
    std::string blankAttrs(cols_, blue_ ? 's' : ' ');
    if (up) {
        for (int r = top_; r < bottom_; ++r) {
            cells_[r] = cells_[r + 1];
            attrs_[r] = attrs_[r + 1];
        }
        cells_[bottom_] = std::string(cols_, ' ');
        attrs_[bottom_] = blankAttrs;
    } else {
        for (int r = bottom_; r > top_; --r) {
            cells_[r] = cells_[r - 1];
            attrs_[r] = attrs_[r - 1];
        }
        cells_[top_] = std::string(cols_, ' ');
        attrs_[top_] = blankAttrs;
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
            for (int c = ccol_; c < cols_; ++c) {
                cells_[crow_][c] = ' ';
                attrs_[crow_][c] = blue_ ? 's' : ' ';
            }
            break;
        case 'J':  // the whole screen erased; the cursor stays
            if (params != "2") Error("CSI " + params + "J");
            for (int r = 0; r < rows_; ++r) {
                cells_[r].assign(size_t(cols_), ' ');
                attrs_[r].assign(size_t(cols_), blue_ ? 's' : ' ');
            }
            break;
        case 'r': {
            int t = params.empty() ? 1 : number(0, semi, 1);
            int b = semi == std::string::npos ? rows_ : number(semi + 1, std::string::npos, rows_);
            if (t < 1 || b > rows_ || t >= b) {
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
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            Error("control byte " + std::to_string(c));
            continue;
        }
        if (wrapPending_) LineFeed();
        if (crow_ >= 0 && crow_ < rows_ && ccol_ >= 0 && ccol_ < cols_) {
            cells_[crow_][ccol_] = char(c);
            attrs_[crow_][ccol_] = AttrLetter();
        }
        if (ccol_ == cols_ - 1)
            wrapPending_ = true;
        else
            ++ccol_;
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
