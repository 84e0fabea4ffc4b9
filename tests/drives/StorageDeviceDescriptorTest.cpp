// The storage descriptor parser: its bounds errors, the texts, the serial number decoding and
// the bus names, over records built byte by byte in the 1024-byte buffer that discovery uses.
#include "StorageDeviceDescriptor.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A query buffer as discovery hands it over: 1024 bytes of 0xA5, with a record at the start
// whose Size is 40 and whose offsets are all 0, until a test says otherwise.
class Record {
public:
  Record() : bytes(1024, 0xA5) {
    for (std::size_t i = 0; i < 40; ++i)
      bytes[i] = 0;
    u32(0, 40).u32(4, 40);
  }

  Record& u32(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    return *this;
  }
  Record& u8(std::size_t at, unsigned char value) {
    bytes[at] = value;
    return *this;
  }
  // The text and its NUL at `at`.
  Record& text(std::size_t at, const std::string& value) {
    for (std::size_t i = 0; i < value.size(); ++i)
      bytes[at + i] = static_cast<unsigned char>(value[i]);
    bytes[at + value.size()] = 0;
    return *this;
  }
  Record& size(std::uint32_t value) { return u32(4, value); }
  Record& removable(unsigned char value) { return u8(10, value); }
  Record& vendor(std::uint32_t offset) { return u32(12, offset); }
  Record& product(std::uint32_t offset) { return u32(16, offset); }
  Record& revision(std::uint32_t offset) { return u32(20, offset); }
  Record& serial(std::uint32_t offset) { return u32(24, offset); }
  Record& bus(std::int32_t value) { return u32(28, static_cast<std::uint32_t>(value)); }
  Record& raw_length(std::uint32_t value) { return u32(32, value); }

  // A record of Size 256 with the four texts in the space after it.
  static Record with_texts(const std::string& vendorId, const std::string& productId,
                           const std::string& revisionText, const std::string& serialNumber) {
    Record record;
    record.size(256).vendor(64).product(96).revision(128).serial(160);
    record.text(64, vendorId).text(96, productId).text(128, revisionText).text(160, serialNumber);
    return record;
  }

  StorageDeviceDescriptor parse(std::uint32_t length = 1024) const {
    return StorageDeviceDescriptor(bytes.data(), length);
  }

  std::vector<unsigned char> bytes;
};

