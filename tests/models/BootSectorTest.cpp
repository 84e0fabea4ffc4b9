#include "BootSector.h"
#include "SectorDump.h"

#include "Files.h"

#include "SystemTool.h"
#include "TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

// The rows of a decoded table by label; every colon must stand in the same column.
std::map<std::string, std::string> rows_of(const std::string& table, std::size_t* count = nullptr) {
  std::map<std::string, std::string> rows;
  std::size_t column = std::string::npos;
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start < table.size()) {
    const std::size_t end = table.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "the last row has no line end";
    const std::string line = table.substr(start, end - start);
    const std::size_t colon = line.find(": ");
    if (column == std::string::npos)
      column = colon;
    EXPECT_EQ(colon, column) << line;
    const std::size_t label = line.find_first_not_of(' ');
    rows[line.substr(label, colon - label)] = line.substr(colon + 2);
    ++lines;
    start = end + 1;
  }
  if (count != nullptr)
    *count = lines;
  return rows;
}

void put(std::string& sector, std::size_t offset, const std::string& bytes) {
  sector.replace(offset, bytes.size(), bytes);
}

} // namespace

TEST(BootSector, ZeroSectorAsFat16) {
  EXPECT_EQ(decode_boot_sector(std::string(512, '\0'), BootSectorFat16),
            "                 Jump Code: 00 00 00\n"
            "                  OEM Name: '........'\n"
            "               Sector Size: 0\n"
            "       Sectors Per Cluster: 0\n"
            "          Reserved Sectors: 0\n"
            "            Number of FATs: 0\n"
            "        Root Entries Count: 0\n"
            "        Total Sectors (16): 0\n"
            "          Media Descriptor: 00\n"
            "           Sectors Per FAT: 0\n"
            "         Sectors Per Track: 0\n"
            "           Number of Heads: 0\n"
            "            Hidden Sectors: 0\n"
            "        Total Sectors (32): 0\n"
            "      Drive Number (FAT16): 00\n"
            "Extended Signature (FAT16): 00\n"
            "     Serial Number (FAT16): 0\n"
            "      Volume Label (FAT16): '...........'\n"
            "       File System (FAT16): '........'\n"
            "          Sector Signature: 00 00\n");
}

