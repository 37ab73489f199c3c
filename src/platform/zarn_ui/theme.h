// Theme: the colour tokens and metrics every widget paints with. A plain record; widgets read it
// and never keep references into it across frames. Lengths are logical pixels, text sizes are
// logical pixels too (one "pt" of a design equals one logical pixel here).
// Any thread may build or copy a Theme; painting with it happens on the UI thread.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

// Heading block above a content area, top to bottom; header_height() is their sum.
struct HeaderMetrics {
  double top_pad = 18;
  double title_height = 26;
  double title_gap = 4;
  double subtitle_height = 18;
  double bottom_pad = 14;
};

struct ButtonMetrics {
  double height = 34;
  double pad_x = 14;    // inside the button, each side
  double icon_gap = 6;  // between icon and label
  double radius = 10;
  double text_size = 13;
  double min_width = 34;
};

struct Theme {
  // Surfaces, from the window background up to floating overlays.
  Color surface_base{};
  Color surface_raised{};
  Color surface_sunken{};
  Color surface_overlay{};

  Color text_strong{};
  Color text_muted{};
  Color text_faint{};

  Color accent{};
  Color accent_text{};  // text drawn on an accent fill
  Color danger{};
  Color success{};
  Color warning{};
  Color focus{};  // keyboard focus ring
  Color edge{};   // hairlines and outlines
  Color scrim{};  // dims content under a modal pane

  Color presence_online{};
  Color presence_idle{};
  Color presence_dnd{};
  Color presence_offline{};

  std::array<Color, 8> person_colors{};

  // Typography.
  double title_size = 20;
  double body_size = 14;
  double small_size = 12;
  double caption_size = 11;

  HeaderMetrics header{};
  ButtonMetrics button{};
  double spacing_gap = 8;
  double outer_margin = 16;
  double corner_radius = 12;

  // Device scale the frame is painted at (at least 1); widgets size bitmaps with it.
  double scale = 1;

  std::chrono::milliseconds motion_duration{180};
  bool reduced_motion = false;

  static Theme dark();
  static Theme light();

  double header_height() const;
  // Motion to use for an animation: zero when reduced motion is asked for.
  std::chrono::milliseconds effective_motion() const;
  // person_colors[index % 8].
  const Color& person_color(std::size_t index) const;
};

}  // namespace zarn_ui
