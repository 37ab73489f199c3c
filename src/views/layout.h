// Layout modes and side panes: the narrow/compact breakpoints, the two sliding flaps and the
// pane edges every view derives from them. Geometry is logical pixels inside the bounds given
// to apply_layout. Pure functions and plain records; UI thread. A flap's progress stays in
// 0..1 and settles exactly on its target.
#pragma once

#include <chrono>
#include <optional>

#include "platform/zarn_ui/geometry.h"

namespace chat::views {

inline constexpr double kNarrowBelow = 760;
inline constexpr double kCompactBelow = 1040;
inline constexpr double kLeftPaneWidth = 316;
inline constexpr double kRailWidth = 68;
inline constexpr double kRightPaneWidth = 360;

// A side pane that slides between hidden (progress 0) and shown (1).
struct Flap {
  enum class Override { None, Shown, Hidden };
  using Clock = std::chrono::steady_clock;

  Clock::time_point last_tick{};
  double progress = 0;
  bool preference = false;  // shown by default
  Override override_state = Override::None;
  std::optional<bool> collapsed{};

  // Progress 1 when `preference`, else 0; the clock starts at `now`.
  static Flap make(bool preference, Clock::time_point now);

  // The override when set, otherwise preference and not collapsed.
  bool target() const;
  // First call jumps to the target; a later change clears the override.
  void set_collapsed(bool c);
  // Eases towards the target; false when it settled (no movement).
  bool tick(Clock::time_point now);
  // Override = the opposite of the current target.
  void toggle();
  // 1 − (1 − clamp(progress))³.
  double eased() const;
  // Drawn when its target is shown or its progress is above 0.001.
  bool visible() const;
};

// The scrim behind a sliding pane: 0.55 × progress clamped to 0..1.
double scrim_opacity(const Flap& flap);

// Flags computed at the start of every draw.
struct LayoutFlags {
  bool narrow = false;
  bool compact = false;
};

// w = width / max(scale, 1); nothing when w < 1 (the caller keeps its previous flags).
std::optional<LayoutFlags> layout_flags(const zarn_ui::Rect& bounds, double scale);

// The pane edges for one frame.
struct PaneGeometry {
  double left_pane_x = 0;  // the 316-wide left pane's left edge
  double conversation_left = 0;
  double conversation_right = 0;
  zarn_ui::Rect right_pane{};    // 360 wide (or the whole bounds), full height
  zarn_ui::Rect heading{};       // conversation left..right, y0..y0 + 60·s
  double heading_content_x = 0;  // where the channel prefix starts
  bool left_docked = false;      // not narrow and the left flap's target is shown
};

PaneGeometry pane_geometry(const zarn_ui::Rect& bounds, double scale, const LayoutFlags& flags,
                           const Flap& left, const Flap& right, bool thread_open);

// The width a composer's draft is measured at: max(right − left − 48, 40).
double composer_wrap_width(double left, double right);

// The composer rectangle for a draft of `text_height` (measured at size 15 within
// max(right − left − 48, 40)).
zarn_ui::Rect composer_rect(double left, double right, double y1, double scale, double text_height);

}  // namespace chat::views
