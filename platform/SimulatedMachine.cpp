// The simulated machine: drives backed by image files, volumes on them, and the failures that
// the machine file switches on.
//
// Implements just enough of a Windows machine's drives and volumes for this project's tests
// and demonstrations. A write into a volume that is mounted and neither dismounted nor locked
// by this process is refused, as Windows refuses it.
#include "SimulatedMachine.h"

#include "ConfigValue.h"
#include "DebugLog.h"
#include "DevicePath.h"
#include "Errno.h"
#include "StorageDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>

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

} // namespace

// Turns the text of a machine file into a SimulatedMachine; every fault throws MachineError
// with the place and the reason.
class MachineFileReader {
public:
  MachineFileReader(SimulatedMachine& machine, const std::string& folder)
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
      machine.extraLetters_ = read_letters(*letters, "\"letters\"");
    machine.failures_ =
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

  void read_drive(const config::Value& item) {
    if (item.type() != config::Value::Object)
      throw MachineError("a drive is not an object");
    if (!item.has("number"))
      throw MachineError("a drive has no \"number\"");
    SimulatedDrive drive;
    drive.number = dword(count(item.get("number"), "a drive's \"number\""), "a drive's \"number\"");
    const std::string where = "drive " + std::to_string(drive.number);
    keys(item,
         {"number", "size", "sector size", "vendor", "product", "revision", "serial", "removable",
          "bus", "image", "geometry", "descriptor", "unreadable", "unwritable", "fail"},
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
    drive.failures =
        failures(member(item, "fail"), {std::begin(device_calls), std::end(device_calls)},
                 where + " \"fail\"");
    machine.drives_.push_back(drive);
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
          "label", "letters", "mounted", "serial number", "fail"},
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
    for (const SimulatedVolume& other : machine.volumes_)
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
    for (const SimulatedVolume& other : machine.volumes_)
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
    machine.volumes_.push_back(volume);
  }

  SimulatedMachine& machine;
  std::string folder;
  std::string usedLetters;
};

