// A jump of the xorshift128 generator over a fixed number of outputs.
//
// Every step of the generator is linear over GF(2): shifts and exclusive ors of its 128 state
// bits, with no constant. Drawing n outputs is therefore one 128 x 128 bit matrix T^n applied to
// the state, and T^n is found with log2(n) squarings. The matrix is kept as a table of the
// images of each 4-bit piece of the state, so that a jump costs 32 look-ups.
#pragma once

#include "Random.h"

#include <array>
#include <cstdint>

class XorshiftJump {
public:
  // The jump over `steps` outputs; 0 is the identity.
  explicit XorshiftJump(std::uint64_t steps);

  std::uint64_t steps() const { return steps_; }

  // `state` advanced by steps() outputs, as if they had been drawn.
  RandomState apply(const RandomState& state) const;

private:
  struct Bits {
    std::uint64_t low = 0;  // x, then y above it
    std::uint64_t high = 0; // z, then w above it
  };
  using Columns = std::array<Bits, 128>; // the image of each single state bit
  using Table = std::array<std::array<Bits, 16>, 32>;

  static Bits bits_of(const RandomState& state);
  static RandomState state_of(const Bits& bits);
  static Table table_of(const Columns& columns);
  static Bits apply(const Table& table, const Bits& bits);
  // The columns of a * b, where `a` is given by its table.
  static Columns product(const Table& a, const Columns& b);

  std::uint64_t steps_;
  Table table;
};
