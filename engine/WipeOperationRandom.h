#pragma once

#include "Operation.h"
#include "RandomFiller.h"

#include <memory>

// Writes fresh random data over every chunk, one continuous stream of the process generator,
// and, with verify, reads each chunk back after it is written and compares it.
class WipeOperationRandom : public Operation {
public:
  // The next chunk's data is drawn in a second buffer of the context's size while the current
  // one is written. Throws std::bad_alloc when that buffer cannot be had.
  WipeOperationRandom(WipeContext* context, bool verify);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;

private:
  bool verify;
  std::unique_ptr<unsigned char[]> secondAllocation;
  RandomFiller filler;
  const unsigned char* written = nullptr; // the data of the chunk last written
};
