#include "gtk/Builder.h"

#include "DebugLog.h"
#include "Format.h"
#include "Translation.h"
#include "gtk/MessageBox.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/WidgetName.h"

#include <ostream>
#include <stdexcept>

namespace gtk {

Builder::Builder(const std::string& file)
    : path(join_path(resource_directory(), file)),
      builder(ObjectRef<GtkBuilder>::adopt(gtk_builder_new())) {
  gtk_builder_set_translation_domain(builder.get(), "CVW");
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder.get(), path.c_str(), &error) == 0) {
    const std::string reason = error != nullptr ? error->message : "";
    debug_log() << "Builder.cpp(12): " << path << " " << reason << "\n";
    if (error != nullptr)
      g_error_free(error);
    throw InterfaceFileError("Builder.cpp(14)", path, reason);
  }
  GSList* objects = gtk_builder_get_objects(builder.get());
  for (GSList* item = objects; item != nullptr; item = item->next) {
    if (GTK_IS_WIDGET(item->data))
      set_accessible_id(GTK_WIDGET(item->data), gtk_buildable_get_name(GTK_BUILDABLE(item->data)));
  }
  g_slist_free(objects);
}

GObject* Builder::object(const char* name) const {
  GObject* found = gtk_builder_get_object(builder.get(), name);
  if (found == nullptr) {
    debug_log() << "Builder.cpp(22): " << name << "\n";
    throw InterfaceFileError("Builder.cpp(23)", path,
                             format(gettext("it has no object \"%1\""), name));
  }
  return found;
}

GtkWidget* Builder::widget(const char* name) const {
  return GTK_WIDGET(checked(name, GTK_TYPE_WIDGET));
}

GObject* Builder::checked(const char* name, GType type) const {
  GObject* found = object(name);
  if (!G_TYPE_CHECK_INSTANCE_TYPE(found, type)) {
    debug_log() << "Builder.cpp(30): " << name << " is a " << G_OBJECT_TYPE_NAME(found)
                << ", not a " << g_type_name(type) << "\n";
    throw InterfaceFileError("Builder.cpp(31)", path,
                             format(gettext("its object \"%1\" is a %2, not a %3"), name,
                                    G_OBJECT_TYPE_NAME(found), g_type_name(type)));
  }
  return found;
}

void show_interface_error(GtkWindow* parent, const InterfaceFileError& error) {
  std::string text = format(gettext("The window cannot be opened: its interface file %1 cannot "
                                    "be used."),
                            error.path());
  if (!error.reason().empty())
    text += "\n\n(" + error.reason() + ")";
  text += "\n\n";
  text += gettext("Install the program again.");
  message_box(MessageKind::Error, text, parent);
}

} // namespace gtk
