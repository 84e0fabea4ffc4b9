// The reader of machine files. Unknown members are refused, so that a misspelt switch is not
// silently ignored.
#include "MachineFile.h"

#include "ConfigValue.h"
#include "DevicePath.h"
#include "StorageDescriptor.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace platform {

namespace {

class MachineError : public std::runtime_error {
public:
  explicit MachineError(const std::string& what) : std::runtime_error(what) {}
};

const char* const device_calls[] = {
    "CreateFileA",
    "ReadFile",
    "WriteFile",
    "FlushFileBuffers",
    "IOCTL_DISK_GET_DRIVE_GEOMETRY",
    "IOCTL_DISK_GET_PARTITION_INFO",
    "IOCTL_DISK_GET_PARTITION_INFO_EX",
    "IOCTL_STORAGE_GET_DEVICE_NUMBER",
    "IOCTL_STORAGE_GET_DEVICE_NUMBER_EX",
    "IOCTL_DISK_STAND_INS",
    "IOCTL_DISK_VOLUME_NAMES",
    "IOCTL_STORAGE_QUERY_PROPERTY",
    "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS",
    "FSCTL_LOCK_VOLUME",
    "FSCTL_DISMOUNT_VOLUME",
    "FSCTL_ALLOW_EXTENDED_DASD_IO",
};
const char* const volume_calls[] = {"GetVolumeInformationA", "DeleteVolumeMountPointA"};
const char* const machine_calls[] = {"FindFirstVolumeA", "GetLogicalDrives"};

// The error a call gives when the machine file lists it without a code: what Windows gives
// for the most likely cause.
DWORD default_failure(const std::string& call) {
  if (call == "CreateFileA" || call == "FSCTL_LOCK_VOLUME" || call == "DeleteVolumeMountPointA")
    return ERROR_ACCESS_DENIED;
  if (call == "ReadFile")
    return ERROR_CRC;
  if (call == "WriteFile" || call == "FlushFileBuffers")
    return ERROR_WRITE_FAULT;
  if (call == "GetVolumeInformationA")
    return ERROR_UNRECOGNIZED_VOLUME;
  if (call == "FindFirstVolumeA" || call == "GetLogicalDrives")
    return ERROR_GEN_FAILURE;
  return ERROR_INVALID_FUNCTION; // a device control that the device does not support
}

struct BusName {
  const char* name;
  std::int32_t value;
};
const BusName bus_names[] = {
    {"UNKNOWN", BusTypeUnknown}, {"SCSI", BusTypeScsi},
    {"ATAPI", BusTypeAtapi},     {"ATA", BusTypeAta},
    {"1394", BusType1394},       {"SSA", BusTypeSsa},
    {"FIBRE", BusTypeFibre},     {"USB", BusTypeUsb},
    {"RAID", BusTypeRAID},       {"ISCSI", BusTypeiScsi},
    {"SAS", BusTypeSas},         {"SATA", BusTypeSata},
    {"SD", BusTypeSd},           {"MMC", BusTypeMmc},
    {"VIRTUAL", BusTypeVirtual}, {"FILE BACKED VIRTUAL", BusTypeFileBackedVirtual},
    {"SPACES", BusTypeSpaces},   {"NVME", BusTypeNvme},
};

// Turns the text of a machine file into a MachineDescription; every fault throws MachineError
// with the place and the reason.
class MachineFileReader {
public:
  MachineFileReader(MachineDescription& machine, const std::string& folder)
      : machine(machine), folder(folder) {}

  void read(const config::Value& top) {
    if (top.type() != config::Value::Object)
      throw MachineError("the machine is not a member list");
    keys(top, {"drives", "volumes", "letters", "fail", "environment"}, "the machine");
    if (const config::Value* drives = member(top, "drives"))
      for (const config::Value& item : list(*drives, "\"drives\""))
        read_drive(item);
    if (const config::Value* volumes = member(top, "volumes")) {
      std::size_t index = 0;
      for (const config::Value& item : list(*volumes, "\"volumes\""))
        read_volume(item, index++);
    }
    if (const config::Value* letters = member(top, "letters"))
      machine.extraLetters = read_letters(*letters, "\"letters\"");
    machine.failures =
        failures(member(top, "fail"), {std::begin(machine_calls), std::end(machine_calls)},
                 "the machine's \"fail\"");
    if (const config::Value* environment = member(top, "environment")) {
      if (environment->type() != config::Value::Object)
        throw MachineError("\"environment\" is not an object");
      for (const auto& [name, value] : environment->as_object())
        setenv(name.c_str(), text(value, "\"environment\" \"" + name + "\"").c_str(), 0);
    }
  }

private:
  static const config::Value* member(const config::Value& object, const char* name) {
    return object.has(name) ? &object.get(name) : nullptr;
  }

