// The program's window icons, and the question that ends the program with its exit code.
//
// The program shuts nothing down itself: in the "Desktop" variant of the question the operator
// chooses what the system is to do, and whatever started the program acts on its exit code.
#pragma once

#include "PropertyMap.h"

#include <gtk/gtk.h>

// What quit_dialog and confirm_quit return. The numbers of the three ways out are the
// program's exit codes, which whatever started it acts on.
enum class QuitCode : int {
  Stay = -1,   // the operator kept the program running
  Desktop = 0, // quit to the system's desktop (also the plain variant's Yes)
  Shutdown = 100,
  Restart = 101,
};

// The exit code of a way out.
constexpr int exit_code(QuitCode code) { return static_cast<int>(code); }

// Makes the pictures named by the table's "Program Window Icons" (comma-separated, each trimmed
// of blanks and tabs, relative to the table's "Program Path") every window's icons. A picture
// that does not load is left out, with the debug-log line "Program.cpp(24): " + its path.
void set_default_window_icons(const PropertyMap& table);

// Asks whether to quit, over `parent`, in the variant that the program configuration's
// "Desktop" selects, and returns a QuitCode. `unfinishedWipes` wipes that have not finished
// would be stopped by quitting: the question says so. A configuration without "Desktop" asks
// the plain question; so does one that cannot be used (a "Desktop" that is not a Boolean; with
// "Desktop" true, a "Program Name", "Program Path" or "Quit Icons" that is missing or not a
// String; a "Quit Text" that is not a String), after one debug-log line that says why: a
// mistake there never keeps the operator in the program.
QuitCode confirm_quit(GtkWindow* parent, int unfinishedWipes = 0);

// The question itself, from a table: "Desktop" ("1" for the variant with the system's choices),
// "Program Name" (its title), "Program Path" and "Quit Icons" (the pictures of the two system
// choices), "Quit Text" (markup added to the question), "Unfinished Wipes" (a count). Returns a
// QuitCode.
QuitCode quit_dialog(GtkWindow* parent, const PropertyMap& table);
