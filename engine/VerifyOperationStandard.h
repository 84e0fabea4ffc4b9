#pragma once

#include "BufferRing.h"
#include "InFlightBuffers.h"
#include "Operation.h"

#include <string>

// Reads every chunk back and compares each sector with one sector of the pattern, which the
// constructor lays into every sector of the context's write buffer, so that a chunk is compared
// in runs of many sectors and sector by sector only when something differs. Each chunk in flight is
// read into a buffer of its own, of the context's read ring, which is made before the pass
// begins; one at a time, into the read buffer.
class VerifyOperationStandard : public Operation {
public:
  VerifyOperationStandard(WipeContext* context, const std::string& pattern);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  std::size_t transfers_in_flight() override;
  void start(std::uint64_t lba, std::uint64_t count) override;
  std::uint64_t finish() override;
  void abandon() override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;

private:
  std::size_t inFlight;  // how many chunks the device keeps in flight
  std::size_t turn = 0;  // the ring buffer of the next chunk started
  InFlightBuffers reads; // last(): what the chunk last transferred holds
  BufferRing* buffers;   // of the chunks in flight; null when one goes at a time
};
