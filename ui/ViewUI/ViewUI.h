// The sector view panel, the upper half of a drive task: one sector of the drive at a time, as a
// hex dump or a decoded FAT16, FAT32 or NTFS boot sector, read by the panel's own view model
// (and with it an engine process of its own). The operator picks the sector with a slider and a
// spin button, with the arrow and page keys in the text, and limits the range to the whole
// drive, one partition or a custom range. The panel also shows the drive's icon, model and
// serial, and offers a button that lets the drive blink.
//
// At most one read is in flight; wishes made meanwhile collapse into the newest one, which is
// read when the answer arrives. So dragging the slider reads the first sector, then only the
// last position reached while each read was under way, and always ends on the last wish.
#pragma once

#include "DriveIconUI/DriveIconUI.h"
#include "DriveMiniUI/DriveMiniUI.h"
#include "DriveTask.h"
#include "ViewModel.h"
#include "gtk/WidgetRef.h"
#include "parts/DriveAreaEngine.h"
#include "parts/PanelParts.h"
#include "parts/ViewLbaControl.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>

namespace gtk {
class Builder;
}

class ViewUI : public ViewModel::View,
               public DriveTask,
               public ViewLbaControl::Callback,
               public DriveAreaEngine::Callback {
public:
  // Implemented by the main window.
  class Callback {
  public:
    // The operator asked to let the panel's drive blink.
    virtual void blink(ViewUI& panel) = 0;
    virtual ~Callback() = default;
  };

  // "No sector": nothing shown, nothing in flight, nothing waiting.
  static constexpr std::uint64_t none = UINT64_MAX;

  // A panel of the task kind "view" over the `sectors` sectors of `drive` from `lba`, with a
  // model made by `factory`; reads the first of them. Throws what the factory and gtk::Builder
  // throw.
  ViewUI(ViewModelFactory& factory, const Drive& drive, std::uint64_t lba, std::uint64_t sectors);
  // Ends the model's engine process and takes the panel's widget out of its box.
  ~ViewUI() override;

  GtkWidget* widget() const { return top.get(); }
  // Not owned; none at first.
  void set_callback(Callback* callback) { callback_ = callback; }

  // Whether request reads the sector shown again.
  enum class Read { IfOther, Again };

  // Shows sector `lba` (see above). With Read::IfOther a wish for the sector shown changes
  // nothing; with Read::Again the sector is read again (after a wipe has written it). `none` is
  // no sector and changes nothing.
  void request(std::uint64_t lba, Read read);

  // A wipe processed the `sectors` sectors from `lba`: the shown sector is read again when it is
  // one of them.
  void area_wiped(std::uint64_t lba, std::uint64_t sectors);

  // Show and hide the panel; the range part follows the choice shared by all view panels.
  void select() override;
  void deselect() override;

  // The model's answer: a sector's text, or an error text.
  void show(std::uint64_t lba, const std::string& text) override;

  std::uint64_t shown_lba() const { return shownLba; }
  std::uint64_t pending_lba() const { return pendingLba; }
  std::uint64_t queued_lba() const { return queuedLba; }

private:
  ViewUI(ViewModelFactory& factory, const Drive& drive, std::uint64_t lba, std::uint64_t sectors,
         const gtk::Builder& ui);

  void changed(ViewLbaControl& control, std::uint64_t lba) override;
  void changed(DriveAreaEngine& engine) override;
  void lba_changed(std::uint64_t lba);
  void area_changed();
  bool key_pressed(guint keyval);
  void go_previous(bool& taken);
  void go_next(bool& taken);
  std::uint64_t area_finish() const;
  void area_chosen();
  void format_chosen();

  static gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer self);
  static void on_area_changed(GtkComboBox*, gpointer self);
  static void on_format_changed(GtkComboBox*, gpointer self);
  static void on_blink(GtkButton*, gpointer self);

  // Whether the range part of the view panels is shown; shared by all of them, not saved.
  static bool viewOptionsShown;

  std::unique_ptr<ViewModel> model;
  DriveIconUI driveIcon;
  DriveMiniUI driveMini;
  DriveAreaEngine area;
  ViewLbaControl lbaControl;
  PanelParts parts;
  Callback* callback_ = nullptr;
  std::uint64_t shownLba = none;
  std::uint64_t pendingLba = none;
  std::uint64_t queuedLba = none;
  GtkTextView* textView = nullptr;
  GtkAdjustment* scrollAdjustment = nullptr;
  GtkTextBuffer* textBuffer = nullptr;
  GtkComboBox* areaCombo = nullptr;
  GtkComboBox* formatCombo = nullptr;
  // Last, so that it goes first: no handler of the panel's widgets runs on a panel half gone.
  gtk::WidgetRef top;
};