TEST(BootSector, FieldsOfHandMadeSectors) {
  std::string sector(512, '\0');
  put(sector, 0, "\xeb\x3c\x90MSDOS5.0");
  put(sector, 11, std::string("\x00\x02\x80", 3));          // 512 bytes, 128 per cluster
  put(sector, 28, std::string("\x00\x08\x00\x00", 4));      // 2048 hidden sectors
  put(sector, 32, "\xff\xff\xff\xff");                      // every bit of a 32-bit field
  put(sector, 36, "\x80\x01\x29\x78\x56\x34\x12");          // drive, byte 37, signature, serial
  put(sector, 43, std::string("NO\x00NAME\x80\x7f  ", 11)); // label with bytes shown as "."
  put(sector, 54, "FAT16   ");
  put(sector, 510, "\x55\xaa");

  std::size_t count = 0;
  auto fat16 = rows_of(decode_boot_sector(sector, BootSectorFat16), &count);
  EXPECT_EQ(count, 20u);
  EXPECT_EQ(fat16["Jump Code"], "eb 3c 90");
  EXPECT_EQ(fat16["OEM Name"], "'MSDOS5.0'");
  EXPECT_EQ(fat16["Sector Size"], "512");
  EXPECT_EQ(fat16["Sectors Per Cluster"], "128");
  EXPECT_EQ(fat16["Hidden Sectors"], "2048");
  EXPECT_EQ(fat16["Total Sectors (32)"], "4294967295");
  EXPECT_EQ(fat16["Drive Number (FAT16)"], "80");
  EXPECT_EQ(fat16["Extended Signature (FAT16)"], "29");
  EXPECT_EQ(fat16["Serial Number (FAT16)"], "305419896");
  EXPECT_EQ(fat16["Volume Label (FAT16)"], "'NO.NAME..  '");
  EXPECT_EQ(fat16["File System (FAT16)"], "'FAT16   '");
  EXPECT_EQ(fat16["Sector Signature"], "55 aa");

  // FAT32 reads other offsets; bytes 52 to 63 and 65 are not shown.
  std::string fat32_sector(512, '\0');
  put(fat32_sector, 36,
      std::string("\x01\x02\x03\x04\x05\x80\x01\x02\x02\x00\x00\x00\x01\x00\x06\x00", 16));
  put(fat32_sector, 52, "UNSHOWNBYTES");
  put(fat32_sector, 64,
      "\x80\x7e\x29\xfe\xca\xad\x0b"
      "CVW32      FAT32   ");
  auto fat32 = rows_of(decode_boot_sector(fat32_sector, BootSectorFat32), &count);
  EXPECT_EQ(count, 27u);
  EXPECT_EQ(fat32["Sectors Per FAT (FAT32)"], "67305985");
  EXPECT_EQ(fat32["Extended Flags (FAT32)"], "05 80");
  EXPECT_EQ(fat32["FS Version (major) (FAT32)"], "01");
  EXPECT_EQ(fat32["FS Version (minor) (FAT32)"], "02");
  EXPECT_EQ(fat32["Root Cluster (FAT32)"], "2");
  EXPECT_EQ(fat32["Info Sector (FAT32)"], "1");
  EXPECT_EQ(fat32["Backup Sector (FAT32)"], "6");
  EXPECT_EQ(fat32["Drive Number (FAT32)"], "80");
  EXPECT_EQ(fat32["Extended Signature (FAT32)"], "29");
  EXPECT_EQ(fat32["Serial Number (FAT32)"], "195939070");
  EXPECT_EQ(fat32["Volume Label (FAT32)"], "'CVW32      '");
  EXPECT_EQ(fat32["File System (FAT32)"], "'FAT32   '");
  EXPECT_EQ(decode_boot_sector(fat32_sector, BootSectorFat32).find("UNSHOWN"), std::string::npos);

  // NTFS: 8-byte numbers, and the serial is the four bytes at 72 alone.
  std::string ntfs_sector(512, '\0');
  put(ntfs_sector, 36, std::string("\x80\x00\x80\x00", 4));
  put(ntfs_sector, 40, "\xff\xff\xff\xff\xff\xff\xff\xff");
  put(ntfs_sector, 48, std::string("\x00\x00\x0c\x00\x00\x00\x00\x00", 8));
  put(ntfs_sector, 56, std::string("\x02\x00\x00\x00\x00\x00\x00\x01", 8));
  put(ntfs_sector, 64, std::string("\xf6\x00\x00\x00\x01\x00\x00\x00", 8));
  put(ntfs_sector, 72, "\x01\x02\x03\x04\xff\xff\xff\xff");
  for (int variant : {static_cast<int>(BootSectorNtfs), 3, -1}) {
    SCOPED_TRACE(variant);
    auto ntfs = rows_of(decode_boot_sector(ntfs_sector, variant), &count);
    EXPECT_EQ(count, 22u);
    EXPECT_EQ(ntfs["Flags (NTFS)"], "80 00 80 00");
    EXPECT_EQ(ntfs["Total Sectors (NTFS)"], "18446744073709551615");
    EXPECT_EQ(ntfs["$MFT Cluster (NTFS)"], "786432");
    EXPECT_EQ(ntfs["$MFT Mirror Cluster (NTFS)"], "72057594037927938");
    EXPECT_EQ(ntfs["File Record Clusters (NTFS)"], "246");
    EXPECT_EQ(ntfs["Index Buffer Clusters (NTFS)"], "1");
    EXPECT_EQ(ntfs["Serial Number (NTFS)"], "67305985");
    EXPECT_EQ(ntfs.count("Sectors Per FAT"), 1u);
  }
  // The untranslated NTFS labels are 28 characters at their widest.
  EXPECT_EQ(decode_boot_sector(ntfs_sector, BootSectorNtfs).find(": "), 28u);
}

TEST(BootSector, LargerSectorsShowTheirFirst512Bytes) {
  std::string sector(4096, '\x11');
  sector.replace(510, 2, "\x55\xaa");
  EXPECT_EQ(decode_boot_sector(sector, BootSectorFat32),
            decode_boot_sector(sector.substr(0, 512), BootSectorFat32));
}

TEST(BootSector, ShortSectorsShowTheirHexDump) {
  for (std::size_t size : {0, 1, 61, 511}) {
    SCOPED_TRACE(size);
    // Exactly `size` bytes on the heap, so that a read past them is caught by the sanitizer.
    const std::string sector(size, '\x5a');
    for (int variant : {BootSectorFat16, BootSectorFat32, BootSectorNtfs})
      EXPECT_EQ(decode_boot_sector(sector, variant), sector_hex_dump(sector));
  }
}

TEST(BootSector, RowsAlignInCharactersNotBytes) {
  Rows rows;
  append_row(rows, "Größe", "1");               // 5 characters, 7 bytes
  append_row(rows, "Sektoren je Cluster", "2"); // 19 characters
  append_row(rows, "", "3");
  EXPECT_EQ(format_rows(rows), "              Größe: 1\n"
                               "Sektoren je Cluster: 2\n"
                               "                   : 3\n");
  EXPECT_EQ(format_rows(Rows()), "");
}

TEST(BootSector, Formatters) {
  const unsigned char bytes[] = {0x00, 0x0a, 0xff, 0x20, 0x7e, 0x7f, 'A'};
  EXPECT_EQ(format_hex_bytes(bytes, 7), "00 0a ff 20 7e 7f 41");
  EXPECT_EQ(format_hex_bytes(bytes, 1), "00");
  EXPECT_EQ(format_hex_bytes(bytes, 0), "");
  EXPECT_EQ(format_chars(bytes, 7), "... ~.A");
  EXPECT_EQ(format_u8(255), "255");
  EXPECT_EQ(format_u16(65535), "65535");
  EXPECT_EQ(format_u32(0), "0");
  EXPECT_EQ(format_u64(18446744073709551615ull), "18446744073709551615");
}

