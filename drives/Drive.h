// One physical drive as the interface sees it: the device path, the size in sectors, the
// model and serial number, the warning when it holds part of the running system, and the
// volumes on it. A plain value, copied whole.
#pragma once

#include "Partition.h"

#include <cstdint>
#include <string>
#include <vector>

class Drive {
public:
  // "\\.\PhysicalDriveN".
  const std::string& id() const { return id_; }
  void set_id(const std::string& id) { id_ = id; }

  std::uint64_t sectors() const { return sectors_; }
  void set_sectors(std::uint64_t sectors) { sectors_ = sectors; }

  // Bytes per sector.
  std::uint64_t sector_size() const { return sectorSize_; }
  void set_sector_size(std::uint64_t sectorSize) { sectorSize_ = sectorSize; }

  const std::string& model() const { return model_; }
  void set_model(const std::string& model) { model_ = model; }

  const std::string& serial() const { return serial_; }
  void set_serial(const std::string& serial) { serial_ = serial; }

  // Empty unless the drive holds the system, the programs, the application data or this
  // program.
  const std::string& warning() const { return warning_; }
  void set_warning(const std::string& warning) { warning_ = warning; }

  // In the order of the enumeration.
  const std::vector<Partition>& partitions() const { return partitions_; }
  void set_partitions(const std::vector<Partition>& partitions) { partitions_ = partitions; }

private:
  std::string id_;
  std::uint64_t sectors_ = 0;
  std::uint64_t sectorSize_ = 512;
  std::string model_;
  std::string serial_;
  std::string warning_;
  std::vector<Partition> partitions_;
};
