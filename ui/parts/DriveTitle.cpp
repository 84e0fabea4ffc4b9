#include "parts/DriveTitle.h"

#include "Format.h"
#include "Strings.h"

std::string drive_title(const Drive& drive) {
  std::string name = drive.model();
  if (!drive.serial().empty())
    name += (name.empty() ? "" : " / ") + drive.serial();
  if (name.empty())
    name = drive.id();
  return valid_utf8(name + " (" + format_size(drive.sectors() * drive.sector_size()) + ")");
}
