// The calculator: a precedence parser over the bytes of one line, computing in the x87 extended format
// (long double here), and the conversion of its result to at most 12 integer and 6 fraction digits.
#include <cfenv>
#include <cmath>

#include "buffer/buffer.hpp"
#include "calc/calc.hpp"
#include "session/session.hpp"

namespace {

constexpr long double kScale = 1000000.0L;
constexpr long double kPi = 3.14159265358979323846264338327950288L;
constexpr long double kTooLarge = 1e18L;  // exact: 10^18 needs 60 bits
constexpr int kMaxIntegerDigits = 12;
constexpr int kMaxFractionDigits = 6;
// Groups nest by recursion; a line is unlimited, the stack is not.
constexpr int kMaxDepth = 1000;

struct Parser {
    const uint8_t* p;
    double last;
    int depth = 0;
    // The hardware flags a subnormal operand, but <cfenv> has no such flag, so the operands are looked at.
    bool denormal = false;
};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsEnd(uint8_t c) { return c == '\n' || c == '=' || c == ')'; }
bool IsSubnormal(long double v) { return std::fpclassify(v) == FP_SUBNORMAL; }

// The next byte that is not a blank or another control byte; the line feed is never skipped.
uint8_t Peek(Parser& ps) {
    while (*ps.p < '!' && *ps.p != '\n') ++ps.p;
    return *ps.p;
}

void NoteOperands(Parser& ps, long double a, long double b) {
    if (IsSubnormal(a) || IsSubnormal(b)) ps.denormal = true;
}

// The digits are gathered as the integer value x 1,000,000, exact, and scaled once.
bool ReadNumber(Parser& ps, long double* v) {
    uint64_t n = 0;
    int digits = 0;
    while (IsDigit(*ps.p)) {
        if (++digits > kMaxIntegerDigits) return false;
        n = n * 10 + (*ps.p++ - '0');
    }
    n *= 1000000;
    if (*ps.p == '.') {
        ++ps.p;
        uint64_t unit = 100000;
        // A seventh fraction digit is left to start an operand of its own, which the grammar refuses.
        for (int k = 0; k < kMaxFractionDigits && IsDigit(*ps.p); ++k, unit /= 10)
            n += (*ps.p++ - '0') * unit;
    }
    *v = static_cast<long double>(n) / kScale;
    return true;
}

bool ParseSum(Parser& ps, long double* v);

bool ParseOperand(Parser& ps, long double* v) {
    uint8_t c = Peek(ps);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        ++ps.p;
        c = Peek(ps);
        if (c == '+' || c == '-') return false;
    }
    if (IsDigit(c)) {
        if (!ReadNumber(ps, v)) return false;
    } else if (c == 'p') {
        ++ps.p;
        *v = kPi;
    } else if (c == 'r') {
        ++ps.p;
        if (std::fpclassify(ps.last) == FP_SUBNORMAL) ps.denormal = true;
        *v = ps.last;
    } else if (c == '(') {
        ++ps.p;
        if (++ps.depth > kMaxDepth) return false;
        if (!ParseSum(ps, v) || Peek(ps) != ')') return false;
        ++ps.p;
        --ps.depth;
    } else {
        return false;
    }
    if (negative) *v = -*v;
    return true;
}

// Operands joined by "*" and "/", from the left.
bool ParseProduct(Parser& ps, long double* v) {
    long double acc;
    if (!ParseOperand(ps, &acc)) return false;
    for (uint8_t c = Peek(ps); c == '*' || c == '/'; c = Peek(ps)) {
        ++ps.p;
        long double right;
        if (!ParseOperand(ps, &right)) return false;
        NoteOperands(ps, acc, right);
        acc = c == '*' ? acc * right : acc / right;
    }
    *v = acc;
    return true;
}

// Products joined by "+" and "-", from the left; a - b is a + (-b). Ends before a line feed, "=" or ")".
bool ParseSum(Parser& ps, long double* v) {
    long double acc;
    if (!ParseProduct(ps, &acc)) return false;
    for (;;) {
        uint8_t c = Peek(ps);
        if (IsEnd(c)) break;
        // Where an operator belongs, anything else (an operand too) is an error.
        if (c != '+' && c != '-') return false;
        ++ps.p;
        long double right;
        if (!ParseProduct(ps, &right)) return false;
        if (c == '-') right = -right;
        NoteOperands(ps, acc, right);
        acc = acc + right;
    }
    *v = acc;
    return true;
}

}  // namespace

bool EvaluateExpression(const uint8_t* text, double lastResult, long double* value, size_t* length) {
    fenv_t saved;
    feholdexcept(&saved);
    fesetround(FE_TONEAREST);
    Parser ps{text, lastResult};
    bool ok = ParseSum(ps, value) && *ps.p != ')';
    *length = size_t(ps.p - text);
    // The value is stored before the flags are read, so no arithmetic can be moved past the test.
    int faults = fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW);
    fesetenv(&saved);
    return ok && faults == 0 && !ps.denormal;
}

bool FormatResult(long double value, char* out, size_t* length) {
    fenv_t saved;
    feholdexcept(&saved);
    fesetround(FE_TONEAREST);
    long double scaled = std::nearbyint(value * kScale);  // ties to even
    fesetenv(&saved);
    if (!(std::fabs(scaled) < kTooLarge)) return false;
    uint64_t n = static_cast<uint64_t>(std::fabs(scaled));
    size_t k = 0;
    if (std::signbit(scaled)) out[k++] = '-';  // also for a result that rounds to zero from below
    uint64_t whole = n / 1000000, fraction = n % 1000000;
    char digits[kMaxIntegerDigits];
    int d = 0;
    do {
        digits[d++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    while (d > 0) out[k++] = digits[--d];
    if (fraction != 0) {
        out[k++] = '.';
        for (uint64_t unit = 100000; fraction != 0; unit /= 10) {
            out[k++] = char('0' + fraction / unit);
            fraction %= unit;
        }
    }
    *length = k;
    return true;
}

void Calculate(Editor& ed) {
    long double value;
    size_t length;
    if (!EvaluateExpression(At(ed, ed.Cursor), ed.LastResult, &value, &length)) {
        Bell(ed);
        return;
    }
    Pos end = ed.Cursor + length;
    bool reuse = ByteAt(ed, end) == '=';
    ed.LastResult = static_cast<double>(value);
    char text[1 + kResultTextSize];
    size_t n = 0;
    if (!reuse) text[n++] = '=';
    size_t digits = 0;
    bool fits = FormatResult(value, text + n, &digits);
    if (fits) n += digits;

    // All the room first, so that a full buffer cannot leave half a result behind.
    uint64_t need = 0;
    Pos at = reuse ? end + 1 : end;
    for (size_t i = 0; i < n; ++i) {
        if (ed.InsertMode == kInsert || ByteAt(ed, at) == '\n')
            ++need;
        else
            ++at;
    }
    if (Room(ed) < need) {
        Bell(ed);
        return;
    }
    ed.Cursor = reuse ? end + 1 : end;
    for (size_t i = 0; i < n; ++i) TypeByte(ed, uint8_t(text[i]));
    if (!fits) Bell(ed);
}
