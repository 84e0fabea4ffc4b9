// How a pass walks its range: in chunks of at most sectorsPerTime sectors, skipping sectors
// after a failure.
#pragma once

#include <cstdint>

class Operation;

class OperationStrategy {
public:
  explicit OperationStrategy(Operation* operation) : operation_(operation) {}
  OperationStrategy(const OperationStrategy&) = delete;
  OperationStrategy& operator=(const OperationStrategy&) = delete;

  // Walks the `count` sectors from `lba`. Exceptions of the operation (an interrupt, a broken
  // channel) leave the walk at once.
  virtual void run(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorsPerTime) = 0;

  virtual ~OperationStrategy() = default;

protected:
  Operation& operation() { return *operation_; }

  // The sectors to skip after a failure: `jump`, doubled for each earlier failure in a row when
  // `doubling` is set. Held at the largest count rather than wrapping, so a long run of
  // failures never turns into a skip of nothing.
  static std::uint64_t skip_after(std::uint64_t jump, bool doubling, std::uint64_t failures);

private:
  Operation* operation_;
};
