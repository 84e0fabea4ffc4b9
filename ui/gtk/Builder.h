// Loading a window's interface file and looking its objects up by name.
//
// Lookups fail loudly, in the window's constructor: a name missing from the file, or an object
// of another type than the code expects, throws there, once, instead of turning into a NULL
// inside a handler later.
//
//   gtk::Builder ui("WipeUI/WipeUI.ui");
//   GtkButton* start = ui.get<GtkButton>("start", GTK_TYPE_BUTTON);
//
// A Builder lives only as long as the constructor that looks the objects up: the window keeps
// its top widget in a gtk::WidgetRef, and the builder's own references go with the Builder.
#pragma once

#include "GLibOwners.h"

#include <gtk/gtk.h>

#include <string>

namespace gtk {

class Builder {
public:
  // Loads `file`, a path relative to the resource directory ("SettingsUI/SettingsUI.ui").
  // Every widget with an id in the file gets that id as its accessible id. Throws
  // std::runtime_error "Builder.cpp(14)", after the debug-log line "Builder.cpp(12): " with the
  // full path and the reason, when the file cannot be loaded.
  explicit Builder(const std::string& file);

  // The object named `name`. Throws std::runtime_error "Builder.cpp(23)", after the debug-log
  // line "Builder.cpp(22): " + name, when the file has no such object.
  GObject* object(const char* name) const;

  // The object named `name` as a widget; fails as `object` does, and as `get` does when the
  // object is no widget.
  GtkWidget* widget(const char* name) const;

  // The object named `name`, checked to be of `type` (or a subtype): fails as `object` does,
  // and throws std::runtime_error "Builder.cpp(31)", after the debug-log line
  // "Builder.cpp(30): " + name + " is a <its type>, not a <type>", when it is of another type.
  template <typename T> T* get(const char* name, GType type) const {
    return reinterpret_cast<T*>(checked(name, type));
  }

private:
  GObject* checked(const char* name, GType type) const;

  ObjectRef<GtkBuilder> builder;
};

} // namespace gtk
