// The calculator: evaluates the expression written from the cursor to the line's end (or an "=") and
// types "=" and the result behind it.
#pragma once

#include "editor.hpp"

void Calculate(Editor& ed);

// Longest result text: a sign, 12 integer digits, the point and 6 fraction digits.
inline constexpr size_t kResultTextSize = 20;

// Evaluates the expression at text, which must be closed by a line feed somewhere. On success *value is
// the result and *length the bytes up to the expression's end (the line feed or an "="). False on any
// syntax error or floating-point fault; r stands for lastResult.
[[nodiscard]] bool EvaluateExpression(const uint8_t* text, double lastResult, long double* value,
                                      size_t* length);

// The decimal text of value, rounded half to even at the sixth fraction digit, into out (at least
// kResultTextSize bytes, not closed by a zero); *length its bytes. False when it needs more than 18 digits.
[[nodiscard]] bool FormatResult(long double value, char* out, size_t* length);
