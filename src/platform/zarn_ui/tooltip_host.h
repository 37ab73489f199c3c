// TooltipHost: decides when a tooltip appears and disappears. The host reports, on every
// pointer move, which tooltip the pointer asks for (or none); a tooltip shows after the pointer
// has rested on the same target for a delay, and moving between targets while one is shown (or
// just hidden) switches at once. Time is passed in explicitly. UI thread only.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class Painter;
class TextRenderer;
struct Theme;

struct Tooltip {
  std::string text;
  Rect anchor;  // the control it describes, logical pixels
  bool operator==(const Tooltip&) const = default;
};

class TooltipHost {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kShowDelay{500};
  // After a tooltip hides, another target within this time shows without the delay.
  static constexpr std::chrono::milliseconds kWarmWindow{400};
  static constexpr double kMaxWidth = 280;

  // The pointer's current target; nullopt (or empty text) hides and cancels.
  void on_pointer(std::optional<Tooltip> target, Clock::time_point now);
  void tick(Clock::time_point now);
  void hide(Clock::time_point now);

  // The tooltip to draw, if one is showing.
  const Tooltip* visible() const { return shown_ ? &*target_ : nullptr; }
  // A tooltip is due but not shown yet: the host should keep frames coming.
  bool is_waiting() const { return target_.has_value() && !shown_; }

  // The bubble's rectangle: under the anchor (above when there is no room below), centred on
  // it and kept inside `bounds`.
  Rect bubble_rect(TextRenderer& text, const Theme& theme, const Rect& bounds) const;
  void draw(Painter& painter, const Theme& theme, const Rect& bounds) const;

 private:
  std::optional<Tooltip> target_;
  bool shown_ = false;
  Clock::time_point since_;
  std::optional<Clock::time_point> hidden_at_;
};

}  // namespace zarn_ui
