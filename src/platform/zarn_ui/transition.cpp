#include "platform/zarn_ui/transition.h"

#include <algorithm>

namespace zarn_ui {

Transition::Transition(std::chrono::milliseconds duration)
    : duration_(std::max(duration, std::chrono::milliseconds(0))) {}

void Transition::set_duration(std::chrono::milliseconds duration) {
  duration_ = std::max(duration, std::chrono::milliseconds(0));
  if (duration_.count() == 0 && animating_) snap(open_);
}

void Transition::set_open(bool open, Clock::time_point now) {
  if (animating_) tick(now);
  if (open == open_) return;
  open_ = open;
  if (duration_.count() == 0) {
    snap(open);
    return;
  }
  animating_ = true;
  last_ = now;
}

void Transition::snap(bool open) {
  open_ = open;
  animating_ = false;
  progress_ = open ? 1.0 : 0.0;
}

void Transition::tick(Clock::time_point now) {
  if (!animating_) return;
  if (now <= last_) return;
  const double step = std::chrono::duration<double, std::milli>(now - last_).count() /
                      static_cast<double>(duration_.count());
  last_ = now;
  progress_ = open_ ? std::min(1.0, progress_ + step) : std::max(0.0, progress_ - step);
  if (progress_ == (open_ ? 1.0 : 0.0)) animating_ = false;
}

double Transition::value() const {
  // Smoothstep is symmetric (e(1 - p) = 1 - e(p)), so a reversal mid-way stays continuous.
  const double p = std::clamp(progress_, 0.0, 1.0);
  return p * p * (3 - 2 * p);
}

}  // namespace zarn_ui
