#include "support/fake_terminal.hpp"

void ScreenModel::Resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    cells_.assign(rows, std::string(cols, ' '));
    attrs_.assign(rows, std::string(cols, ' '));
    crow_ = ccol_ = 0;
}

std::string ScreenModel::Row(int r) const { return r >= 0 && r < rows_ ? cells_[r] : std::string(); }
std::string ScreenModel::Attrs(int r) const { return r >= 0 && r < rows_ ? attrs_[r] : std::string(); }

void ScreenModel::Sgr(int n) {
    switch (n) {
        case 0: bold_ = reverse_ = blue_ = false; break;
        case 1: bold_ = true; break;
        case 7: reverse_ = true; break;
        case 44: blue_ = true; break;
        case 40: blue_ = false; break;
        default: break;  // colours 33 and 37 carry no extra meaning here
    }
}

void ScreenModel::Feed(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (!pending_.empty()) {
            pending_ += char(c);
            if (pending_.size() == 2 && c != '[') {
                pending_.clear();
                continue;
            }
            if (pending_.size() > 2 && (c == 'H' || c == 'm')) {
                std::string body = pending_.substr(2, pending_.size() - 3);
                if (c == 'H') {
                    int r = 0, col = 0;
                    size_t semi = body.find(';');
                    if (semi != std::string::npos) {
                        r = std::stoi(body.substr(0, semi));
                        col = std::stoi(body.substr(semi + 1));
                    }
                    crow_ = r - 1;
                    ccol_ = col - 1;
                } else {
                    Sgr(body.empty() ? 0 : std::stoi(body));
                }
                pending_.clear();
            } else if (pending_.size() > 16) {
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
            ++crow_;
            ccol_ = 0;
            continue;
        }
        if (crow_ >= 0 && crow_ < rows_ && ccol_ >= 0 && ccol_ < cols_) {
            cells_[crow_][ccol_] = char(c);
            attrs_[crow_][ccol_] = reverse_ ? 'r' : bold_ ? (blue_ ? 's' : 'b') : (blue_ ? 's' : ' ');
        }
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

void FakeTerminal::ApplyResizes() {
    while (!events_.empty() && events_.front().kind == Event::Resize) {
        SetSize(events_.front().rows, events_.front().cols);
        events_.pop_front();
    }
}

int FakeTerminal::ReadByte() {
    ApplyResizes();
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
    output.append(static_cast<const char*>(data), n);
    screen.Feed(static_cast<const uint8_t*>(data), n);
}

