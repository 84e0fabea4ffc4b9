// Answers the modal dialogs that the code under test opens and runs (message boxes, file
// choosers, choose_stock_button), so that a test can click through a chain of questions.
//
//   DialogResponder answers;            // arm it before the action that opens the dialog
//   answers.click("gtk-yes").respond(GTK_RESPONSE_CANCEL);
//   EXPECT_TRUE(confirm_wipe(...));     // runs the dialogs; each step answers the next one
//   EXPECT_EQ(answers.seen()[0].title, "Warning");
//
// Each step answers the innermost dialog on the screen (the one no other open dialog is
// transient for), from a one-shot idle callback of its own, so that an answer that opens the
// next dialog does not block the responder. A step counts as done when the dialog took its
// answer (its "response" signal ran to the end) or another dialog came up in answer to it. A file
// chooser checks the chosen file in the background and answers for itself when done; one that
// dropped the answer is answered again three seconds later. A dialog run again after its answer
// (a file chooser whose accept hook refused the file) is answered by the next step.
//
// Every responder has a deadline: when it passes with steps left, the test fails, and the open
// dialogs are answered with GTK_RESPONSE_DELETE_EVENT until their loops end, so a missing
// dialog never hangs the run. Steps left unused when the responder goes also fail the test.
#pragma once

#include "GLibOwners.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

class DialogResponder {
public:
  // What a dialog showed when it was answered.
  struct Seen {
    std::string title;
    std::string id;   // its accessible id
    std::string text; // its labels outside buttons, one per line
  };

  explicit DialogResponder(int deadlineMs = 15000);
  ~DialogResponder();
  DialogResponder(const DialogResponder&) = delete;
  DialogResponder& operator=(const DialogResponder&) = delete;

  // gtk_dialog_response with `response`.
  DialogResponder& respond(int response);
  // Clicks the button whose accessible id, stock id or label (mnemonic marks ignored) is
  // `button`.
  DialogResponder& click(const std::string& button);
  // Closes the dialog as the window's close button does.
  DialogResponder& close();
  // Presses and releases `keyval` (GDK_Escape, GDK_Return) in the dialog.
  DialogResponder& key(guint keyval);
  // In a file chooser: chooses `path` (a save dialog gets its folder and name), waits until the
  // chooser shows its folder and has it chosen, then answers with `response`.
  DialogResponder& choose_file(const std::string& path, int response = GTK_RESPONSE_ACCEPT);
  // Runs `action` on the dialog; the step is done when it returns. The action may run a main
  // loop (to wait for the dialog to settle); the responder answers nothing meanwhile.
  DialogResponder& then(std::function<void(GtkWindow*)> action);
  // Never answers a dialog whose accessible id is `id`, nor counts it as open: for a box that
  // the code under test shows and closes by itself (a progress box) while the steps wait for the
  // next question. Not a step.
  DialogResponder& ignore(const std::string& id);

  // Every step has been taken.
  bool finished() const { return next == steps.size(); }
  // Each dialog answered, once per time it came up, in order.
  const std::vector<Seen>& seen() const { return seen_; }

private:
  struct Step {
    enum Kind { Respond, Click, Close, Key, ChooseFile, Then } kind;
    int response = 0;
    std::string text;
    guint keyval = 0;
    std::function<void(GtkWindow*)> action;
  };
  enum class State { Idle, Scheduled, Answered, WaitingForFile };

  DialogResponder& add(Step step);
  static gboolean on_poll(gpointer self);
  static gboolean on_idle(gpointer self);
  static void on_response(GtkDialog*, gint, gpointer self);
  static void on_gone(gpointer self, GObject* gone);
  void poll();
  void perform();
  void answer(GtkWindow* dialog, const Step& step);
  void watch(GtkWindow* dialog);
  void step_done();
  void give_up(GtkWindow* innermost);

  std::vector<Step> steps;
  std::vector<std::string> ignored;
  std::size_t next = 0;
  std::vector<Seen> seen_;
  State state = State::Idle;
  GtkWindow* target = nullptr; // weak: cleared when the dialog goes
  gint64 answeredAt = 0;
  gint64 deadline;
  bool failed = false;
  std::vector<GtkWindow*> watched; // weak; dialogs whose response we follow
  Source pollTimer;
  Source idle;
};
