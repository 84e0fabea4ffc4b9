// The Pango markup that describes a drive: identifier, model, serial, sector count, sector size
// and total size, one per line, and the warning when the drive has one. Where the system under
// the platform layer says more, the drive's device after its identifier, what stands in for an
// empty model or serial (marked, in italics), and where its volumes are mounted. Light colours for
// a dark background (the drive icon's tooltip), dark ones for a light background (selection lists).
#pragma once

#include "Drive.h"

#include <string>

// The background the markup is shown on; the design's "light" variant is OnDark.
enum class MarkupColours { OnDark, OnLight };

std::string drive_markup(const Drive& drive, MarkupColours colours);
