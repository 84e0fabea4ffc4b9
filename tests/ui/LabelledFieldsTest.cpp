// Every spin button and combo box of every interface file is labelled for assistive tools by
// the label before it (its mnemonic widget), so that a screen reader says what it is for.
#include "GLibOwners.h"
#include "gtk/ResourceDirectory.h"

#include "GuiEnvironment.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

using LabelledFieldsTest = GuiTest;

// Fields that no label stands before; their windows name them in code.
const std::set<std::string> named_in_code = {"ViewUI/ViewUI.ui format"};

std::vector<std::string> interface_files() {
  std::vector<std::string> files;
  const std::filesystem::path root = gtk::resource_directory();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.path().extension() == ".ui")
      files.push_back(std::filesystem::relative(entry.path(), root).string());
  std::sort(files.begin(), files.end());
  return files;
}

} // namespace

TEST_F(LabelledFieldsTest, EverySpinButtonAndComboBoxHasItsLabel) {
  const std::vector<std::string> files = interface_files();
  ASSERT_GE(files.size(), 10u);
  int fields = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const auto ui = ObjectRef<GtkBuilder>::adopt(gtk_builder_new());
    ASSERT_TRUE(gtk_builder_add_from_file(
        ui.get(), gtk::join_path(gtk::resource_directory(), file).c_str(), nullptr));
    std::vector<GtkWidget*> windows;
    GSList* objects = gtk_builder_get_objects(ui.get());
    for (GSList* item = objects; item != nullptr; item = item->next) {
      if (GTK_IS_WINDOW(item->data))
        windows.push_back(GTK_WIDGET(item->data));
      if (!GTK_IS_SPIN_BUTTON(item->data) && !GTK_IS_COMBO_BOX(item->data))
        continue;
      const std::string id = gtk_buildable_get_name(GTK_BUILDABLE(item->data));
      if (named_in_code.count(file + " " + id) != 0)
        continue;
      ++fields;
      GList* labels = gtk_widget_list_mnemonic_labels(GTK_WIDGET(item->data));
      EXPECT_NE(labels, nullptr) << id << " has no label";
      for (GList* label = labels; label != nullptr; label = label->next)
        EXPECT_TRUE(GTK_IS_LABEL(label->data) &&
                    *gtk_label_get_text(GTK_LABEL(label->data)) != '\0')
            << id;
      g_list_free(labels);
    }
    g_slist_free(objects);
    for (GtkWidget* window : windows)
      gtk_widget_destroy(window);
  }
  EXPECT_GE(fields, 15);
}
