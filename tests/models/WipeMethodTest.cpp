#include "WipeMethod.h"
#include "WipeOptions.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct MethodRow {
  int index;
  const char* key;
  const char* name;
  bool usesPattern;
  bool firstCharacterOnly;
  bool lastPassVerified;
  const char* description;
};

// clang-format off
const MethodRow methods[] = {
    {0, "forward", "Forward", true, false, false,
     "<u>Pass 1:</u> fills sectors with the pattern"},
    {1, "reverse", "Reverse", true, false, false,
     "<u>Pass 1:</u> fills sectors with the pattern\n(starting from the last sector)"},
    {2, "dod_c", "DoD 5220.22-M (C)", true, true, false,
     "<u>Pass 1:</u> fills sectors with first character of the pattern"},
    {3, "dod_d", "DoD 5220.22-M (D)", true, true, true,
     "<u>Pass 1:</u> fills sectors with first character of the pattern;\n"
     "<u>Pass 2:</u> writes its complement;\n<u>Pass 3:</u> writes and verifies random data"},
    {4, "dod_e", "DoD 5220.22-M (E)", true, true, false,
     "<u>Pass 1:</u> fills sectors with first character of the pattern;\n"
     "<u>Pass 2:</u> writes its complement;\n<u>Pass 3:</u> writes random data"},
    {5, "dod_h", "DoD 5220.22-M (H)", false, false, false,
     "<u>Pass 1:</u> fills sectors with random data;\n"
     "<u>Pass 2:</u> writes zeros (\\x00);\n<u>Pass 3:</u> writes ones (\\xFF)"},
    {6, "ar_380_19", "AR 380-19", true, true, false,
     "<u>Pass 1:</u> fills sectors with random data;\n"
     "<u>Pass 2:</u> writes first character of the pattern;\n<u>Pass 3:</u> writes its complement"},
    {7, "afssi_5020", "AFSSI 5020", true, true, false,
     "<u>Pass 1:</u> fills sectors with zeros (\\x00);\n"
     "<u>Pass 2:</u> writes ones (\\xFF);\n<u>Pass 3:</u> writes first character of the pattern"},
    {8, "navso_p_5239_26", "NAVSO P 5239-26", true, false, true,
     "<u>Pass 1:</u> fills sectors with the pattern;\n"
     "<u>Pass 2:</u> writes its complement;\n<u>Pass 3:</u> writes and verifies random data"},
    {9, "ncsc_tg_025", "NCSC TG-025", true, false, false,
     "<u>Pass 1:</u> fills sectors with the pattern;\n"
     "<u>Pass 2:</u> writes its complement;\n<u>Pass 3:</u> writes random data"},
    {10, "gutmann", "Gutmann", false, false, false,
     "<u>35 passes:</u> fills sectors with Gutmann patterns"},
};
// clang-format on

} // namespace

TEST(WipeMethod, CatalogueByIndexAndByKey) {
  ASSERT_EQ(std::size(methods), static_cast<std::size_t>(WipeMethod::count));
  for (const MethodRow& row : methods) {
    SCOPED_TRACE(row.key);
    const WipeMethod& method = WipeMethod::by_index(row.index);
    EXPECT_EQ(method.index(), row.index);
    EXPECT_STREQ(method.key(), row.key);
    EXPECT_STREQ(method.name(), row.name);
    EXPECT_STREQ(method.description(), row.description);
    EXPECT_EQ(method.uses_pattern(), row.usesPattern);
    EXPECT_EQ(method.first_character_only(), row.firstCharacterOnly);
    EXPECT_EQ(method.last_pass_verified(), row.lastPassVerified);
    // Only the reverse method walks from the last sector.
    EXPECT_EQ(method.from_the_end(), std::string(row.key) == "reverse");

    EXPECT_EQ(&WipeMethod::by_key(row.key), &method);
    EXPECT_EQ(wipe_method_index(row.key), row.index);
    EXPECT_STREQ(wipe_method_key(row.index), row.key);
    EXPECT_STREQ(wipe_method_name(row.index), row.name);
  }
}

TEST(WipeMethod, BadIndexesAreLoggedAndThrown) {
  for (int index : {-1, 11, -2147483647 - 1}) {
    LogCapture log;
    try {
      WipeMethod::by_index(index);
      ADD_FAILURE() << "index " << index << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "WipeMethod.cpp(314)");
    }
    EXPECT_EQ(log.text(), "WipeMethod.cpp(313): " + std::to_string(index) + "\n");
    EXPECT_THROW(wipe_method_key(index), std::runtime_error);
    EXPECT_THROW(wipe_method_name(index), std::runtime_error);
  }
}

TEST(WipeMethod, KeysAreMatchedExactly) {
  // Case, blanks and anything after a NUL count.
  const std::string keys[] = {"Forward", "forward ", " forward",
                              "",        "dod",      std::string("dod_c\0x", 7)};
  for (const std::string& key : keys) {
    SCOPED_TRACE(key);
    LogCapture log;
    try {
      wipe_method_index(key);
      ADD_FAILURE() << "key accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "WipeMethod.cpp(332)");
    }
    EXPECT_EQ(log.text(), "WipeMethod.cpp(331): " + key + "\n");
  }
  EXPECT_THROW(WipeMethod::by_key("Forward"), std::runtime_error);
}

TEST(WipeOptions, DefaultsAndCopies) {
  WipeOptions options;
  EXPECT_EQ(options.sectors_per_time(), 256u);
  EXPECT_EQ(options.pattern(), std::string(1, '\0'));
  EXPECT_FALSE(options.ignore_write_errors());
  EXPECT_FALSE(options.ignore_read_errors());
  EXPECT_FALSE(options.ignore_compare_errors());
  EXPECT_EQ(options.update_period(), 300u);
  EXPECT_EQ(options.mode(), 0);
  EXPECT_STREQ(wipe_method_key(options.mode()), "forward");
  EXPECT_EQ(options.jump_after_error_sectors(), 1u);
  EXPECT_TRUE(options.jump_after_error_double());
  EXPECT_FALSE(options.verify());

  // Values are stored as given, out-of-range ones too; a copy is independent.
  options.set_mode(42);
  options.set_pattern(std::string("a\0b", 3));
  options.set_sectors_per_time(0xFFFFFFFFu);
  WipeOptions copy = options;
  options.set_pattern("x");
  EXPECT_EQ(copy.mode(), 42);
  EXPECT_EQ(copy.pattern(), std::string("a\0b", 3));
  EXPECT_EQ(copy.sectors_per_time(), 0xFFFFFFFFu);
}
