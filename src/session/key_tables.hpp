// The key bindings as data: the command table, the control-key maps of WS, EMACS, PICO and NEDIT, the
// five prefix tables, the vi command-state table, the EMACS alt table and the cursor-key table.
#pragma once

#include <array>
#include <cstdint>

#include "editor.hpp"
#include "session/session.hpp"

inline constexpr uint8_t Ctrl(char c) { return uint8_t(c) & 0x1F; }

extern const std::array<Handler, kCommandCount> kCommands;  // by CommandId
extern const std::array<Handler, 32> kWsControl;            // by control byte
extern const std::array<Handler, 32> kEmacsControl;
extern const std::array<Handler, 32> kPicoControl;
extern const std::array<Handler, 32> kNeditControl;
extern const std::array<uint8_t, 27> kWsKPrefix;  // by the low five bits of the key
extern const std::array<uint8_t, 27> kWsQPrefix;
extern const std::array<uint8_t, 27> kEmacsXPrefix;
extern const std::array<uint8_t, 27> kPicoJPrefix;
extern const std::array<uint8_t, 27> kPicoQPrefix;
extern const std::array<uint8_t, 124> kViCommandKeys;  // by byte 0..123
extern const std::array<uint8_t, 24> kEmacsAltKeys;    // letters B..Y
extern const std::array<uint8_t, 18> kCursorKeys;      // ESC [ 0~..8~, then ESC [ A..I

// The control-key map of the current mode (nullptr in vi, which has none).
const std::array<Handler, 32>* ControlMapFor(uint8_t mode);
