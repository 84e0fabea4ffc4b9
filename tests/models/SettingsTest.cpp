#include "Settings.h"

#include "ConfigValue.h"
#include "Files.h"

#include "Bytes.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

Drive drive(const std::string& model, const std::string& serial) {
  Drive d;
  d.set_model(model);
  d.set_serial(serial);
  return d;
}

// Settings that differ from the defaults in every field.
Settings changed_settings() {
  Settings s;
  WipeOptions o;
  o.set_sectors_per_time(1024);
  o.set_pattern(std::string("\x00\xff\"\\\n ab", 8));
  o.set_ignore_write_errors(true);
  o.set_ignore_read_errors(true);
  o.set_ignore_compare_errors(true);
  o.set_update_period(1000);
  o.set_mode(8);
  o.set_jump_after_error_sectors(64);
  o.set_jump_after_error_double(false);
  o.set_verify(true);
  s.set_wipe_options(o);
  s.set_hidden_drives({drive("Samsung SSD 860", "S3Z9NB0K"), drive("Disk \xc3\xa9", "")});
  s.set_notifier_error_on(false);
  s.set_notifier_error_arg("error.wav");
  s.set_notifier_error_period(-5);
  s.set_notifier_done_on(false);
  s.set_notifier_done_arg("done.wav");
  s.set_notifier_done_period(30);
  s.set_wipe_certificate_drive("Drive text");
  s.set_wipe_certificate_technician("Technician");
  s.set_wipe_certificate_background("/pictures/back.png");
  s.set_export_csv("/exports/WipeLog.csv");
  s.set_export_txt("/exports/WipeLog.txt");
  return s;
}

// The settings' fields as texts, by the number of their key in the file's reading order (1 to
// 22, index 0 unused), so that tests can say which fields a load has taken.
std::vector<std::string> fields(const Settings& s) {
  const WipeOptions& o = s.wipe_options();
  std::string hidden;
  for (const Drive& d : s.hidden_drives())
    hidden += d.model() + "/" + d.serial() + ";";
  return {"",
          std::to_string(o.sectors_per_time()),
          o.pattern(),
          std::to_string(o.ignore_write_errors()),
          std::to_string(o.ignore_read_errors()),
          std::to_string(o.ignore_compare_errors()),
          std::to_string(o.update_period()),
          std::to_string(o.mode()),
          std::to_string(o.jump_after_error_sectors()),
          std::to_string(o.jump_after_error_double()),
          std::to_string(o.verify()),
          hidden,
          std::to_string(s.notifier_error_on()),
          s.notifier_error_arg(),
          std::to_string(s.notifier_error_period()),
          std::to_string(s.notifier_done_on()),
          s.notifier_done_arg(),
          std::to_string(s.notifier_done_period()),
          s.wipe_certificate_drive(),
          s.wipe_certificate_technician(),
          s.wipe_certificate_background(),
          s.export_csv(),
          s.export_txt()};
}

const char* const key_names[] = {"",
                                 "sectorsPerTime",
                                 "pattern",
                                 "ignoreWriteErrors",
                                 "ignoreReadErrors",
                                 "ignoreCompareErrors",
                                 "updatePeriod",
                                 "mode",
                                 "jumpAfterErrorSectors",
                                 "jumpAfterErrorDouble",
                                 "verify",
                                 "hiddenDrives",
                                 "notifierErrorOn",
                                 "notifierErrorArg",
                                 "notifierErrorPeriod",
                                 "notifierDoneOn",
                                 "notifierDoneArg",
                                 "notifierDonePeriod",
                                 "wipeCertificateDrive",
                                 "wipeCertificateTechnician",
                                 "wipeCertificateBackground",
                                 "exportCsv",
                                 "exportTxt"};

