// Time texts in the model tests: a fixed zone one hour east of UTC without summer time and the
// C locale ("%x %X" is "01/01/70 01:00:00" for the time 0), whatever the machine is set to.
#pragma once

#include <glib.h>

#include <clocale>
#include <ctime>

inline void use_fixed_zone_and_locale() {
  g_setenv("TZ", "CET-1", TRUE);
  tzset();
  std::setlocale(LC_ALL, "C");
}
