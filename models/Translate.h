// Marks a text for the message catalogue without translating it where it stands: tables of
// texts are written with it and passed through gettext where they are used.
#pragma once

#define N_(text) text
