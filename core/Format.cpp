#include "Format.h"

#include "Translation.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>

const std::string& absent_argument() {
  static const std::string text = "%?";
  return text;
}

std::string format(const char* text, const std::string& a1, const std::string& a2,
                   const std::string& a3, const std::string& a4, const std::string& a5) {
  const std::string* args[] = {&a1, &a2, &a3, &a4, &a5};
  std::string result;
  const char* p = text;
  for (;;) {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      result += p;
      return result;
    }
    result.append(p, percent);
    const char c = percent[1];
    if (c >= '1' && c <= '5') {
      result += *args[c - '1'];
      p = percent + 2;
    } else if (c == '%') {
      result += '%';
      p = percent + 2;
    } else {
      result += '%';
      p = percent + 1;
    }
  }
}

namespace {

struct Unit {
  const char* name;
  std::uint64_t divisor;
};

Unit size_unit(std::uint64_t bytes) {
  if (bytes < 999'950ULL)
    return {N_("KB"), 1'000ULL};
  if (bytes < 999'950'000ULL)
    return {N_("MB"), 1'000'000ULL};
  if (bytes < 999'950'000'000ULL)
    return {N_("GB"), 1'000'000'000ULL};
  return {N_("TB"), 1'000'000'000'000ULL};
}

// The quotient goes through single precision on purpose: the texts that operators and stored
// certificates know were printed that way ("100.0MB" for 99,999,999 bytes).
// The decimal point is always "." whatever the locale, and the text is cut at 15 characters.
std::string size_number(std::uint64_t bytes, std::uint64_t divisor) {
  const double q = double(static_cast<float>(bytes)) / double(static_cast<float>(divisor));
  const int precision = q < 10 ? 3 : q < 100 ? 2 : 1;
  char buffer[400];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, q, std::chars_format::fixed, precision);
  const std::size_t length = std::min<std::size_t>(result.ptr - buffer, 15);
  return std::string(buffer, length);
}

std::string decimal(std::uint64_t n) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(n));
  return buffer;
}

} // namespace

std::string format_size(std::uint64_t bytes) {
  if (bytes < 1000)
    return decimal(bytes);
  const Unit unit = size_unit(bytes);
  return size_number(bytes, unit.divisor) + gettext(unit.name);
}

std::string format_size_of(std::uint64_t part, std::uint64_t total) {
  if (total < 1000)
    return format(gettext("%1 of %2"), decimal(part), decimal(total));
  const Unit unit = size_unit(total);
  return format(gettext("%1 of %2"), size_number(part, unit.divisor),
                size_number(total, unit.divisor)) +
         gettext(unit.name);
}

std::ostream& write_duration(std::ostream& stream, std::uint32_t seconds) {
  const unsigned long h = seconds / 3600;
  const unsigned long m = (seconds / 60) % 60;
  const unsigned long s = seconds % 60;
  if (h != 0) {
    stream.width(2);
    stream << h << ' ' << ngettext("hour", "hours", h);
    stream.width(3);
    stream << m << ' ' << ngettext("minute", "minutes", m);
  } else {
    stream.width(2);
    stream << m << ' ' << ngettext("minute", "minutes", m);
    stream.width(3);
    stream << s << ' ' << ngettext("second", "seconds", s);
  }
  return stream;
}

std::string format_duration(std::uint32_t seconds) {
  std::ostringstream stream;
  write_duration(stream, seconds);
  return stream.str();
}
