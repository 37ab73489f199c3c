// The left navigation pane: the 68-wide workspace rail and the 248-wide channel sidebar (normal
// and inbox modes), plus the navigation toggle drawn in the conversation heading. UI thread.
#pragma once

#include "views/frame.h"

namespace chat::views {

// Paints the 316-wide pane with its left edge at `x`, full height of the bounds, registering
// its regions.
void draw_left_pane(ViewFrame& frame, double x);

// The "☰" button at the heading's left edge + 12 when the layout is narrow or the left pane's
// target is hidden; registers ToggleLeftFlap.
void draw_nav_toggle(ViewFrame& frame, const zarn_ui::Rect& heading);

}  // namespace chat::views
