#include "Settings.h"

#include "ConfigValue.h"
#include "DebugLog.h"
#include "Files.h"
#include "WipeMethod.h"

#include <ostream>

Settings& Settings::instance() {
  static Settings settings;
  return settings;
}

namespace {

std::string& settings_directory() {
  static std::string directory;
  return directory;
}

// The low 32 bits of a Number member, as the unsigned and signed fields keep them.
std::uint32_t low_bits(const config::Value& value, const char* name) {
  return static_cast<std::uint32_t>(value.get_number(name));
}

// The index of the method that "mode" names. A key of no method is a file of the wrong shape,
// refused as a member of another type is.
int mode_index(const config::Value& value) {
  const std::string& key = value.get_string("mode");
  try {
    return wipe_method_index(key);
  } catch (const std::runtime_error&) {
    throw config::Value::Exception("\"mode\" names no wipe method");
  }
}

} // namespace

const std::string& Settings::directory() { return settings_directory(); }

void Settings::set_directory(const std::string& directory) { settings_directory() = directory; }

bool Settings::is_hidden(const Drive& drive) const {
  for (const Drive& hidden : hiddenDrives)
    if (hidden.model() == drive.model() && hidden.serial() == drive.serial())
      return true;
  return false;
}

bool Settings::load(const char* path) {
  std::string text;
  if (!read_file(path, text)) {
    debug_log() << "Settings.cpp(181)\n";
    return false;
  }
  config::Value value;
  if (!value.parse(text.c_str())) {
    debug_log() << "Settings.cpp(186)\n";
    return false;
  }
  try {
    WipeOptions options;
    options.set_sectors_per_time(low_bits(value, "sectorsPerTime"));
    options.set_pattern(value.get_string("pattern"));
    options.set_ignore_write_errors(value.get_boolean("ignoreWriteErrors"));
    options.set_ignore_read_errors(value.get_boolean("ignoreReadErrors"));
    options.set_ignore_compare_errors(value.get_boolean("ignoreCompareErrors"));
    options.set_update_period(low_bits(value, "updatePeriod"));
    options.set_mode(mode_index(value));
    options.set_jump_after_error_sectors(low_bits(value, "jumpAfterErrorSectors"));
    options.set_jump_after_error_double(value.get_boolean("jumpAfterErrorDouble"));
    options.set_verify(value.get_boolean("verify"));
    wipeOptions = options;

    std::vector<Drive> hidden;
    for (const config::Value& item : value["hiddenDrives"].as_list()) {
      Drive drive;
      drive.set_model(item.get("model").as_string());
      drive.set_serial(item.get("serial").as_string());
      hidden.push_back(std::move(drive));
    }
    hiddenDrives = std::move(hidden);

    notifierErrorOn = value.get_boolean("notifierErrorOn");
    notifierErrorArg = value.get_string("notifierErrorArg");
    notifierErrorPeriod = static_cast<int>(low_bits(value, "notifierErrorPeriod"));
    notifierDoneOn = value.get_boolean("notifierDoneOn");
    notifierDoneArg = value.get_string("notifierDoneArg");
    notifierDonePeriod = static_cast<int>(low_bits(value, "notifierDonePeriod"));
    wipeCertificateDrive = value.get_string("wipeCertificateDrive");
    wipeCertificateTechnician = value.get_string("wipeCertificateTechnician");
    wipeCertificateBackground = value.get_string("wipeCertificateBackground");
    exportCsv = value.get_string("exportCsv");
    exportTxt = value.get_string("exportTxt");
  } catch (const config::Value::Exception& e) {
    debug_log() << "Settings.cpp(236): " << e.what() << "\n";
    return false;
  }
  return true;
}

bool Settings::save(const char* path) const {
  config::Value value(config::Value::Object);
  value.set("sectorsPerTime", wipeOptions.sectors_per_time());
  value.set("pattern", wipeOptions.pattern());
  value.set("ignoreWriteErrors", wipeOptions.ignore_write_errors());
  value.set("ignoreReadErrors", wipeOptions.ignore_read_errors());
  value.set("ignoreCompareErrors", wipeOptions.ignore_compare_errors());
  value.set("updatePeriod", wipeOptions.update_period());
  value.set("mode", wipe_method_key(wipeOptions.mode()));
  value.set("jumpAfterErrorSectors", wipeOptions.jump_after_error_sectors());
  value.set("jumpAfterErrorDouble", wipeOptions.jump_after_error_double());
  value.set("verify", wipeOptions.verify());

  config::Value hidden(config::Value::List);
  for (const Drive& drive : hiddenDrives) {
    config::Value item(config::Value::Object);
    item.set("model", drive.model());
    item.set("serial", drive.serial());
    hidden.as_list().push_back(std::move(item));
  }
  value["hiddenDrives"] = hidden.as_list();

  value.set("notifierErrorOn", notifierErrorOn);
  value.set("notifierErrorArg", notifierErrorArg);
  value.set("notifierErrorPeriod", notifierErrorPeriod);
  value.set("notifierDoneOn", notifierDoneOn);
  value.set("notifierDoneArg", notifierDoneArg);
  value.set("notifierDonePeriod", notifierDonePeriod);
  value.set("wipeCertificateDrive", wipeCertificateDrive);
  value.set("wipeCertificateTechnician", wipeCertificateTechnician);
  value.set("wipeCertificateBackground", wipeCertificateBackground);
  value.set("exportCsv", exportCsv);
  value.set("exportTxt", exportTxt);

  const std::string text = value.to_string(config::Braces::Omitted, config::Layout::Indented);
  if (!write_file(path, text.data(), text.size())) {
    debug_log() << "Settings.cpp(286)\n";
    return false;
  }
  return true;
}
