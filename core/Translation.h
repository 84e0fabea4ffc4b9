// Texts for the operator are gettext message ids of the text domain "CVW". A text that is
// written in one place and translated in another (a table entry, say) is marked with N_ where
// it is written, so that the catalogue template picks it up.
#pragma once

#include <libintl.h>

#define N_(text) text
