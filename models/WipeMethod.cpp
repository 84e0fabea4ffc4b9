#include "WipeMethod.h"

#include "DebugLog.h"

#include <libintl.h>

#include <ostream>
#include <stdexcept>
#include <string_view>

namespace {

class WipeMethod_FORWARD : public WipeMethod {
public:
  int index() const override { return 0; }
  const char* key() const override { return "forward"; }
  const char* name() const override { return gettext("Forward"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with the pattern");
  }
};

class WipeMethod_REVERSE : public WipeMethod {
public:
  int index() const override { return 1; }
  const char* key() const override { return "reverse"; }
  const char* name() const override { return gettext("Reverse"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with the pattern\n"
                   "(starting from the last sector)");
  }
  bool from_the_end() const override { return true; }
};

class WipeMethod_DOD_C : public WipeMethod {
public:
  int index() const override { return 2; }
  const char* key() const override { return "dod_c"; }
  const char* name() const override { return gettext("DoD 5220.22-M (C)"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with first character of the pattern");
  }
  bool first_character_only() const override { return true; }
};

class WipeMethod_DOD_D : public WipeMethod {
public:
  int index() const override { return 3; }
  const char* key() const override { return "dod_d"; }
  const char* name() const override { return gettext("DoD 5220.22-M (D)"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with first character of the pattern;\n"
                   "<u>Pass 2:</u> writes its complement;\n"
                   "<u>Pass 3:</u> writes and verifies random data");
  }
  bool first_character_only() const override { return true; }
  bool last_pass_verified() const override { return true; }
};

class WipeMethod_DOD_E : public WipeMethod {
public:
  int index() const override { return 4; }
  const char* key() const override { return "dod_e"; }
  const char* name() const override { return gettext("DoD 5220.22-M (E)"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with first character of the pattern;\n"
                   "<u>Pass 2:</u> writes its complement;\n"
                   "<u>Pass 3:</u> writes random data");
  }
  bool first_character_only() const override { return true; }
};

class WipeMethod_DOD_H : public WipeMethod {
public:
  int index() const override { return 5; }
  const char* key() const override { return "dod_h"; }
  const char* name() const override { return gettext("DoD 5220.22-M (H)"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with random data;\n"
                   "<u>Pass 2:</u> writes zeros (\\x00);\n"
                   "<u>Pass 3:</u> writes ones (\\xFF)");
  }
  bool uses_pattern() const override { return false; }
};

class WipeMethod_AR_380_19 : public WipeMethod {
public:
  int index() const override { return 6; }
  const char* key() const override { return "ar_380_19"; }
  const char* name() const override { return gettext("AR 380-19"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with random data;\n"
                   "<u>Pass 2:</u> writes first character of the pattern;\n"
                   "<u>Pass 3:</u> writes its complement");
  }
  bool first_character_only() const override { return true; }
};

class WipeMethod_AFSSI_5020 : public WipeMethod {
public:
  int index() const override { return 7; }
  const char* key() const override { return "afssi_5020"; }
  const char* name() const override { return gettext("AFSSI 5020"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with zeros (\\x00);\n"
                   "<u>Pass 2:</u> writes ones (\\xFF);\n"
                   "<u>Pass 3:</u> writes first character of the pattern");
  }
  bool first_character_only() const override { return true; }
};

class WipeMethod_NAVSO_P_5239_26 : public WipeMethod {
public:
  int index() const override { return 8; }
  const char* key() const override { return "navso_p_5239_26"; }
  const char* name() const override { return gettext("NAVSO P 5239-26"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with the pattern;\n"
                   "<u>Pass 2:</u> writes its complement;\n"
                   "<u>Pass 3:</u> writes and verifies random data");
  }
  bool last_pass_verified() const override { return true; }
};

class WipeMethod_NCSC_TG_025 : public WipeMethod {
public:
  int index() const override { return 9; }
  const char* key() const override { return "ncsc_tg_025"; }
  const char* name() const override { return gettext("NCSC TG-025"); }
  const char* description() const override {
    return gettext("<u>Pass 1:</u> fills sectors with the pattern;\n"
                   "<u>Pass 2:</u> writes its complement;\n"
                   "<u>Pass 3:</u> writes random data");
  }
};

class WipeMethod_GUTMANN : public WipeMethod {
public:
  int index() const override { return 10; }
  const char* key() const override { return "gutmann"; }
  const char* name() const override { return gettext("Gutmann"); }
  const char* description() const override {
    return gettext("<u>35 passes:</u> fills sectors with Gutmann patterns");
  }
  bool uses_pattern() const override { return false; }
};

// The instances hold no data, so they are ready before any other file's start-up code could
// look one up, and they live until the program ends.
constinit const WipeMethod_FORWARD forward;
constinit const WipeMethod_REVERSE reverse;
constinit const WipeMethod_DOD_C dod_c;
constinit const WipeMethod_DOD_D dod_d;
constinit const WipeMethod_DOD_E dod_e;
constinit const WipeMethod_DOD_H dod_h;
constinit const WipeMethod_AR_380_19 ar_380_19;
constinit const WipeMethod_AFSSI_5020 afssi_5020;
constinit const WipeMethod_NAVSO_P_5239_26 navso_p_5239_26;
constinit const WipeMethod_NCSC_TG_025 ncsc_tg_025;
constinit const WipeMethod_GUTMANN gutmann;

constinit const WipeMethod* const methods[WipeMethod::count] = {
    &forward,   &reverse,    &dod_c,           &dod_d,       &dod_e,  &dod_h,
    &ar_380_19, &afssi_5020, &navso_p_5239_26, &ncsc_tg_025, &gutmann};

} // namespace

const WipeMethod& WipeMethod::by_index(int index) {
  if (index < 0 || index >= count) {
    debug_log() << "WipeMethod.cpp(313): " << index << "\n";
    throw std::runtime_error("WipeMethod.cpp(314)");
  }
  return *methods[index];
}

namespace {

// The method whose key is exactly `key`, a NUL inside it included; else a debug-log line and
// the failure.
const WipeMethod& method_with_key(std::string_view key) {
  for (const WipeMethod* method : methods)
    if (key == method->key())
      return *method;
  debug_log() << "WipeMethod.cpp(331): " << key << "\n";
  throw std::runtime_error("WipeMethod.cpp(332)");
}

} // namespace

const WipeMethod& WipeMethod::by_key(const char* key) { return method_with_key(key); }

const char* wipe_method_key(int index) { return WipeMethod::by_index(index).key(); }

int wipe_method_index(const std::string& key) { return method_with_key(key).index(); }

const char* wipe_method_name(int index) { return WipeMethod::by_index(index).name(); }
