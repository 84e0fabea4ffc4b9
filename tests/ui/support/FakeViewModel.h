// A sector view model for the tests of the view panel: it records every read, and answers
// when the test says so (answer, fail) or by itself after a set latency, with the text the real
// model would show for a sector that holds its own number.
#pragma once

#include "GLibOwners.h"
#include "ViewModel.h"

#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <vector>

class FakeViewModel : public ViewModel {
public:
  // `gone` is set when the model is destroyed.
  explicit FakeViewModel(bool* gone = nullptr) : gone(gone) {}
  ~FakeViewModel() override;

  void read(std::uint64_t lba) override;

  // Answers the oldest unanswered read: with `text`, or with the text of a sector that holds
  // its own number, in the model's current format. False when no read waits.
  bool answer();
  bool answer(const std::string& text);
  // Answers it as the real model shows a failed read.
  bool fail();

  // Above 0: every read is answered by itself after that many milliseconds.
  void set_latency(int ms) { latencyMs = ms; }

  // Every read asked for, in order.
  const std::vector<std::uint64_t>& reads() const { return reads_; }
  std::size_t unanswered() const { return waiting.size(); }

  // What the real model shows for a sector of `size` bytes that holds its own number.
  static std::string sector_text(std::uint64_t lba, int format, std::size_t size = 512);

private:
  static gboolean on_latency(gpointer self);

  bool* gone;
  int latencyMs = 0;
  std::vector<std::uint64_t> reads_;
  std::deque<std::uint64_t> waiting;
  std::list<Source> timers; // one per read in flight, the oldest first
};

// Makes fake models, and keeps the last one made for the test to drive.
class FakeViewModelFactory : public ViewModelFactory {
public:
  ViewModel* create(const Drive& drive) override;

  FakeViewModel* last = nullptr;
  bool lastGone = false;
  Drive drive;
  int latencyMs = 0;
};