namespace {

std::atomic<std::uint64_t> next_token{1};

bool overlaps(std::uint64_t a, std::uint64_t aLength, std::uint64_t b, std::uint64_t bLength) {
  return a < b + bLength && b < a + aLength;
}

bool touches(const std::vector<SectorRange>& ranges, std::uint32_t sectorSize, std::uint64_t offset,
             std::uint64_t length) {
  for (const SectorRange& range : ranges)
    if (overlaps(offset, length, range.first * sectorSize, range.count * sectorSize))
      return true;
  return false;
}

bool has_claim(const std::vector<SimulatedState::Claim>& claims, const std::string& volume,
               long pid, bool samePid) {
  for (const SimulatedState::Claim& claim : claims)
    if (claim.volume == volume && (claim.pid == pid) == samePid)
      return true;
  return false;
}

// Gives the image the drive's size, sparse, when it is missing or shorter.
bool prepare_image(const SimulatedDrive& drive) {
  struct stat status;
  if (stat(drive.image.c_str(), &status) == 0 &&
      static_cast<std::uint64_t>(status.st_size) >= drive.size)
    return true;
  const int fd = ::open(drive.image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = fstat(fd, &status) == 0;
  if (ok && static_cast<std::uint64_t>(status.st_size) < drive.size)
    ok = ftruncate(fd, static_cast<off_t>(drive.size)) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

// One drive or volume of the simulated machine.
class SimulatedDevice : public Device {
public:
  SimulatedDevice(std::shared_ptr<const SimulatedMachine> machine, const SimulatedDrive* drive,
                  const SimulatedVolume* volume)
      : machine(std::move(machine)), drive(drive), volume(volume) {}

  ~SimulatedDevice() override {
    for (const auto& entry : images)
      ::close(entry.second);
  }

  // Opens the images that the device lies on. False with the last error set.
  bool open_images(DWORD access, DWORD flags) {
    int mode = (access & GENERIC_WRITE) != 0 ? O_RDWR : O_RDONLY;
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0)
      mode |= O_DSYNC;
    std::vector<DWORD> disks;
    if (drive != nullptr)
      disks.push_back(drive->number);
    else
      for (const Extent& extent : volume->extents)
        disks.push_back(extent.disk);
    for (DWORD disk : disks) {
      if (images.count(disk) != 0)
        continue;
      const SimulatedDrive& image = *machine->drive(disk);
      if (!prepare_image(image)) {
        set_last_error_from_errno(errno);
        return false;
      }
      const int fd = ::open(image.image.c_str(), mode | O_CLOEXEC);
      if (fd < 0) {
        set_last_error_from_errno(errno);
        return false;
      }
      images[disk] = fd;
    }
    return true;
  }

  void make_facts() {
    const SimulatedDrive& disk =
        drive != nullptr ? *drive : *machine->drive(volume->extents[0].disk);
    facts_.diskNumber = disk.number;
    facts_.sectorSize = disk.sectorSize;
    facts_.cylinders = disk.cylinders;
    facts_.tracksPerCylinder = disk.tracksPerCylinder;
    facts_.sectorsPerTrack = disk.sectorsPerTrack;
    facts_.removable = disk.removable;
    facts_.descriptor = disk.descriptor;
    if (drive != nullptr) {
      facts_.size = drive->size;
      return;
    }
    facts_.volume = true;
    facts_.partitionNumber = volume->partitionNumber;
    facts_.hasDeviceNumber = volume->extents.size() == 1;
    facts_.offset = volume->extents[0].offset;
    facts_.extents = volume->extents;
    for (const Extent& extent : volume->extents)
      facts_.size += extent.length;
  }

  const DeviceFacts& facts() const override { return facts_; }

  DWORD failure(const char* call) const override {
    const Failures& failures = drive != nullptr ? drive->failures : volume->failures;
    auto found = failures.find(call);
    return found != failures.end() ? found->second : 0;
  }

  bool read(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) override {
    done = 0;
    for (const Piece& piece : pieces(offset, length)) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (touches(disk.unreadable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_CRC);
        return false;
      }
    }
    for (const Piece& piece : pieces(offset, length)) {
      char* into = static_cast<char*>(buffer) + piece.at;
      std::size_t got = 0;
      while (got < piece.length) {
        const ssize_t n = pread(images.at(piece.disk), into + got, piece.length - got,
                                static_cast<off_t>(piece.offset + got));
        if (n < 0 && errno == EINTR)
          continue;
        if (n < 0) {
          done = piece.at + got;
          set_last_error_from_errno(errno);
          return false;
        }
        if (n == 0) { // an image shorter than its drive reads as zeros
          std::memset(into + got, 0, piece.length - got);
          break;
        }
        got += static_cast<std::size_t>(n);
      }
      done = piece.at + piece.length;
    }
    return true;
  }

  bool write(std::uint64_t offset, const void* data, std::size_t length,
             std::size_t& done) override {
    done = 0;
    SimulatedState::Snapshot snapshot;
    if (!machine->state().read(snapshot))
      return false;
    const std::vector<Piece> all = pieces(offset, length);
    for (const Piece& piece : all) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (!writable(piece, snapshot)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
      }
      if (touches(disk.unwritable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
    }
    for (const Piece& piece : all) {
      const char* from = static_cast<const char*>(data) + piece.at;
      for (std::size_t put = 0; put < piece.length;) {
        const ssize_t n = pwrite(images.at(piece.disk), from + put, piece.length - put,
                                 static_cast<off_t>(piece.offset + put));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0) {
          set_last_error_from_errno(n < 0 ? errno : EIO);
          return false;
        }
        put += static_cast<std::size_t>(n);
        done += static_cast<std::size_t>(n);
      }
    }
    return true;
  }

  bool flush() override {
    for (const auto& entry : images) {
      if (fsync(entry.second) != 0) {
        set_last_error_from_errno(errno);
        return false;
      }
    }
    return true;
  }

  bool lock() override {
    claimed = true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (const SimulatedState::Claim& claim : snapshot.locks) {
        if (claim.volume != volume->guid)
          continue;
        if (claim.pid == pid && claim.token == token)
          return true;
        SetLastError(ERROR_ACCESS_DENIED); // another handle holds the lock
        return false;
      }
      snapshot.locks.push_back({volume->guid, pid, token});
      return true;
    });
  }

  bool dismount() override {
    claimed = true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (const SimulatedState::Claim& claim : snapshot.dismounts)
        if (claim.volume == volume->guid && claim.pid == pid && claim.token == token)
          return true;
      snapshot.dismounts.push_back({volume->guid, pid, token});
      return true;
    });
  }

  // Ends the locks and dismounts of this device: the volume is mounted again.
  bool close() override {
    if (!claimed)
      return true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (auto* claims : {&snapshot.locks, &snapshot.dismounts}) {
        for (auto it = claims->begin(); it != claims->end();) {
          if (it->pid == pid && it->token == token)
            it = claims->erase(it);
          else
            ++it;
        }
      }
      return true;
    });
  }

