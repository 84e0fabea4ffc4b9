#include "BootSector.h"
#include "SectorDump.h"

#include "Files.h"

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

// Makes file systems in image files with the system's own tools.
class BootSectorImage : public ::testing::Test {
protected:
  // The tool's full path, looked for along PATH and in the system folders; empty when missing.
  static std::string tool(const char* name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/"}) {
      const std::string path = std::string(folder) + name;
      if (g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE))
        return path;
    }
    gchar* found = g_find_program_in_path(name);
    std::string path = found != nullptr ? found : "";
    g_free(found);
    return path;
  }

  // Runs the command; fails the test with its output when it does not succeed.
  static void run(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const bool ran = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                  &out, &err, &status, &error);
    const bool ok = ran && g_spawn_check_wait_status(status, nullptr);
    EXPECT_TRUE(ok) << argv[0] << ": " << (error != nullptr ? error->message : "") << out << err;
    g_free(out);
    g_free(err);
    if (error != nullptr)
      g_error_free(error);
  }

  // The first sector of the image.
  std::string first_sector() {
    std::string bytes;
    EXPECT_TRUE(read_file(image, bytes));
    return bytes.substr(0, 512);
  }

  TempDir dir;
  std::string image = dir.file("volume.img");
};

} // namespace

TEST_F(BootSectorImage, Fat16MadeByMkfs) {
  const std::string mkfs = tool("mkfs.fat");
  if (mkfs.empty())
    GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
  run({mkfs, "-F", "16", "-n", "CVWLABEL", "-i", "1234ABCD", "-C", image, "32768"});
  std::size_t count = 0;
  auto rows = rows_of(decode_boot_sector(first_sector(), BootSectorFat16), &count);
  EXPECT_EQ(count, 20u);
  EXPECT_EQ(rows["Jump Code"].substr(0, 2), "eb");
  EXPECT_EQ(rows["Sector Size"], "512");
  EXPECT_EQ(rows["Number of FATs"], "2");
  EXPECT_EQ(rows["Root Entries Count"], "512");
  EXPECT_EQ(rows["Media Descriptor"], "f8");
  EXPECT_EQ(rows["Total Sectors (16)"], "0");
  EXPECT_EQ(rows["Total Sectors (32)"], "65536");
  EXPECT_EQ(rows["Extended Signature (FAT16)"], "29");
  EXPECT_EQ(rows["Serial Number (FAT16)"], "305441741");
  EXPECT_EQ(rows["Volume Label (FAT16)"], "'CVWLABEL   '");
  EXPECT_EQ(rows["File System (FAT16)"], "'FAT16   '");
  EXPECT_EQ(rows["Sector Signature"], "55 aa");
}

TEST_F(BootSectorImage, Fat32MadeByMkfs) {
  const std::string mkfs = tool("mkfs.fat");
  if (mkfs.empty())
    GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
  run({mkfs, "-F", "32", "-s", "1", "-n", "CVW32", "-i", "0BADCAFE", "-C", image, "65536"});
  std::size_t count = 0;
  auto rows = rows_of(decode_boot_sector(first_sector(), BootSectorFat32), &count);
  EXPECT_EQ(count, 27u);
  EXPECT_EQ(rows["Sector Size"], "512");
  EXPECT_EQ(rows["Sectors Per Cluster"], "1");
  EXPECT_EQ(rows["Root Entries Count"], "0");
  EXPECT_EQ(rows["Sectors Per FAT"], "0");
  EXPECT_EQ(rows["Total Sectors (32)"], "131072");
  EXPECT_NE(rows["Sectors Per FAT (FAT32)"], "0");
  EXPECT_EQ(rows["Root Cluster (FAT32)"], "2");
  EXPECT_EQ(rows["Info Sector (FAT32)"], "1");
  EXPECT_EQ(rows["Backup Sector (FAT32)"], "6");
  EXPECT_EQ(rows["Extended Signature (FAT32)"], "29");
  EXPECT_EQ(rows["Serial Number (FAT32)"], "195939070");
  EXPECT_EQ(rows["Volume Label (FAT32)"], "'CVW32      '");
  EXPECT_EQ(rows["File System (FAT32)"], "'FAT32   '");
  EXPECT_EQ(rows["Sector Signature"], "55 aa");
}

TEST_F(BootSectorImage, NtfsMadeByMkntfs) {
  const std::string mkntfs = tool("mkntfs");
  if (mkntfs.empty())
    GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
  {
    const std::string empty(16 << 20, '\0');
    ASSERT_TRUE(write_file(image, empty.data(), empty.size()));
  }
  run({mkntfs, "-F", "-Q", "-q", "-s", "512", "-c", "4096", "-p", "0", "-H", "0", "-S", "0", "-L",
       "CVW", image});
  std::size_t count = 0;
  auto rows = rows_of(decode_boot_sector(first_sector(), BootSectorNtfs), &count);
  EXPECT_EQ(count, 22u);
  EXPECT_EQ(rows["OEM Name"], "'NTFS    '");
  EXPECT_EQ(rows["Sector Size"], "512");
  EXPECT_EQ(rows["Sectors Per Cluster"], "8");
  EXPECT_EQ(rows["Media Descriptor"], "f8");
  // The last sector holds the copy of the boot sector and is not counted.
  EXPECT_EQ(rows["Total Sectors (NTFS)"], "32767");
  EXPECT_EQ(rows["File Record Clusters (NTFS)"], "246");
  EXPECT_EQ(rows["Index Buffer Clusters (NTFS)"], "1");
  EXPECT_NE(rows["$MFT Cluster (NTFS)"], "0");
  EXPECT_NE(rows["$MFT Cluster (NTFS)"], rows["$MFT Mirror Cluster (NTFS)"]);
  EXPECT_EQ(rows["Sector Signature"], "55 aa");
}