class SettingsTest : public ::testing::Test {
protected:
  // The saved text of the changed settings, as a value to edit.
  config::Value changed_file() {
    EXPECT_TRUE(changed_settings().save(path.c_str()));
    std::string text;
    EXPECT_TRUE(read_file(path, text));
    config::Value value;
    EXPECT_TRUE(value.parse(text.c_str()));
    return value;
  }

  void write(const std::string& text) { ASSERT_TRUE(write_file(path, text.data(), text.size())); }

  TempDir dir;
  std::string path = dir.file("settings.cfg");
};

} // namespace

TEST_F(SettingsTest, SavedSettingsLoadBackEqual) {
  const Settings saved = changed_settings();
  ASSERT_TRUE(saved.save(path.c_str()));
  Settings loaded;
  ASSERT_TRUE(loaded.load(path.c_str()));
  EXPECT_EQ(fields(loaded), fields(saved));

  // Defaults round-trip too, and differ from the changed settings in every field.
  const Settings defaults;
  ASSERT_TRUE(defaults.save(path.c_str()));
  ASSERT_TRUE(loaded.load(path.c_str()));
  EXPECT_EQ(fields(loaded), fields(defaults));
  for (int key = 1; key <= 22; ++key)
    EXPECT_NE(fields(defaults)[key], fields(saved)[key]) << key_names[key];
}

TEST_F(SettingsTest, FileHoldsTheKeysInByteOrder) {
  Settings settings;
  settings.set_hidden_drives({drive("M1", "S1"), drive("M\"2", "S\\2")});
  settings.wipe_options().set_mode(10);
  ASSERT_TRUE(settings.save(path.c_str()));
  std::string text;
  ASSERT_TRUE(read_file(path, text));
  const std::string expected = "\"exportCsv\":\"\",\n"
                               "\"exportTxt\":\"\",\n"
                               "\"hiddenDrives\":[\n"
                               "  {\n"
                               "    \"model\":\"M1\",\n"
                               "    \"serial\":\"S1\"\n"
                               "  },\n"
                               "  {\n"
                               "    \"model\":\"M\\\"2\",\n"
                               "    \"serial\":\"S\\\\2\"\n"
                               "  }\n"
                               "],\n"
                               "\"ignoreCompareErrors\":false,\n"
                               "\"ignoreReadErrors\":false,\n"
                               "\"ignoreWriteErrors\":false,\n"
                               "\"jumpAfterErrorDouble\":true,\n"
                               "\"jumpAfterErrorSectors\":1,\n"
                               "\"mode\":\"gutmann\",\n"
                               "\"notifierDoneArg\":\"\",\n"
                               "\"notifierDoneOn\":true,\n"
                               "\"notifierDonePeriod\":0,\n"
                               "\"notifierErrorArg\":\"\",\n"
                               "\"notifierErrorOn\":true,\n"
                               "\"notifierErrorPeriod\":0,\n"
                               "\"pattern\":\"\\x00\",\n"
                               "\"sectorsPerTime\":256,\n"
                               "\"updatePeriod\":300,\n"
                               "\"verify\":false,\n"
                               "\"wipeCertificateBackground\":\"\",\n"
                               "\"wipeCertificateDrive\":\"\",\n"
                               "\"wipeCertificateTechnician\":\"\"";
  EXPECT_EQ(first_difference(text, expected), "") << text;

  // Unsigned fields are written as unsigned numbers, periods as signed ones.
  settings.wipe_options().set_sectors_per_time(0xFFFFFFFFu);
  settings.set_notifier_done_period(-1);
  ASSERT_TRUE(settings.save(path.c_str()));
  ASSERT_TRUE(read_file(path, text));
  EXPECT_NE(text.find("\"sectorsPerTime\":4294967295,"), std::string::npos);
  EXPECT_NE(text.find("\"notifierDonePeriod\":-1,"), std::string::npos);
}