// The text of the std::runtime_error that parsing throws; nullopt when it throws nothing.
std::optional<std::string> parse_error(const Record& record, std::uint32_t length = 1024) {
  try {
    record.parse(length);
  } catch (const std::runtime_error& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

TEST(StorageDeviceDescriptor, RefusesRecordsThatBreakTheirBounds) {
  struct Case {
    const char* what;
    std::function<void(Record&)> shape;
    std::uint32_t length;
    const char* error;
  };
  const Case cases[] = {
      {"a buffer shorter than the fixed part", [](Record&) {}, 39,
       "StorageDeviceDescriptor.cpp(111)"},
      {"a Size beyond the buffer", [](Record& r) { r.size(1100); }, 1024,
       "StorageDeviceDescriptor.cpp(127)"},
      {"raw properties that end beyond the buffer", [](Record& r) { r.raw_length(989); }, 1024,
       "StorageDeviceDescriptor.cpp(138)"},
      {"raw properties whose length wraps 32 bits", [](Record& r) { r.raw_length(0xFFFFFFF0u); },
       1024, "StorageDeviceDescriptor.cpp(138)"},
      {"a text inside the raw properties", [](Record& r) { r.raw_length(988).vendor(1000); }, 1024,
       "StorageDeviceDescriptor.cpp(23)"},
      {"a text at the end of the buffer", [](Record& r) { r.raw_length(988).vendor(1024); }, 1024,
       "StorageDeviceDescriptor.cpp(27)"},
      {"a text inside the record", [](Record& r) { r.vendor(20); }, 1024,
       "StorageDeviceDescriptor.cpp(23)"},
      {"a text without its NUL", [](Record& r) { r.product(1020); }, 1024,
       "StorageDeviceDescriptor.cpp(27)"},
      {"a text past the length given", [](Record& r) { r.serial(200).text(200, "S"); }, 200,
       "StorageDeviceDescriptor.cpp(27)"},
      {"a text that runs into the end of a shorter length",
       [](Record& r) { r.size(40).revision(100).text(100, "12345"); }, 104,
       "StorageDeviceDescriptor.cpp(27)"},
  };
  for (const Case& c : cases) {
    Record record;
    c.shape(record);
    LogCapture log;
    EXPECT_EQ(parse_error(record, c.length), std::string(c.error)) << c.what;
  }
}

TEST(StorageDeviceDescriptor, LogsNothingBeforeTheFirstCheckAndNoDumpBeforeTheSizeCheck) {
  {
    LogCapture log;
    EXPECT_TRUE(parse_error(Record(), 39));
    EXPECT_EQ(log.text(), "");
  }
  LogCapture log;
  Record record;
  EXPECT_TRUE(parse_error(record.size(1100)));
  EXPECT_NE(log.text().find("StorageDeviceDescriptor.cpp(126): STORAGE_DEVICE_DESCRIPTOR\n"),
            std::string::npos);
  EXPECT_NE(log.text().find("\n  Size: 1100\n"), std::string::npos);
  EXPECT_EQ(log.text().find("(134)"), std::string::npos) << log.text();
}

TEST(StorageDeviceDescriptor, AnErrorInALaterTextLeavesTheEarlierLinesInTheLog) {
  Record record = Record::with_texts("VEND", "PROD", "REV", "SER");
  record.revision(1020); // no NUL up to the end
  LogCapture log;
  EXPECT_EQ(parse_error(record), std::string("StorageDeviceDescriptor.cpp(27)"));
  EXPECT_NE(log.text().find("StorageDeviceDescriptor.cpp(142): vendorId: \"VEND\"\n"),
            std::string::npos);
  EXPECT_NE(log.text().find("StorageDeviceDescriptor.cpp(145): productId: \"PROD\"\n"),
            std::string::npos);
  EXPECT_EQ(log.text().find("productRevision"), std::string::npos);
}

TEST(StorageDeviceDescriptor, TheSmallestRecordHasNoTexts) {
  Record record;
  LogCapture log;
  const StorageDeviceDescriptor descriptor = record.parse(40);
  EXPECT_EQ(descriptor.model(), "");
  EXPECT_EQ(descriptor.serial(), "");
  EXPECT_EQ(descriptor.revision(), "");
  EXPECT_FALSE(descriptor.removable());
  EXPECT_NE(log.text().find("StorageDeviceDescriptor.cpp(156): serialNumber: \"\"\n"),
            std::string::npos)
      << log.text();
}

TEST(StorageDeviceDescriptor, ReadsTextsAtTheEdgesOfTheirBounds) {
  // Raw properties of 988 bytes end at 1024: the offsets 0 and 0xFFFFFFFF still mean "none".
  Record edge;
  edge.raw_length(988).vendor(0xFFFFFFFFu).product(0);
  LogCapture log;
  EXPECT_EQ(edge.parse().model(), "");

  // A text whose NUL is the buffer's last byte.
  Record last;
  last.product(1020).text(1020, "XYZ");
  EXPECT_EQ(last.parse().model(), "XYZ");

  // Right after the raw properties.
  Record first;
  first.raw_length(4).size(64).vendor(40).text(40, "AB");
  EXPECT_EQ(first.parse().model(), "AB");
}

TEST(StorageDeviceDescriptor, JoinsVendorAndProductAndTrimsTheTexts) {
  LogCapture log;
  const StorageDeviceDescriptor descriptor =
      Record::with_texts("ATA     ", "HD500   ", " \t1.0A \t", "\t WD-123 ").parse();
  EXPECT_EQ(descriptor.model(), "ATA     HD500");
  EXPECT_EQ(descriptor.revision(), "1.0A");
  EXPECT_EQ(descriptor.serial(), "WD-123");
}

TEST(StorageDeviceDescriptor, DecodesASerialNumberOnlyWhenAllOfItIsSwappedHex) {
  struct Case {
    const char* raw;
    const char* serial;
    const char* line; // a line the decoding must log, or null
  };
  const Case cases[] = {
      {"4142", "BA", "StorageDeviceDescriptor.cpp(156): serialNumber: \"BA\"\n"},
      {"30313233", "1032", "StorageDeviceDescriptor.cpp(156): serialNumber: \"1032\"\n"},
      {"2d612020", "a-", nullptr}, // blanks, a hyphen and a lower-case letter are accepted
      {"20202020", "", "StorageDeviceDescriptor.cpp(156): serialNumber: \"    \"\n"},
      {"414243", "414243", "StorageDeviceDescriptor.cpp(87)\n"},
      {"4142993Z", "4142993Z", "StorageDeviceDescriptor.cpp(42): 90\n"},
      {"0A0B0C0D", "0A0B0C0D", "StorageDeviceDescriptor.cpp(60): 11\n"},
      {"  XY12  ", "XY12", "StorageDeviceDescriptor.cpp(42): 88\n"},
      {"4\35142", "4\35142", "StorageDeviceDescriptor.cpp(42): -23\n"}, // a byte above 127
      {"WD-WCC4E1234567", "WD-WCC4E1234567", nullptr},
  };
  for (const Case& c : cases) {
    LogCapture log;
    const StorageDeviceDescriptor descriptor = Record::with_texts("", "", "", c.raw).parse();
    EXPECT_EQ(descriptor.serial(), c.serial) << c.raw;
    if (c.line != nullptr) {
      EXPECT_NE(log.text().find(c.line), std::string::npos) << c.raw << "\n" << log.text();
    }
  }
}

TEST(StorageDeviceDescriptor, AnInvalidHighDigitEndsThePairWithOneLine) {
  LogCapture log;
  Record::with_texts("", "", "", "41ZZ").parse();
  const std::string text = log.text();
  const std::string line = "StorageDeviceDescriptor.cpp(42): 90\n";
  const std::size_t at = text.find(line);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.find(line, at + 1), std::string::npos) << "the low digit is not examined";
}

TEST(StorageDeviceDescriptor, NamesTheBusAndReadsTheRemovableByte) {
  struct Case {
    std::int32_t bus;
    const char* name;
    bool logsUnnamed;
  };
  const Case cases[] = {
      {1, "SCSI", false},  {2, "ATAPI", false}, {3, "ATA", false},   {4, "1394", false},
      {5, "SSA", false},   {6, "FIBRE", false}, {7, "USB", false},   {8, "RAID", false},
      {9, "ISCSI", false}, {10, "SAS", false},  {11, "SATA", false}, {12, "SD", false},
      {13, "MMC", false},  {0, "", true},       {14, "", true},      {17, "", true},
      {-1, "", true},
  };
  for (const Case& c : cases) {
    Record record;
    record.bus(c.bus);
    LogCapture log;
    EXPECT_EQ(record.parse().bus_type(), c.name) << c.bus;
    const std::string unnamed = "StorageDeviceDescriptor.cpp(206): " + std::to_string(c.bus) + "\n";
    EXPECT_EQ(log.text().find(unnamed) != std::string::npos, c.logsUnnamed) << c.bus;
    EXPECT_NE(
        log.text().find("StorageDeviceDescriptor.cpp(208): bus: " + std::string(c.name) + "\n"),
        std::string::npos)
        << c.bus;
  }
  for (const auto& [byte, removable] : std::vector<std::pair<unsigned char, bool>>{
           {0, false}, {1, true}, {2, false}, {255, false}}) {
    Record record;
    record.removable(byte);
    LogCapture log;
    EXPECT_EQ(record.parse().removable(), removable) << int(byte);
    EXPECT_NE(log.text().find(std::string("StorageDeviceDescriptor.cpp(163): removable: ") +
                              (removable ? "1" : "0") + "\n"),
              std::string::npos);
  }
}

TEST(StorageDeviceDescriptor, LogsEveryFieldTheDumpAndTheTextsInOrder) {
  Record record = Record::with_texts("ATA ", "DISK", "1.0", "3132");
  record.u32(0, 1).size(48).u8(8, 0).u8(9, 2).removable(1).u8(11, 1).bus(11).raw_length(3);
  record.vendor(40).text(40, "V").product(0).revision(0).serial(0);
  LogCapture log;
  record.parse();
  const std::string expected =
      "StorageDeviceDescriptor.cpp(126): STORAGE_DEVICE_DESCRIPTOR\n"
      "  Version: 1\n"
      "  Size: 48\n"
      "  DeviceType: 0\n"
      "  DeviceTypeModifier: 2\n"
      "  RemovableMedia: 1\n"
      "  CommandQueueing: 1\n"
      "  VendorIdOffset: 40\n"
      "  ProductIdOffset: 0\n"
      "  ProductRevisionOffset: 0\n"
      "  SerialNumberOffset: 0\n"
      "  BusType: 11\n"
      "  RawPropertiesLength: 3\n"
      "StorageDeviceDescriptor.cpp(134): STORAGE_DEVICE_DESCRIPTOR hex dump\n"
      "01 00 00 00 30 00 00 00 00 02 01 01 28 00 00 00 ....0.......(...\n"
      "00 00 00 00 00 00 00 00 00 00 00 00 0b 00 00 00 ................\n"
      "03 00 00 00 00 00 00 00 56 00 a5 a5 a5 a5 a5 a5 ........V.......\n"
      "StorageDeviceDescriptor.cpp(142): vendorId: \"V\"\n"
      "StorageDeviceDescriptor.cpp(145): productId: \"\"\n"
      "StorageDeviceDescriptor.cpp(148): productRevision: \"\"\n"
      "StorageDeviceDescriptor.cpp(151): serialNumber: \"\"\n"
      "StorageDeviceDescriptor.cpp(156): serialNumber: \"\"\n"
      "StorageDeviceDescriptor.cpp(163): removable: 1\n"
      "StorageDeviceDescriptor.cpp(208): bus: SATA\n";
  EXPECT_EQ(log.text(), expected);
}

} // namespace
