#include "PropertyMap.h"

#include "ConfigValue.h"
#include "LogCapture.h"
#include "ProgramConfig.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

TEST(PropertyMap, SetKeepsOrReplacesAsAsked) {
  PropertyMap map;
  EXPECT_TRUE(map.set_string("File", "/dev/sda", PropertyMap::Existing::Keep));
  EXPECT_FALSE(map.set_string("File", "/dev/sdb", PropertyMap::Existing::Keep));
  EXPECT_EQ(map["File"], "/dev/sda");
  EXPECT_TRUE(map.set_string("File", "/dev/sdb", PropertyMap::Existing::Replace));
  EXPECT_EQ(map["File"], "/dev/sdb");

  EXPECT_TRUE(map.set_number("Size", 18446744073709551615ull, PropertyMap::Existing::Keep));
  EXPECT_FALSE(map.set_number("Size", 1, PropertyMap::Existing::Keep));
  EXPECT_EQ(map["Size"], "18446744073709551615");
  EXPECT_TRUE(map.set_number("Size", 512, PropertyMap::Existing::Replace));
  EXPECT_EQ(map["Size"], "512");

  EXPECT_EQ(map.get("Model"), "");
  EXPECT_EQ(map.count("Model"), 0u);
}

TEST(PropertyMap, KeysAreOrderedByteByByte) {
  PropertyMap map;
  for (const char* key : {"b", "ab", "a", "B", "\xc3\xa9"})
    map.set_string(key, "", PropertyMap::Existing::Replace);
  std::string order;
  for (const auto& [key, value] : map)
    order += key + "|";
  EXPECT_EQ(order, "B|a|ab|b|\xc3\xa9|");
}

TEST(PropertyMap, GetNumberReadsTheStartOfTheText) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"12abc", 12},
      {"abc", -7},
      {"", -7},
      {" \t\n42", 42},
      {"-5", -5},
      {"+9", 9},
      {"-", -7},
      {"- 5", -7},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", -7},
      {"-2147483649", -7},
      {"99999999999999999999", -7},
      {"0x10", 0},
      {"007", 7},
  };
  for (const auto& c : cases) {
    PropertyMap map;
    map.set_string("Key", c.text, PropertyMap::Existing::Replace);
    EXPECT_EQ(map.get_number("Key", -7), c.expected) << '"' << c.text << '"';
  }
  EXPECT_EQ(PropertyMap().get_number("Absent", 3), 3);
}

TEST(PropertyMap, CopyConfigValues) {
  config::Value configuration;
  ASSERT_TRUE(configuration.parse(
      R"("Program Path":"/opt/cvw","Splash Timeout":-5,"Big":9000000000,"Flag":true)"));
  PropertyMap map;
  map.set_string("Program Path", "old", PropertyMap::Existing::Replace);
  copy_config_string(configuration, map, "Program Path");
  copy_config_number(configuration, map, "Splash Timeout");
  copy_config_number(configuration, map, "Big");
  EXPECT_EQ(map["Program Path"], "/opt/cvw");
  EXPECT_EQ(map["Splash Timeout"], "-5");
  EXPECT_EQ(map["Big"], "9000000000");

  LogCapture log;
  try {
    copy_config_string(configuration, map, "Missing");
    FAIL() << "a missing member must throw";
  } catch (const config::Value::Exception& e) {
    EXPECT_STREQ(e.what(), "\"Missing\" is not found");
  }
  const struct {
    const char* key;
    bool asString;
    const char* text;
  } mistyped[] = {{"Flag", true, "\"Flag\" is Boolean, not String"},
                  {"Splash Timeout", true, "\"Splash Timeout\" is Number, not String"},
                  {"Program Path", false, "\"Program Path\" is String, not Number"}};
  // A member of another type is named, as a missing one is: the operator has to find it.
  for (const auto& c : mistyped) {
    try {
      if (c.asString)
        copy_config_string(configuration, map, c.key);
      else
        copy_config_number(configuration, map, c.key);
      FAIL() << c.key << " must not be copied";
    } catch (const config::Value::Exception& e) {
      EXPECT_STREQ(e.what(), c.text) << c.key;
    }
  }
  EXPECT_EQ(map.count("Missing"), 0u);
  EXPECT_EQ(map["Program Path"], "/opt/cvw");
}

TEST(ProgramConfig, IsOneObjectForTheProcess) {
  config::Value& configuration = program_config();
  EXPECT_EQ(configuration.type(), config::Value::Object);
  configuration.set("Probe", "x");
  EXPECT_EQ(&program_config(), &configuration);
  EXPECT_EQ(program_config().get_string("Probe"), "x");
}
