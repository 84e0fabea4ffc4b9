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

#include <stdexcept>
#include <string>

namespace gtk {

// An interface file that cannot be used: missing, unparsable, or without an object that its
// window looks up. what() is the identifier of the failure ("Builder.cpp(14)", ...); the file
// and the reason are kept for the operator.
class InterfaceFileError : public std::runtime_error {
public:
  InterfaceFileError(const char* identifier, const std::string& path, const std::string& reason)
      : std::runtime_error(identifier), path_(path), reason_(reason) {}
  // The full path of the file.
  const std::string& path() const { return path_; }
  // What is wrong with it, in a phrase.
  const std::string& reason() const { return reason_; }

private:
  std::string path_;
  std::string reason_;
};

// Runs `work`, which makes a window, and returns what it returns (the window itself, made in
// place); when an interface file fails it, an error box over `parent` names the file and says
// what is wrong, and the error passes on (for the caller's guard to log). Without this, a click
// on what opens the window would seem to do nothing.
template <typename Work>
auto telling_interface_errors(GtkWindow* parent, Work&& work) -> decltype(work());

class Builder {
public:
  // Loads `file`, a path relative to the resource directory ("SettingsUI/SettingsUI.ui").
  // Every widget with an id in the file gets that id as its accessible id. Throws
  // InterfaceFileError "Builder.cpp(14)", after the debug-log line "Builder.cpp(12): " with the
  // full path and the reason, when the file cannot be loaded.
  explicit Builder(const std::string& file);

  // The object named `name`. Throws InterfaceFileError "Builder.cpp(23)", after the debug-log
  // line "Builder.cpp(22): " + name, when the file has no such object.
  GObject* object(const char* name) const;

  // The object named `name` as a widget; fails as `object` does, and as `get` does when the
  // object is no widget.
  GtkWidget* widget(const char* name) const;

  // The object named `name`, checked to be of `type` (or a subtype): fails as `object` does,
  // and throws InterfaceFileError "Builder.cpp(31)", after the debug-log line
  // "Builder.cpp(30): " + name + " is a <its type>, not a <type>", when it is of another type.
  template <typename T> T* get(const char* name, GType type) const {
    return reinterpret_cast<T*>(checked(name, type));
  }

private:
  GObject* checked(const char* name, GType type) const;

  std::string path;
  ObjectRef<GtkBuilder> builder;
};

// Shows the error box of telling_interface_errors.
void show_interface_error(GtkWindow* parent, const InterfaceFileError& error);

template <typename Work>
auto telling_interface_errors(GtkWindow* parent, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const InterfaceFileError& error) {
    show_interface_error(parent, error);
    throw;
  }
}

} // namespace gtk
