// A drive's model and serial number on two lines, beside the drive icon of the sector view.
#pragma once

#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <string>

class DriveMiniUI {
public:
  // Builds it from "DriveMiniUI/DriveMiniUI.ui"; throws what gtk::Builder throws.
  DriveMiniUI();
  DriveMiniUI(const DriveMiniUI&) = delete;
  DriveMiniUI& operator=(const DriveMiniUI&) = delete;

  GtkWidget* widget() const { return top.get(); }
  // Plain texts, shown as they are.
  void set_model(const std::string& model);
  void set_serial(const std::string& serial);

private:
  gtk::WidgetRef top;
  GtkLabel* model = nullptr;
  GtkLabel* serial = nullptr;
};