private:
  // A stretch of a transfer on one disk: `at` bytes into the caller's buffer.
  struct Piece {
    DWORD disk;
    std::uint64_t offset;
    std::size_t length;
    std::size_t at;
  };

  std::vector<Piece> pieces(std::uint64_t offset, std::size_t length) const {
    std::vector<Piece> result;
    if (drive != nullptr) {
      result.push_back({drive->number, offset, length, 0});
      return result;
    }
    std::size_t at = 0;
    std::uint64_t start = 0; // of the extent within the volume
    for (const Extent& extent : volume->extents) {
      if (at == length)
        break;
      const std::uint64_t position = offset + at;
      if (position < start + extent.length) {
        const std::uint64_t into = position - start;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - at, extent.length - into));
        result.push_back({extent.disk, extent.offset + into, n, at});
        at += n;
      }
      start += extent.length;
    }
    return result;
  }

  // A piece may be written unless it lies in a volume that is mounted and neither dismounted
  // nor locked by this process, or in a volume that another process has locked.
  bool writable(const Piece& piece, const SimulatedState::Snapshot& snapshot) const {
    const long pid = static_cast<long>(getpid());
    for (const SimulatedVolume& other : machine->volumes()) {
      bool inside = false;
      for (const Extent& extent : other.extents)
        inside = inside || (extent.disk == piece.disk &&
                            overlaps(piece.offset, piece.length, extent.offset, extent.length));
      if (!inside)
        continue;
      if (has_claim(snapshot.locks, other.guid, pid, false))
        return false;
      if (has_claim(snapshot.locks, other.guid, pid, true) || !other.mounted)
        continue;
      bool dismounted = false;
      for (const SimulatedState::Claim& claim : snapshot.dismounts)
        dismounted = dismounted || claim.volume == other.guid;
      if (!dismounted)
        return false;
    }
    return true;
  }

  std::shared_ptr<const SimulatedMachine> machine;
  const SimulatedDrive* drive;
  const SimulatedVolume* volume;
  DeviceFacts facts_;
  std::map<DWORD, int> images; // by disk number
  std::uint64_t token = next_token++;
  bool claimed = false; // has locked or dismounted: the state must be cleaned at close
};

bool fail_with(DWORD code) {
  SetLastError(code);
  return false;
}

} // namespace

