#include "parts/DriveMarkup.h"

#include "Translation.h"
#include "gtk/Markup.h"
#include "parts/DriveHeader.h"

#include <string>
#include <vector>

namespace {

struct Colours {
  const char* label;
  const char* value;
  const char* warning;
};

// clang-format off
const Colours light_colours{"<span color=\"green\" style=\"italic\">",
                            "<span color=\"white\">",
                            "<span color=\"red\" style=\"italic\">"};
const Colours dark_colours{"<span color=\"darkgreen\" style=\"italic\">",
                           "<span color=\"black\">",
                           "<span color=\"darkred\" style=\"italic\">"};
// clang-format on

// The caption is a translated text of ours; the value comes from the drive (its model and
// serial are whatever the hardware reports) and is escaped.
std::string row(const char* opener, const char* caption, const char* valueOpener,
                const std::string& value) {
  return std::string(opener) + gtk::escape_markup(gettext(caption)) + "</span>" + valueOpener +
         gtk::escape_markup(value) + "</span>";
}

// A model or serial row: the drive's own text, or where it is empty what the system says in its
// place, marked as such and in italics, so that it is not taken for what the drive reports.
std::string reported_row(const Colours& c, const char* caption, const std::string& reported,
                         const Drive::StandIn& standIn) {
  if (!reported.empty() || standIn.kind == Drive::StandIn::Kind::None)
    return row(c.label, caption, c.value, reported);
  return std::string(c.label) + gtk::escape_markup(gettext(caption)) + "</span>" + c.value + "<i>" +
         gtk::escape_markup(stand_in_text(standIn)) + "</i></span>";
}

} // namespace

std::string drive_markup(const Drive& drive, MarkupColours colours) {
  const Colours& c = colours == MarkupColours::OnDark ? light_colours : dark_colours;
  std::vector<std::string> rows = {row(c.label, N_("ID: "), c.value, drive.id())};
  // What the system under the platform layer calls the drive, where it says.
  if (!drive.system_name().empty())
    rows.push_back(row(c.label, N_("DEVICE: "), c.value, drive.system_name()));
  rows.push_back(reported_row(c, N_("MODEL: "), drive.model(), drive.model_stand_in()));
  rows.push_back(reported_row(c, N_("SERIAL: "), drive.serial(), drive.serial_stand_in()));
  rows.push_back(row(c.label, N_("SECTORS: "), c.value, std::to_string(drive.sectors())));
  rows.push_back(row(c.label, N_("SECTOR SIZE: "), c.value, std::to_string(drive.sector_size())));
  rows.push_back(row(c.label, N_("TOTAL SIZE: "), c.value,
                     std::to_string(drive.sectors() * drive.sector_size())));
  // Where its volumes are mounted, each beside its letter.
  for (const Partition& partition : drive.partitions()) {
    if (partition.mount_points().empty())
      continue;
    std::string where = partition.letter();
    for (const std::string& point : partition.mount_points())
      where += (where.empty() ? "" : " ") + point;
    rows.push_back(row(c.label, N_("MOUNTED: "), c.value, where));
  }
  std::string markup;
  for (const std::string& r : rows) {
    if (!markup.empty())
      markup += "\n";
    markup += r;
  }
  if (!drive.warning().empty())
    markup += "\n" + row(c.warning, N_("WARNING: "), c.value, drive.warning());
  return markup;
}
