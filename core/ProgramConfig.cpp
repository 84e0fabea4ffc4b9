#include "ProgramConfig.h"

config::Value& program_config() {
  static config::Value configuration(config::Value::Object);
  return configuration;
}

void copy_config_string(const config::Value& configuration, PropertyMap& properties,
                        const char* key) {
  properties[key] = configuration.get_string(key);
}

void copy_config_number(const config::Value& configuration, PropertyMap& properties,
                        const char* key) {
  properties[key] = std::to_string(configuration.get_number(key));
}
