// How a long operation on the GTK thread reports its progress and learns that the operator
// cancelled it: it calls check now and then, and check throws InterruptedException once the
// operation is to stop. The base class does nothing, so an operation may run without anyone
// watching.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Thrown by a check once the operator has cancelled the operation.
class InterruptedException : public std::exception {
public:
  const char* what() const noexcept override { return "interrupted"; }
};

class InterfaceCallback {
public:
  // What set_text sets.
  static constexpr std::int64_t first_text = 0;  // the first row (in a plain count, the bar)
  static constexpr std::int64_t second_text = 1; // the second row
  static constexpr std::int64_t title_text = 2;  // the window title
  // How set_progress takes its amount.
  static constexpr std::int64_t progress_to = 0; // the amount reached
  static constexpr std::int64_t progress_by = 1; // added to the amount reached

  virtual ~InterfaceCallback() = default;

  // Lets the watcher serve the operator; throws InterruptedException when the operation is to
  // stop.
  virtual void check() {}
  virtual void set_text(std::int64_t /*which*/, const std::string& /*text*/) {}
  virtual void set_progress(std::int64_t /*how*/, std::uint64_t /*amount*/) {}
};
