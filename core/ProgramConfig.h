// The program configuration: one configuration tree per process, filled by start-up from the
// file beside the program and then read by every part of the desktop program.
#pragma once

#include "ConfigValue.h"
#include "PropertyMap.h"

// The process-wide configuration, an empty Object until start-up fills it.
config::Value& program_config();

// properties[key] = the String member `key` of `configuration`, replacing any value there.
// Throws config::Value::Exception, its text naming the member, when the member is missing or not
// a String.
void copy_config_string(const config::Value& configuration, PropertyMap& properties,
                        const char* key);

// properties[key] = the Number member `key` as signed decimal text, replacing any value there.
// Throws config::Value::Exception, its text naming the member, when the member is missing or not
// a Number.
void copy_config_number(const config::Value& configuration, PropertyMap& properties,
                        const char* key);
