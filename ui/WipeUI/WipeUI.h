// The wipe panel, the lower half of a drive task: the state of the drive's wipe model in a
// status line and two action buttons, the area to wipe and the wipe options, the checks and
// questions before a wipe is armed, the history exports after each finished wipe, and the sounds.
//
// What the panel shows is a function of the model's state alone:
//   Idle     START and CLOSE; area and options can be edited
//   Wiping   PAUSE and CANCEL          Paused   RESUME and CANCEL
//   Done     CONTINUE (CANCEL greyed)  Waiting  CONTINUE and CANCEL (armed, or an error waits)
// CONTINUE takes the place of START once START has armed a wipe. It takes only a deliberate
// press of its own: not the second half of a double-click on START, not one of a quick run of
// presses, not a press made while START's key was still held, and never a held key's repeat
// (the two buttons swallow those). A click without a press of its own (an assistive tool's)
// counts from the arming, as the second half of a double-click would.
// Outside Idle the area and options are frozen, but for the three ignore-error choices, which
// take effect at the next engine error.
#pragma once

#include "DriveTask.h"
#include "Notifier.h"
#include "WipeModel.h"
#include "WipeOptions.h"
#include "gtk/WidgetRef.h"
#include "parts/ButtonPresses.h"
#include "parts/DriveAreaEngine.h"
#include "parts/PanelParts.h"
#include "parts/WipeOptionsEditor.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>

namespace gtk {
class Builder;
}

class WipeUI : public WipeModel::View, public DriveTask, public DriveAreaEngine::Callback {
public:
  // Implemented by the drive task that owns the panel.
  class Callback {
  public:
    // CLOSE was pressed while nothing was armed or running: the task closes itself (and with
    // it this panel).
    virtual void close() = 0;
    // The panel's light (DriveTask::light) was set anew, changed or not.
    virtual void light_changed() = 0;
    // The panel's percent (DriveTask::percent) was set anew.
    virtual void percent_changed() = 0;
    // The wipe processed the `sectors` sectors from `lba`.
    virtual void area_wiped(std::uint64_t lba, std::uint64_t sectors) = 0;
    // "Wipe all" was pressed with valid options.
    virtual void wipe_all(const WipeOptions& options) = 0;
    virtual ~Callback() = default;
  };

  // A panel of the task kind "wipe" over the `sectors` sectors of `drive` from `lba`, with a
  // model made by `factory`, its options taken from the settings; message boxes and dialogs
  // open over the window of `parent`. Throws what the factory and gtk::Builder throw.
  WipeUI(WipeModelFactory& factory, const Drive& drive, std::uint64_t lba, std::uint64_t sectors,
         GtkWidget* parent);
  // Ends the model (and its engine) and the notifier's sound, and takes the panel's widget out
  // of its box.
  ~WipeUI() override;

  GtkWidget* widget() const { return top.get(); }
  // The row of the action buttons, under the status line: where the panel ends for an operator
  // who is to go on with a wipe or not.
  GtkWidget* action_row() const { return actionRow; }
  // Not owned; none at first.
  void set_callback(Callback* callback) { callback_ = callback; }

  // The model's state; the panel's own light (DriveTask::light) follows from it.
  WipeModel::State wipe_state() const { return model->state(); }
  // The model's own operations, without any check or question.
  void pause() { model->pause(); }
  void stop() { model->stop(); }
  void start() { model->start(); }

  // How arm goes on after arming.
  enum class Arm {
    Only,     // the model waits at the READY question for the operator's CONTINUE
    AndStart, // the options come from the editor first, and the wipe starts at once
  };

  // Puts the panel's area into the model and arms it (Waiting, the READY question). With
  // Arm::AndStart the options come from the editor first (unchanged when it refuses them, after
  // its message) and the wipe starts at once. No history or warning question is asked here.
  void arm(Arm then);

  // Show and hide the panel; the area and options part follows the choice shared by all wipe
  // panels.
  void select() override;
  void deselect() override;

  // The model's notifications.
  void state_changed(WipeModel::State state) override;
  void status_changed(const char* text) override;
  void percent_changed(int percent) override;
  void area_done(std::uint64_t lba, std::uint64_t sectors) override;
  // The model would not begin a wipe on this drive: an error box says why.
  void start_refused(const char* reason) override;

  // The last status text the model gave.
  const std::string& status_text() const { return statusText; }

  // Why START may not arm a wipe on this panel's drive, in one sentence shown instead (a rescan
  // found that the path of the drive leads to another disk, say); empty allows it again.
  // Resuming or going on is not concerned: the engine keeps the device it opened.
  void refuse_start(const std::string& reason) { startRefusal = reason; }

private:
  WipeUI(WipeModelFactory& factory, const Drive& drive, std::uint64_t lba, std::uint64_t sectors,
         GtkWidget* parent, const gtk::Builder& ui);

  void changed(DriveAreaEngine& engine) override;
  void area_changed();
  void export_history();
  void start_clicked();
  void tell_refusal(const std::string& reason);
  bool check_before_arming(WipeOptions& options);
  void area_chosen();
  void options_for_model();
  bool too_soon_after_arming() const;

  static void on_start(GtkButton*, gpointer self);
  static void on_stop(GtkButton*, gpointer self);
  static void on_wipe_all(GtkButton*, gpointer self);
  static void on_area_changed(GtkComboBox*, gpointer self);
  static void on_ignore_toggled(GtkToggleButton*, gpointer self);
  static void on_log_file(GtkButton*, gpointer self);

  // Whether the area and options part of the wipe panels is shown; shared, not saved.
  static bool optionsShown;

  GtkWidget* parent;
  std::unique_ptr<WipeModel> model;
  std::string statusText;
  std::string startRefusal;
  // When START armed the wipe, in monotonic time as the panel saw it; 0 for never.
  gint64 armedAt = 0;
  DriveAreaEngine area;
  WipeOptionsEditor options;
  Notifier notifier;
  Callback* callback_ = nullptr;
  PanelParts parts;
  GtkLabel* message = nullptr;
  GtkWidget* actionRow = nullptr;
  GtkButton* startButton = nullptr;
  GtkButton* stopButton = nullptr;
  GtkComboBox* areaCombo = nullptr;
  // How the two buttons are pressed.
  std::unique_ptr<ButtonPresses> startPresses;
  std::unique_ptr<ButtonPresses> stopPresses;
  // Last, so that it goes first: no handler of the panel's widgets runs on a panel half gone.
  gtk::WidgetRef top;
};
