#pragma once

#include "InFlightBuffers.h"
#include "Operation.h"

// Writes the context's write buffer, as the pass prepared it, over every chunk; the chunks in
// flight all write from it.
class WipeOperationStandard : public Operation {
public:
  explicit WipeOperationStandard(WipeContext* context);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  std::size_t transfers_in_flight() override;
  void start(std::uint64_t lba, std::uint64_t count) override;
  std::uint64_t finish() override;
  void abandon() override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;

private:
  InFlightBuffers transfers;
};
