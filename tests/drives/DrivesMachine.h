// Helpers of the drive discovery tests: the simulated machines of tests/data/drives, and the
// property tables as plain maps that print well.
#pragma once

#include "DevicesInfoV1.h"
#include "Handles.h"
#include "PropertyMap.h"
#include "TestMachine.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using Table = std::map<std::string, std::string>;

// The text of the machine file `name` of tests/data/drives.
inline std::string drives_machine(const std::string& name) {
  return test_data_file("drives/" + name);
}

// What an "Identity" holds stands for the image file of the drive (its device and inode),
// which differ from run to run: a table shows it as "{GUID}" when it is one.
inline std::vector<Table> tables(const std::vector<PropertyMap>& devices) {
  std::vector<Table> result(devices.begin(), devices.end());
  for (Table& table : result) {
    auto identity = table.find("Identity");
    if (identity != table.end() && identity->second.size() == 38 &&
        identity->second.front() == '{' && identity->second.back() == '}')
      identity->second = "{GUID}";
  }
  return result;
}

inline std::vector<Table> enumerate() {
  std::vector<PropertyMap> devices;
  dt::get_devices_info_win32_v1(devices);
  return tables(devices);
}

inline std::string drive_path(int number) {
  return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

// Counts the layer's handles that were given out after the watch began and are still open
// (handle values rise by four with every handle given out).
class HandleWatch {
public:
  HandleWatch() : first(mark()) {}

  int still_open() const {
    const std::uintptr_t last = mark();
    int open = 0;
    for (std::uintptr_t value = first + 4; value < last; value += 4)
      if (platform::find_handle(reinterpret_cast<HANDLE>(value)) != nullptr)
        ++open;
    return open;
  }

private:
  static std::uintptr_t mark() {
    HANDLE handle = platform::register_handle(std::make_shared<platform::HandleObject>());
    platform::remove_handle(handle);
    return reinterpret_cast<std::uintptr_t>(handle);
  }

  std::uintptr_t first;
};
