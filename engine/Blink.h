// The "blink" command: the device is read in timed bursts from its first sector to the last of
// the span, and again from the first, so that its activity light flashes.
#pragma once

#include "ConfigValue.h"

#include <cstdint>

class ProcessClient;

// The blink loop of `command`. Runs until an exception ends it: an "interrupt", end of input, a
// line that does not parse. Returns only after "init failed": when the device cannot be opened,
// and when the span or the burst is empty or a burst cannot be held in one transfer (more than
// the device takes, or 4 GiB), since such a blink would read nothing and spin. Throws the value
// exceptions for missing or mistyped members.
void blink(ProcessClient& client, const config::Value& command);

// The pause after each burst, in milliseconds: "period" milliseconds from 1 to 999, as the
// unsigned 32-bit microseconds period x 1000 give them; none for 0 and for 1000 or more.
std::uint32_t blink_pause_ms(std::int64_t period);
