#include "platform/zarn_ui/floating_placement.h"

#include <algorithm>
#include <cmath>

namespace zarn_ui::floating_surface {
namespace {

Rect pick_area(const Rect& app_bounds, const Rect& content_area) {
  return content_area.empty() ? app_bounds : content_area;
}

double lerp(double a, double b, double t) {
  return a + (b - a) * t;
}

Rect lerp(const Rect& a, const Rect& b, double t) {
  return {lerp(a.x0, b.x0, t), lerp(a.y0, b.y0, t), lerp(a.x1, b.x1, t), lerp(a.y1, b.y1, t)};
}

bool near(const Rect& a, const Rect& b) {
  return std::abs(a.x0 - b.x0) < 0.5 && std::abs(a.y0 - b.y0) < 0.5 &&
         std::abs(a.x1 - b.x1) < 0.5 && std::abs(a.y1 - b.y1) < 0.5;
}

// The part of the area a card may occupy: inset by the margin when the card still fits.
Rect inner_area(const Rect& area, Size card, double margin) {
  Rect inner = area;
  if (area.width() >= card.width + 2 * margin) {
    inner.x0 += margin;
    inner.x1 -= margin;
  }
  if (area.height() >= card.height + 2 * margin) {
    inner.y0 += margin;
    inner.y1 -= margin;
  }
  return inner;
}

}  // namespace

Size FloatingPlacement::card_size() const {
  return {std::max(0.0, card_video_size.width) + chrome_.left + chrome_.right,
          std::max(0.0, card_video_size.height) + chrome_.top + chrome_.bottom};
}

Rect FloatingPlacement::attached_card_rect(const Rect& area) const {
  const Size size = card_size();
  const Rect inner = inner_area(area, size, kMargin);
  const double free_x = std::max(0.0, inner.width() - size.width);
  const double free_y = std::max(0.0, inner.height() - size.height);
  return Rect::from_xywh(inner.x0 + frac_x_ * free_x, inner.y0 + frac_y_ * free_y, size.width,
                         size.height);
}

void FloatingPlacement::remember_attached_position(const Rect& card, const Rect& area) {
  const Rect inner = inner_area(area, card_size(), kMargin);
  const double free_x = inner.width() - card.width();
  const double free_y = inner.height() - card.height();
  frac_x_ = free_x > 0 ? std::clamp((card.x0 - inner.x0) / free_x, 0.0, 1.0) : 0.0;
  frac_y_ = free_y > 0 ? std::clamp((card.y0 - inner.y0) / free_y, 0.0, 1.0) : 0.0;
}

Rect FloatingPlacement::card_rect(const Rect& app_bounds, const Rect& content_area) const {
  const Rect area = pick_area(app_bounds, content_area);
  switch (state_) {
    case PlacementState::Attached:
      last_card_ = attached_card_rect(area);
      break;
    case PlacementState::Dragging:
      last_card_ = drag_card_;
      break;
    case PlacementState::Detached:
      last_card_ = detached_card_;
      break;
    case PlacementState::HandingOver:
      last_card_ = lerp(handoff_from_, attached_card_rect(area), handoff_eased());
      break;
  }
  return last_card_;
}

Rect FloatingPlacement::rect(const Rect& app_bounds, const Rect& content_area) const {
  const Rect card = card_rect(app_bounds, content_area);
  return {card.x0 + chrome_.left, card.y0 + chrome_.top, card.x1 - chrome_.right,
          card.y1 - chrome_.bottom};
}

double FloatingPlacement::handoff_eased() const {
  const double p = pinned_ ? 0.5 : std::clamp(handoff_progress_, 0.0, 1.0);
  return 1 - (1 - p) * (1 - p) * (1 - p);  // ease-out cubic: quick start, gentle landing
}

PresentationTransform FloatingPlacement::presentation_transform(const Rect& card) const {
  (void)card;  // the transform is about the card's own centre; the rectangle is the caller's
  if (!pinned_ && !handoff_active_) return {};
  const double e = handoff_eased();
  if (state_ == PlacementState::Detached) {
    // Growing into its own surface.
    return {0, -6 * (1 - e), 0.92 + 0.08 * e, 0.6 + 0.4 * e};
  }
  return {0, 0, 0.96 + 0.04 * e, 0.8 + 0.2 * e};
}

void FloatingPlacement::begin_drag(Point pointer, const Rect& content_area) {
  Rect from;
  switch (state_) {
    case PlacementState::Attached:
    case PlacementState::HandingOver:
      from = card_rect(content_area, content_area);
      break;
    case PlacementState::Dragging:
      from = drag_card_;
      break;
    case PlacementState::Detached:
      from = detached_card_;
      break;
  }
  handoff_active_ = false;
  handoff_progress_ = 1;
  state_ = PlacementState::Dragging;
  drag_card_ = from;
  drag_area_ = content_area;
  grab_offset_ = {pointer.x - from.x0, pointer.y - from.y0};
  drag_outside_ = !content_area.empty() && !content_area.contains(pointer);
}

DragUpdate FloatingPlacement::update_drag(Point pointer, const Rect& content_area) {
  if (state_ != PlacementState::Dragging) return DragUpdate::Ignored;
  drag_card_ = Rect::from_xywh(pointer.x - grab_offset_.x, pointer.y - grab_offset_.y,
                               drag_card_.width(), drag_card_.height());
  if (!content_area.empty()) drag_area_ = content_area;
  // Without a known area there is nothing to leave.
  drag_outside_ = !drag_area_.empty() && !drag_area_.contains(pointer);
  return drag_outside_ ? DragUpdate::LeaveApp : DragUpdate::Moved;
}

void FloatingPlacement::end_drag(Clock::time_point now) {
  if (state_ != PlacementState::Dragging) return;
  if (drag_outside_) {
    detached_card_ = drag_card_;
    state_ = PlacementState::Detached;
    start_handoff(drag_card_, now);
    return;
  }
  remember_attached_position(drag_card_, drag_area_);
  const Rect landed = attached_card_rect(drag_area_);
  if (near(landed, drag_card_)) {
    state_ = PlacementState::Attached;
    return;
  }
  // Dropped partly outside: slide back in rather than jump.
  state_ = PlacementState::HandingOver;
  start_handoff(drag_card_, now);
}

void FloatingPlacement::detach_to_desktop(const Rect& card_rect, Clock::time_point now) {
  detached_card_ = card_rect;
  state_ = PlacementState::Detached;
  start_handoff(card_rect, now);
}

void FloatingPlacement::shift_by(double dx, double dy) {
  auto shift = [dx, dy](Rect& r) { r = {r.x0 + dx, r.y0 + dy, r.x1 + dx, r.y1 + dy}; };
  shift(detached_card_);
  shift(drag_card_);
  shift(handoff_from_);
}

void FloatingPlacement::mark_detached() {
  switch (state_) {
    case PlacementState::Detached:
      return;
    case PlacementState::Dragging:
      // The desktop surface took over the drag.
      detached_card_ = drag_card_;
      break;
    case PlacementState::Attached:
    case PlacementState::HandingOver:
      detached_card_ = last_card_;
      break;
  }
  state_ = PlacementState::Detached;
}

void FloatingPlacement::confirm_app_adoption(const Rect& app_bounds, Clock::time_point now) {
  reattach_to_app(Rect{}, app_bounds, now);
}

void FloatingPlacement::reattach_to_app(const Rect& content_area, const Rect& app_bounds,
                                        Clock::time_point now) {
  Rect from;
  switch (state_) {
    case PlacementState::Attached:
    case PlacementState::HandingOver:
      return;
    case PlacementState::Dragging:
      from = drag_card_;
      break;
    case PlacementState::Detached:
      from = detached_card_;
      break;
  }
  // The card lands where it was let go, pulled inside the area.
  remember_attached_position(from, pick_area(app_bounds, content_area));
  state_ = PlacementState::HandingOver;
  start_handoff(from, now);
}

void FloatingPlacement::start_handoff(const Rect& from, Clock::time_point now) {
  handoff_from_ = from;
  handoff_start_ = now;
  handoff_progress_ = 0;
  handoff_active_ = true;
}

void FloatingPlacement::tick(Clock::time_point now) {
  if (pinned_ && now >= pinned_until_) pinned_ = false;
  if (!handoff_active_) return;
  const double p = std::chrono::duration<double>(now - handoff_start_) /
                   std::chrono::duration<double>(kHandoffDuration);
  handoff_progress_ = std::max(handoff_progress_, std::min(p, 1.0));
  if (handoff_progress_ >= 1) {
    handoff_active_ = false;
    if (state_ == PlacementState::HandingOver) state_ = PlacementState::Attached;
  }
}

bool FloatingPlacement::is_handoff_animating() const {
  return handoff_active_ || pinned_;
}

void FloatingPlacement::pin_handoff_for_visual_review(std::chrono::milliseconds duration,
                                                      Clock::time_point now) {
  if (duration.count() <= 0) return;
  pinned_ = true;
  pinned_until_ = now + duration;
}

}  // namespace zarn_ui::floating_surface
