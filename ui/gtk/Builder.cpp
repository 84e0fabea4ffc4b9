#include "gtk/Builder.h"

#include "DebugLog.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/WidgetName.h"

#include <ostream>
#include <stdexcept>

namespace gtk {

Builder::Builder(const std::string& file)
    : builder(ObjectRef<GtkBuilder>::adopt(gtk_builder_new())) {
  gtk_builder_set_translation_domain(builder.get(), "CVW");
  const std::string path = join_path(resource_directory(), file);
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder.get(), path.c_str(), &error) == 0) {
    debug_log() << "Builder.cpp(12): " << path << " " << (error != nullptr ? error->message : "")
                << "\n";
    if (error != nullptr)
      g_error_free(error);
    throw std::runtime_error("Builder.cpp(14)");
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
    throw std::runtime_error("Builder.cpp(23)");
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
    throw std::runtime_error("Builder.cpp(31)");
  }
  return found;
}

} // namespace gtk
