// A wipe task model for the tests of the wipe panel: it records the operations the panel asks
// for and answers when the test says so. Like the real model it arms at once (Waiting with the
// READY question) and stops at once (Idle); everything the engine would bring (Wiping, Paused,
// Done, an error's Waiting, status lines, percentages, areas) the test makes happen with the
// model's own set_state, show_status, show_percent and show_area.
#pragma once

#include "WipeModel.h"

#include <string>
#include <vector>

class FakeWipeModel : public WipeModel {
public:
  // `gone` is set when the model is destroyed.
  explicit FakeWipeModel(bool* gone = nullptr) : gone(gone) {}
  ~FakeWipeModel() override;

  void arm() override;
  void pause() override { calls_.push_back("pause"); }
  void stop() override;
  void start() override { calls_.push_back("start"); }

  // "arm", "pause", "stop", "start", in the order asked; each arm also records the area and
  // the options' method as "arm <lba> <sectors> <mode>".
  const std::vector<std::string>& calls() const { return calls_; }
  void clear_calls() { calls_.clear(); }
  // What the real model notes when a running wipe is stopped.
  void leave_note(const std::string& note) { set_cancelled_status(note); }

private:
  bool* gone;
  std::vector<std::string> calls_;
};

// Makes fake models, and keeps the last one made for the test to drive.
class FakeWipeModelFactory : public WipeModelFactory {
public:
  WipeModel* create(const Drive& drive) override;

  FakeWipeModel* last = nullptr;
  bool lastGone = false;
  Drive drive;
};
