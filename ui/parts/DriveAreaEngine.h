// Keeps a range of sectors of one drive consistent in three spin buttons: first sector, number
// of sectors and last sector. Whichever the operator changes, the others follow so that
// start + sectors - 1 = finish and the range stays inside the drive; then the owner is told.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

class DriveAreaEngine {
public:
  class Callback {
  public:
    virtual ~Callback() = default;
    // After every change, by the operator or by set.
    virtual void changed(DriveAreaEngine& engine) = 0;
  };

  DriveAreaEngine() = default;
  DriveAreaEngine(const DriveAreaEngine&) = delete;
  DriveAreaEngine& operator=(const DriveAreaEngine&) = delete;

  // Keeps the three spin buttons and follows the operator's changes of each.
  void bind(GtkSpinButton* start, GtkSpinButton* sectors, GtkSpinButton* finish);

  // The drive has `total` sectors: the whole drive becomes the range, without telling the
  // callback. Throws std::runtime_error "DriveAreaEngine.cpp(30)" for 0, changing nothing.
  void set_total(std::uint64_t total);

  // Shows the range of `sectors` sectors from `start`, clamped into the drive (a start past
  // the end becomes the last sector; a range past the end is cut there); then tells the
  // callback.
  void set(std::uint64_t start, std::uint64_t sectors);

  std::uint64_t start() const;
  std::uint64_t sectors() const;
  std::uint64_t total() const { return total_; }

  void set_callback(Callback* callback) { callback_ = callback; }
  void set_sensitive(bool sensitive);

private:
  static void on_start_changed(GtkSpinButton*, gpointer self);
  static void on_sectors_changed(GtkSpinButton*, gpointer self);
  static void on_finish_changed(GtkSpinButton*, gpointer self);
  void operator_changed(void (DriveAreaEngine::*follow)());
  void follow_start();
  void follow_sectors();
  void follow_finish();
  void tell();

  std::uint64_t total_ = 1;
  GtkSpinButton* startSpin = nullptr;
  GtkSpinButton* sectorsSpin = nullptr;
  GtkSpinButton* finishSpin = nullptr;
  Callback* callback_ = nullptr;
  bool updating = false;
};
