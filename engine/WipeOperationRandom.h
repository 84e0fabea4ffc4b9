#pragma once

#include "Operation.h"
#include "random/RandomFiller.h"

// Writes fresh random data over every chunk, one continuous stream of the process generator,
// and, with verify, reads each chunk back after it is written and compares it.
class WipeOperationRandom : public Operation {
public:
  // Long chunks are drawn ahead, into a second buffer of the context's size, while the chunk
  // before is written.
  WipeOperationRandom(WipeContext* context, bool verify);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;

private:
  bool verify;
  RandomFiller filler;
  const unsigned char* written = nullptr; // the data of the chunk last written
};