// Every shape of the file is a load that returns false, never an exception: the program starts
// whatever the file holds.
TEST_F(SettingsTest, LoadStopsAtTheFirstBadKey) {
  struct Case {
    const char* name;
    std::function<void(config::Value&)> edit;
    bool loaded;
    // How far the load got: the keys 1 to `taken` have been stored from the file, the wipe
    // options (1 to 10) only together, and the hidden drives (11) as a whole.
    int taken;
    const char* detail; // the last log line when refused
  };
  using V = config::Value;
  const Case cases[] = {
      {"whole file", [](V&) {}, true, 22, ""},
      {"unknown keys are ignored", [](V& v) { v.set("colour", "blue"); }, true, 22, ""},
      {"without sectorsPerTime", [](V& v) { v.as_object().erase("sectorsPerTime"); }, false, 0,
       "Settings.cpp(236): \"sectorsPerTime\" is not found\n"},
      {"without verify", [](V& v) { v.as_object().erase("verify"); }, false, 0,
       "Settings.cpp(236): \"verify\" is not found\n"},
      {"verify a Number", [](V& v) { v.set("verify", 1); }, false, 0,
       "Settings.cpp(236): \"verify\" is Number, not Boolean\n"},
      {"pattern a Number", [](V& v) { v.set("pattern", 0); }, false, 0,
       "Settings.cpp(236): \"pattern\" is Number, not String\n"},
      {"mode that names no method", [](V& v) { v.set("mode", "Forward"); }, false, 0,
       "Settings.cpp(236): \"mode\" names no wipe method\n"},
      {"without hiddenDrives", [](V& v) { v.as_object().erase("hiddenDrives"); }, false, 10,
       "Settings.cpp(236): ConfigValue.cpp(68)\n"},
      {"hiddenDrives an Object", [](V& v) { v["hiddenDrives"] = V::Members{}; }, false, 10,
       "Settings.cpp(236): ConfigValue.cpp(68)\n"},
      {"a hidden drive not an Object", [](V& v) { v["hiddenDrives"].as_list()[1] = "x"; }, false,
       10, "Settings.cpp(236): ConfigValue.cpp(115)\n"},
      {"a hidden drive's serial a Number",
       [](V& v) { v["hiddenDrives"].as_list()[0].set("serial", 7); }, false, 10,
       "Settings.cpp(236): ConfigValue.cpp(56)\n"},
      {"a hidden drive without a model",
       [](V& v) { v["hiddenDrives"].as_list()[0].as_object().erase("model"); }, false, 10,
       "Settings.cpp(236): \"model\" is not found\n"},
      {"without notifierErrorOn", [](V& v) { v.as_object().erase("notifierErrorOn"); }, false, 11,
       "Settings.cpp(236): \"notifierErrorOn\" is not found\n"},
      {"notifierDoneOn a String", [](V& v) { v.set("notifierDoneOn", "yes"); }, false, 14,
       "Settings.cpp(236): \"notifierDoneOn\" is String, not Boolean\n"},
      {"without exportTxt", [](V& v) { v.as_object().erase("exportTxt"); }, false, 21,
       "Settings.cpp(236): \"exportTxt\" is not found\n"},
      {"top level a List", [](V& v) { v = V::Items{}; }, false, 0,
       "Settings.cpp(236): ConfigValue.cpp(115)\n"},
  };
  const std::vector<std::string> before = fields(Settings());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    config::Value file = changed_file();
    c.edit(file);
    write(file.to_string(config::Braces::Omitted, config::Layout::Indented));
    const std::vector<std::string> after = fields(changed_settings());

    Settings settings;
    LogCapture log;
    try {
      EXPECT_EQ(settings.load(path.c_str()), c.loaded);
      if (!c.loaded) {
        EXPECT_TRUE(log.text().ends_with(c.detail)) << log.text();
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "an exception left load: " << e.what();
    }
    const std::vector<std::string> now = fields(settings);
    for (int key = 1; key <= 22; ++key) {
      const bool taken = key <= 10 ? c.taken >= 10 : key == 11 ? c.taken >= 11 : key <= c.taken;
      EXPECT_EQ(now[key], taken ? after[key] : before[key]) << key_names[key];
    }
  }
}

