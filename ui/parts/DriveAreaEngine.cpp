#include "parts/DriveAreaEngine.h"

#include "Guarded.h"
#include "gtk/UnsignedValue.h"

#include <stdexcept>

namespace {

// What a spin button holds, as a sector number.
std::uint64_t value_of(GtkSpinButton* spin) { return gtk::unsigned_value(spin); }

void show(GtkSpinButton* spin, std::uint64_t value) {
  gtk_spin_button_set_value(spin, static_cast<double>(value));
}

void set_range(GtkSpinButton* spin, std::uint64_t low, std::uint64_t high) {
  gtk_spin_button_set_range(spin, static_cast<double>(low), static_cast<double>(high));
}

// Holds the spin buttons' handlers off while the engine itself writes them.
class Updating {
public:
  explicit Updating(bool& flag) : flag(flag) { flag = true; }
  ~Updating() { flag = false; }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;

private:
  bool& flag;
};

} // namespace

void DriveAreaEngine::bind(GtkSpinButton* start, GtkSpinButton* sectors, GtkSpinButton* finish) {
  startSpin = start;
  sectorsSpin = sectors;
  finishSpin = finish;
  g_signal_connect(start, "value-changed", G_CALLBACK(on_start_changed), this);
  g_signal_connect(sectors, "value-changed", G_CALLBACK(on_sectors_changed), this);
  g_signal_connect(finish, "value-changed", G_CALLBACK(on_finish_changed), this);
}

void DriveAreaEngine::set_total(std::uint64_t total) {
  if (total == 0)
    throw std::runtime_error("DriveAreaEngine.cpp(30)");
  total_ = total;
  Updating hold(updating);
  set_range(startSpin, 0, total - 1);
  set_range(sectorsSpin, 1, total);
  set_range(finishSpin, 0, total - 1);
  show(startSpin, 0);
  show(sectorsSpin, total);
  show(finishSpin, total - 1);
}

void DriveAreaEngine::set(std::uint64_t start, std::uint64_t sectors) {
  if (start >= total_)
    start = total_ - 1;
  if (sectors > total_ - start)
    sectors = total_ - start;
  {
    Updating hold(updating);
    show(startSpin, start);
    set_range(sectorsSpin, 1, total_ - start);
    set_range(finishSpin, start, total_ - 1);
    show(sectorsSpin, sectors);
    show(finishSpin, start + sectors - 1);
  }
  tell();
}

std::uint64_t DriveAreaEngine::start() const { return value_of(startSpin); }

std::uint64_t DriveAreaEngine::sectors() const { return value_of(sectorsSpin); }

void DriveAreaEngine::set_sensitive(bool sensitive) {
  gtk_widget_set_sensitive(GTK_WIDGET(startSpin), sensitive);
  gtk_widget_set_sensitive(GTK_WIDGET(sectorsSpin), sensitive);
  gtk_widget_set_sensitive(GTK_WIDGET(finishSpin), sensitive);
}

void DriveAreaEngine::tell() {
  if (callback_ != nullptr)
    callback_->changed(*this);
}

void DriveAreaEngine::operator_changed(void (DriveAreaEngine::*follow)()) {
  if (updating)
    return;
  guarded("DriveAreaEngine.cpp(90)", "DriveAreaEngine.cpp(92)", [&] {
    {
      Updating hold(updating);
      (this->*follow)();
    }
    tell();
  });
}

// The finish stays put and the count follows; a finish below the new start moves up to it.
void DriveAreaEngine::follow_start() {
  const std::uint64_t start = value_of(startSpin);
  set_range(sectorsSpin, 1, total_ - start);
  set_range(finishSpin, start, total_ - 1);
  show(sectorsSpin, value_of(finishSpin) - start + 1);
}

void DriveAreaEngine::follow_sectors() {
  show(finishSpin, value_of(startSpin) + value_of(sectorsSpin) - 1);
}

void DriveAreaEngine::follow_finish() {
  show(sectorsSpin, value_of(finishSpin) - value_of(startSpin) + 1);
}

void DriveAreaEngine::on_start_changed(GtkSpinButton*, gpointer self) {
  static_cast<DriveAreaEngine*>(self)->operator_changed(&DriveAreaEngine::follow_start);
}

void DriveAreaEngine::on_sectors_changed(GtkSpinButton*, gpointer self) {
  static_cast<DriveAreaEngine*>(self)->operator_changed(&DriveAreaEngine::follow_sectors);
}

void DriveAreaEngine::on_finish_changed(GtkSpinButton*, gpointer self) {
  static_cast<DriveAreaEngine*>(self)->operator_changed(&DriveAreaEngine::follow_finish);
}
