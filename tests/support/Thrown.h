// The text of a failure, for tables of cases that expect one.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

// The text of the std::runtime_error that `action` throws; "(nothing thrown)" when it throws
// none.
inline std::string thrown_text(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}
