// The final question before a wipe starts, which refuses drives that hold part of the running
// system when the program configuration says so.
#pragma once

#include "Drive.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

// "<model> / <serial> is a <warning>", translated. Callers that confirm several drives join the
// sentences of the drives with a warning with "\n", in list order.
std::string drive_warning_text(const Drive& drive);

// The question's text for a wipe of `drives`: "This operation will wipe 3 drives." and one line
// for each drive as its task's header names it (drive_header_line) with its size, the first few
// of them and then "and N more".
std::string drives_to_wipe_text(const std::vector<Drive>& drives);

// Asks whether the wipe described by `text` may go ahead, over the window of `parent`.
// With `warnings` (the joined warning sentences) and the configuration's "wipe" member's
// "stop at drive warning" true or absent, shows the warnings and "Wipe is not allowed." and
// returns false. Otherwise asks `text`, the warnings and "Are you sure you want to continue?"
// with No as the default; returns true only for Yes.
bool confirm_wipe(const std::string& text, const std::string& warnings, GtkWidget* parent);

// Before a wipe: when the wipe history cannot be written to the file it is kept in, says so,
// naming the file and the reason, and asks whether to wipe all the same (No is the default).
// Returns true when the history can be written or the operator answers Yes.
bool confirm_unrecorded_wipe(GtkWidget* parent);
