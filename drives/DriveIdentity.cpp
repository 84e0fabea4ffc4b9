#include "DriveIdentity.h"

#include "DebugLog.h"
#include "DeviceHandle.h"
#include "DevicesInfo.h"
#include "DrivesFactory.h"
#include "Format.h"
#include "PropertyMap.h"
#include "Translation.h"

#include <ostream>
#include <stdexcept>

namespace {

// "MODEL / SERIAL, N sectors of S bytes": all that tells one disk from another.
std::string identity_text(const Drive& drive) {
  return format(gettext("%1 / %2, %3 sectors of %4 bytes"), drive.model(), drive.serial(),
                std::to_string(drive.sectors()), std::to_string(drive.sector_size()));
}

} // namespace

bool read_drive_identity(const std::string& id, Drive& now) {
  const DeviceHandle device(CreateFileA(id.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device.valid()) {
    debug_log() << "DriveIdentity.cpp(31): " << id << "\n";
    return false;
  }
  PropertyMap properties;
  properties.set_string("File", id, PropertyMap::Existing::Keep);
  try {
    if (!get_storage_properties(device.get(), properties)) {
      debug_log() << "DriveIdentity.cpp(38): " << id << "\n";
      return false;
    }
  } catch (const std::runtime_error& error) {
    debug_log() << "DriveIdentity.cpp(42): " << id << ": " << error.what() << "\n";
    return false;
  }
  get_identity_property(device.get(), properties);
  Drive read;
  if (!drive_from_device(properties, read))
    return false;
  now = read;
  return true;
}

namespace {

bool same_four(const Drive& a, const Drive& b) {
  return a.model() == b.model() && a.serial() == b.serial() && a.sectors() == b.sectors() &&
         a.sector_size() == b.sector_size();
}

std::string unconfirmed_text(const Drive& opened) {
  return format(gettext("%1 cannot be read now: it cannot be confirmed that it is still the "
                        "drive this task was opened for (%2)."),
                opened.id(), identity_text(opened));
}

} // namespace

bool same_disk(const Drive& opened, const Drive& now) {
  return same_four(opened, now) &&
         (opened.identity().empty() || opened.identity() == now.identity());
}

std::string drive_identity_change(const Drive& opened) {
  Drive now;
  if (!read_drive_identity(opened.id(), now))
    return unconfirmed_text(opened);
  if (same_disk(opened, now))
    return std::string();
  debug_log() << "DriveIdentity.cpp(63): " << opened.id() << " was " << identity_text(opened) << " "
              << opened.identity() << ", is " << identity_text(now) << " " << now.identity()
              << "\n";
  return drive_change_text(opened, now);
}

std::string drive_change_text(const Drive& opened, const Drive& now) {
  if (same_four(opened, now) && now.identity().empty())
    return unconfirmed_text(opened);
  if (same_four(opened, now))
    return format(gettext("%1 is no longer the drive this task was opened for: another disk of "
                          "the same model, serial and size (%2) has taken its place."),
                  opened.id(), identity_text(now));
  return format(gettext("%1 is no longer the drive this task was opened for: it was %2, it is "
                        "now %3."),
                opened.id(), identity_text(opened), identity_text(now));
}
