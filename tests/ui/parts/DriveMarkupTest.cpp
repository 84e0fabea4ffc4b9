#include "parts/DriveMarkup.h"

#include <gtest/gtest.h>
#include <pango/pango.h>

namespace {

Drive drive(const char* model, const char* serial, const char* warning) {
  Drive d;
  d.set_id("\\\\.\\PhysicalDrive3");
  d.set_sectors(7814037168ULL);
  d.set_sector_size(4096);
  d.set_model(model);
  d.set_serial(serial);
  d.set_warning(warning);
  return d;
}

// The text a label shows for `markup`; "(invalid)" when it does not parse.
std::string shown(const std::string& markup) {
  gchar* text = nullptr;
  if (!pango_parse_markup(markup.c_str(), -1, 0, nullptr, &text, nullptr, nullptr))
    return "(invalid)";
  std::string result(text);
  g_free(text);
  return result;
}

} // namespace

TEST(DriveMarkup, RowsInBothColourSets) {
  const std::string light = drive_markup(drive("ST8000", "ZA1", ""), MarkupColours::OnDark);
  EXPECT_EQ(
      light,
      "<span color=\"green\" style=\"italic\">ID: </span><span color=\"white\">"
      "\\\\.\\PhysicalDrive3</span>\n"
      "<span color=\"green\" style=\"italic\">MODEL: </span><span color=\"white\">ST8000</span>\n"
      "<span color=\"green\" style=\"italic\">SERIAL: </span><span color=\"white\">ZA1</span>\n"
      "<span color=\"green\" style=\"italic\">SECTORS: </span><span "
      "color=\"white\">7814037168</span>\n"
      "<span color=\"green\" style=\"italic\">SECTOR SIZE: </span><span "
      "color=\"white\">4096</span>\n"
      "<span color=\"green\" style=\"italic\">TOTAL SIZE: </span><span color=\"white\">"
      "32006296240128</span>");
  const std::string dark =
      drive_markup(drive("ST8000", "ZA1", "System Drive"), MarkupColours::OnLight);
  EXPECT_EQ(
      dark.rfind("<span color=\"darkgreen\" style=\"italic\">ID: </span><span color=\"black\">", 0),
      0u);
  EXPECT_NE(dark.find("\n<span color=\"darkred\" style=\"italic\">WARNING: </span>"
                      "<span color=\"black\">System Drive</span>"),
            std::string::npos);
  EXPECT_EQ(dark.back(), '>');
}

TEST(DriveMarkup, DriveTextsShowAsTheyAre) {
  const struct {
    const char* model;
    const char* serial;
    const char* warning;
    const char* expected;
  } cases[] = {
      {"A&B <1>", "S", "",
       "ID: \\\\.\\PhysicalDrive3\nMODEL: A&B <1>\nSERIAL: S\nSECTORS: 7814037168\n"
       "SECTOR SIZE: 4096\nTOTAL SIZE: 32006296240128"},
      {"M", "</span><b>x", "\"Tools\" Drive",
       "ID: \\\\.\\PhysicalDrive3\nMODEL: M\nSERIAL: </span><b>x\nSECTORS: 7814037168\n"
       "SECTOR SIZE: 4096\nTOTAL SIZE: 32006296240128\nWARNING: \"Tools\" Drive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    EXPECT_EQ(shown(drive_markup(drive(c.model, c.serial, c.warning), MarkupColours::OnDark)),
              c.expected);
    EXPECT_EQ(shown(drive_markup(drive(c.model, c.serial, c.warning), MarkupColours::OnLight)),
              c.expected);
  }
}

// What the system says of a drive: its device after the identifier, a stand-in for an empty
// model or serial marked (and in italics), and each mounted volume beside its letter. The
// drive's own texts are never replaced.
TEST(DriveMarkup, WhatTheSystemSaysStandsBesideTheDrivesOwnTexts) {
  Drive loop = drive("", "", "");
  loop.set_system_name("/dev/loop7");
  loop.set_model_stand_in({Drive::StandIn::Kind::BackingFile, "/srv/a&b.img"});
  loop.set_serial_stand_in({Drive::StandIn::Kind::Identifier, "naa.5000"});
  Partition mounted;
  mounted.set_letter("D:");
  mounted.set_mount_points({"/media/stick", "/mnt/x"});
  Partition unlettered;
  unlettered.set_mount_points({"/srv/data"});
  loop.set_partitions({Partition(), mounted, unlettered});
  EXPECT_EQ(shown(drive_markup(loop, MarkupColours::OnDark)),
            "ID: \\\\.\\PhysicalDrive3\nDEVICE: /dev/loop7\nMODEL: /srv/a&b.img (backing file)\n"
            "SERIAL: naa.5000 (identifier)\nSECTORS: 7814037168\nSECTOR SIZE: 4096\n"
            "TOTAL SIZE: 32006296240128\nMOUNTED: D: /media/stick /mnt/x\nMOUNTED: /srv/data");
  EXPECT_NE(
      drive_markup(loop, MarkupColours::OnLight).find("<i>/srv/a&amp;b.img (backing file)</i>"),
      std::string::npos);

  Drive own = loop;
  own.set_model("ST8000");
  own.set_serial("ZA1");
  const std::string text = shown(drive_markup(own, MarkupColours::OnDark));
  EXPECT_NE(text.find("MODEL: ST8000\nSERIAL: ZA1\n"), std::string::npos) << text;
}
