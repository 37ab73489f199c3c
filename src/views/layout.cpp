#include "views/layout.h"

#include <algorithm>
#include <cmath>

namespace chat::views {

namespace {

constexpr double kMaxStep = 0.1;   // seconds one tick may advance, however long the frame took
constexpr double kStiffness = 14;  // per second
constexpr double kSettle = 0.001;

// A text scale that is not a finite positive number would poison every length derived from it.
double sane_scale(double s) {
  return std::isfinite(s) && s > 0 ? s : 1;
}

}  // namespace

Flap Flap::make(bool preference, Clock::time_point now) {
  Flap f;
  f.preference = preference;
  f.progress = preference ? 1 : 0;
  f.last_tick = now;
  return f;
}

bool Flap::target() const {
  switch (override_state) {
    case Override::Shown:
      return true;
    case Override::Hidden:
      return false;
    case Override::None:
      break;
  }
  return preference && !collapsed.value_or(false);
}

void Flap::set_collapsed(bool c) {
  if (collapsed == c) return;
  const bool first = !collapsed.has_value();
  collapsed = c;
  if (first) {
    progress = target() ? 1 : 0;
  } else {
    override_state = Override::None;
  }
}

bool Flap::tick(Clock::time_point now) {
  const double elapsed = std::chrono::duration<double>(now - last_tick).count();
  const double dt = std::clamp(elapsed, 0.0, kMaxStep);
  last_tick = now;
  const double goal = target() ? 1 : 0;
  const double f = std::exp(-kStiffness * dt);
  progress += (1 - f) * (goal - progress);
  if (!(std::abs(progress - goal) >= kSettle)) {
    progress = goal;
    return false;
  }
  return true;
}

void Flap::toggle() {
  override_state = target() ? Override::Hidden : Override::Shown;
}

double Flap::eased() const {
  const double rest = 1 - std::clamp(progress, 0.0, 1.0);
  return 1 - rest * rest * rest;
}

bool Flap::visible() const {
  return target() || progress > kSettle;
}

double scrim_opacity(const Flap& flap) {
  return 0.55 * std::clamp(flap.progress, 0.0, 1.0);
}

std::optional<LayoutFlags> layout_flags(const zarn_ui::Rect& bounds, double scale) {
  const double s = std::isfinite(scale) ? std::max(scale, 1.0) : 1.0;
  const double w = (bounds.x1 - bounds.x0) / s;
  if (!(w >= 1)) return std::nullopt;
  return LayoutFlags{w < kNarrowBelow, w < kCompactBelow};
}

PaneGeometry pane_geometry(const zarn_ui::Rect& bounds, double scale, const LayoutFlags& flags,
                           const Flap& left, const Flap& right, bool thread_open) {
  const double s = sane_scale(scale);
  PaneGeometry g;
  g.left_docked = !flags.narrow && left.target();
  g.left_pane_x = flags.narrow ? bounds.x0 - kLeftPaneWidth * (1 - left.eased()) : bounds.x0;
  g.conversation_left = g.left_docked ? bounds.x0 + kLeftPaneWidth : bounds.x0;
  g.conversation_right = !flags.compact && right.target() ? bounds.x1 - kRightPaneWidth : bounds.x1;

  if (flags.compact && thread_open) {
    g.right_pane = bounds;
  } else {
    const double x =
        flags.compact ? bounds.x1 - kRightPaneWidth * right.eased() : bounds.x1 - kRightPaneWidth;
    g.right_pane = {x, bounds.y0, x + kRightPaneWidth, bounds.y1};
  }

  g.heading = {g.conversation_left, bounds.y0, g.conversation_right, bounds.y0 + 60 * s};
  g.heading_content_x = g.conversation_left + (g.left_docked ? 18 : 54);
  return g;
}

double composer_wrap_width(double left, double right) {
  return std::max(right - left - 48, 40.0);
}

zarn_ui::Rect composer_rect(double left, double right, double y1, double scale,
                            double text_height) {
  const double s = sane_scale(scale);
  const double grown = 76 * s + std::max(text_height - 19 * s, 0.0);
  const double h = std::clamp(std::isfinite(grown) ? grown : 200 * s, 76 * s, 200 * s);
  const double x0 = left + 14;
  return {x0, y1 - h - 12, std::max(x0, right - 14), y1 - 12};
}

}  // namespace chat::views