  static void keys(const config::Value& object, std::initializer_list<const char*> known,
                   const std::string& where) {
    for (const auto& entry : object.as_object()) {
      bool found = false;
      for (const char* name : known)
        found = found || entry.first == name;
      if (!found)
        throw MachineError(where + " has the unknown member \"" + entry.first + "\"");
    }
  }

  static const config::Value::Items& list(const config::Value& value, const std::string& what) {
    if (value.type() != config::Value::List)
      throw MachineError(what + " is not a list");
    return value.as_list();
  }

  static std::uint64_t count(const config::Value& value, const std::string& what) {
    if (value.type() != config::Value::Number || value.as_number() < 0)
      throw MachineError(what + " is not a number of 0 or more");
    return static_cast<std::uint64_t>(value.as_number());
  }

  static std::uint64_t count(const config::Value& object, const char* name, std::uint64_t absent,
                             const std::string& where) {
    const config::Value* value = member(object, name);
    return value != nullptr ? count(*value, where + " \"" + name + "\"") : absent;
  }

  static std::string text(const config::Value& value, const std::string& what) {
    if (value.type() != config::Value::String)
      throw MachineError(what + " is not a string");
    return value.as_string();
  }

  static std::string text(const config::Value& object, const char* name, const std::string& where) {
    const config::Value* value = member(object, name);
    return value != nullptr ? text(*value, where + " \"" + name + "\"") : std::string();
  }

  static bool flag(const config::Value& object, const char* name, bool absent,
                   const std::string& where) {
    const config::Value* value = member(object, name);
    if (value == nullptr)
      return absent;
    if (value->type() != config::Value::Boolean)
      throw MachineError(where + " \"" + name + "\" is not true or false");
    return value->as_boolean();
  }

  static DWORD dword(std::uint64_t value, const std::string& what) {
    if (value > 0xFFFFFFFFu)
      throw MachineError(what + " is too large");
    return static_cast<DWORD>(value);
  }

  std::string read_letters(const config::Value& value, const std::string& what) {
    std::string letters = text(value, what);
    for (char& c : letters) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
      if (c < 'A' || c > 'Z')
        throw MachineError(what + " holds something other than drive letters");
      if (usedLetters.find(c) != std::string::npos)
        throw MachineError(what + ": the letter " + std::string(1, c) + " is given twice");
      usedLetters += c;
    }
    return letters;
  }

  static Failures failures(const config::Value* value, const std::set<std::string>& allowed,
                           const std::string& what) {
    Failures result;
    if (value == nullptr)
      return result;
    auto check = [&](const std::string& call) {
      if (allowed.count(call) == 0)
        throw MachineError(what + " names \"" + call + "\", which cannot fail there");
    };
    if (value->type() == config::Value::List) {
      for (const config::Value& item : value->as_list()) {
        const std::string call = text(item, what + " item");
        check(call);
        result[call] = default_failure(call);
      }
    } else if (value->type() == config::Value::Object) {
      for (const auto& [call, code] : value->as_object()) {
        check(call);
        result[call] = dword(count(code, what + " \"" + call + "\""), what);
        if (result[call] == 0)
          throw MachineError(what + " \"" + call + "\" is 0, which is no error");
      }
    } else {
      throw MachineError(what + " is neither a list nor an object");
    }
    return result;
  }

  static std::vector<SectorRange> ranges(const config::Value* value, const std::string& what) {
    std::vector<SectorRange> result;
    if (value == nullptr)
      return result;
    for (const config::Value& item : list(*value, what)) {
      const config::Value::Items& pair = list(item, what + " item");
      if (pair.size() != 2)
        throw MachineError(what + " item is not [first sector, count]");
      result.push_back({count(pair[0], what + " first sector"), count(pair[1], what + " count")});
    }
    return result;
  }

  static std::int32_t bus(const config::Value* value, const std::string& where) {
    if (value == nullptr)
      return BusTypeSata;
    if (value->type() == config::Value::Number)
      return static_cast<std::int32_t>(value->as_number());
    const std::string name = text(*value, where + " \"bus\"");
    for (const BusName& known : bus_names)
      if (name == known.name)
        return known.value;
    throw MachineError(where + " \"bus\" names no bus type: " + name);
  }

