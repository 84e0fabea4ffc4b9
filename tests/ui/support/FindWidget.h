// Finding widgets inside windows and panels, after their builder is gone: by builder id (GTK
// keeps it on each widget) or by accessible id (set from the builder id and the widget name).
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// `root` and every widget inside it, internal children included, in tree order.
std::vector<GtkWidget*> all_widgets(GtkWidget* root);

// The accessible id of `widget`, "" when it has none.
std::string accessible_id_of(GtkWidget* widget);

// The first widget under `root` whose builder id or accessible id is `id`; null when none is.
GtkWidget* find_widget(GtkWidget* root, const std::string& id);

// The same, failing the test (and returning null) when there is none.
GtkWidget* widget_by_id(GtkWidget* root, const std::string& id);
