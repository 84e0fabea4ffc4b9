// Runs the default GLib main context until a condition holds, with a hang limit, so that a
// test that waits for a child process or a timer fails instead of hanging the whole run.
#pragma once

#include <glib.h>

#include <functional>

// Safety net against a test that would hang; no test relies on it to pass.
constexpr gint64 default_hang_limit_us = 120 * G_USEC_PER_SEC;

// Runs a GMainLoop on the default context until `done` holds; it is checked every
// millisecond. Returns false when the loop hung (the limit passed) instead.
bool run_loop(const std::function<bool()>& done, gint64 limit_us = default_hang_limit_us);
