#include "parts/DriveMarkup.h"

#include "Translation.h"
#include "gtk/Markup.h"

#include <string>

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

} // namespace

std::string drive_markup(const Drive& drive, MarkupColours colours) {
  const Colours& c = colours == MarkupColours::OnDark ? light_colours : dark_colours;
  const std::string rows[] = {
      row(c.label, N_("ID: "), c.value, drive.id()),
      row(c.label, N_("MODEL: "), c.value, drive.model()),
      row(c.label, N_("SERIAL: "), c.value, drive.serial()),
      row(c.label, N_("SECTORS: "), c.value, std::to_string(drive.sectors())),
      row(c.label, N_("SECTOR SIZE: "), c.value, std::to_string(drive.sector_size())),
      row(c.label, N_("TOTAL SIZE: "), c.value,
          std::to_string(drive.sectors() * drive.sector_size())),
  };
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
