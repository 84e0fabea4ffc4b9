#include "XorshiftJump.h"

namespace {

RandomState step(RandomState s) {
  const std::uint32_t t = s.x ^ (s.x << 11);
  return RandomState{s.y, s.z, s.w, s.w ^ (s.w >> 19) ^ t ^ (t >> 8)};
}

} // namespace

XorshiftJump::Bits XorshiftJump::bits_of(const RandomState& s) {
  return Bits{s.x | std::uint64_t(s.y) << 32, s.z | std::uint64_t(s.w) << 32};
}

RandomState XorshiftJump::state_of(const Bits& b) {
  return RandomState{static_cast<std::uint32_t>(b.low), static_cast<std::uint32_t>(b.low >> 32),
                     static_cast<std::uint32_t>(b.high), static_cast<std::uint32_t>(b.high >> 32)};
}

XorshiftJump::Table XorshiftJump::table_of(const Columns& columns) {
  Table table{};
  for (unsigned piece = 0; piece < 32; ++piece) {
    for (unsigned value = 1; value < 16; ++value) {
      // The image of `value` is that of its lowest bit added to that of the rest.
      const unsigned lowest = static_cast<unsigned>(__builtin_ctz(value));
      const Bits& rest = table[piece][value & (value - 1)];
      const Bits& column = columns[piece * 4 + lowest];
      table[piece][value] = Bits{rest.low ^ column.low, rest.high ^ column.high};
    }
  }
  return table;
}

XorshiftJump::Bits XorshiftJump::apply(const Table& table, const Bits& bits) {
  Bits out;
  for (unsigned piece = 0; piece < 16; ++piece) {
    const Bits& a = table[piece][(bits.low >> (4 * piece)) & 15];
    const Bits& b = table[piece + 16][(bits.high >> (4 * piece)) & 15];
    out.low ^= a.low ^ b.low;
    out.high ^= a.high ^ b.high;
  }
  return out;
}

XorshiftJump::Columns XorshiftJump::product(const Table& a, const Columns& b) {
  Columns out;
  for (unsigned i = 0; i < 128; ++i)
    out[i] = apply(a, b[i]);
  return out;
}

XorshiftJump::XorshiftJump(std::uint64_t steps) : steps_(steps) {
  Columns result; // the identity
  Columns power;  // T, then T^2, T^4, ...
  for (unsigned i = 0; i < 128; ++i) {
    Bits unit;
    (i < 64 ? unit.low : unit.high) = std::uint64_t(1) << (i % 64);
    result[i] = unit;
    power[i] = bits_of(step(state_of(unit)));
  }
  for (std::uint64_t n = steps; n != 0; n >>= 1) {
    const Table powerTable = table_of(power);
    if (n & 1)
      result = product(powerTable, result);
    if (n > 1)
      power = product(powerTable, power);
  }
  table = table_of(result);
}

RandomState XorshiftJump::apply(const RandomState& state) const {
  return state_of(apply(table, bits_of(state)));
}
