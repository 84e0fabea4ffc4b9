// The value of one hexadecimal digit, for the readers of texts (the text form's "\x" and "\u"
// escapes, the serial numbers that disks spell in hexadecimal): 0 to 15 for '0' to '9', 'a' to
// 'f' and 'A' to 'F'; -1 for any other byte. It does not follow the locale.
#pragma once

constexpr int hex_digit_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}
