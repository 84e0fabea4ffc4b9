#include "parts/DriveHeader.h"

#include "Format.h"
#include "Translation.h"

std::string stand_in_text(const Drive::StandIn& standIn) {
  switch (standIn.kind) {
  case Drive::StandIn::Kind::BackingFile: return format(gettext("%1 (backing file)"), standIn.text);
  case Drive::StandIn::Kind::Driver: return format(gettext("%1 (driver)"), standIn.text);
  case Drive::StandIn::Kind::Identifier: return format(gettext("%1 (identifier)"), standIn.text);
  case Drive::StandIn::Kind::None: break;
  }
  return std::string();
}

DriveHeader drive_header(const Drive& drive) {
  DriveHeader header;
  header.model = drive.model().empty() ? stand_in_text(drive.model_stand_in()) : drive.model();
  header.serial = drive.serial().empty() ? stand_in_text(drive.serial_stand_in()) : drive.serial();
  // Named first, as the system's own listings name its disks.
  if (!drive.system_name().empty())
    header.model = drive.system_name() + (header.model.empty() ? "" : "  " + header.model);
  return header;
}

std::string drive_header_line(const Drive& drive) {
  const DriveHeader header = drive_header(drive);
  if (header.model.empty() && header.serial.empty())
    return drive.id();
  if (header.serial.empty())
    return header.model;
  if (header.model.empty())
    return header.serial;
  return header.model + " / " + header.serial;
}
