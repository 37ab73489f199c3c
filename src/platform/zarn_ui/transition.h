// Transition: a value that eases between 0 (closed) and 1 (open) over a duration. Time is passed
// in explicitly so frames and tests decide what "now" is. Reversing mid-way continues from the
// current value instead of jumping; the value always stays within [0, 1].
// UI thread only.
#pragma once

#include <chrono>

namespace zarn_ui {

class Transition {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Transition(std::chrono::milliseconds duration = std::chrono::milliseconds(180));

  // A zero duration makes every later change immediate (reduced motion).
  void set_duration(std::chrono::milliseconds duration);
  std::chrono::milliseconds duration() const { return duration_; }

  // Starts moving towards the target; asking for the current target again changes nothing.
  void set_open(bool open, Clock::time_point now);
  // Jumps to the target without animating (first placement, state restored from elsewhere).
  void snap(bool open);
  // Advances the animation to `now`; a clock that went backwards holds the value still.
  void tick(Clock::time_point now);

  bool is_open() const { return open_; }
  bool is_animating() const { return animating_; }
  // Eased value at the last tick or change.
  double value() const;
  // Linear progress at the last tick or change, for callers that ease differently.
  double progress() const { return progress_; }

 private:
  std::chrono::milliseconds duration_;
  bool open_ = false;
  bool animating_ = false;
  double progress_ = 0;  // linear, 0..1
  Clock::time_point last_;
};

}  // namespace zarn_ui
