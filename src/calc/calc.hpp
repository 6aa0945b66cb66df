// The calculator: evaluates the expression written before the cursor.
#pragma once

#include "editor.hpp"

void Calculate(Editor& ed);