std::shared_ptr<SimulatedMachine> SimulatedMachine::load(const std::string& file) {
  std::ifstream stream(file, std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  if (!stream) {
    debug_log() << "SimulatedMachine.cpp(478): " << file << ": the machine file cannot be read\n";
    return nullptr;
  }
  config::Value top;
  if (!top.parse(text.str().c_str())) {
    debug_log() << "SimulatedMachine.cpp(483): " << file << ": the machine file is not in the "
                << "text form of values\n";
    return nullptr;
  }
  std::shared_ptr<SimulatedMachine> machine(new SimulatedMachine(file));
  const std::string folder = std::filesystem::path(file).parent_path().string();
  try {
    MachineFileReader(*machine, folder.empty() ? "." : folder).read(top);
  } catch (const std::exception& error) {
    debug_log() << "SimulatedMachine.cpp(492): " << file << ": " << error.what() << "\n";
    return nullptr;
  }
  return machine;
}

const SimulatedDrive* SimulatedMachine::drive(DWORD number) const {
  for (const SimulatedDrive& candidate : drives_)
    if (candidate.number == number)
      return &candidate;
  return nullptr;
}

const SimulatedVolume*
SimulatedMachine::volume_with_letter(char letter, const SimulatedState::Snapshot& snapshot) const {
  if (snapshot.deletedLetters.find(letter) != std::string::npos)
    return nullptr;
  for (const SimulatedVolume& volume : volumes_)
    if (volume.letters.find(letter) != std::string::npos)
      return &volume;
  return nullptr;
}

const SimulatedVolume* SimulatedMachine::find_volume(const std::string& path,
                                                     bool& noMedium) const {
  noMedium = false;
  const DevicePath parsed = parse_device_path(path);
  if (parsed.kind == DevicePath::Letter) {
    SimulatedState::Snapshot snapshot;
    if (!state_.read(snapshot))
      return nullptr;
    const SimulatedVolume* volume = volume_with_letter(parsed.letter, snapshot);
    noMedium = volume == nullptr && extraLetters_.find(parsed.letter) != std::string::npos &&
               snapshot.deletedLetters.find(parsed.letter) == std::string::npos;
    return volume;
  }
  for (const SimulatedVolume& volume : volumes_) {
    if (parsed.kind == DevicePath::Volume ? volume.guid == parsed.guid
                                          : volume.listedName == path + "\\")
      return &volume;
  }
  return nullptr;
}

std::unique_ptr<Device> SimulatedMachine::open(const std::string& path, DWORD access, DWORD flags) {
  const DevicePath parsed = parse_device_path(path);
  const SimulatedDrive* drive = nullptr;
  const SimulatedVolume* volume = nullptr;
  if (parsed.kind == DevicePath::Drive) {
    drive = this->drive(parsed.number);
    if (drive == nullptr) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
  } else {
    bool noMedium = false;
    volume = find_volume(path, noMedium);
    if (volume == nullptr) {
      SetLastError(noMedium                           ? ERROR_NOT_READY
                   : parsed.kind != DevicePath::Other ? ERROR_FILE_NOT_FOUND
                                                      : unknown_path_error(path));
      return nullptr;
    }
  }
  auto device = std::make_unique<SimulatedDevice>(shared_from_this(), drive, volume);
  if (const DWORD code = device->failure("CreateFileA")) {
    SetLastError(code);
    return nullptr;
  }
  if (!device->open_images(access, flags))
    return nullptr;
  device->make_facts();
  return device;
}

bool SimulatedMachine::volume_names(std::vector<std::string>& names) {
  auto failed = failures_.find("FindFirstVolumeA");
  if (failed != failures_.end())
    return fail_with(failed->second);
  names.clear();
  for (const SimulatedVolume& volume : volumes_)
    names.push_back(volume.listedName);
  return true;
}

bool SimulatedMachine::volume_information(const std::string& root, VolumeInformation& info) {
  const DevicePath parsed = parse_root_path(root);
  if (root.empty() || root.back() != '\\')
    return fail_with(ERROR_INVALID_NAME);
  const std::string bare = parsed.kind == DevicePath::Letter
                               ? std::string("\\\\.\\") + parsed.letter + ":"
                               : root.substr(0, root.size() - 1);
  bool noMedium = false;
  const SimulatedVolume* volume = find_volume(bare, noMedium);
  if (volume == nullptr)
    return fail_with(noMedium ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
  auto failed = volume->failures.find("GetVolumeInformationA");
  if (failed != volume->failures.end())
    return fail_with(failed->second);
  if (!volume->mounted)
    return fail_with(ERROR_UNRECOGNIZED_VOLUME);
  info.label = volume->label;
  info.fileSystem = volume->fileSystem;
  info.serialNumber = volume->serialNumber;
  return true;
}

DWORD SimulatedMachine::logical_drives() {
  auto failed = failures_.find("GetLogicalDrives");
  if (failed != failures_.end()) {
    SetLastError(failed->second);
    return 0;
  }
  SimulatedState::Snapshot snapshot;
  if (!state_.read(snapshot))
    return 0;
  DWORD mask = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (snapshot.deletedLetters.find(letter) != std::string::npos)
      continue;
    if (volume_with_letter(letter, snapshot) != nullptr ||
        extraLetters_.find(letter) != std::string::npos)
      mask |= 1u << (letter - 'A');
  }
  return mask;
}

bool SimulatedMachine::delete_mount_point(char letter) {
  SimulatedState::Snapshot snapshot;
  if (!state_.read(snapshot))
    return false;
  const SimulatedVolume* volume = volume_with_letter(letter, snapshot);
  if (volume == nullptr) {
    const bool noMedium = extraLetters_.find(letter) != std::string::npos &&
                          snapshot.deletedLetters.find(letter) == std::string::npos;
    return fail_with(noMedium ? ERROR_NOT_READY : ERROR_FILE_NOT_FOUND);
  }
  auto failed = volume->failures.find("DeleteVolumeMountPointA");
  if (failed != volume->failures.end())
    return fail_with(failed->second);
  return state_.update([&](SimulatedState::Snapshot& current) {
    if (current.deletedLetters.find(letter) == std::string::npos)
      current.deletedLetters += letter;
    return true;
  });
}

} // namespace platform
