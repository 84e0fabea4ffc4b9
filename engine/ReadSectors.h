// The "read sectors" command: one device, opened once for reading, and one read after another,
// each answered with the raw bytes of its sectors.
#pragma once

#include "ConfigValue.h"

class ProcessClient;

// The read loop, starting with `command` and going on with each command the client sends after
// "ready", which replaces `command`. A read the device cannot serve whole, or whose size or
// sector numbers do not fit (more than one transfer of the device, more than 4 GiB, or byte
// offsets past 64 bits), is answered with "read failed". Returns only after "init failed", when
// the device cannot be opened; otherwise it ends by an exception: end of input, an "interrupt",
// a line that does not parse, a missing or mistyped member.
void read_sectors(ProcessClient& client, config::Value& command);