  // A stand-in: [kind, text], the kind "backing file", "driver" or "identifier".
  static StandIn stand_in(const config::Value* value, const std::string& what) {
    StandIn result;
    if (value == nullptr)
      return result;
    const config::Value::Items& pair = list(*value, what);
    if (pair.size() != 2)
      throw MachineError(what + " is not [kind, text]");
    const std::string kind = text(pair[0], what + " kind");
    const struct {
      const char* name;
      STAND_IN_KIND kind;
    } kinds[] = {{"backing file", StandInBackingFile},
                 {"driver", StandInDriver},
                 {"identifier", StandInIdentifier}};
    for (const auto& known : kinds)
      if (kind == known.name)
        result.kind = known.kind;
    if (result.kind == StandInNone)
      throw MachineError(what + " names no kind of stand-in: " + kind);
    result.text = text(pair[1], what + " text");
    return result;
  }

  void read_drive(const config::Value& item) {
    if (item.type() != config::Value::Object)
      throw MachineError("a drive is not an object");
    if (!item.has("number"))
      throw MachineError("a drive has no \"number\"");
    SimulatedDrive drive;
    drive.number = dword(count(item.get("number"), "a drive's \"number\""), "a drive's \"number\"");
    const std::string where = "drive " + std::to_string(drive.number);
    keys(item,
         {"number",
          "size",
          "sector size",
          "vendor",
          "product",
          "revision",
          "serial",
          "removable",
          "bus",
          "image",
          "geometry",
          "descriptor",
          "unreadable",
          "unwritable",
          "unreadable once",
          "unwritable once",
          "merged requests",
          "request time",
          "request log",
          "fail",
          "system name",
          "model stand-in",
          "serial stand-in"},
         where);
    if (machine.drive(drive.number) != nullptr)
      throw MachineError(where + " is given twice");
    if (!item.has("size"))
      throw MachineError(where + " has no \"size\"");
    drive.size = count(item, "size", 0, where);
    drive.sectorSize = dword(count(item, "sector size", 512, where), where + " \"sector size\"");
    drive.vendor = text(item, "vendor", where);
    drive.product = text(item, "product", where);
    drive.revision = text(item, "revision", where);
    drive.serial = text(item, "serial", where);
    drive.removable = flag(item, "removable", false, where);
    drive.busType = bus(member(item, "bus"), where);
    std::string image = text(item, "image", where);
    if (image.empty())
      image = "disk" + std::to_string(drive.number) + ".img";
    drive.image = (std::filesystem::path(folder) / image).lexically_normal().string();
    if (const config::Value* geometry = member(item, "geometry")) {
      const config::Value::Items& values = list(*geometry, where + " \"geometry\"");
      if (values.size() != 3)
        throw MachineError(where + " \"geometry\" is not [cylinders, tracks, sectors]");
      drive.cylinders = static_cast<std::int64_t>(count(values[0], where + " cylinders"));
      drive.tracksPerCylinder = dword(count(values[1], where + " tracks"), where + " tracks");
      drive.sectorsPerTrack = dword(count(values[2], where + " sectors"), where + " sectors");
    } else {
      drive.cylinders =
          drive.sectorSize != 0 ? static_cast<std::int64_t>(drive.size / drive.sectorSize) : 0;
    }
    if (const config::Value* descriptor = member(item, "descriptor"))
      drive.descriptor = text(*descriptor, where + " \"descriptor\"");
    else
      drive.descriptor = build_storage_descriptor({drive.vendor, drive.product, drive.revision,
                                                   drive.serial, drive.removable, drive.busType});
    drive.unreadable = ranges(member(item, "unreadable"), where + " \"unreadable\"");
    drive.unwritable = ranges(member(item, "unwritable"), where + " \"unwritable\"");
    drive.unreadableOnce = ranges(member(item, "unreadable once"), where + " \"unreadable once\"");
    drive.unwritableOnce = ranges(member(item, "unwritable once"), where + " \"unwritable once\"");
    drive.mergedRequests = flag(item, "merged requests", false, where);
    drive.requestMilliseconds = count(item, "request time", 0, where);
    if (const std::string log = text(item, "request log", where); !log.empty())
      drive.requestLog = (std::filesystem::path(folder) / log).lexically_normal().string();
    drive.failures =
        failures(member(item, "fail"), {std::begin(device_calls), std::end(device_calls)},
                 where + " \"fail\"");
    drive.systemName = text(item, "system name", where);
    drive.standIns.model = stand_in(member(item, "model stand-in"), where + " \"model stand-in\"");
    drive.standIns.serial =
        stand_in(member(item, "serial stand-in"), where + " \"serial stand-in\"");
    machine.drives.push_back(drive);
  }

