// Test helpers for the platform layer's machines: an environment variable set for the life of
// an object, and a simulated machine selected for the life of an object.
#pragma once

#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

// Sets (or, with no value, removes) an environment variable and puts the old value back when
// it goes.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name(name) {
    if (const char* old = std::getenv(name))
      previous = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    if (previous)
      setenv(name.c_str(), previous->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::string name;
  std::optional<std::string> previous;
};

#ifdef CVW_TEST_DATA
// The text of a file of the test data (tests/data), by its path there.
inline std::string test_data_file(const std::string& path) {
  std::ifstream stream(std::string(CVW_TEST_DATA) + "/" + path, std::ios::binary);
  if (!stream)
    throw std::runtime_error("no test data file " + path);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

// The text of a machine file of tests/data/machines.
inline std::string machine_file(const std::string& name) {
  return test_data_file("machines/" + name);
}
#endif

// A simulated machine in a fresh folder, selected through CVW_MACHINE while the object lives.
// Its images and its shared state are made in that folder, so that tests running side by
// side never share a machine.
class TestMachine {
public:
  explicit TestMachine(const std::string& text)
      : path_(dir_.file("machine.cfg")), selection("CVW_MACHINE", path_) {
    std::ofstream(path_, std::ios::binary) << text;
  }

  const std::string& path() const { return path_; }
  std::string image(const std::string& name) const { return dir_.file(name); }
  const TempDir& dir() const { return dir_; }

private:
  TempDir dir_;
  std::string path_;
  ScopedEnvironment selection;
};
