#pragma once
// The settings language of vantor-boardsim, shared by its command line and
// the lines it reads on standard input while it runs:
//
//   analog CH=VOLTS     converter word for VOLTS on channel CH (±5 V range)
//   raw CH=CODE         converter word CODE as the card delivers it
//   din HEX             digital input lines 0-15 (bit n = line n)
//   freq INPUT=HZ       period count giving HZ on frequency input 1-4
//   period INPUT=COUNT  period count as latched
//   counter N=VALUE     encoder / gated counter N (0-3)
//   busy POLLS          conversion time in status reads (-1: never ready)
//
// A setting applies to every card on the bus that has the function. Numbers
// take C prefixes (0x...). A value outside what the cards have (channel
// 0-31, input 1-4, counter 0-3, ±5 V, 16-bit code, 32-bit count, not a
// number, infinite) is refused like a malformed line.
#include <cstdint>
#include <string>
#include <string_view>

#include "emulation/IsaBus.h"

namespace vantor::emulation {

// Applies one setting; false and a reason for a malformed or out-of-range line.
bool ApplySetting(IsaBus& bus, std::string_view line, std::string& why);

// "TYPE@BASE", e.g. "0x24@0x2E0".
bool ParseCardOption(std::string_view text, uint8_t& type, int& base);

}  // namespace vantor::emulation