  Extent extent(std::uint64_t disk, std::uint64_t offset, std::uint64_t length,
                const std::string& where) {
    const SimulatedDrive* drive = machine.drive(dword(disk, where + " disk"));
    if (drive == nullptr)
      throw MachineError(where + " lies on the disk " + std::to_string(disk) +
                         ", which is not described before it");
    if (offset > drive->size || length > drive->size - offset)
      throw MachineError(where + " passes the end of its disk");
    return {static_cast<DWORD>(disk), offset, length};
  }

  void read_volume(const config::Value& item, std::size_t index) {
    std::string where = "volume " + std::to_string(index + 1);
    if (item.type() != config::Value::Object)
      throw MachineError(where + " is not an object");
    keys(item,
         {"guid", "name", "disk", "offset", "length", "extents", "partition", "file system",
          "label", "letters", "mounted", "serial number", "fail", "mount points"},
         where);
    SimulatedVolume volume;
    volume.guid = text(item, "guid", where);
    if (volume.guid.empty()) {
      char made[40];
      std::snprintf(made, sizeof made, "5cb1f0e0-0000-4000-8000-%012llx",
                    static_cast<unsigned long long>(index + 1));
      volume.guid = made;
    }
    if (!is_guid(volume.guid))
      throw MachineError(where +
                         " \"guid\" is not of the form 01234567-89ab-cdef-0123-456789abcdef");
    for (char& c : volume.guid)
      if (c >= 'A' && c <= 'F')
        c = static_cast<char>(c - 'A' + 'a');
    for (const SimulatedVolume& other : machine.volumes)
      if (other.guid == volume.guid)
        throw MachineError(where + " has the GUID of another volume");
    volume.listedName = member(item, "name") != nullptr ? text(item, "name", where)
                                                        : volume_path(volume.guid) + "\\";
    if (const config::Value* extents = member(item, "extents")) {
      if (item.has("disk") || item.has("offset") || item.has("length"))
        throw MachineError(where + " has both \"extents\" and \"disk\", \"offset\" or \"length\"");
      for (const config::Value& piece : list(*extents, where + " \"extents\"")) {
        const config::Value::Items& values = list(piece, where + " extent");
        if (values.size() != 3)
          throw MachineError(where + " extent is not [disk, offset, length]");
        volume.extents.push_back(extent(count(values[0], where + " extent disk"),
                                        count(values[1], where + " extent offset"),
                                        count(values[2], where + " extent length"), where));
      }
      if (volume.extents.empty())
        throw MachineError(where + " \"extents\" is empty");
    } else {
      if (!item.has("disk") || !item.has("length"))
        throw MachineError(where + " has neither \"extents\" nor \"disk\" and \"length\"");
      volume.extents.push_back(extent(count(item, "disk", 0, where),
                                      count(item, "offset", 0, where),
                                      count(item, "length", 0, where), where));
    }
    std::uint64_t position = 1;
    for (const SimulatedVolume& other : machine.volumes)
      if (other.extents[0].disk == volume.extents[0].disk)
        ++position;
    volume.partitionNumber =
        dword(count(item, "partition", position, where), where + " \"partition\"");
    volume.fileSystem = text(item, "file system", where);
    volume.label = text(item, "label", where);
    if (const config::Value* letters = member(item, "letters"))
      volume.letters = read_letters(*letters, where + " \"letters\"");
    volume.mounted = flag(item, "mounted", !volume.fileSystem.empty(), where);
    volume.serialNumber =
        dword(count(item, "serial number", 0, where), where + " \"serial number\"");
    std::set<std::string> allowed(std::begin(device_calls), std::end(device_calls));
    allowed.insert(std::begin(volume_calls), std::end(volume_calls));
    volume.failures = failures(member(item, "fail"), allowed, where + " \"fail\"");
    if (const config::Value* points = member(item, "mount points"))
      for (const config::Value& point : list(*points, where + " \"mount points\""))
        volume.mountPoints.push_back(text(point, where + " mount point"));
    machine.volumes.push_back(volume);
  }

  MachineDescription& machine;
  std::string folder;
  std::string usedLetters;
};

} // namespace

const SimulatedDrive* MachineDescription::drive(DWORD number) const {
  for (const SimulatedDrive& candidate : drives)
    if (candidate.number == number)
      return &candidate;
  return nullptr;
}

MachineDescription read_machine_file(const config::Value& top, const std::string& folder) {
  MachineDescription machine;
  MachineFileReader(machine, folder).read(top);
  return machine;
}

} // namespace platform
