#include "calc/calc.hpp"

void Calculate(Editor& ed) {}
