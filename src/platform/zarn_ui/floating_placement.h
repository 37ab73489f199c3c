// FloatingPlacement: where a floating card lives — attached inside the application, being
// dragged, detached to a desktop surface of its own, or handing over between the two. The host
// reports pointer drags, surface events and its rectangles; the placement answers with the
// card's rectangle and a presentation transform. Time is passed in explicitly.
// UI thread only.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui::floating_surface {

// Card chrome around the video rectangle.
struct Insets {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  bool operator==(const Insets&) const = default;
};

enum class PlacementState : std::uint8_t {
  Attached,     // inside the application's area
  Dragging,     // following the pointer
  Detached,     // on a desktop surface; rectangles are in that surface's coordinates
  HandingOver,  // sliding back into the application
};

enum class DragUpdate : std::uint8_t {
  Ignored,   // no drag is running
  Moved,     // the card follows the pointer inside the application
  LeaveApp,  // the pointer is outside the area: the card should leave on a surface of its own
};

// Draw the card translated by (dx, dy), scaled by `scale` about its centre, at `alpha`.
struct PresentationTransform {
  double dx = 0;
  double dy = 0;
  double scale = 1;
  double alpha = 1;
  bool operator==(const PresentationTransform&) const = default;
};

class FloatingPlacement {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr double kMargin = 16;  // attached cards keep this far from the area's edges
  static constexpr std::chrono::milliseconds kHandoffDuration{220};

  // Size of the video rectangle; the card is this plus the chrome.
  Size card_video_size{320, 180};

  void set_attached_chrome(const Insets& chrome) { chrome_ = chrome; }
  const Insets& attached_chrome() const { return chrome_; }

  // The card's video rectangle. The area is `content_area` when it has positive size, else
  // `app_bounds`. Attached cards are kept inside the area (inset by kMargin where it fits).
  Rect rect(const Rect& app_bounds, const Rect& content_area) const;
  // The video rectangle grown by the chrome.
  Rect card_rect(const Rect& app_bounds, const Rect& content_area) const;
  // How to draw the card whose rectangle is `card` at the last tick.
  PresentationTransform presentation_transform(const Rect& card) const;

  void begin_drag(Point pointer, const Rect& content_area);
  DragUpdate update_drag(Point pointer, const Rect& content_area);
  // Drops the card: inside the area it stays attached where it was let go; outside it detaches
  // at its last rectangle.
  void end_drag(Clock::time_point now);
  bool is_dragging() const { return state_ == PlacementState::Dragging; }

  // Moves the card onto a desktop surface occupying `card_rect` (chrome included).
  void detach_to_desktop(const Rect& card_rect, Clock::time_point now);
  // Surface events. A geometry event moves the detached card and confirms it is detached.
  void shift_by(double dx, double dy);
  void mark_detached();
  // The application takes the card back: it slides from its detached place into the area.
  void confirm_app_adoption(const Rect& app_bounds, Clock::time_point now);
  void reattach_to_app(const Rect& content_area, const Rect& app_bounds, Clock::time_point now);

  void tick(Clock::time_point now);
  bool is_handoff_animating() const;
  // Holds the hand-over look still for `duration` so a screenshot can catch it.
  void pin_handoff_for_visual_review(std::chrono::milliseconds duration, Clock::time_point now);

  PlacementState state() const { return state_; }
  bool is_attached() const { return state_ == PlacementState::Attached; }

 private:
  Size card_size() const;
  Rect attached_card_rect(const Rect& area) const;
  void remember_attached_position(const Rect& card, const Rect& area);
  void start_handoff(const Rect& from, Clock::time_point now);
  double handoff_eased() const;

  Insets chrome_;
  PlacementState state_ = PlacementState::Attached;
  // Attached position as a fraction of the free space in the area, so a resize keeps the card
  // in the same corner. Starts at the bottom-right.
  double frac_x_ = 1;
  double frac_y_ = 1;
  // Last rectangle handed out, for surface events that arrive while the card is attached.
  mutable Rect last_card_;
  // Dragging.
  Point grab_offset_;
  Rect drag_area_;
  Rect drag_card_;
  bool drag_outside_ = false;
  // Detached.
  Rect detached_card_;
  // Hand-over animation (towards the desktop while Detached, into the area while HandingOver).
  bool handoff_active_ = false;
  Rect handoff_from_;
  Clock::time_point handoff_start_;
  double handoff_progress_ = 1;
  Clock::time_point pinned_until_;
  bool pinned_ = false;
};

}  // namespace zarn_ui::floating_surface
