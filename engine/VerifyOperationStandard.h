#pragma once

#include "Operation.h"

#include <string>

// Reads every chunk back and compares each sector with one sector of the pattern, which the
// constructor lays into the first sector of the context's write buffer.
class VerifyOperationStandard : public Operation {
public:
  VerifyOperationStandard(WipeContext* context, const std::string& pattern);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;
};
