// One physical drive as the interface sees it: the device path, the size in sectors, the
// model and serial number, the warning when it holds part of the running system, and the
// volumes on it; beside them what names the disk itself, and what the system under the
// platform layer calls it. A plain value, copied whole.
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

  // What names the disk itself rather than its path (get_device_identity): another disk that
  // takes the path has another. Empty when the machine did not tell.
  const std::string& identity() const { return identity_; }
  void set_identity(const std::string& identity) { identity_ = identity; }

  // The rest is for the operator's eyes only, never for a record of a wipe.

  // What the system under the platform layer calls the drive ("/dev/sdb"); empty on a machine
  // that does not say.
  const std::string& system_name() const { return systemName_; }
  void set_system_name(const std::string& systemName) { systemName_ = systemName; }

  // What the system says of the disk where the model or the serial is empty, and what it is.
  struct StandIn {
    enum class Kind { None, BackingFile, Driver, Identifier };
    Kind kind = Kind::None;
    std::string text;
  };
  const StandIn& model_stand_in() const { return modelStandIn_; }
  void set_model_stand_in(const StandIn& standIn) { modelStandIn_ = standIn; }
  const StandIn& serial_stand_in() const { return serialStandIn_; }
  void set_serial_stand_in(const StandIn& standIn) { serialStandIn_ = standIn; }

private:
  std::string id_;
  std::uint64_t sectors_ = 0;
  std::uint64_t sectorSize_ = 512;
  std::string model_;
  std::string serial_;
  std::string warning_;
  std::vector<Partition> partitions_;
  std::string identity_;
  std::string systemName_;
  StandIn modelStandIn_;
  StandIn serialStandIn_;
};
