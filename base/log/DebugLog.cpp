#include "DebugLog.h"

#include <iostream>

namespace {

std::ostream* current = &std::cerr;

} // namespace

std::ostream& debug_log() { return *current; }

void set_debug_log(std::ostream& stream) { current = &stream; }
