// The splash window: a borderless picture with an optional text over it, an optional area that
// opens a document or address when clicked, and an area that closes it. Start-up shows it with
// a timeout; the main window's "About" shows it again without one. Its whole layout is data:
// keys of the program configuration ("Splash Image", "Splash Text Format", the areas...).
#pragma once

#include "PropertyMap.h"

#include <gtk/gtk.h>

#include <string>

// Where the splash window shows: at start-up it closes by itself after "Splash Timeout"; as
// the help menu's about box it stays until the operator closes it.
enum class SplashUse { StartUp, About };

// Gathers the splash keys of the program configuration into a table (the picture localised,
// "Splash Timeout" only at start-up) and runs the window over `parent` (or none) until it
// closes. Throws config::Value::Exception, before anything is shown, when a key is missing,
// and the typed lookup's error when one has another type.
void show_splash(GtkWindow* parent, SplashUse use);

// Builds the window from the table, runs it with a main loop of its own until the close area
// is clicked, Escape is pressed, the window is closed or the timeout passes, and destroys it.
void run_splash_window(GtkWindow* parent, const PropertyMap& table);

// The splash text's markup: `format` with its first "%s" replaced by `value` escaped for
// markup, and "%%" by "%"; every other character of `format`, markup included, as it stands.
std::string splash_markup(const std::string& format, const std::string& value);