TEST_F(SettingsTest, UnreadableFilesChangeNothing) {
  Settings settings = changed_settings();
  const std::vector<std::string> before = fields(settings);
  {
    LogCapture log;
    EXPECT_FALSE(settings.load(dir.file("missing.cfg").c_str()));
    EXPECT_EQ(log.text(), "Settings.cpp(181)\n");
  }
  {
    write("\"sectorsPerTime\":256,\n\"pattern\":\"\\q\"");
    LogCapture log;
    EXPECT_FALSE(settings.load(path.c_str()));
    EXPECT_TRUE(log.text().ends_with("Settings.cpp(186)\n")) << log.text();
  }
  EXPECT_EQ(fields(settings), before);

  LogCapture log;
  EXPECT_FALSE(settings.save(dir.file("no/such/dir/settings.cfg").c_str()));
  EXPECT_TRUE(log.text().ends_with("\nSettings.cpp(286)\n")) << log.text();
}

TEST_F(SettingsTest, NumbersKeepTheirLow32Bits) {
  config::Value file = changed_file();
  file.set("sectorsPerTime", 0x100000007LL);
  file.set("updatePeriod", -1LL);
  file.set("notifierErrorPeriod", 0x1FFFFFFFFLL);
  file["hiddenDrives"] = config::Value::Items{};
  write(file.to_string(config::Braces::Omitted, config::Layout::Indented));
  Settings settings = changed_settings();
  ASSERT_TRUE(settings.load(path.c_str()));
  EXPECT_EQ(settings.wipe_options().sectors_per_time(), 7u);
  EXPECT_EQ(settings.wipe_options().update_period(), 0xFFFFFFFFu);
  EXPECT_EQ(settings.notifier_error_period(), -1);
  EXPECT_TRUE(settings.hidden_drives().empty());
}

TEST_F(SettingsTest, UnknownKeysAreNotWrittenBack) {
  config::Value file = changed_file();
  file.set("colour", "blue");
  write(file.to_string(config::Braces::Omitted, config::Layout::Indented));
  Settings settings;
  ASSERT_TRUE(settings.load(path.c_str()));
  ASSERT_TRUE(settings.save(path.c_str()));
  std::string text;
  ASSERT_TRUE(read_file(path, text));
  EXPECT_EQ(text.find("colour"), std::string::npos);
}

TEST(Settings, HiddenDrivesMatchByModelAndSerialExactly) {
  Settings settings;
  Drive listed = drive("Samsung SSD 860", "S3Z9NB0K");
  listed.set_id("\\\\.\\PhysicalDrive0");
  settings.set_hidden_drives({drive("Other", "X"), listed});
  struct Case {
    Drive drive;
    bool hidden;
  };
  Drive elsewhere = drive("Samsung SSD 860", "S3Z9NB0K");
  elsewhere.set_id("\\\\.\\PhysicalDrive5");
  elsewhere.set_sectors(12345);
  const Case cases[] = {
      {drive("Samsung SSD 860", "S3Z9NB0K"), true},
      {elsewhere, true},
      {drive("Samsung SSD 860", "S3Z9NB0L"), false},
      {drive("Samsung SSD 860", "s3z9nb0k"), false},
      {drive("Samsung SSD 860 ", "S3Z9NB0K"), false},
      {drive("Other", "X"), true},
      {drive("", ""), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(settings.is_hidden(c.drive), c.hidden) << c.drive.model() << "/" << c.drive.serial();
}

TEST(Settings, InstanceAndDirectory) {
  EXPECT_EQ(&Settings::instance(), &Settings::instance());
  EXPECT_EQ(Settings::instance().wipe_options().sectors_per_time(), 256u);
  Settings::set_directory("/opt/cvw");
  EXPECT_EQ(Settings::directory(), "/opt/cvw");
  Settings::set_directory("");
}
