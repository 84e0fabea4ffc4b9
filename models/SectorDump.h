// The hex dump of sector bytes, as the sector view shows them.
#pragma once

#include <string>

// One line per 16 bytes: the offset in at least four lowercase hex digits, " | ", each byte as
// two hex digits and a blank (three blanks for each byte missing on the last line), " | ", the
// bytes as characters (printable ASCII as itself, anything else "."), and a line feed. The empty
// text for no bytes.
std::string sector_hex_dump(const std::string& data);
