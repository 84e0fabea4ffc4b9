#pragma once

#include "BufferRing.h"
#include "Operation.h"

#include <deque>
#include <string>

// Reads every chunk back and compares each sector with one sector of the pattern, which the
// constructor lays into the first sector of the context's write buffer. Each chunk in flight is
// read into a buffer of its own, the context's read buffer being the first.
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
  BufferRing buffers;
  std::deque<unsigned char*> reading; // the buffers of the chunks in flight
  unsigned char* current;             // that of the chunk last transferred
};
