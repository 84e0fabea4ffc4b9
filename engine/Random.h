// The engine's random data: Marsaglia's xorshift128 generator, one state for the whole process.
#pragma once

#include <cstdint>

// Mixes the current time (whole seconds) into the generator's first word; called once at start.
void seed_random();

// Fills `length` bytes with the generator's next outputs, each stored lowest byte first; a cut
// last output still advances the generator. Main thread only.
void fill_random(void* buffer, std::uint64_t length);
