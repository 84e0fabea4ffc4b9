#pragma once

#include "Operation.h"

// Writes the context's write buffer, as the pass prepared it, over every chunk.
class WipeOperationStandard : public Operation {
public:
  explicit WipeOperationStandard(WipeContext* context) : Operation(context) {}

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;
};
