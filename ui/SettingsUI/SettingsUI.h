// The settings dialog, and the question that saves the settings at once.
#pragma once

#include "Settings.h"

#include <gtk/gtk.h>

// Asks over `parent` whether to save the settings now; on Yes writes `settings` to
// "settings.cfg" in the settings directory, and says so when that fails.
void offer_to_save_settings(const Settings& settings, GtkWindow* parent);
