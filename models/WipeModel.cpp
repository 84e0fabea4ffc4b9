#include "WipeModel.h"

void WipeModel::set_state(State state) {
  state_ = state;
  if (view_ != nullptr)
    view_->state_changed(state);
}

void WipeModel::show_status(const std::string& text) {
  if (view_ != nullptr)
    view_->status_changed(text.c_str());
}

void WipeModel::show_percent(int percent) {
  if (view_ != nullptr)
    view_->percent_changed(percent);
}

void WipeModel::show_area(std::uint64_t lba, std::uint64_t sectors) {
  if (view_ != nullptr)
    view_->area_done(lba, sectors);
}

void WipeModel::show_refusal(const std::string& reason) {
  if (view_ != nullptr)
    view_->start_refused(reason.c_str());
}
