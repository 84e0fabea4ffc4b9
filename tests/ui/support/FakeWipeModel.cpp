#include "FakeWipeModel.h"

#include <libintl.h>

FakeWipeModel::~FakeWipeModel() {
  if (gone != nullptr)
    *gone = true;
}

void FakeWipeModel::arm() {
  calls_.push_back("arm " + std::to_string(lba()) + " " + std::to_string(sectors()) + " " +
                   std::to_string(options().mode()));
  set_state(State::Waiting);
  show_status(gettext("READY - Data on this drive will be lost. Are you sure?"));
  show_percent(0);
}

void FakeWipeModel::stop() {
  calls_.push_back("stop");
  set_state(State::Idle);
}

WipeModel* FakeWipeModelFactory::create(const Drive& made) {
  drive = made;
  lastGone = false;
  last = new FakeWipeModel(&lastGone);
  return last;
}
