// The set-up of one wipe: what the engine's "wipe" command and the settings file carry, plus the
// three choices of which engine failures are acknowledged without asking the operator. A plain
// record copied by value; it checks nothing (the options editor keeps the values in range).
#pragma once

#include <cstdint>
#include <string>

class WipeOptions {
public:
  // The defaults: 256 sectors per transfer, the one-byte pattern 0x00, no ignored failures,
  // progress every 300 ms, method 0 ("forward"), a skip of 1 sector after a failed transfer,
  // doubled after each further one, no verification.
  WipeOptions();

  std::uint32_t sectors_per_time() const { return sectorsPerTime; }
  void set_sectors_per_time(std::uint32_t value) { sectorsPerTime = value; }

  // Any bytes, NUL included.
  const std::string& pattern() const { return pattern_; }
  void set_pattern(const std::string& value) { pattern_ = value; }

  bool ignore_write_errors() const { return ignoreWriteErrors; }
  void set_ignore_write_errors(bool value) { ignoreWriteErrors = value; }

  bool ignore_read_errors() const { return ignoreReadErrors; }
  void set_ignore_read_errors(bool value) { ignoreReadErrors = value; }

  bool ignore_compare_errors() const { return ignoreCompareErrors; }
  void set_ignore_compare_errors(bool value) { ignoreCompareErrors = value; }

  // Milliseconds between the engine's progress reports.
  std::uint32_t update_period() const { return updatePeriod; }
  void set_update_period(std::uint32_t value) { updatePeriod = value; }

  // The wipe method's index in the catalogue (WipeMethod::by_index).
  int mode() const { return mode_; }
  void set_mode(int value) { mode_ = value; }

  // Sectors the engine skips after a failed transfer.
  std::uint32_t jump_after_error_sectors() const { return jumpAfterErrorSectors; }
  void set_jump_after_error_sectors(std::uint32_t value) { jumpAfterErrorSectors = value; }

  // Whether that skip doubles after each further failure.
  bool jump_after_error_double() const { return jumpAfterErrorDouble; }
  void set_jump_after_error_double(bool value) { jumpAfterErrorDouble = value; }

  // Read back and compare after the wipe.
  bool verify() const { return verify_; }
  void set_verify(bool value) { verify_ = value; }

private:
  std::uint32_t sectorsPerTime;
  std::string pattern_;
  bool ignoreWriteErrors;
  bool ignoreReadErrors;
  bool ignoreCompareErrors;
  std::uint32_t updatePeriod;
  int mode_;
  std::uint32_t jumpAfterErrorSectors;
  bool jumpAfterErrorDouble;
  bool verify_;
};