namespace {

// A file system made in an image file by the system's own tool, and what its boot sector shows.
struct ImageCase {
  const char* name;
  const char* tool;
  const char* package;
  // The tool's arguments before the image's path; the image is made empty first with
  // `imageBytes` when that is not 0, else the tool makes it.
  std::vector<std::string> args;
  std::vector<std::string> argsAfter;
  std::size_t imageBytes;
  int variant;
  std::size_t rows;
  std::vector<std::pair<std::string, std::string>> expected;
};

// clang-format off
const ImageCase image_cases[] = {
    {"Fat16", "mkfs.fat", "dosfstools",
     {"-F", "16", "-n", "CVWLABEL", "-i", "1234ABCD", "-C"}, {"32768"}, 0, BootSectorFat16, 20,
     {{"Sector Size", "512"}, {"Number of FATs", "2"}, {"Root Entries Count", "512"},
      {"Media Descriptor", "f8"}, {"Total Sectors (16)", "0"}, {"Total Sectors (32)", "65536"},
      {"Extended Signature (FAT16)", "29"}, {"Serial Number (FAT16)", "305441741"},
      {"Volume Label (FAT16)", "'CVWLABEL   '"}, {"File System (FAT16)", "'FAT16   '"},
      {"Sector Signature", "55 aa"}}},
    {"Fat32", "mkfs.fat", "dosfstools",
     {"-F", "32", "-s", "1", "-n", "CVW32", "-i", "0BADCAFE", "-C"}, {"65536"}, 0,
     BootSectorFat32, 27,
     {{"Sector Size", "512"}, {"Sectors Per Cluster", "1"}, {"Root Entries Count", "0"},
      {"Sectors Per FAT", "0"}, {"Total Sectors (32)", "131072"}, {"Root Cluster (FAT32)", "2"},
      {"Info Sector (FAT32)", "1"}, {"Backup Sector (FAT32)", "6"},
      {"Extended Signature (FAT32)", "29"}, {"Serial Number (FAT32)", "195939070"},
      {"Volume Label (FAT32)", "'CVW32      '"}, {"File System (FAT32)", "'FAT32   '"},
      {"Sector Signature", "55 aa"}}},
    {"Ntfs", "mkntfs", "ntfs-3g",
     {"-F", "-Q", "-q", "-s", "512", "-c", "4096", "-p", "0", "-H", "0", "-S", "0", "-L", "CVW"},
     {}, 16 << 20, BootSectorNtfs, 22,
     {{"OEM Name", "'NTFS    '"}, {"Sector Size", "512"}, {"Sectors Per Cluster", "8"},
      {"Media Descriptor", "f8"},
      // The last sector holds the copy of the boot sector and is not counted.
      {"Total Sectors (NTFS)", "32767"}, {"File Record Clusters (NTFS)", "246"},
      {"Index Buffer Clusters (NTFS)", "1"}, {"Sector Signature", "55 aa"}}},
};
// clang-format on

// Runs the command; fails the test with its output when it does not succeed.
void run(const std::vector<std::string>& argv) {
  std::string output;
  EXPECT_TRUE(run_tool(argv, output)) << output;
}

class BootSectorImage : public ::testing::TestWithParam<ImageCase> {};

} // namespace

TEST_P(BootSectorImage, MadeBySystemTool) {
  const ImageCase& c = GetParam();
  std::vector<std::string> argv = {find_tool(c.tool)};
  if (argv[0].empty())
    GTEST_SKIP() << c.tool << " (" << c.package << ") is not installed";
  TempDir dir;
  const std::string image = dir.file("volume.img");
  if (c.imageBytes != 0) {
    const std::string empty(c.imageBytes, '\0');
    ASSERT_TRUE(write_file(image, empty.data(), empty.size()));
  }
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  argv.push_back(image);
  argv.insert(argv.end(), c.argsAfter.begin(), c.argsAfter.end());
  run(argv);

  std::string bytes;
  ASSERT_TRUE(read_file(image, bytes));
  std::size_t count = 0;
  auto rows = rows_of(decode_boot_sector(bytes.substr(0, 512), c.variant), &count);
  EXPECT_EQ(count, c.rows);
  EXPECT_EQ(rows["Jump Code"].substr(0, 2), "eb");
  for (const auto& [label, value] : c.expected)
    EXPECT_EQ(rows[label], value) << label;
}

INSTANTIATE_TEST_SUITE_P(Images, BootSectorImage, ::testing::ValuesIn(image_cases),
                         [](const auto& info) { return std::string(info.param.name); });
