// A drive named in one line as the header of its task names it: its model, its serial number and
// its size ("WDC WD10EZEX-08WN4A0 / WD-WCC6Y4NLSV12 (1.000TB)"), for the texts that must say
// which drive they mean.
#pragma once

#include "Drive.h"

#include <string>

// Plain text (no markup), valid UTF-8. A drive that reports neither model nor serial is named
// by its identifier.
std::string drive_title(const Drive& drive);
