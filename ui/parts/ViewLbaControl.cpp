#include "parts/ViewLbaControl.h"

#include "Guarded.h"
#include "gtk/HandlerBlock.h"
#include "gtk/UnsignedValue.h"

void ViewLbaControl::bind(GtkRange* range, GtkSpinButton* spin) {
  this->range = range;
  this->spin = spin;
  g_signal_connect(range, "value-changed", G_CALLBACK(on_range_changed), this);
  g_signal_connect(spin, "value-changed", G_CALLBACK(on_spin_changed), this);
}

void ViewLbaControl::set_limits(std::uint64_t first, std::uint64_t count) {
  const std::uint64_t last = count > 1 ? first + count - 1 : first;
  {
    gtk::HandlerBlock hold(range, G_CALLBACK(on_range_changed), this);
    if (first == last) {
      gtk_range_set_range(range, static_cast<double>(first), static_cast<double>(first) + 1);
      gtk_widget_set_sensitive(GTK_WIDGET(range), FALSE);
    } else {
      gtk_range_set_range(range, static_cast<double>(first), static_cast<double>(last));
      gtk_widget_set_sensitive(GTK_WIDGET(range), TRUE);
    }
  }
  gtk::HandlerBlock hold(spin, G_CALLBACK(on_spin_changed), this);
  gtk_spin_button_set_range(spin, static_cast<double>(first), static_cast<double>(last));
}

void ViewLbaControl::set_value(std::uint64_t lba) {
  {
    gtk::HandlerBlock hold(range, G_CALLBACK(on_range_changed), this);
    gtk_range_set_value(range, static_cast<double>(lba));
  }
  gtk::HandlerBlock hold(spin, G_CALLBACK(on_spin_changed), this);
  gtk_spin_button_set_value(spin, static_cast<double>(lba));
}

void ViewLbaControl::tell(std::uint64_t lba) {
  if (callback_ != nullptr)
    callback_->changed(*this, lba);
}

void ViewLbaControl::on_range_changed(GtkRange*, gpointer self) {
  guarded("ViewLbaControl.cpp(95)", "ViewLbaControl.cpp(97)", [&] {
    auto* control = static_cast<ViewLbaControl*>(self);
    const std::uint64_t lba = gtk::unsigned_value(control->range);
    {
      gtk::HandlerBlock hold(control->spin, G_CALLBACK(on_spin_changed), control);
      gtk_spin_button_set_value(control->spin, static_cast<double>(lba));
    }
    control->tell(lba);
  });
}

void ViewLbaControl::on_spin_changed(GtkSpinButton*, gpointer self) {
  guarded("ViewLbaControl.cpp(109)", "ViewLbaControl.cpp(111)", [&] {
    auto* control = static_cast<ViewLbaControl*>(self);
    const std::uint64_t lba = gtk::unsigned_value(control->spin);
    {
      gtk::HandlerBlock hold(control->range, G_CALLBACK(on_range_changed), control);
      gtk_range_set_value(control->range, static_cast<double>(lba));
    }
    control->tell(lba);
  });
}
