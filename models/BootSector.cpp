#include "BootSector.h"

#include "SectorDump.h"
#include "Translation.h"

#include <glib.h>
#include <libintl.h>

#include <algorithm>

namespace {

enum class Shown { Decimal, Hex, Text };

struct Field {
  const char* label;
  std::size_t offset;
  std::size_t width;
  Shown shown;
};

// clang-format off
const Field common_fields[] = {
    {N_("Jump Code"),           0,  3, Shown::Hex},
    {N_("OEM Name"),            3,  8, Shown::Text},
    {N_("Sector Size"),         11, 2, Shown::Decimal},
    {N_("Sectors Per Cluster"), 13, 1, Shown::Decimal},
    {N_("Reserved Sectors"),    14, 2, Shown::Decimal},
    {N_("Number of FATs"),      16, 1, Shown::Decimal},
    {N_("Root Entries Count"),  17, 2, Shown::Decimal},
    {N_("Total Sectors (16)"),  19, 2, Shown::Decimal},
    {N_("Media Descriptor"),    21, 1, Shown::Hex},
    {N_("Sectors Per FAT"),     22, 2, Shown::Decimal},
    {N_("Sectors Per Track"),   24, 2, Shown::Decimal},
    {N_("Number of Heads"),     26, 2, Shown::Decimal},
    {N_("Hidden Sectors"),      28, 4, Shown::Decimal},
    {N_("Total Sectors (32)"),  32, 4, Shown::Decimal},
};

const Field fat16_fields[] = {
    {N_("Drive Number (FAT16)"),       36, 1,  Shown::Hex},
    {N_("Extended Signature (FAT16)"), 38, 1,  Shown::Hex},
    {N_("Serial Number (FAT16)"),      39, 4,  Shown::Decimal},
    {N_("Volume Label (FAT16)"),       43, 11, Shown::Text},
    {N_("File System (FAT16)"),        54, 8,  Shown::Text},
};

const Field fat32_fields[] = {
    {N_("Sectors Per FAT (FAT32)"),    36, 4,  Shown::Decimal},
    {N_("Extended Flags (FAT32)"),     40, 2,  Shown::Hex},
    {N_("FS Version (major) (FAT32)"), 42, 1,  Shown::Hex},
    {N_("FS Version (minor) (FAT32)"), 43, 1,  Shown::Hex},
    {N_("Root Cluster (FAT32)"),       44, 4,  Shown::Decimal},
    {N_("Info Sector (FAT32)"),        48, 2,  Shown::Decimal},
    {N_("Backup Sector (FAT32)"),      50, 2,  Shown::Decimal},
    {N_("Drive Number (FAT32)"),       64, 1,  Shown::Hex},
    {N_("Extended Signature (FAT32)"), 66, 1,  Shown::Hex},
    {N_("Serial Number (FAT32)"),      67, 4,  Shown::Decimal},
    {N_("Volume Label (FAT32)"),       71, 11, Shown::Text},
    {N_("File System (FAT32)"),        82, 8,  Shown::Text},
};

const Field ntfs_fields[] = {
    {N_("Flags (NTFS)"),                 36, 4, Shown::Hex},
    {N_("Total Sectors (NTFS)"),         40, 8, Shown::Decimal},
    {N_("$MFT Cluster (NTFS)"),          48, 8, Shown::Decimal},
    {N_("$MFT Mirror Cluster (NTFS)"),   56, 8, Shown::Decimal},
    {N_("File Record Clusters (NTFS)"),  64, 4, Shown::Decimal},
    {N_("Index Buffer Clusters (NTFS)"), 68, 4, Shown::Decimal},
    {N_("Serial Number (NTFS)"),         72, 4, Shown::Decimal},
};

const Field signature_field = {N_("Sector Signature"), 510, 2, Shown::Hex};
// clang-format on

constexpr std::size_t boot_sector_size = 512;

std::uint64_t little_endian(const unsigned char* bytes, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i > 0; --i)
    value = value << 8 | bytes[i - 1];
  return value;
}

std::string field_value(const unsigned char* sector, const Field& field) {
  const unsigned char* bytes = sector + field.offset;
  switch (field.shown) {
  case Shown::Hex: return format_hex_bytes(bytes, field.width);
  case Shown::Text: return "'" + format_chars(bytes, field.width) + "'";
  case Shown::Decimal: break;
  }
  return format_u64(little_endian(bytes, field.width));
}

template <std::size_t N>
void append_fields(Rows& rows, const unsigned char* sector, const Field (&fields)[N]) {
  for (const Field& field : fields)
    append_row(rows, gettext(field.label), field_value(sector, field));
}

} // namespace

std::string decode_boot_sector(const std::string& sector, int variant) {
  if (sector.size() < boot_sector_size)
    return sector_hex_dump(sector);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(sector.data());
  Rows rows;
  append_fields(rows, bytes, common_fields);
  if (variant == BootSectorFat16)
    append_fields(rows, bytes, fat16_fields);
  else if (variant == BootSectorFat32)
    append_fields(rows, bytes, fat32_fields);
  else
    append_fields(rows, bytes, ntfs_fields);
  append_row(rows, gettext(signature_field.label), field_value(bytes, signature_field));
  return format_rows(rows);
}

void append_row(Rows& rows, const std::string& label, const std::string& value) {
  rows.emplace_back(label, value);
}

std::string format_rows(const Rows& rows) {
  std::size_t width = 0;
  for (const auto& row : rows)
    width = std::max<std::size_t>(width, g_utf8_strlen(row.first.c_str(), row.first.size()));
  std::string text;
  for (const auto& row : rows) {
    text.append(width - g_utf8_strlen(row.first.c_str(), row.first.size()), ' ');
    text += row.first;
    text += ": ";
    text += row.second;
    text += '\n';
  }
  return text;
}

std::string format_u8(std::uint8_t value) { return std::to_string(value); }
std::string format_u16(std::uint16_t value) { return std::to_string(value); }
std::string format_u32(std::uint32_t value) { return std::to_string(value); }
std::string format_u64(std::uint64_t value) { return std::to_string(value); }

std::string format_hex_bytes(const unsigned char* bytes, std::size_t count) {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0)
      text += ' ';
    text += hex[bytes[i] >> 4];
    text += hex[bytes[i] & 15];
  }
  return text;
}

std::string format_chars(const unsigned char* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
  return text;
}
